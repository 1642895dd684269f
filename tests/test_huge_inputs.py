"""Huge inputs: a million characters through the linear and n*m/64 measures, tens of thousands
through the quadratic ones. Each case runs in a fresh interpreter that reports the growth of
its peak resident memory during the calls: it must stay proportional to the input size, never
to the product of the two lengths. Results are checked against values known by construction.
"""

import json
import os
import subprocess
import sys
import textwrap

import pytest

SANITIZED = bool(os.environ.get("QUORVALEX_SANITIZED"))

ALPHABETS = {
    "ascii": "abcd ",
    "latin": "abé ",
    "bmp": "ab€Ā ",
    "astral": "a👍b ",
    # more than 256 distinct symbols: past the byte tables of every kernel
    "cjk": "".join(chr(0x4E00 + i) for i in range(700)),
}

# Builds `a` and `b` from (kind, n, shape, m) and defines `expected`, a dict of known values.
BUILD = r"""
import random, resource, json, sys
from collections import Counter
from quorvalex import _quorvalex, distance, fuzz
kind, n, shape, m, names = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), sys.argv[5]
alpha = ALPHABETS[kind]
rng = random.Random(n * 7 + len(shape))
a = "".join(rng.choices(alpha, k=n))
expected = {}
if shape == "substituted":
    # five substitutions by a symbol that `a` lacks: spread over the text (10%, 30%, ...,
    # 90%) for the quadratic measures, close together in the middle for the million-symbol
    # texts (the edit-distance kernels trim the common prefix and suffix)
    if n <= 100_000:
        marks = [n * k // 10 for k in (1, 3, 5, 7, 9)]
    else:
        marks = [n // 2 + 7 * k for k in range(5)]
    b = list(a)
    for p in marks:
        b[p] = "x"
    b = "".join(b)
    segments = [marks[0]] + [q - p - 1 for p, q in zip(marks, marks[1:])] + [n - marks[-1] - 1]
    expected = {
        "levenshtein_distance": 5, "levenshtein_similarity": n - 5,
        "hamming_distance": 5, "hamming_similarity": n - 5,
        "prefix_similarity": marks[0], "postfix_similarity": n - 1 - marks[-1],
        "prefix_distance": n - marks[0], "postfix_distance": marks[-1] + 1,
        "osa_distance": 5, "damerau_levenshtein_distance": 5,
        "lcs_str_similarity": max(segments),
        "smith_waterman_score": float(n - 5), "needleman_wunsch_score": float(n - 5),
    }
elif shape == "transposed":
    # five transpositions of two different adjacent symbols
    b = list(a)
    for k in (1, 3, 5, 7, 9):
        p = n * k // 10
        while b[p] == b[p + 1]:
            p += 1
        b[p], b[p + 1] = b[p + 1], b[p]
    b = "".join(b)
    expected = {"damerau_levenshtein_distance": 5, "osa_distance": 5}
elif shape == "excerpt":
    # m symbols of `a` from its middle, one of them replaced by a symbol that `a` lacks
    start = n // 3
    b = a[start:start + m // 2] + "x" + a[start + m // 2 + 1:start + m]
    lcs = m - 1
    expected = {
        "indel_distance": n + m - 2 * lcs, "indel_similarity": 2 * lcs,
        "lcs_seq_similarity": lcs, "lcs_seq_distance": n - lcs,
        "ratio": 2 * lcs * 100 / (n + m), "levenshtein_distance": n - m + 1,
    }
elif shape == "words":
    vocabulary = ["new", "york", "mets", "meats", "café", "€uro", "👍", "a", "b", "ab"]
    words = rng.choices(vocabulary, k=n // 4)
    a = " ".join(words)
    b = " ".join(words[1:] + ["zebra"])
    ca, cb = Counter(a.split()), Counter(b.split())
    inter = sum((ca & cb).values())
    expected = {
        "jaccard_similarity": inter / sum((ca | cb).values()),
        "overlap_similarity": inter / min(sum(ca.values()), sum(cb.values())),
        "cosine_similarity": inter / (sum(ca.values()) * sum(cb.values())) ** 0.5,
    }
else:
    raise SystemExit("unknown shape " + shape)

def function(name):
    for module in (distance, fuzz, _quorvalex):
        if hasattr(module, name):
            return getattr(module, name)
    raise SystemExit("no function " + name)

fns = [function(name) for name in names.split(",")]
for fn in fns:                          # first calls of every kind, on small texts
    fn("abé", "abc")
distance.prefix_similarity(a, b)        # caches the UTF-8 forms of both texts
base = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
results = {fn.__name__: [fn(a, b), fn(b, a)] for fn in fns}
growth = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 - base
print(json.dumps({"growth": growth, "results": results, "expected": expected,
                  "lengths": [len(a), len(b)]}))
"""


