"""Draws bench/speed.png: time per call of the main measures beside RapidFuzz, jellyfish and
Levenshtein (python-Levenshtein), at a few text lengths and alphabets.

Run:  pip install '.[bench]' && python3 -P bench/speed_chart.py [--out PATH] [--rounds N]
(or PYTHONPATH=build/<name>/stage python3 -P bench/speed_chart.py after tools/dev_build.sh).
Takes well under two minutes. A peer library that is not installed is left out of the chart.
Before timing, every peer's results are compared with ours on the same pairs; a peer that
disagrees is reported on stderr (and its bars are still drawn, marked in the caption).

Scalar panels: one Python loop of calls over the pairs, time per call; every contender runs
in turn in each round, and the best round counts. Batch panel: one call for all pairs on all
processors (ours: levenshtein_distance_batch; RapidFuzz: process.cpdist with workers=-1).
"""

import argparse
import importlib.metadata
import os
import pathlib
import platform
import random
import string
import subprocess
import sys
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import quorvalex  # noqa: E402
from quorvalex import distance, fuzz  # noqa: E402


def optional(name):
    try:
        return __import__(name, fromlist=["_"])
    except ImportError:
        print(f"note: {name} is not installed; left out", file=sys.stderr)
        return None


rf_distance = optional("rapidfuzz.distance")
rf_fuzz = optional("rapidfuzz.fuzz")
rf_process = optional("rapidfuzz.process")
jellyfish = optional("jellyfish")
levenshtein = optional("Levenshtein")

OURS, RF, JF, LEV = "quorvalex", "RapidFuzz", "jellyfish", "Levenshtein"
COLOURS = {OURS: "#d62728", RF: "#1f77b4", JF: "#2ca02c", LEV: "#9467bd"}


def contenders(**by_library):
    """{library: (function, factor to our scale)} of the libraries that are installed."""
    return {lib: entry for lib, entry in by_library.items() if entry[0] is not None}


def attr(module, path):
    for part in path.split("."):
        if module is None:
            return None
        module = getattr(module, part)
    return module


SCALAR = [
    ("Levenshtein distance", contenders(
        quorvalex=(distance.levenshtein_distance, 1), RapidFuzz=(attr(rf_distance, "Levenshtein.distance"), 1),
        jellyfish=(attr(jellyfish, "levenshtein_distance"), 1), Levenshtein=(attr(levenshtein, "distance"), 1))),
    ("Damerau-Levenshtein distance", contenders(
        quorvalex=(distance.damerau_levenshtein_distance, 1),
        RapidFuzz=(attr(rf_distance, "DamerauLevenshtein.distance"), 1),
        jellyfish=(attr(jellyfish, "damerau_levenshtein_distance"), 1))),
    ("Jaro-Winkler similarity", contenders(
        quorvalex=(distance.jaro_winkler_similarity, 1),
        RapidFuzz=(attr(rf_distance, "JaroWinkler.similarity"), 1),
        jellyfish=(attr(jellyfish, "jaro_winkler_similarity"), 1),
        Levenshtein=(attr(levenshtein, "jaro_winkler"), 1))),
    ("ratio (Indel, 0-100)", contenders(
        quorvalex=(fuzz.ratio, 1), RapidFuzz=(attr(rf_fuzz, "ratio"), 1),
        Levenshtein=(attr(levenshtein, "ratio"), 100))),
    ("partial_ratio", contenders(quorvalex=(fuzz.partial_ratio, 1), RapidFuzz=(attr(rf_fuzz, "partial_ratio"), 1))),
    ("token_set_ratio", contenders(
        quorvalex=(fuzz.token_set_ratio, 1), RapidFuzz=(attr(rf_fuzz, "token_set_ratio"), 1))),
    ("w_ratio", contenders(quorvalex=(fuzz.w_ratio, 1), RapidFuzz=(attr(rf_fuzz, "WRatio"), 1))),
]

LETTERS = string.ascii_lowercase + "    "
UNICODE = "αβγδεζηθικλμνξοπρστυφχψω日本語中文字  "
# (label, text length, alphabet, number of pairs)
CASES = [("letters\n10", 10, LETTERS, 2000), ("letters\n100", 100, LETTERS, 300),
         ("letters\n1000", 1000, LETTERS, 12), ("ACGT\n100", 100, "ACGT", 300),
         ("Unicode\n100", 100, UNICODE, 300)]


