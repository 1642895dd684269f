"""Ratio and quick ratio against the LCS formula computed from a textbook DP."""

import pytest

import fuzz_reference as ref
from quorvalex import fuzz

# (s1, s2, score_cutoff, ratio)
CASES = [
    ("this is a test", "this is a test!", None, 96.55172413793103),
    ("new york mets", "new york meats", None, 96.29629629629629),
    ("café", "cafe", None, 75.0),  # lengths in characters, not bytes
    ("", "", None, 100.0),
    ("", "x", None, 0.0),
    ("\U0001f44d", "\U0001f44d!", None, 2 * 100 / 3),
    ("   ", " ", None, 50.0),
    ("abc", "abc", 150, 100.0),  # identical texts score 100 before the cutoff is looked at
    ("", "", 150, 100.0),
    ("abc", "abd", 150, 0.0),
    ("ab", "abcd", 70, 0.0),  # the length bound 66.66666666666667 is below the cutoff
    ("ab", "abcd", 66, 66.66666666666667),
    ("ab", "abcd", 66.66666666666667, 66.66666666666667),
    ("abc", "xyz", -5, 0.0),
]


@pytest.mark.parametrize("s1,s2,cutoff,expected", CASES)
def test_worked_values(s1, s2, cutoff, expected):
    assert fuzz.ratio(s1, s2, score_cutoff=cutoff) == expected
    assert fuzz.ratio(s2, s1, score_cutoff=cutoff) == expected
    # the quick ratio: 0.0 for an empty text whatever the cutoff, otherwise the ratio
    assert fuzz.q_ratio(s1, s2, score_cutoff=cutoff) == (expected if s1 and s2 else 0.0)


# Lengths across one, two, three words and blocks; every lookup tier of the byte ids.
@pytest.mark.parametrize("alphabet", ["ab", "abc ", "aé", "€a\U0001f44d", "\u0100a", "aбé中👍ж丁 "])
def test_random_against_reference(alphabet):
    rng = ref.rng_for(alphabet)
    for _ in range(14):
        n1, n2 = (rng.randint(0, rng.choice([20, 70, 250])) for _ in "12")
        s1, s2 = ref.rand_text(rng, alphabet, n1), ref.rand_text(rng, alphabet, n2)
        expected = ref.ratio(s1, s2)
        for c in (None, expected - 1e-9, expected, expected + 1e-9):
            want = 100.0 if s1 == s2 else ref.cut(expected, c)
            assert fuzz.ratio(s1, s2, score_cutoff=c) == fuzz.ratio(s2, s1, score_cutoff=c) == want
            assert fuzz.q_ratio(s1, s2, score_cutoff=c) == (want if s1 and s2 else 0.0)
