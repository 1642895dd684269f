"""Levenshtein distance, similarity and normalized forms against a textbook dynamic programme."""

import math
import random

import pytest

from quorvalex import distance as d

U64_MAX = 2**64 - 1


def ref_lev(a, b):
    """Textbook Wagner-Fischer, one row at a time."""
    if len(a) > len(b):
        a, b = b, a
    prev = list(range(len(a) + 1))
    for i, cb in enumerate(b, 1):
        cur = [i]
        for j, ca in enumerate(a, 1):
            cur.append(min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (ca != cb)))
        prev = cur
    return prev[-1]


def expected(s1, s2, dist):
    m = max(len(s1), len(s2))
    norm = 0.0 if m == 0 else dist / m
    return {"dist": dist, "sim": m - dist, "norm": norm, "nsim": 1.0 - norm}


def check_all(s1, s2, dist, int_cutoffs=(), float_cutoffs=()):
    """Every form, both argument orders, without and with the given cutoffs."""
    e = expected(s1, s2, dist)
    for a, b in ((s1, s2), (s2, s1)):
        assert d.levenshtein_distance(a, b) == e["dist"]
        assert d.levenshtein_similarity(a, b) == e["sim"]
        assert d.levenshtein_normalized_distance(a, b) == e["norm"]
        assert d.levenshtein_normalized_similarity(a, b) == e["nsim"]
        for k in int_cutoffs:
            assert d.levenshtein_distance(a, b, score_cutoff=k) == (
                e["dist"] if e["dist"] <= k else k + 1
            ), k
            assert d.levenshtein_similarity(a, b, score_cutoff=k) == (
                0 if e["sim"] < k else e["sim"]
            ), k
        for c in float_cutoffs:
            # Two empty texts give 0.0 whatever the cutoff.
            mapped = 1.0 if e["norm"] > c and (a or b) else e["norm"]
            assert d.levenshtein_normalized_distance(a, b, score_cutoff=c) == mapped, c
            assert d.levenshtein_normalized_similarity(a, b, score_cutoff=c) == (
                0.0 if e["nsim"] < c else e["nsim"]
            ), c


def cutoffs_around(s1, s2, dist):
    m = max(len(s1), len(s2))
    sim = m - dist
    ints = {0, dist // 2, max(dist - 1, 0), dist, dist + 1, sim - 1 if sim else 0, sim, sim + 1,
            m, m + 1, U64_MAX}
    norm = 0.0 if m == 0 else dist / m
    floats = [-0.5, 0.0, norm, 1.0 - norm, math.nextafter(norm, -1.0), math.nextafter(norm, 2.0),
              math.nextafter(1.0 - norm, -1.0), math.nextafter(1.0 - norm, 2.0), 0.5, 1.0, 1.5,
              math.nan]
    return sorted(ints), floats


# Abstract symbols 0..3 rendered in four alphabets: bytes, Latin-1, BMP (U+20AC) and astral.
ALPHABETS = {
    "ascii": "abcd",
    "latin1": "\u00e9b\u00ffd",
    "bmp": "\u20acb\u0100d",
    "astral": "\U0001f44db\U0001f600d",
}


def render(seq, alphabet):
    return "".join(ALPHABETS[alphabet][x] for x in seq)


def middle_pair(rng, n, extra, k):
    """Two symbol lists over k symbols, lengths n and n + extra, with different first and
    last symbols so that no common prefix or suffix can be trimmed."""
    a = [rng.randrange(k) for _ in range(n)]
    b = [rng.randrange(k) for _ in range(n + extra)]
    a[0], b[0] = 0, 1
    a[-1], b[-1] = 2, 3
    if n == 1:
        a[0] = 2  # a single symbol differs from both ends of b
    return a, b


PATTERN_LENGTHS = [1, 2, 63, 64, 65, 127, 128, 129, 200, 600]