def run_case(kind, n, shape, names, m=0, timeout=600):
    script = "ALPHABETS = " + repr(ALPHABETS) + "\n" + BUILD
    out = subprocess.run(
        [sys.executable, "-P", "-c", script, kind, str(n), shape, str(m), ",".join(names)],
        capture_output=True,
        text=True,
        timeout=timeout,
        env={k: v for k, v in os.environ.items() if not k.startswith("RAYON_")},
    )
    assert out.returncode == 0, out.stderr[-3000:]
    report = json.loads(out.stdout)
    len_a, len_b = report["lengths"]
    # Memory in proportion to the input: a few dozen bytes per symbol (decoded copies, match
    # masks of 2 KiB per 64 symbols, counter rows), never one cell per pair of symbols.
    # (Not under AddressSanitizer, whose quarantine keeps freed memory resident.)
    limit = 48 * (len_a + len_b) + (32 << 20)
    if not SANITIZED:
        assert report["growth"] <= limit, (report["growth"], limit)
        assert limit < 8 * len_a * len_b  # a matrix of 8-byte cells would exceed the bound
    for name, (forward, backward) in report["results"].items():
        if not name.startswith("soft_tfidf"):
            assert forward == backward, (name, forward, backward)
        if name in report["expected"]:
            assert forward == pytest.approx(report["expected"][name], rel=1e-12), name
        if "normalized" in name or name.startswith(("jaro", "jaccard", "sorensen", "overlap")):
            assert 0.0 <= forward <= 1.0, (name, forward)
        if name.endswith("ratio"):
            assert 0.0 <= forward <= 100.0, (name, forward)
    return report


MILLION = 200_000 if SANITIZED else 1_000_000

LINEAR_ON_EQUAL_LENGTHS = [
    "prefix_similarity", "prefix_distance", "prefix_normalized_similarity",
    "postfix_similarity", "postfix_distance", "postfix_normalized_distance",
    "hamming_distance", "hamming_similarity", "hamming_normalized_similarity",
    "levenshtein_distance", "levenshtein_similarity", "levenshtein_normalized_distance",
    "levenshtein_normalized_similarity",
]


@pytest.mark.parametrize("kind", ["ascii", "latin", "bmp", "astral", "cjk"])
def test_million_symbols_with_a_few_substitutions(kind):
    report = run_case(kind, MILLION, "substituted", LINEAR_ON_EQUAL_LENGTHS)
    assert set(report["expected"]) & set(report["results"])


LCS_AND_RATIOS = [
    "indel_distance", "indel_similarity", "indel_normalized_similarity",
    "lcs_seq_distance", "lcs_seq_similarity", "lcs_seq_normalized_distance",
    "ratio", "q_ratio", "partial_ratio", "token_sort_ratio", "token_set_ratio", "token_ratio",
    "partial_token_sort_ratio", "partial_token_set_ratio", "partial_token_ratio", "w_ratio",
    "jaro_similarity", "jaro_winkler_similarity", "jaro_distance",
    "levenshtein_distance", "osa_distance",
]


@pytest.mark.parametrize("kind,m", [("ascii", 1000), ("latin", 700), ("bmp", 700), ("cjk", 300)])
def test_million_symbols_against_an_excerpt(kind, m):
    run_case(kind, MILLION, "excerpt", LCS_AND_RATIOS, m=m)


SET_MEASURES = [
    "jaccard_similarity", "jaccard_distance", "sorensen_dice_similarity", "tversky_similarity",
    "overlap_similarity", "cosine_similarity", "cosine_distance", "soft_tfidf_similarity",
    "token_set_ratio", "partial_token_set_ratio", "partial_token_ratio",
]


def test_million_characters_of_words():
    run_case("ascii", MILLION, "words", SET_MEASURES)


QUADRATIC = [
    "damerau_levenshtein_distance", "osa_distance", "lcs_str_similarity",
    "smith_waterman_score", "needleman_wunsch_score",
]


