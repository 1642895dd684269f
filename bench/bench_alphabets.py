"""Scalar timings on every alphabet beside RapidFuzz: our time / theirs, below 1 means we are faster.

Run:  PYTHONPATH=build/<name>/stage python -P bench/bench_alphabets.py [--quick]
      [--measures levenshtein,ratio,...] [--alphabets ascii,latin1,cyrillic,cjk] [--lengths 10,64]

Each cell times a Python loop of scalar calls over 50 pairs: a random text of the given length and a
copy with about 10 % of its symbols substituted (Hamming therefore compares equal lengths). The texts
hold words (about one space in six symbols) so that the token scorers have something to split.
Alphabets: ASCII letters, Latin-1 letters (é, ß, ø ...), Cyrillic, and 300 CJK ideographs. Both
libraries take turns in every repetition so that changes of load hit both alike; the best of the
repetitions counts.
"""

import argparse
import random
import time

from quorvalex import distance as qd
from quorvalex import fuzz as qf

from rapidfuzz import fuzz as rf
from rapidfuzz.distance import (OSA, DamerauLevenshtein, Hamming, Indel, Jaro, JaroWinkler,
                                LCSseq, Levenshtein)

ALPHABETS = {
    "ascii": "abcdefghijklmnopqrstuvwxyz",
    "latin1": "abcdeéèêfghiíjklmnoóöøpqrsßtuúüvwxyzàäçñ",
    "cyrillic": "абвгдежзийклмнопрстуфхцчшщъыьэюя",
    "cjk": "".join(chr(0x4E00 + 37 * i) for i in range(300)),
}

# name: (ours, theirs)
MEASURES = {
    "levenshtein": (qd.levenshtein_distance, Levenshtein.distance),
    "indel": (qd.indel_distance, Indel.distance),
    "lcs_seq": (qd.lcs_seq_similarity, LCSseq.similarity),
    "osa": (qd.osa_distance, OSA.distance),
    "damerau": (qd.damerau_levenshtein_distance, DamerauLevenshtein.distance),
    "hamming": (qd.hamming_distance, Hamming.distance),
    "jaro": (qd.jaro_similarity, Jaro.similarity),
    "jaro_winkler": (qd.jaro_winkler_similarity, JaroWinkler.similarity),
    "ratio": (qf.ratio, rf.ratio),
    "partial_ratio": (qf.partial_ratio, rf.partial_ratio),
    "token_sort": (qf.token_sort_ratio, rf.token_sort_ratio),
    "token_set": (qf.token_set_ratio, rf.token_set_ratio),
    "token_ratio": (qf.token_ratio, rf.token_ratio),
    "w_ratio": (qf.w_ratio, rf.WRatio),
}


def make_pairs(alphabet, length, count, seed):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = [" " if rng.random() < 1 / 6 else rng.choice(alphabet) for _ in range(length)]
        b = list(a)
        for _ in range(max(1, length // 10)):
            b[rng.randrange(length)] = rng.choice(alphabet)
        pairs.append(("".join(a), "".join(b)))
    return pairs


def best_of(fns, pairs, budget):
    """Best time per pair of each function; they take turns until the budget is spent."""
    best = [float("inf")] * len(fns)
    # Enough loops per timing that one timing lasts about a millisecond or more.
    start = time.perf_counter()
    for a, b in pairs:
        fns[0](a, b)
    once = max(time.perf_counter() - start, 1e-7)
    inner = max(1, int(1e-3 / once))
    deadline = time.perf_counter() + budget
    rounds = 0
    while rounds < 3 or time.perf_counter() < deadline:
        for k, f in enumerate(fns):
            t0 = time.perf_counter()
            for _ in range(inner):
                for a, b in pairs:
                    f(a, b)
            best[k] = min(best[k], (time.perf_counter() - t0) / inner)
        rounds += 1
        if rounds >= 200:
            break
    return [t / len(pairs) for t in best]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--measures", default=",".join(MEASURES))
    parser.add_argument("--alphabets", default=",".join(ALPHABETS))
    parser.add_argument("--lengths", default="10,64,300,1000")
    parser.add_argument("--quick", action="store_true", help="less time per cell")
    args = parser.parse_args()
    lengths = [int(x) for x in args.lengths.split(",")]
    budget = 0.05 if args.quick else 0.3

    print("our time / RapidFuzz time per scalar call (below 1: we are faster); "
          "in brackets our time per call in microseconds")
    print()
    print("| text | measure | " + " | ".join(str(n) for n in lengths) + " |")
    print("|---|---|" + "---|" * len(lengths))
    for alpha in args.alphabets.split(","):
        for name in args.measures.split(","):
            ours, theirs = MEASURES[name]
            cells = []
            for n in lengths:
                pairs = make_pairs(ALPHABETS[alpha], n, 50, n)
                t_ours, t_theirs = best_of([ours, theirs], pairs, budget)
                cells.append(f"{t_ours / t_theirs:.2f} ({t_ours * 1e6:.2f})")
            print(f"| {alpha} | {name} | " + " | ".join(cells) + " |", flush=True)


if __name__ == "__main__":
    main()
