"""Weighted ratio against its composition from the library's own scorers."""

import random

import pytest

from fuzz_reference import word_pair
from quorvalex import fuzz


def w_ratio_ref(s1, s2, cutoff=None):
    if not s1 or not s2:
        return 0.0
    c = 0.0 if cutoff is None else cutoff
    length_ratio = max(len(s1), len(s2)) / min(len(s1), len(s2))
    best = fuzz.ratio(s1, s2, score_cutoff=c)
    if length_ratio < 1.5:
        best = max(best, fuzz.token_ratio(s1, s2, score_cutoff=max(best, c) / 0.95) * 0.95)
    else:  # the partial ratio with the partial scale, then the partial token ratio
        weight = 0.6 if length_ratio > 8.0 else 0.9
        for scorer, w in ((fuzz.partial_ratio, weight), (fuzz.partial_token_ratio, weight * 0.95)):
            best = max(best, w * scorer(s1, s2, score_cutoff=max(best, c) / w))
    return 0.0 if best < c else best


# (s1, s2, score_cutoff, expected)
CASES = [
    ("", "", None, 0.0),
    ("   ", "", None, 0.0),
    ("york new", "new york", None, 95.0),
    ("new york mets", "new york meats", None, 96.29629629629629),
    ("abcde", "abcdefg", None, 83.33333333333333),  # 1.4: ratio only
    ("abcd", "abcdef", None, 90.0),  # exactly 1.5: partial ratio 100 scaled by 0.9
    ("abc", "x" * 10 + "abc" + "x" * 11, None, 90.0),  # 24 characters: exactly 8.0, scale 0.9
    ("abc", "x" * 11 + "abc" + "x" * 11, None, 60.0),  # 25 characters: 8.33, scale 0.6
    ("dd aaa", "aaa dd x", None, 95.0),  # 8 / 6: the token ratio's equal-words 100 counts
    ("dd aaa", "aaa dd xx", None, 85.5),  # exactly 1.5: partial token ratio, shared word
    # a scaled 100 that just beats the best so far: ratio 94.74, token ratio 100 (same words)
    ("a bcdefgh ijklmnop", "a bcdefgh ijklmnop a", None, 95.0),
    # partial ratio 94.74 scaled to 85.26, then a shared word: 100 scaled by 0.855
    ("eedg adhaa", "eedg adhax rrr rrr s rrr", None, 85.5),
    ("\U0001f44d abc", "abc \U0001f44d", None, 95.0),
    ("york new", "new york", 95, 95.0),  # the token ratio returns 100 above its cutoff 100
    ("york new", "new york", 95.0000001, 0.0),
    ("york new", "new york", 150, 0.0),
    ("abc", "abc", 150, 0.0),  # the plain ratio's 100 ignores the cutoff, the final cut not
    ("abcd", "abcdef", 90, 90.0),  # partial ratio asked for at least 100
    ("abcd", "abcdef", 90.5, 0.0),
    ("new york mets", "new york meats", 96.29629629629629, 96.29629629629629),
    ("new york mets", "new york meats", 96.2962962962963, 0.0),
]


@pytest.mark.parametrize("s1,s2,cutoff,expected", CASES)
def test_examples(s1, s2, cutoff, expected):
    assert fuzz.w_ratio(s1, s2, score_cutoff=cutoff) == expected
    assert fuzz.w_ratio(s2, s1, score_cutoff=cutoff) == expected
    assert w_ratio_ref(s1, s2, cutoff) == expected


def random_pair(rng):
    """Word texts, or a short text inside or beside filler: length proportions from 1 to 12."""
    a, b = word_pair(rng)
    if rng.random() < 0.4 and a.strip():
        filler = "".join(rng.choices("xyz ", k=rng.randint(0, 12 * len(a))))
        k = rng.randint(0, len(filler))
        b = filler[:k] + rng.choice([a, a[::-1], b]) + filler[k:]
    return (a, b) if rng.random() < 0.5 else (b, a)


def test_against_composed_reference():
    rng = random.Random(99)
    branches = set()
    for _ in range(300):
        s1, s2 = random_pair(rng)
        expected = w_ratio_ref(s1, s2)
        assert fuzz.w_ratio(s1, s2) == expected, (s1, s2)
        for c in (expected, expected + 1e-7, expected - 1e-7, 50.0, 85.5, 90.0, 95.0, 101.0):
            assert fuzz.w_ratio(s1, s2, score_cutoff=c) == w_ratio_ref(s1, s2, c), (s1, s2, c)
        if s1 and s2:
            r = max(len(s1), len(s2)) / min(len(s1), len(s2))
            branches.add("token" if r < 1.5 else "partial" if r <= 8.0 else "long")
    assert branches == {"token", "partial", "long"}  # every branch was taken
