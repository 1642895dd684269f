"""Common prefix and common suffix forms against a plain code-point walk."""

import random

import pytest

from edit_reference import check_forms, forms
from quorvalex import distance as d

PREFIX, POSTFIX = forms(d, "prefix"), forms(d, "postfix")


def common_prefix(a, b):
    n = 0
    while n < min(len(a), len(b)) and a[n] == b[n]:
        n += 1
    return n


def check(s1, s2, cutoffs=True):
    longest = max(len(s1), len(s2))
    check_forms(PREFIX, s1, s2, longest - common_prefix(s1, s2), cutoffs)
    check_forms(POSTFIX, s1, s2, longest - common_prefix(s1[::-1], s2[::-1]), cutoffs)


@pytest.mark.parametrize("s1, s2, prefix, suffix", [
    ("", "abc", 0, 0),
    ("", "", 0, 0),
    ("abcd", "abxd", 2, 1),
    ("abcd", "xbcd", 0, 3),
    ("abcd", "abxy", 2, 0),
    ("abc", "abx", 2, 0),
    ("abc", "abc", 3, 3),
    ("\u00e9a", "\u00e9b", 1, 0),
    ("\u00e9", "e", 0, 0),
    ("axx", "ayy", 1, 0),  # normalized similarity 1.0 - 2/3 = 0.33333333333333337, not 1/3
    ("\u20ac\u20ac", "\u20ac\u20ad", 1, 0),
    ("a\u00e9", "a\u0169", 1, 0),  # same trailing byte, different lead byte
    ("\U0001f44d", "\U0005f44d", 0, 0),  # three trailing bytes in common
    ("x\U0001f44dz", "y\U0005f44dz", 0, 1),
    ("x\u00e9\u20ac\U0001f44d", "y\u00e9\u20ac\U0001f44d", 0, 3),
    ("a\x00b", "a\x00c", 2, 0),
    (" \t\n", "\u3000\t\n", 0, 2),
])
def test_worked_values(s1, s2, prefix, suffix):
    assert (d.prefix_similarity(s1, s2), d.postfix_similarity(s1, s2)) == (prefix, suffix)
    check(s1, s2)


# Alphabets whose UTF-8 forms share lead bytes (é ê, € ₭, 👍 👎) or trailing bytes (é ũ, € Ⴌ,
# U+1F44D U+5F44D U+2F44D), mixed widths, and the ends of each UTF-8 length.
ALPHABETS = ["ab", "ab ", "a\u00e9\u00ea", "\u00e9\u0169a", "\u20ac\u20ada", "\u20ac\u10acb",
             "\U0001f44d\U0001f44e", "\U0001f44d\U0005f44d\U0002f44d", "a\u00e9\u20ac\U0001f44d \t",
             "\x00\x7f\x80\u07ff\u0800\uffff\U00010000\U0010ffff"]


def test_random_pairs_sharing_a_part():
    rng = random.Random(1234)
    for _ in range(600):
        letters = rng.choice(ALPHABETS)
        core, a, b = ("".join(rng.choices(letters, k=n)) for n in
                      (rng.choice([0, 1, 7, 8, 9, 15, 16, 17, rng.randrange(40)]),
                       rng.randrange(5), rng.randrange(5)))
        s1, s2 = rng.choice([(core + a, core + b), (a + core, b + core), (a + core, a + core)])
        check(s1, s2)


@pytest.mark.parametrize("n", [1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000])
@pytest.mark.parametrize("unit", ["a", "\u00e9", "\u20ac", "\U0001f44d"])
def test_one_difference_at_every_offset(n, unit):
    """Long common parts compared eight bytes at a time, a difference at each position."""
    base = "".join(chr(ord(unit) + i % 3) for i in range(n))
    for i in range(n) if n < 100 else [0, 1, 63, 64, 65, 500, 998, 999]:
        changed = base[:i] + chr(ord(base[i]) + 3) + base[i + 1:]
        assert (d.prefix_similarity(base, changed), d.postfix_similarity(base, changed)) == (
            i, n - 1 - i)
        check(base + "x", changed, cutoffs=False)
