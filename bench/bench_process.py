"""quorvalex.process beside RapidFuzz's process module, side by side in one run.

Run:  tools/dev_build.sh dev
      PYTHONPATH=build/dev/stage python3 -P bench/bench_process.py \
          [--names 5000] [--choices 20000] [--queries 1000] [--repeats 3] [--only cdist|extract] [--scorers w_ratio,ratio]

cdist: names x names (person and company names of 8 to 40 characters, bench_lanes.py's lists),
workers=-1, for ratio, levenshtein_distance, jaro_winkler_similarity, token_sort_ratio, w_ratio,
q_ratio, indel_normalized_similarity and lcs_seq_distance. extract_one: a loop of queries
against a list of choices with a cutoff (w_ratio 85, levenshtein_normalized_similarity 0.8,
ratio, q_ratio and token_sort_ratio 85, indel_normalized_similarity 0.8, lcs_seq_similarity 15,
jaro_winkler_similarity 0.9), beside a loop of RapidFuzz's extractOne. --scorers picks cases by
scorer name. Each result is
compared with RapidFuzz's before timing (same scores up to rounding, same best choices). Prints
the best of the repeats and the ratio ours / RapidFuzz (below 1: faster).
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_lanes import make_names  # noqa: E402

import numpy as np  # noqa: E402
from rapidfuzz import distance as rf_distance  # noqa: E402
from rapidfuzz import fuzz as rf_fuzz  # noqa: E402
from rapidfuzz import process as rf_process  # noqa: E402

from quorvalex import distance, fuzz, process  # noqa: E402


def best_of(repeats, f):
    best = float("inf")
    for _ in range(repeats):
        t0 = time.perf_counter()
        f()
        best = min(best, time.perf_counter() - t0)
    return best


def bench_cdist(names, repeats, only=None):
    cases = [
        ("ratio", fuzz.ratio, rf_fuzz.ratio),
        ("levenshtein_distance", distance.levenshtein_distance, rf_distance.Levenshtein.distance),
        ("jaro_winkler_similarity", distance.jaro_winkler_similarity,
         rf_distance.JaroWinkler.similarity),
        ("token_sort_ratio", fuzz.token_sort_ratio, rf_fuzz.token_sort_ratio),
        ("w_ratio", fuzz.w_ratio, rf_fuzz.WRatio),
        ("q_ratio", fuzz.q_ratio, rf_fuzz.QRatio),
        ("indel_normalized_similarity", distance.indel_normalized_similarity,
         rf_distance.Indel.normalized_similarity),
        ("lcs_seq_distance", distance.lcs_seq_distance, rf_distance.LCSseq.distance),
    ]
    if only:
        cases = [c for c in cases if c[0] in only]
    print(f"cdist {len(names)} x {len(names)}, workers=-1")
    for label, ours, theirs in cases:
        a = process.cdist(names, names, scorer=ours, workers=-1)
        b = rf_process.cdist(names, names, scorer=theirs, workers=-1)
        if not np.allclose(a, b, atol=1e-3 if a.dtype.kind == "f" else 0):
            print(f"  {label}: results differ from RapidFuzz in "
                  f"{int((~np.isclose(a, b, atol=1e-3)).sum())} cells")
        t_ours = t_theirs = float("inf")
        for _ in range(repeats):  # interleaved: both see the same machine load
            t_ours = min(t_ours, best_of(1, lambda: process.cdist(names, names, scorer=ours,
                                                                  workers=-1)))
            t_theirs = min(t_theirs, best_of(1, lambda: rf_process.cdist(
                names, names, scorer=theirs, workers=-1)))
        print(f"  {label:26s} quorvalex {t_ours:8.3f} s   rapidfuzz {t_theirs:8.3f} s   "
              f"ratio {t_ours / t_theirs:5.2f}")


def bench_extract(queries, choices, repeats, only=None):
    cases = [
        ("w_ratio, cutoff 85", fuzz.w_ratio, rf_fuzz.WRatio, 85),
        ("levenshtein_normalized_similarity, cutoff 0.8",
         distance.levenshtein_normalized_similarity, rf_distance.Levenshtein.normalized_similarity,
         0.8),
        ("ratio, cutoff 85", fuzz.ratio, rf_fuzz.ratio, 85),
        ("q_ratio, cutoff 85", fuzz.q_ratio, rf_fuzz.QRatio, 85),
        ("token_sort_ratio, cutoff 85", fuzz.token_sort_ratio, rf_fuzz.token_sort_ratio, 85),
        ("indel_normalized_similarity, cutoff 0.8", distance.indel_normalized_similarity,
         rf_distance.Indel.normalized_similarity, 0.8),
        ("lcs_seq_similarity, cutoff 15", distance.lcs_seq_similarity,
         rf_distance.LCSseq.similarity, 15),
        ("jaro_winkler_similarity, cutoff 0.9", distance.jaro_winkler_similarity,
         rf_distance.JaroWinkler.similarity, 0.9),
    ]
    if only:
        cases = [c for c in cases if c[0].split(",")[0] in only]
    print(f"extract_one: {len(queries)} queries against {len(choices)} choices")
    for label, ours, theirs, cutoff in cases:
        def run_ours():
            return [process.extract_one(q, choices, scorer=ours, score_cutoff=cutoff)
                    for q in queries]

        def run_theirs():
            return [rf_process.extractOne(q, choices, scorer=theirs, score_cutoff=cutoff)
                    for q in queries]

        a, b = run_ours(), run_theirs()
        differ = [i for i, (x, y) in enumerate(zip(a, b)) if (x is None) != (y is None) or (
            x is not None and abs(x[1] - y[1]) > 1e-3)]
        if differ:
            # Check ours against the scalar loop where RapidFuzz disagrees (it rounds some
            # scores that equal the cutoff below it).
            wrong = 0
            for i in differ:
                scores = [ours(queries[i], c, score_cutoff=cutoff) for c in choices]
                top = max(scores)
                want = None if top < cutoff else (choices[scores.index(top)], top, scores.index(top))
                wrong += a[i] != want
            print(f"  {label}: {len(differ)} results differ from RapidFuzz, "
                  f"{wrong} of them from the scalar loop")
        t_ours = t_theirs = float("inf")
        for _ in range(repeats):
            t_ours = min(t_ours, best_of(1, run_ours))
            t_theirs = min(t_theirs, best_of(1, run_theirs))
        print(f"  {label:48s} quorvalex {t_ours:7.3f} s   rapidfuzz {t_theirs:7.3f} s   "
              f"ratio {t_ours / t_theirs:5.2f}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--names", type=int, default=5000)
    ap.add_argument("--choices", type=int, default=20000)
    ap.add_argument("--queries", type=int, default=1000)
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--only", choices=["cdist", "extract"])
    ap.add_argument("--scorers", help="comma-separated scorer names to run (default: all)")
    args = ap.parse_args()
    only = set(args.scorers.split(",")) if args.scorers else None
    if args.only != "extract":
        bench_cdist(make_names(args.names), args.repeats, only)
    if args.only != "cdist":
        choices = make_names(args.choices, seed=3)
        # Queries: half taken from the choices with a typo, half new names.
        queries = make_names(args.queries, seed=5)
        for i in range(0, len(queries), 2):
            s = choices[(i * 7919) % len(choices)]
            k = len(s) // 2
            queries[i] = s[:k] + s[k + 1:]
        bench_extract(queries, choices, args.repeats, only)


if __name__ == "__main__":
    main()
