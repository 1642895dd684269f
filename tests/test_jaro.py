"""Jaro and Jaro-Winkler forms: every matching form against the straightforward procedure."""

import random

import pytest

from edit_reference import (ALPHABETS, cut_above, cut_below, float_cutoffs, jaro, jaro_winkler,
                            mutate, random_text, render)
from quorvalex import distance as d

SIMILARITIES = [d.jaro_similarity, d.jaro_normalized_similarity]
DISTANCES = [d.jaro_distance, d.jaro_normalized_distance]
JW_SIMILARITIES = [d.jaro_winkler_similarity, d.jaro_winkler_normalized_similarity]
JW_DISTANCES = [d.jaro_winkler_distance, d.jaro_winkler_normalized_distance]


def check(s1, s2, weights=(0.1, 0.25), cutoffs=False):
    """Every form on both argument orders; with cutoffs, also around both values and NaN."""
    cases = [(jaro(s1, s2), SIMILARITIES, DISTANCES, {})] + [
        (jaro_winkler(s1, s2, p), JW_SIMILARITIES, JW_DISTANCES, {"prefix_weight": p})
        for p in weights]
    for value, sims, dists, kw in cases:
        for c in [None] + (float_cutoffs(value, 1.0 - value) if cutoffs else []):
            for a, b in ((s1, s2), (s2, s1)):
                for fn in sims:
                    assert fn(a, b, **kw, score_cutoff=c) == cut_below(value, c), (a, b, c, kw)
                for fn in dists:
                    assert fn(a, b, **kw, score_cutoff=c) == cut_above(1.0 - value, c, 1.0)


# Lengths around the one-word (64), two-word (128) and block forms, with the longer text far
# beyond the shorter one plus the window.
LENGTHS = [(1, 1), (2, 3), (5, 9), (63, 64), (64, 65), (65, 65), (10, 100), (127, 128),
           (128, 129), (129, 129), (64, 129), (10, 200), (150, 300), (191, 193)]


@pytest.mark.parametrize("n1, n2", LENGTHS)
def test_against_reference(n1, n2):
    """Random texts, sparse ones (few shared symbols on distinct fillers: matches hinge on the
    window edges) and near copies (Jaro above 0.7: the prefix boost), in every alphabet."""
    rng = random.Random(n1 * 1000 + n2)
    pairs = []
    for k in range(3):
        letters = "abc"[:2 + k % 2]
        pairs.append((random_text(rng, n1, letters), random_text(rng, n2, letters)))
        p = 0.15 if k % 2 else min(0.15, 3.0 / max(n1, n2))
        pairs.append(tuple("".join(rng.choice("ab") if rng.random() < p else f for _ in range(n))
                           for n, f in ((n1, "c"), (n2, "d"))))
        text = random_text(rng, n1, "abcd")
        pairs.append((text, mutate(rng, text, "abcd", rng.randint(1, 6))))
    for s1, s2 in pairs:
        for alphabet in ALPHABETS:
            check(render(s1, alphabet), render(s2, alphabet))


@pytest.mark.parametrize("n1, n2", [(9, 9), (64, 40), (100, 65), (128, 128), (200, 180),
                                    (140, 300)])
