"""Hamming measures: lengths in code points, None for unequal lengths, cutoff rules, batches."""

import math
import random

import pytest

from quorvalex import distance as d


def ref_hamming(s1, s2):
    """(mismatches, length) over code points, or None for unequal lengths."""
    if len(s1) != len(s2):
        return None
    return sum(a != b for a, b in zip(s1, s2)), len(s1)


def expected(s1, s2):
    r = ref_hamming(s1, s2)
    if r is None:
        return dict.fromkeys(("dist", "sim", "norm", "nsim"))
    D, n = r
    norm = 0.0 if n == 0 else D / n
    return {"dist": D, "sim": n - D, "norm": norm, "nsim": 1.0 - norm}


def check_all(s1, s2, int_cutoffs=(), float_cutoffs=()):
    e = expected(s1, s2)
    for a, b in ((s1, s2), (s2, s1)):
        assert d.hamming_distance(a, b) == e["dist"]
        assert d.hamming_similarity(a, b) == e["sim"]
        assert d.hamming_normalized_distance(a, b) == e["norm"]
        assert d.hamming_normalized_similarity(a, b) == e["nsim"]
        for k in int_cutoffs:
            dist = d.hamming_distance(a, b, score_cutoff=k)
            sim = d.hamming_similarity(a, b, score_cutoff=k)
            if e["dist"] is None:
                assert dist is None and sim is None
            else:
                assert dist == (e["dist"] if e["dist"] <= k else k + 1), k
                assert sim == (0 if e["sim"] < k else e["sim"]), k
        for c in float_cutoffs:
            norm = d.hamming_normalized_distance(a, b, score_cutoff=c)
            nsim = d.hamming_normalized_similarity(a, b, score_cutoff=c)
            if e["norm"] is None:
                assert norm is None and nsim is None
            else:
                # Empty and identical texts give 0.0 before the cutoff is looked at.
                mapped = 1.0 if e["norm"] > c and a != b else e["norm"]
                assert norm == mapped, c
                assert nsim == (0.0 if e["nsim"] < c else e["nsim"]), c


def cutoffs_around(s1, s2):
    e = expected(s1, s2)
    if e["dist"] is None:
        return [0, 1, 5], [0.0, 0.5, 1.0]
    ints = sorted({0, max(e["dist"] - 1, 0), e["dist"], e["dist"] + 1,
                   max(e["sim"] - 1, 0), e["sim"], e["sim"] + 1, 2**64 - 1})
    floats = [e["norm"], e["nsim"], math.nextafter(e["norm"], -1), math.nextafter(e["norm"], 2),
              math.nextafter(e["nsim"], -1), math.nextafter(e["nsim"], 2), -0.5, 1.5, math.nan]
    return ints, floats


@pytest.mark.parametrize(
    "s1, s2, want",
    [
        ("karolin", "kathrin", (3, 4, 3 / 7, 1.0 - 3 / 7)),
        ("", "", (0, 0, 0.0, 1.0)),
        ("abc", "ab", None),
        ("", "abc", None),
        ("\u00e9", "e", (1, 0, 1.0, 0.0)),  # one code point each, byte lengths differ
        ("\U0001f44d", "a", (1, 0, 1.0, 0.0)),
        ("e\u0301", "\u00e9", None),  # two code points against one
        ("\u00e9a", "abc", None),  # same byte length, different code-point counts
        ("a\u20acb", "a\u20acc", (1, 2, 1 / 3, 1.0 - 1 / 3)),
        ("\x00\x00", "\x00a", (1, 1, 0.5, 0.5)),
        ("  \t", " \t ", (2, 1, 2 / 3, 1.0 - 2 / 3)),
        ("abc", "abc", (0, 3, 0.0, 1.0)),
    ],
)
def test_worked_values(s1, s2, want):
    got = (d.hamming_distance(s1, s2), d.hamming_similarity(s1, s2),
           d.hamming_normalized_distance(s1, s2), d.hamming_normalized_similarity(s1, s2))
    assert got == ((None,) * 4 if want is None else want)
    ints, floats = cutoffs_around(s1, s2)
    check_all(s1, s2, ints, floats)


