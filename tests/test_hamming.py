"""Hamming forms: code-point lengths, None for unequal lengths, cutoff rules."""

import random

import pytest

from edit_reference import ALPHABETS, check_forms, forms, random_text, render
from quorvalex import distance as d

HAMMING = forms(d, "hamming")


def mismatches(s1, s2):
    return sum(a != b for a, b in zip(s1, s2)) if len(s1) == len(s2) else None


def check(s1, s2):
    check_forms(HAMMING, s1, s2, mismatches(s1, s2), identical_zero=True)


@pytest.mark.parametrize("s1, s2, want", [
    ("karolin", "kathrin", 3),
    ("abcd", "wxyz", 4),  # cutoff 2: 3
    ("abcd", "abyz", 2),  # similarity, cutoff 3: 0
    ("", "", 0),
    ("abc", "abc", 0),
    ("abc", "ab", None),
    ("", "abc", None),
    ("\u00e9", "e", 1),  # one code point each, byte lengths differ
    ("\U0001f44d", "a", 1),
    ("e\u0301", "\u00e9", None),  # two code points against one
    ("\u00e9a", "abc", None),  # same byte length, different code-point counts
    ("a\u20acb", "a\u20acc", 1),
    ("\x00\x00", "\x00a", 1),
    ("  \t", " \t ", 2),
])
def test_worked_values(s1, s2, want):
    assert d.hamming_distance(s1, s2) == want
    check(s1, s2)


def test_batch_gives_none_for_unequal_lengths():
    assert d.hamming_distance_batch([("ab", "ac"), ("a", "abc")]) == [1, None]


# Lengths around the sixteen-byte stride of the byte comparison.
@pytest.mark.parametrize("n", [1, 7, 15, 16, 17, 31, 32, 33, 64, 65, 200])
def test_random_equal_lengths(n):
    """The same pairs in every alphabet, one symbol more (no value), and ASCII bytes that
    differ in a single bit at any of the seven bit positions."""
    rng = random.Random(n)
    for _ in range(4):
        s1, s2 = random_text(rng, n, "ab"), random_text(rng, n, "abcd")
        for alphabet in ALPHABETS:
            check(render(s1, alphabet), render(s2, alphabet))
        check(render(s1 + "a", rng.choice(list(ALPHABETS))), render(s2, "bmp"))
        a = "".join(chr(rng.randrange(128)) for _ in range(n))
        check(a, "".join(chr(ord(c) ^ 1 << rng.randrange(7)) if rng.random() < 0.3 else c
                         for c in a))


def test_mixed_widths_at_random():
    rng = random.Random(5)
    pool = "ab\u00e9\u20ac\U0001f44d\x00 "
    for _ in range(300):
        n = rng.randrange(12)
        check(random_text(rng, n, pool), random_text(rng, n + rng.choice([0, 0, 0, 1]), pool))