def test_single_match_at_window_edges(n1, n2):
    """One shared symbol at positions i and i + delta: a match exactly when |delta| <= w."""
    w = max(n1, n2) // 2 - 1
    for i in {0, 1, 63, 64, 65, 127, 128, n1 // 2, n1 - 1} & set(range(n1)):
        for j in {i + delta for delta in (-w - 1, -w, w, w + 1)} & set(range(n2)):
            s1, s2 = "c" * i + "a" + "c" * (n1 - i - 1), "d" * j + "a" + "d" * (n2 - j - 1)
            expected = (1 / n1 + 1 / n2 + 1.0) / 3.0 if abs(i - j) <= w else 0.0
            for alphabet in ("ascii", "bmp"):
                a, b = render(s1, alphabet), render(s2, alphabet)
                assert d.jaro_similarity(a, b) == d.jaro_similarity(b, a) == expected, (i, j)


@pytest.mark.parametrize("n1, n2", [(40, 40), (64, 64), (64, 50), (100, 64), (300, 200)])
def test_many_distinct_symbols(n1, n2):
    """Up to 120 distinct code points: symbol-keyed masks must keep colliding symbols apart."""
    rng = random.Random(n1 + n2)
    letters = [chr(0x100 + k) for k in range(80)] + [chr(0x1F400 + k) for k in range(40)]
    for _ in range(4):
        s1 = "".join(rng.choices(letters, k=n1))
        s2 = s1[:n2] + "".join(rng.choices(letters, k=max(0, n2 - n1)))
        check(s1, mutate(rng, s2, letters, n2 // 3), weights=(0.1,))


def test_repetitive_texts():
    """Every position is a candidate: the window edges decide which ones get flagged."""
    for n1, n2 in [(64, 64), (30, 64), (65, 128), (128, 40), (129, 300), (500, 70)]:
        for s1, s2 in [("a" * n1, "a" * n2), ("ab" * (n1 // 2), "ba" * (n2 // 2)),
                       ("a" * (n1 - 1) + "b", "b" + "a" * (n2 - 1))]:
            check(s1, s2, weights=(0.1,))


@pytest.mark.parametrize("s1, s2, j, jw", [
    ("MARTHA", "MARHTA", 0.9444444444444445, 0.9611111111111111),
    ("DIXON", "DICKSONX", 0.7666666666666666, 0.8133333333333332),
    ("xabcd", "yabcd", 0.8666666666666667, 0.8666666666666667),
    ("ab", "ba", 0.0, 0.0),
    ("", "", 1.0, 1.0),
    ("", "abc", 0.0, 0.0),
    ("e\u0301", "\u00e9", 0.0, 0.0),
    ("abcdefghijklmnop", "abcdzzzzzzzzzzzz", 0.5, 0.5),  # below 0.7: no boost
    ("abcdx", "abcdy", 0.8666666666666667, 0.92),
    ("\u00e9a\u20ac\U0001f44dxy", "\u00e9a\u20ac\U0001f44dyx", 0.9444444444444445,
     0.9666666666666667),  # prefix capped at 4 decoded symbols
    ("a\u00e9\u20acx", "a\u00e9\u20acy", 0.8333333333333334, 0.8833333333333334),
    ("\u00e9abcd", "\u00eaabcd", 0.8666666666666667, 0.8666666666666667),  # same lead byte
])
def test_worked_values(s1, s2, j, jw):
    assert (jaro(s1, s2), jaro_winkler(s1, s2)) == (j, jw)
    check(s1, s2, weights=(0.1, 0.25, 0.5, -0.5), cutoffs=True)


def test_boost_is_not_clamped():
    assert d.jaro_winkler_similarity("abcdx", "abcdy", prefix_weight=0.5) == 1.1333333333333333


@pytest.mark.parametrize("n1, n2", [(10, 12), (64, 64), (60, 100), (128, 129), (200, 150)])
def test_mixed_widths(n1, n2):
    """Each text in its own storage width (1, 2 or 4 bytes per symbol), ASCII symbols beside
    one wider symbol, so that narrow and wide code units meet in one pair."""
    rng = random.Random(n1 * 7 + n2)
    for wide in ("\u00e9", "\u20ac", "\U0001f600"):
        for _ in range(3):
            s1 = random_text(rng, n1, "abcd")
            s2 = mutate(rng, s1[:n2] + random_text(rng, max(0, n2 - n1), "abcd"), "abcd", 4)
            i = rng.randrange(len(s2) + 1)
            check(s1, s2[:i] + wide + s2[i:], weights=(0.1,))


def test_more_than_255_distinct_symbols():
    """700 CJK symbols: wide ids; past 8192 mask words the pattern's rows are kept sparse."""
    rng = random.Random(3)
    letters = [chr(0x4E00 + k) for k in range(700)] + ["a", "\U0001f600"]
    for n1, n2 in [(300, 300), (600, 500), (100, 700)]:
        s1 = "".join(rng.choices(letters, k=n1))
        s2 = mutate(rng, (s1 * 2)[:n2], letters, n2 // 5)
        check(s1, s2, weights=(0.1,))


def test_more_than_65535_distinct_symbols():
    """66,000 distinct astral symbols and a copy with six of them replaced by symbols it lacks:
    every other position matches itself, nothing is transposed."""
    n = 66000
    s1 = "".join(chr(0x10000 + k) for k in range(n))
    s2 = "".join(chr(0x4E00 + k) if k % 11000 == 5 else c for k, c in enumerate(s1))
    m = n - 6
    x = m / n
    expected = (x + m / n + (m - 0) / m) / 3.0
    assert d.jaro_similarity(s1, s2) == d.jaro_similarity(s2, s1) == expected
    assert d.jaro_winkler_similarity(s1, s2) == expected + (1.0 - expected) * (0.1 * 4)