def test_documented_cutoffs():
    assert d.hamming_distance("abcd", "wxyz", score_cutoff=2) == 3
    assert d.hamming_distance("abcd", "wxyz", score_cutoff=4) == 4
    assert d.hamming_similarity("abcd", "abyz", score_cutoff=3) == 0
    assert d.hamming_similarity("abcd", "abyz", score_cutoff=2) == 2
    assert d.hamming_normalized_distance("karolin", "kathrin", score_cutoff=0.4) == 1.0
    assert d.hamming_normalized_similarity("karolin", "kathrin", score_cutoff=0.6) == 0.0
    # Empty and identical texts are 0.0 for the normalized distance whatever the cutoff.
    assert d.hamming_normalized_distance("", "", score_cutoff=-1.0) == 0.0
    assert d.hamming_normalized_distance("ab", "ab", score_cutoff=-1.0) == 0.0
    assert d.hamming_normalized_distance("ab", "ac", score_cutoff=-1.0) == 1.0
    assert d.hamming_similarity("ab", "ab", score_cutoff=3) == 0
    assert d.hamming_normalized_similarity("", "", score_cutoff=1.5) == 0.0
    assert d.hamming_distance("abc", "ab", score_cutoff=0) is None


ALPHABETS = {
    "ascii": "abc",
    "latin1": "\u00e9b\u00ff",
    "bmp": "\u20acb\u0100",
    "astral": "\U0001f44db\U0001f600",
}


@pytest.mark.parametrize("n", [1, 7, 8, 15, 16, 17, 31, 32, 33, 64, 65, 200])
@pytest.mark.parametrize("alphabet", list(ALPHABETS))
def test_random_equal_lengths(n, alphabet):
    """Lengths around the sixteen-byte stride, the same symbols in every alphabet."""
    rng = random.Random(f"{n}-{alphabet}")
    letters = ALPHABETS[alphabet]
    for _ in range(6):
        s1 = "".join(rng.choice(letters[:2]) for _ in range(n))
        s2 = "".join(rng.choice(letters) for _ in range(n))
        ints, floats = cutoffs_around(s1, s2)
        check_all(s1, s2, ints, floats)
        # One symbol more: no value.
        check_all(s1 + letters[0], s2, (0, 1), (0.5,))


@pytest.mark.parametrize("n", [16, 33, 100])
def test_ascii_bytes_differing_in_any_bit(n):
    """Byte pairs that differ in one bit only, at every bit position below 0x80."""
    rng = random.Random(n)
    for bit in range(7):
        s1 = "".join(chr(rng.randrange(128)) for _ in range(n))
        s2 = "".join(chr(ord(c) ^ (1 << bit)) if rng.random() < 0.3 else c for c in s1)
        check_all(s1, s2)


def test_mixed_widths_at_random():
    rng = random.Random(5)
    pool = "ab\u00e9\u20ac\U0001f44d\x00 "
    for _ in range(500):
        n = rng.randrange(0, 12)
        s1 = "".join(rng.choice(pool) for _ in range(n))
        s2 = "".join(rng.choice(pool) for _ in range(n + rng.choice([0, 0, 0, 1])))
        check_all(s1, s2, (rng.randrange(0, 6),), (rng.random(),))


def test_documented_batch():
    assert d.hamming_distance_batch([("ab", "ac"), ("a", "abc")]) == [1, None]


@pytest.mark.parametrize(
    "name, cutoffs",
    [
        ("hamming_distance", [None, 0, 1, 3, 100]),
        ("hamming_normalized_similarity", [None, 0.0, 0.5, 0.75, 1.0]),
    ],
)
def test_batch_matches_scalar(name, cutoffs):
    rng = random.Random(name)
    pool = "ab\u00e9\u20ac\U0001f44d"
    pairs = [("", ""), ("", "a"), ("karolin", "kathrin")]
    for _ in range(300):
        n = rng.randrange(0, 40)
        pairs.append(
            (
                "".join(rng.choice(pool[:2]) for _ in range(n)),
                "".join(rng.choice(pool) for _ in range(n + rng.choice([0, 0, 1]))),
            )
        )
    scalar = getattr(d, name)
    batch = getattr(d, name + "_batch")
    for c in cutoffs:
        kw = {} if c is None else {"score_cutoff": c}
        got = batch(pairs, **kw)
        assert None in got
        assert got == [scalar(a, b, **kw) for a, b in pairs]
