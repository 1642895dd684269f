"""Batch throughput, each figure measured side by side in one run.

    python -P bench/bench_batch.py

1. One million short pairs: distance.prefix_similarity_batch on a pool of one worker thread
   against a list comprehension over distance.prefix_similarity (both in one subprocess started
   with RAYON_NUM_THREADS=1, so the batch gets no help from parallelism).
2. A kernel-heavy batch on a pool of two threads against a pool of one (two subprocesses), using
   Smith-Waterman on texts of 300 characters.
"""

import json
import os
import subprocess
import sys
import textwrap

SHORT = textwrap.dedent("""
    import json, random, time
    from quorvalex import distance
    rng = random.Random(1)
    words = ["".join(rng.choice("abcdé") for _ in range(rng.randrange(2, 9))) for _ in range(5000)]
    pairs = [(rng.choice(words), rng.choice(words)) for _ in range(1_000_000)]
    scalar = distance.prefix_similarity
    batch = distance.prefix_similarity_batch
    batch(pairs[:10])                       # creates the pool
    loop_time = batch_time = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        expected = [scalar(a, b) for a, b in pairs]
        loop_time = min(loop_time, time.perf_counter() - start)
        start = time.perf_counter()
        result = batch(pairs)
        batch_time = min(batch_time, time.perf_counter() - start)
        assert result == expected
    print(json.dumps({"loop": loop_time, "batch": batch_time}))
    """)

HEAVY = textwrap.dedent("""
    import json, random, sys, time
    from quorvalex import _quorvalex, distance, fuzz
    rng = random.Random(2)
    def text(n):
        return "".join(rng.choice("abcd") for _ in range(n))
    module, name, length = _quorvalex, "smith_waterman_score", 300
    batch = getattr(module, name + "_batch")
    count = int(sys.argv[1])
    pairs = [(text(length), text(length)) for _ in range(64)]
    pairs = [pairs[i % 64] for i in range(count)]
    batch(pairs[:2])
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        batch(pairs)
        best = min(best, time.perf_counter() - start)
    print(json.dumps({"name": name + "_batch", "length": length, "time": best}))
    """)


def run(code, threads, *args):
    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    env["RAYON_NUM_THREADS"] = str(threads)
    out = subprocess.run(
        [sys.executable, "-P", "-c", code, *args],
        env=env,
        capture_output=True,
        text=True,
        check=True,
    )
    return json.loads(out.stdout)


def main():
    short = run(SHORT, 1)
    print("1,000,000 short pairs, prefix_similarity")
    print(f"  list comprehension over the scalar function  {short['loop']:.3f} s")
    print(f"  prefix_similarity_batch, 1 worker thread     {short['batch']:.3f} s")
    print(f"  ratio loop / batch                           {short['loop'] / short['batch']:.2f}x")

    count = sys.argv[1] if len(sys.argv) > 1 else "8000"
    one = run(HEAVY, 1, count)
    two = run(HEAVY, 2, count)
    print(f"{count} pairs of {one['length']} characters, {one['name']}")
    print(f"  1 worker thread    {one['time']:.3f} s")
    print(f"  2 worker threads   {two['time']:.3f} s")
    print(
        f"  ratio 1 / 2 threads {one['time'] / two['time']:.2f}x (machine has {os.cpu_count()} CPUs)"
    )


if __name__ == "__main__":
    main()
