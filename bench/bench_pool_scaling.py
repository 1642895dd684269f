"""Worker pool scaling, measured by oversubscription: pools of many more threads than processors.

    python -P bench/bench_pool_scaling.py [rounds]

Each pool size runs in a subprocess of its own (the size is fixed when the pool starts); the
sizes are measured in turns, `rounds` times (default 5), and every figure is the best call seen.
Figures are ratios of times measured in the same run.

1. 100,000 short pairs (words of 2 to 8 letters, levenshtein_distance_batch) on pools of 2, 64,
   256 and 1,000 threads, as a ratio to the 2-thread time. Goals: 64 threads at most 1.5x,
   256 threads at most 2x.
2. Medium pairs (about 100 characters) on 1 and 2 threads: levenshtein_distance_batch and
   fuzz.ratio_batch, and rows of uneven cost (lengths falling from 1,500 to 15 characters, the
   costly pairs first). Goal: 2 threads at least 1.8x as fast as one.
3. The pool-size cap: RAYON_NUM_THREADS=18446744073709551615 starts at most 1,024 threads, with
   a RuntimeWarning.
"""

import json
import os
import subprocess
import sys
import textwrap

CASE = textwrap.dedent("""
    import json, random, sys, timeit
    from quorvalex import distance, fuzz
    kind, repeat = sys.argv[1], int(sys.argv[2])
    rng = random.Random(5)
    def text(n, alphabet="abcdefghij"):
        return "".join(rng.choices(alphabet, k=n))
    if kind == "short":
        words = [text(rng.randrange(2, 9)) for _ in range(5000)]
        fn, pairs = distance.levenshtein_distance_batch, [
            (rng.choice(words), rng.choice(words)) for _ in range(100_000)]
    elif kind == "uneven":
        fn = distance.levenshtein_distance_batch
        pairs = [(text(1500 - 15 * (i // 40)), text(1500 - 15 * (i // 40))) for i in range(4000)]
    else:
        fn = {"levenshtein": distance.levenshtein_distance_batch, "ratio": fuzz.ratio_batch}[kind]
        pairs = [(text(rng.randrange(90, 111)), text(rng.randrange(90, 111)))
                 for _ in range(20_000)]
    fn(pairs[:100])                          # starts the pool
    print(json.dumps(min(timeit.repeat(lambda: fn(pairs), number=1, repeat=repeat))))
    """)

CAP = textwrap.dedent("""
    import os, time, warnings
    from quorvalex import distance
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        start = time.perf_counter()
        distance.levenshtein_distance_batch([("ab", "ac")] * 10)
        elapsed = time.perf_counter() - start
    print(len(os.listdir("/proc/self/task")) - 1, f"{elapsed:.3f}", *[
        f"{w.category.__name__}: {w.message}" for w in caught], sep="\\n")
    """)


def run(code, threads, *args):
    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    env["RAYON_NUM_THREADS"] = str(threads)
    out = subprocess.run([sys.executable, "-P", "-c", code, *map(str, args)], env=env,
                         capture_output=True, text=True, check=True)
    return out.stdout


def best_times(cases, rounds):
    """{(kind, threads): best seconds}, measuring the cases in turns."""
    best = {}
    for _ in range(rounds):
        for kind, threads, repeat in cases:
            seconds = json.loads(run(CASE, threads, kind, repeat))
            best[kind, threads] = min(best.get((kind, threads), seconds), seconds)
    return best


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    print(f"{os.cpu_count()} processors; load average before: {os.getloadavg()[0]:.2f}")
    sizes = [2, 64, 256, 1000]
    short = best_times([("short", n, 20) for n in sizes], rounds)
    print("100,000 short pairs, levenshtein_distance_batch (goal: 64 <= 1.5x, 256 <= 2x)")
    for n in sizes:
        ratio = short["short", n] / short["short", 2]
        print(f"  {n:5} threads  {short['short', n] * 1e3:8.2f} ms  {ratio:5.2f}x 2 threads' time")

    medium = best_times([(kind, n, 5) for kind in ("levenshtein", "ratio", "uneven")
                         for n in (1, 2)], rounds)
    print("1 against 2 threads (goal: at least 1.8x)")
    for kind, label in [("levenshtein", "20,000 pairs of ~100 characters, levenshtein"),
                        ("ratio", "20,000 pairs of ~100 characters, fuzz.ratio"),
                        ("uneven", "4,000 pairs of 1,500 falling to 15 characters, levenshtein")]:
        one, two = medium[kind, 1], medium[kind, 2]
        print(f"  {label:58} {one * 1e3:8.2f} / {two * 1e3:8.2f} ms  {one / two:5.2f}x")

    print("RAYON_NUM_THREADS=18446744073709551615")
    started, seconds, *warnings = run(CAP, "18446744073709551615").splitlines()
    print(f"  {started} threads started in {seconds} s")
    for line in warnings:
        print(f"  {line}")
    print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
