"""Huge inputs (a million symbols; thousands for quadratic measures), in a fresh interpreter: peak
memory grows with the input size, never with the product of the lengths; results are known."""

import json

import pytest

from frame_reference import SANITIZED, run_python

ALPHABETS = {"ascii": "abcd ", "latin": "abé ", "bmp": "ab€Ā ", "astral": "a👍b ",
             # more than 256 distinct symbols: past the byte tables of every kernel
             "cjk": "".join(chr(0x4E00 + i) for i in range(700))}

# Builds `a` and `b` from (kind, n, shape, m) and defines `expected`, a dict of known values.
BUILD = r"""
import random, resource, json, sys
from collections import Counter
from quorvalex import _quorvalex, distance, fuzz
kind, n, shape, m, names = sys.argv[1:]
n, m = int(n), int(m)
rng = random.Random(n * 7 + len(shape))
a = "".join(rng.choices(ALPHABETS[kind], k=n))
if shape == "substituted":
    # five substitutions by a symbol `a` lacks: spread out for the quadratic measures, close
    # together for a million symbols (the edit-distance kernels trim common prefix and suffix)
    marks = [n * k // 10 if n <= 100_000 else n // 2 + 7 * k for k in (1, 3, 5, 7, 9)]
    b = "".join("x" if i in marks else c for i, c in enumerate(a))
    segments = [marks[0]] + [q - p - 1 for p, q in zip(marks, marks[1:])] + [n - marks[-1] - 1]
    expected = {"levenshtein_distance": 5, "levenshtein_similarity": n - 5, "hamming_distance": 5,
                "prefix_similarity": marks[0], "postfix_similarity": n - 1 - marks[-1],
                "prefix_distance": n - marks[0], "postfix_distance": marks[-1] + 1,
                "osa_distance": 5, "damerau_levenshtein_distance": 5,
                "lcs_str_similarity": max(segments), "smith_waterman_score": float(n - 5),
                "needleman_wunsch_score": float(n - 5)}
elif shape == "excerpt":  # m symbols from the middle of `a`, one replaced by a symbol `a` lacks
    start = n // 3
    b = a[start:start + m // 2] + "x" + a[start + m // 2 + 1:start + m]
    lcs = m - 1
    expected = {"indel_distance": n + m - 2 * lcs, "lcs_seq_similarity": lcs,
                "lcs_seq_distance": n - lcs, "ratio": 2 * lcs * 100 / (n + m),
                "levenshtein_distance": n - m + 1}
else:  # words
    vocabulary = ["new", "york", "mets", "meats", "café", "€uro", "👍", "a", "ab"]
    words = rng.choices(vocabulary, k=n // 4)
    a, b = " ".join(words), " ".join(words[1:] + ["zebra"])
    ca, cb = Counter(a.split()), Counter(b.split())
    inter, na, nb = sum((ca & cb).values()), sum(ca.values()), sum(cb.values())
    expected = {"jaccard_similarity": inter / sum((ca | cb).values()),
                "overlap_similarity": inter / min(na, nb),
                "cosine_similarity": inter / (na * nb) ** 0.5}
fns = [next(getattr(m, x) for m in (distance, fuzz, _quorvalex) if hasattr(m, x))
       for x in names.split(",")]
for fn in fns:                          # first calls of every kind, on small texts
    fn("abé", "abc")
base = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
results = {fn.__name__: [fn(a, b), fn(b, a)] for fn in fns}
growth = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 - base
batches = {fn.__name__: getattr(fn.__self__, fn.__name__ + "_batch")([(a, b), (b, a)])
           for fn in fns if hasattr(fn.__self__, fn.__name__ + "_batch")}
print(json.dumps({"growth": growth, "results": results, "expected": expected,
                  "n": [len(a), len(b)], "batches": batches}))
"""


MILLION = 200_000 if SANITIZED else 1_000_000
LINEAR = ["prefix_similarity", "prefix_distance", "prefix_normalized_similarity",
          "postfix_similarity", "postfix_distance", "postfix_normalized_distance",
          "hamming_distance", "hamming_normalized_similarity", "levenshtein_distance",
          "levenshtein_similarity", "levenshtein_normalized_similarity"]
LCS_AND_RATIOS = ["indel_distance", "indel_normalized_similarity", "lcs_seq_distance",
                  "lcs_seq_similarity", "ratio", "q_ratio", "partial_ratio", "token_sort_ratio",
                  "token_set_ratio", "token_ratio", "partial_token_ratio", "w_ratio",
                  "jaro_similarity", "jaro_winkler_similarity", "levenshtein_distance",
                  "osa_distance"]
SET_MEASURES = ["jaccard_similarity", "sorensen_dice_similarity", "tversky_similarity",
                "overlap_similarity", "cosine_similarity", "soft_tfidf_similarity",
                "token_set_ratio", "partial_token_set_ratio", "partial_token_ratio"]
QUADRATIC = ["damerau_levenshtein_distance", "osa_distance", "lcs_str_similarity",
             "smith_waterman_score", "needleman_wunsch_score"]
CASES = [*[(kind, MILLION, "substituted", LINEAR, 0) for kind in ALPHABETS],
         *[(kind, MILLION, "excerpt", LCS_AND_RATIOS, m)
           for kind, m in [("ascii", 1000), ("latin", 700), ("bmp", 700), ("cjk", 300)]],
         ("ascii", MILLION, "words", SET_MEASURES, 0),
         *[(kind, 2000 if SANITIZED else 6000, "substituted", QUADRATIC, 0)
           for kind in ["ascii", "cjk"]]]


@pytest.mark.parametrize("kind,n,shape,names,m", CASES,
                         ids=lambda v: "" if isinstance(v, list) else str(v))
def test_huge_inputs(kind, n, shape, names, m):
    out = run_python("ALPHABETS = " + repr(ALPHABETS) + "\n" + BUILD, kind, n, shape, m,
                     ",".join(names), timeout=600)
    assert out.returncode == 0, out.stderr[-3000:]
    report = json.loads(out.stdout)
    len_a, len_b = report["n"]
    # Dozens of bytes a symbol (copies, masks, rows), never a cell per pair (ASan keeps memory).
    limit = 48 * (len_a + len_b) + (32 << 20)
    if not SANITIZED:  # a matrix of 8-byte cells would exceed the bound
        assert report["growth"] <= limit < 8 * len_a * len_b, (report["growth"], limit)
    for name, (forward, backward) in report["results"].items():
        assert name.startswith("soft_tfidf") or forward == backward, (name, forward, backward)
        if name in report["expected"]:
            assert forward == pytest.approx(report["expected"][name], rel=1e-12), name
        assert not name.endswith("ratio") or 0.0 <= forward <= 100.0, (name, forward)
    assert set(report["expected"]) & set(report["results"])
    assert all(report["results"][name] == pair for name, pair in report["batches"].items())