def make_pairs(length, alphabet, count, seed):
    """Random texts and copies with about a quarter of the positions edited."""
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = [rng.choice(alphabet) for _ in range(length)]
        b = list(a)
        for _ in range(max(1, length // 4)):
            op, i = rng.randrange(3), rng.randrange(len(b) + 1)
            if op == 1:
                b.insert(i, rng.choice(alphabet))
            elif i < len(b):
                if op == 0:
                    b[i] = rng.choice(alphabet)
                else:
                    del b[i]
        pairs.append(("".join(a), "".join(b)))
    return pairs


def disagrees(fn, factor, reference, pairs):
    return any(abs(fn(a, b) * factor - want) > 1e-9 * max(1.0, abs(want))
               for (a, b), want in zip(pairs, reference))


def best_times(runs, rounds):
    """Best wall time of each run; the runs take turns so that load changes hit all alike."""
    best = dict.fromkeys(runs, float("inf"))
    for _ in range(rounds):
        for name, run in runs.items():
            start = time.perf_counter()
            run()
            best[name] = min(best[name], time.perf_counter() - start)
    return best


def loop(fn, pairs):
    def run():
        for a, b in pairs:
            fn(a, b)
    return run


def measure(rounds):
    """{panel title: {case label: {library: seconds per pair}}} and the disagreeing peers."""
    results, odd = {}, set()
    for index, (label, length, alphabet, count) in enumerate(CASES):
        pairs = make_pairs(length, alphabet, count, seed=index)
        for title, libs in SCALAR:
            reference = [libs[OURS][0](a, b) for a, b in pairs]
            for lib, (fn, factor) in libs.items():
                if lib != OURS and disagrees(fn, factor, reference, pairs):
                    case = label.replace("\n", " ")
                    print(f"warning: {lib} disagrees with us on {title}, {case}", file=sys.stderr)
                    odd.add(f"{lib} {title} ({case})")
            best = best_times({lib: loop(fn, pairs) for lib, (fn, _) in libs.items()}, rounds)
            results.setdefault(title, {})[label] = {lib: t / count for lib, t in best.items()}
        batch_pairs = pairs * max(1, 20000 // count)
        runs = {OURS: lambda p=batch_pairs: distance.levenshtein_distance_batch(p)}
        if rf_process is not None:
            queries, choices = [a for a, _ in batch_pairs], [b for _, b in batch_pairs]
            runs[RF] = lambda q=queries, c=choices: rf_process.cpdist(
                q, c, scorer=rf_distance.Levenshtein.distance, workers=-1)
        best = best_times(runs, rounds)
        title = f"Levenshtein, batch on {os.cpu_count()} cores"
        results.setdefault(title, {})[label] = {lib: t / len(batch_pairs) for lib, t in best.items()}
    return results, odd


def version(dist):
    try:
        return importlib.metadata.version(dist)
    except importlib.metadata.PackageNotFoundError:
        return None


def caption(rounds, odd):
    cpu = platform.processor() or platform.machine()
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    ours = f"quorvalex {quorvalex.__version__}"
    try:
        commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True,
                                cwd=pathlib.Path(__file__).parent, check=True).stdout.strip()
        ours += f" ({commit})"
    except (OSError, subprocess.CalledProcessError):
        pass
    peers = [f"{name} {v}" for name, dist in ((RF, "rapidfuzz"), (JF, "jellyfish"), (LEV, "Levenshtein"))
             if (v := version(dist))]
    text = (f"{cpu}, {os.cpu_count()} logical cores, {platform.system()} {platform.release()}; "
            f"CPython {platform.python_version()}; {', '.join([ours] + peers)}.\n"
            f"Time per call from a Python loop over random pairs (a text and a copy with a quarter of "
            f"its positions edited), best of {rounds} rounds; lower is better.")
    if odd:
        text += "\nResults differ from ours: " + "; ".join(sorted(odd)) + "."
    return text


def draw(results, text, out):
    panels = list(results)
    columns = 4
    rows = -(-len(panels) // columns)
    fig, axes = plt.subplots(rows, columns, figsize=(4.2 * columns, 3.4 * rows + 0.9), squeeze=False)
    libraries = [lib for lib in COLOURS if any(lib in by_lib for panel in results.values()
                                               for by_lib in panel.values())]
    for ax, title in zip(axes.flat, panels):
        labels = list(results[title])
        present = [lib for lib in libraries if any(lib in results[title][c] for c in labels)]
        width = 0.8 / len(present)
        for k, lib in enumerate(present):
            xs = [i + (k - (len(present) - 1) / 2) * width for i in range(len(labels))]
            ys = [results[title][c].get(lib, float("nan")) * 1e6 for c in labels]
            ax.bar(xs, ys, width, color=COLOURS[lib], label=lib)
        ax.set_yscale("log")
        ax.set_title(title, fontsize=10)
        ax.set_xticks(range(len(labels)), labels, fontsize=8)
        ax.tick_params(axis="y", labelsize=8)
        ax.grid(axis="y", which="major", alpha=0.3)
    for ax in axes.flat[len(panels):]:
        ax.axis("off")
    for row in axes:
        row[0].set_ylabel("µs per pair (log scale)", fontsize=9)
    handles = [plt.Rectangle((0, 0), 1, 1, color=COLOURS[lib]) for lib in libraries]
    fig.legend(handles, libraries, loc="upper center", ncol=len(libraries), frameon=False)
    fig.text(0.01, 0.01, text, fontsize=7.5, va="bottom", wrap=True)
    fig.tight_layout(rect=(0, 0.09, 1, 0.95))
    fig.savefig(out, dpi=110)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", type=pathlib.Path, default=pathlib.Path(__file__).with_name("speed.png"))
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    start = time.perf_counter()
    results, odd = measure(args.rounds)
    text = caption(args.rounds, odd)
    draw(results, text, args.out)
    print(f"wrote {args.out} in {time.perf_counter() - start:.0f} s\ncaption: {text}")


if __name__ == "__main__":
    main()