@pytest.mark.parametrize("n", PATTERN_LENGTHS)
def test_paths_against_reference(n):
    """Trimmed pattern lengths around the one-word and block boundaries, in every alphabet,
    bare and wrapped in a shared prefix and suffix (which trimming must remove)."""
    rng = random.Random(1000 + n)
    extra = rng.choice([0, 1, 3, 17])
    k = 2 if n % 2 else 4
    a, b = middle_pair(rng, n, extra, k)
    dist = ref_lev(a, b)
    pre = [rng.randrange(4) for _ in range(rng.randrange(0, 90))]
    suf = [rng.randrange(4) for _ in range(rng.randrange(0, 90))]
    for alphabet in ALPHABETS:
        s1, s2 = render(a, alphabet), render(b, alphabet)
        ints, floats = cutoffs_around(s1, s2, dist)
        check_all(s1, s2, dist, ints, floats)
        w1, w2 = render(pre + a + suf, alphabet), render(pre + b + suf, alphabet)
        check_all(w1, w2, dist, ints[:4])


@pytest.mark.parametrize("n", [64, 65, 129])
def test_wide_characters_only_in_trimmed_parts(n):
    """A character >= U+0100 in the shared prefix or suffix leaves the middle on the byte
    tables; the distance is unaffected."""
    rng = random.Random(n)
    a, b = middle_pair(rng, n, 5, 3)
    dist = ref_lev(a, b)
    for pre, suf in (("\u20ac", ""), ("", "\U0001f44d"), ("x\u20acy", "\u00e9\U0001f44d")):
        for alphabet in ("ascii", "latin1"):
            s1 = pre + render(a, alphabet) + suf
            s2 = pre + render(b, alphabet) + suf
            check_all(s1, s2, dist, (dist - 1, dist))


def test_same_text_in_every_alphabet_agrees_at_random():
    """Short random pairs over two or three letters: every path equals the reference."""
    rng = random.Random(7)
    for _ in range(400):
        k = rng.choice([2, 3])
        a = [rng.randrange(k) for _ in range(rng.randrange(0, 14))]
        b = [rng.randrange(k) for _ in range(rng.randrange(0, 14))]
        dist = ref_lev(a, b)
        alphabet = rng.choice(list(ALPHABETS))
        s1, s2 = render(a, alphabet), render(b, alphabet)
        kc = rng.randrange(0, 8)
        fc = rng.random()
        check_all(s1, s2, dist, (kc,), (fc,))


def test_mixed_alphabet_pairs():
    """An ASCII text against a non-ASCII one (both decoded) and texts mixing all widths."""
    rng = random.Random(11)
    pool = "ab\u00e9\u20ac\U0001f44d \x00"
    for _ in range(300):
        s1 = "".join(rng.choice(pool) for _ in range(rng.randrange(0, 20)))
        s2 = "".join(rng.choice("ab") for _ in range(rng.randrange(0, 20)))
        check_all(s1, s2, ref_lev(s1, s2))


@pytest.mark.parametrize(
    "s1, s2, dist",
    [
        ("", "", 0),
        ("", "abc", 3),
        ("kitten", "sitting", 3),
        ("caf\u00e9", "cafe", 1),
        ("abc", "abcdef", 3),
        ("def", "abcdef", 3),
        ("aaa", "aa", 1),
        ("abcxyz", "abqxyz", 1),
        ("   ", " ", 2),
        (" \t", "\t ", 2),
        ("a\x00b", "a\x00c", 1),
        ("\x00", "", 1),
        ("\U0001f44d", "\U0001f600", 1),
        ("e\u0301", "\u00e9", 2),
        ("\u00e9" * 70, "", 70),
        ("\u20ac" * 3, "\u20ac" * 3, 0),
    ],
)
def test_worked_values(s1, s2, dist):
    assert ref_lev(s1, s2) == dist
    ints, floats = cutoffs_around(s1, s2, dist)
    check_all(s1, s2, dist, ints, floats)


