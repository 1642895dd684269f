"""Ratio and quick ratio against the LCS formula computed from a textbook DP."""

import random

import pytest

from quorvalex import fuzz


def lcs_ref(a, b):
    prev = [0] * (len(b) + 1)
    for x in a:
        cur = [0]
        for j, y in enumerate(b):
            cur.append(prev[j] + 1 if x == y else max(prev[j + 1], cur[j]))
        prev = cur
    return prev[-1]


def ratio_ref(s1, s2, cutoff=None):
    if s1 == s2:
        return 100.0
    if not s1 or not s2:
        return 0.0
    score = 2 * lcs_ref(s1, s2) * 100 / (len(s1) + len(s2))
    return 0.0 if cutoff is not None and score < cutoff else score


@pytest.mark.parametrize(
    "s1,s2,expected",
    [
        ("this is a test", "this is a test!", 96.55172413793103),
        ("café", "cafe", 75.0),
        ("cafe", "café", 75.0),
        ("", "", 100.0),
        ("", "x", 0.0),
        ("x", "", 0.0),
        ("abc", "xyz", 0.0),
        ("\U0001f44d", "\U0001f44d!", 2 * 100 / 3),
        ("   ", " ", 50.0),
        ("new york mets", "new york meats", 96.29629629629629),
    ],
)
def test_worked_values(s1, s2, expected):
    assert fuzz.ratio(s1, s2) == expected


def test_cutoffs():
    # Identical texts score 100 before the cutoff is looked at.
    assert fuzz.ratio("abc", "abc", score_cutoff=150) == 100.0
    assert fuzz.ratio("", "", score_cutoff=150) == 100.0
    assert fuzz.ratio("abc", "abd", score_cutoff=150) == 0.0
    # The length bound (66.66666666666667) below the cutoff.
    assert fuzz.ratio("ab", "abcd", score_cutoff=70) == 0.0
    assert fuzz.ratio("ab", "abcd", score_cutoff=66) == 66.66666666666667
    # Equal to the cutoff: returned unchanged.
    assert fuzz.ratio("ab", "abcd", score_cutoff=66.66666666666667) == 66.66666666666667
    assert fuzz.ratio("this is a test", "this is a test!", score_cutoff=96.55172413793103) == (
        96.55172413793103
    )
    assert fuzz.ratio("this is a test", "this is a test!", score_cutoff=96.56) == 0.0
    assert fuzz.ratio("abc", "xyz", score_cutoff=-5) == 0.0
    assert fuzz.ratio("café", "cafe", score_cutoff=75) == 75.0
    assert fuzz.ratio("café", "cafe", score_cutoff=75.0000001) == 0.0


def test_quick_ratio():
    assert fuzz.q_ratio("", "") == 0.0
    assert fuzz.q_ratio("", "x", score_cutoff=0) == 0.0
    assert fuzz.q_ratio("x", "") == 0.0
    assert fuzz.q_ratio("abc", "abc", score_cutoff=150) == 100.0
    assert fuzz.q_ratio("this is a test", "this is a test!") == 96.55172413793103
    assert fuzz.q_ratio("ab", "abcd", score_cutoff=70) == 0.0
    assert fuzz.q_ratio_batch([("", "x"), ("ab", "ab")]) == [0.0, 100.0]
    assert fuzz.ratio_batch([("", "")]) == [100.0]


@pytest.mark.parametrize(
    "alphabet,max_len",
    [
        ("ab", 20),
        ("abc", 150),
        ("ab ", 200),
        ("aé", 90),
        ("€a\U0001f44d", 70),
        ("\u0100a", 250),
        # Lengths across one, two, three words and blocks; every lookup tier of the byte ids.
        ("aбé中\U0001f44dж丁 ", 230),
    ],
)
def test_random_against_reference(alphabet, max_len):
    rng = random.Random(alphabet)
    for _ in range(25):
        s1 = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, max_len)))
        s2 = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, max_len)))
        expected = ratio_ref(s1, s2)
        assert fuzz.ratio(s1, s2) == expected
        assert fuzz.ratio(s2, s1) == expected
        for cutoff in (expected - 1e-9, expected, expected + 1e-9):
            assert fuzz.ratio(s1, s2, score_cutoff=cutoff) == ratio_ref(s1, s2, cutoff)


def test_batch_equals_scalar():
    rng = random.Random(11)
    pairs = [("", ""), ("", "a"), ("a", ""), ("abc", "abc")]
    for _ in range(200):
        alphabet = rng.choice(["ab", "aé", "a€\U0001f44d"])
        pairs.append(
            tuple(
                "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 700 if _ % 50 == 0 else 60)))
                for _ in range(2)
            )
        )
    for cutoff in (None, 0.0, 60.0, 101.0):
        assert fuzz.ratio_batch(pairs, score_cutoff=cutoff) == [
            fuzz.ratio(a, b, score_cutoff=cutoff) for a, b in pairs
        ]
        assert fuzz.q_ratio_batch(pairs, score_cutoff=cutoff) == [
            fuzz.q_ratio(a, b, score_cutoff=cutoff) for a, b in pairs
        ]
