"""The command line's overhead: `quorvalex match` end to end (a fresh interpreter reads both files,
matches, writes the CSV) against the `process.join` call alone on the same names, and reading and
writing a table of a million rows.

    PYTHONPATH=build/dev/stage python3 -P bench/bench_cli.py [--rows 100000] [--scorer ratio]
        [--cutoff 90] [--workers 2] [--io-rows 1000000] [--repeat 3]

Both sides of each ratio are timed in the same run, alternately, best of --repeat.
"""

import argparse
import csv
import os
import subprocess
import sys
import tempfile
import time

from quorvalex import process
from quorvalex.cli import table_io
from quorvalex.cli.demo_data import generate
from quorvalex.cli.measures import lookup, resolve_cutoff
from quorvalex.utils import default_process


def best(repeat, run):
    times = []
    for _ in range(repeat):
        started = time.perf_counter()
        run()
        times.append(time.perf_counter() - started)
    return min(times)


def write_names(path, names):
    with open(path, "w", encoding="utf-8", newline="") as stream:
        writer = csv.writer(stream, lineterminator="\n")
        writer.writerow(["id", "name", "country"])
        writer.writerows([i, name, "CH"] for i, name in enumerate(names))


def bench_match(args, directory):
    data = generate(args.rows, seed=3, matched=0.8, unmatched=0.25)
    left, right = data.queries[: args.rows], data.reference
    left_file, right_file = os.path.join(directory, "left.csv"), os.path.join(directory, "right.csv")
    write_names(left_file, left)
    write_names(right_file, right)
    measure = lookup(args.scorer)
    scorer, cutoff = measure.function, resolve_cutoff(measure, args.cutoff)
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)}
    command = [sys.executable, "-P", "-m", "quorvalex", "match", left_file, right_file,
               "--left-column", "name", "--right-column", "name", "--scorer", args.scorer,
               "--cutoff", str(args.cutoff), "--workers", str(args.workers), "-q",
               "-o", os.path.join(directory, "out.csv")]
    found = []

    def library():
        found.append(len(process.join(left, right, scorer=scorer, score_cutoff=cutoff,
                                      processor=default_process, workers=args.workers)[0]))

    def command_line():
        subprocess.run(command, check=True, env=env)

    times = {"process.join": [], "quorvalex match": []}
    for _ in range(args.repeat):  # alternate, so both see the same machine load
        times["process.join"].append(best(1, library))
        times["quorvalex match"].append(best(1, command_line))
    with open(os.path.join(directory, "out.csv"), encoding="utf-8") as stream:
        written = sum(1 for _ in stream) - 1
    join_time, cli_time = min(times["process.join"]), min(times["quorvalex match"])
    print(f"match {len(left):,} x {len(right):,} names, {args.scorer} >= {args.cutoff}, "
          f"workers={args.workers}: {found[0]:,} pairs found, {written:,} rows written")
    print(f"  process.join alone          {join_time:8.2f} s")
    print(f"  quorvalex match end to end  {cli_time:8.2f} s   ratio {cli_time / join_time:.2f}x")


def bench_io(args, directory):
    names = generate(max(10, args.io_rows // 2), seed=4, matched=1.0, unmatched=0.0)
    values = (names.reference + names.queries)[: args.io_rows]
    path = os.path.join(directory, "big.csv")
    write_names(path, values)
    size = os.path.getsize(path) / 2**20
    out = os.path.join(directory, "big_out.csv")
    groups = list(range(len(values)))
    table = table_io.read_table(path)
    timings = {
        "read CSV (sniffed delimiter) + column":
            best(args.repeat, lambda: table_io.read_table(path).column("name")),
        "write CSV with one more column":
            best(args.repeat, lambda: table_io.write_with_column(out, table, "group", groups)),
    }
    try:
        import pyarrow  # noqa: F401

        parquet = os.path.join(directory, "big.parquet")
        timings["write Parquet with one more column"] = best(
            args.repeat, lambda: table_io.write_with_column(parquet, table, "group", groups))
        timings["read Parquet + column"] = best(
            args.repeat, lambda: table_io.read_table(parquet).column("name"))
    except ImportError:
        pass
    print(f"{len(values):,} rows, 3 columns ({size:.0f} MiB of CSV):")
    for what, seconds in timings.items():
        print(f"  {what:<40}{seconds:8.2f} s")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rows", type=int, default=100_000)
    parser.add_argument("--scorer", default="ratio")
    parser.add_argument("--cutoff", type=float, default=90)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--io-rows", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--skip-match", action="store_true")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as directory:
        if not args.skip_match:
            bench_match(args, directory)
        bench_io(args, directory)


if __name__ == "__main__":
    main()