def test_documented_cutoffs():
    assert d.levenshtein_distance("kitten", "sitting", score_cutoff=2) == 3
    assert d.levenshtein_distance("kitten", "sitting", score_cutoff=3) == 3
    assert d.levenshtein_distance("kitten", "sitting", score_cutoff=0) == 1
    assert d.levenshtein_similarity("kitten", "sitting", score_cutoff=5) == 0
    assert d.levenshtein_similarity("kitten", "sitting", score_cutoff=4) == 4
    assert d.levenshtein_normalized_distance("kitten", "sitting", score_cutoff=0.4) == 1.0
    assert d.levenshtein_normalized_distance("kitten", "sitting", score_cutoff=3 / 7) == 3 / 7
    assert d.levenshtein_normalized_similarity("kitten", "sitting", score_cutoff=0.6) == 0.0
    assert d.levenshtein_normalized_similarity("kitten", "sitting", score_cutoff=4 / 7) == (
        1.0 - 3 / 7
    )


def test_empty_and_identical_edge_cutoffs():
    # Both empty: normalized distance is 0.0 whatever the cutoff.
    assert d.levenshtein_normalized_distance("", "", score_cutoff=-1.0) == 0.0
    assert d.levenshtein_normalized_similarity("", "", score_cutoff=1.0) == 1.0
    assert d.levenshtein_normalized_similarity("", "", score_cutoff=1.5) == 0.0
    # Identical non-empty texts: 0 / M is still mapped by the cutoff.
    assert d.levenshtein_normalized_distance("ab", "ab", score_cutoff=-0.5) == 1.0
    assert d.levenshtein_similarity("ab", "ab", score_cutoff=3) == 0
    assert d.levenshtein_similarity("ab", "ab", score_cutoff=2) == 2
    assert d.levenshtein_similarity("", "", score_cutoff=1) == 0


def test_long_texts_with_small_edits():
    """Long texts with one edit in the middle (trimming reaches the one-word path) and long
    texts that differ everywhere (many blocks), with cutoffs that end the scan early."""
    rng = random.Random(3)
    base = "".join(rng.choice("abc") for _ in range(3000))
    edited = base[:1500] + "x" + base[1501:2000] + base[2001:]
    check_all(base, edited, 2, (0, 1, 2, 3))
    a = [rng.randrange(3) for _ in range(300)]
    b = [rng.randrange(3) for _ in range(280)]
    dist = ref_lev(a, b)
    for alphabet in ("ascii", "bmp"):
        check_all(render(a, alphabet), render(b, alphabet), dist, (0, 10, dist - 1, dist, 500))


BATCH_FORMS = [
    ("levenshtein_distance", [None, 0, 2, 5]),
    ("levenshtein_similarity", [None, 0, 3, 10]),
    ("levenshtein_normalized_distance", [None, 0.0, 0.3, 0.9]),
    ("levenshtein_normalized_similarity", [None, 0.0, 0.5, 0.9]),
]


@pytest.mark.parametrize("name, cutoffs", BATCH_FORMS)
def test_batch_matches_scalar(name, cutoffs):
    rng = random.Random(name)
    pool = "abc\u00e9\u20ac\U0001f44d"
    pairs = [("", ""), ("kitten", "sitting"), ("a" * 70, "b" * 70)]
    for _ in range(300):
        pairs.append(
            (
                "".join(rng.choice(pool[: rng.choice([3, 4, 6])]) for _ in range(rng.randrange(0, 80))),
                "".join(rng.choice(pool[: rng.choice([3, 4, 6])]) for _ in range(rng.randrange(0, 80))),
            )
        )
    scalar = getattr(d, name)
    batch = getattr(d, name + "_batch")
    for c in cutoffs:
        kw = {} if c is None else {"score_cutoff": c}
        assert batch(pairs, **kw) == [scalar(a, b, **kw) for a, b in pairs]
