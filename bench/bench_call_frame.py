"""Per-call cost of the scalar call frame, measured against operator.is_ in the same run.

    python -P bench/bench_call_frame.py

operator.is_ is a two-argument built-in doing almost nothing, so the ratio is the frame's
overhead (argument matching, two UTF-8 views, result object) plus a tiny kernel. Times are
the CPU time of the measuring thread, the best of several interleaved runs.
"""

import operator
import time
import timeit

from quorvalex import distance

NUMBER = 1_000_000
REPEAT = 7


def best(stmt, scope):
    # CPU time of this thread: other processes on a busy machine do not count.
    timer = timeit.Timer(stmt, globals=scope, timer=time.thread_time)
    return min(timer.repeat(repeat=REPEAT, number=NUMBER)) / NUMBER


def main():
    scope = {"is_": operator.is_, "prefix": distance.prefix_similarity, "a": "abc", "b": "abd"}
    cases = [
        ("operator.is_(a, b)", "is_(a, b)"),
        ("prefix_similarity(a, b)", "prefix(a, b)"),
        ("prefix_similarity(a, b, score_cutoff=1)", "prefix(a, b, score_cutoff=1)"),
        ("prefix_similarity(s1=a, s2=b)", "prefix(s1=a, s2=b)"),
    ]
    # Interleave the measurements so machine load affects all of them alike.
    times = {label: float("inf") for label, _ in cases}
    for _ in range(3):
        for label, stmt in cases:
            times[label] = min(times[label], best(stmt, scope))
    base = times["operator.is_(a, b)"]
    for label, _ in cases:
        print(
            f"{label:45s} {times[label] * 1e9:7.1f} ns   {times[label] / base:5.2f}x operator.is_"
        )


if __name__ == "__main__":
    main()