@pytest.mark.parametrize("kind", ["ascii", "cjk"])
def test_quadratic_measures_on_thousands(kind):
    run_case(kind, 2000 if SANITIZED else 6000, "substituted", QUADRATIC)
    run_case(kind, 2000 if SANITIZED else 6000, "transposed", QUADRATIC[:2])


@pytest.mark.slow
@pytest.mark.parametrize("kind", ["ascii", "bmp", "cjk"])
def test_quadratic_measures_on_fifty_thousand(kind):
    run_case(kind, 50_000, "substituted", QUADRATIC)


@pytest.mark.slow
def test_damerau_levenshtein_fifty_thousand_transposed():
    run_case("cjk", 50_000, "transposed", ["damerau_levenshtein_distance", "osa_distance"])


def test_huge_pairs_in_a_batch():
    script = textwrap.dedent(
        """
        import random
        from quorvalex import distance, fuzz
        rng = random.Random(2)
        a = "".join(rng.choices("abcé ", k=N))
        b = a[: N // 2] + "x" + a[N // 2 + 1 :]
        equal_lengths = [(a, b), (b, a), (a, a), ("", a)]
        short_and_long = [(a, a[:1000]), (a[-999:], a), (a, "")]
        for fn, pairs in ((distance.levenshtein_distance_batch, equal_lengths),
                          (distance.hamming_distance_batch, equal_lengths),
                          (distance.prefix_similarity_batch, equal_lengths),
                          (fuzz.ratio_batch, short_and_long),
                          (distance.indel_distance_batch, short_and_long)):
            scalar = getattr(distance, fn.__name__[:-6], None) or getattr(fuzz, fn.__name__[:-6])
            assert fn(pairs) == [scalar(x, y) for x, y in pairs], fn.__name__
        print("ok")
        """
    )
    script = f"N = {MILLION // 4}\n" + script
    out = subprocess.run([sys.executable, "-P", "-c", script], capture_output=True, text=True,
                         timeout=600)
    assert out.returncode == 0 and out.stdout.split() == ["ok"], out.stderr[-3000:]


# ---------------------------------------------------------------------------------------------
# Per-thread scratch: the partial ratio keeps dynamic-programming rows per thread for needles
# with more than 255 distinct symbols, Damerau-Levenshtein three rows on its ASCII path; rows
# grown by one huge call must not stay allocated for the life of the thread.

SCRATCH = r"""
import ctypes, random, sys
from quorvalex import distance, fuzz

class MallInfo(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]

libc = ctypes.CDLL(None)
libc.mallinfo2.restype = MallInfo

def in_use():
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd

rng = random.Random(3)
m = int(sys.argv[1])
needle = "".join(chr(0x4E00 + rng.randrange(700)) for _ in range(m))
hay = "".join(chr(0x4E00 + rng.randrange(700)) for _ in range(m + 1))
# a small call first, so that the rows exist at their ordinary size
fuzz.partial_ratio("".join(chr(0x4E00 + i) for i in range(300)), "".join(chr(0x4E01 + i) for i in range(301)))
distance.prefix_similarity(needle, hay)        # caches the UTF-8 forms of both texts
before = in_use()
score = fuzz.partial_ratio(needle, hay)
print(score, in_use() - before)

# Damerau-Levenshtein keeps three rows of len(s2) + 1 cells per thread on its ASCII path.
long_ascii = "".join(rng.choices("abcd", k=300_000))
distance.damerau_levenshtein_distance("ab", "abc")
distance.prefix_similarity(long_ascii, long_ascii)
before = in_use()
d = distance.damerau_levenshtein_distance("ab", long_ascii)
print(d, in_use() - before)
"""


@pytest.mark.skipif(SANITIZED, reason="allocator statistics come from glibc's malloc")
def test_huge_per_thread_rows_are_not_kept():
    m = 20_000  # rows of 2 x 20 001 counters: 320 KB
    out = subprocess.run([sys.executable, "-P", "-c", SCRATCH, str(m)], capture_output=True,
                         text=True, timeout=300)
    assert out.returncode == 0, out.stderr[-3000:]
    score, kept, distance_, kept_by_dl = out.stdout.split()
    assert 0.0 < float(score) < 100.0
    assert int(kept) < 64 * 1024, kept
    assert int(distance_) >= 300_000 - 2
    assert int(kept_by_dl) < 64 * 1024, kept_by_dl  # rows of 7 MB were used
