"""Longest common substring forms against the run-length table."""

import random

import pytest

from edit_reference import (ALPHABETS, U64_MAX, cut_above, cut_below, float_cutoffs,
                            longest_common_substring, random_text, render, typed)
from quorvalex import distance as d


def check(s1, s2, run):
    """All four forms on both argument orders, without and with cutoffs around each value.
    Identical texts: distance 0 and normalized similarity 1.0 whatever the cutoff."""
    longest, same = max(len(s1), len(s2)), s1 == s2
    dist = 0 if same else longest - run
    nsim = 1.0 if same else run / longest
    ints = {0, 1, U64_MAX} | {v + k for v in (run, dist) for k in (-1, 0, 1) if v + k >= 0}
    for a, b in ((s1, s2), (s2, s1)):
        for k in [None, *ints]:
            got = (d.lcs_str_similarity(a, b, score_cutoff=k),
                   d.lcs_str_distance(a, b, score_cutoff=k))
            assert typed(*got) == typed(cut_below(run, k), cut_above(dist, k)), k
        for c in [None] + float_cutoffs(nsim, 1.0 - nsim):
            got = (d.lcs_str_normalized_similarity(a, b, score_cutoff=c),
                   d.lcs_str_normalized_distance(a, b, score_cutoff=c))
            want = nsim if same else cut_below(nsim, c), cut_above(1.0 - nsim, c, 1.0)
            assert typed(*got) == typed(*want), c


# Shorter lengths around 64 (rows of 130 counters are inline).
@pytest.mark.parametrize("n1, n2", [(0, 5), (1, 1), (3, 7), (40, 40), (63, 64), (64, 65),
                                    (65, 64), (100, 30), (129, 127)])
def test_against_reference(n1, n2):
    rng = random.Random(n1 * 1000 + n2)
    for letters in ("ab", "abc"):
        s1, s2 = random_text(rng, n1, letters), random_text(rng, n2, letters)
        run = longest_common_substring(s1, s2)
        for alphabet in ALPHABETS:
            check(render(s1, alphabet), render(s2, alphabet), run)


def test_planted_run_at_either_end_or_inside():
    """A common prefix or suffix is part of the answer: nothing is trimmed."""
    run = "ab" * 20 + "d"
    for left1, left2 in [(0, 0), (0, 50), (70, 3), (10, 10)]:
        s1, s2 = "c" * left1 + run + "c" * (30 - min(left1, 30)), "x" * left2 + run + "x" * 5
        for alphabet in ALPHABETS:
            check(render(s1, alphabet), render(s2, alphabet), len(run))


@pytest.mark.parametrize("s1, s2, run", [
    ("abcdef", "zcdez", 3),
    ("abc", "xyz", 0),
    ("", "abc", 0),
    ("", "", 0),
    ("x\u00e9\u00e9", "\u00e9\u00e9", 2),
    ("abc", "abc", 3),
    ("abcd", "abce", 3),
    ("  ", " ", 1),
    ("e\u0301", "\u00e9", 0),
    ("\U0001f44d\U0001f44d", "\U0001f44d", 1),
])
def test_worked_values(s1, s2, run):
    assert longest_common_substring(s1, s2) == d.lcs_str_similarity(s1, s2) == run
    check(s1, s2, run)


def test_mixed_widths_and_many_symbols():
    """Texts stored at different widths (ASCII beside Latin-1, BMP and astral symbols), and
    more than 255 distinct symbols."""
    rng = random.Random(9)
    for wide in ("\u00ff", "\u20ac", "\U0001f600"):
        for n1, n2 in [(5, 9), (64, 70), (130, 40)]:
            s1, s2 = random_text(rng, n1, "abc"), random_text(rng, n2, "abc") + wide
            check(s1, s2, longest_common_substring(s1, s2))
    letters = [chr(0x4E00 + k) for k in range(400)]
    s1 = "".join(rng.choices(letters, k=300))
    s2 = "".join(rng.choices(letters, k=100)) + s1[120:160] + "\U0001f600"
    check(s1, s2, longest_common_substring(s1, s2))
