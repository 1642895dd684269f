import math
import random

import pytest

from quorvalex import distance as d


def ref_longest(s1, s2):
    """Brute force: the longest k such that some k-run of s1 occurs in s2."""
    best = 0
    for i in range(len(s1)):
        for j in range(i + best + 1, len(s1) + 1):
            if s1[i:j] in s2:
                best = j - i
            else:
                break
    return best


def ref_normalized(s1, s2):
    if s1 == s2:
        return 1.0
    return ref_longest(s1, s2) / max(len(s1), len(s2))


ALPHABETS = ["ab", "abc", "aé", "a€Ā", "a\U0001f44d\U0001f600"]
LENGTHS = [(0, 5), (1, 1), (3, 7), (40, 40), (63, 64), (64, 65), (65, 64), (100, 30), (129, 127)]


@pytest.mark.parametrize("alphabet", ALPHABETS)
@pytest.mark.parametrize("n1,n2", LENGTHS)
def test_against_brute_force(alphabet, n1, n2):
    rng = random.Random(n1 * 31 + n2 + len(alphabet))
    for _ in range(4):
        a = "".join(rng.choice(alphabet) for _ in range(n1))
        b = "".join(rng.choice(alphabet) for _ in range(n2))
        L = ref_longest(a, b)
        assert d.lcs_str_similarity(a, b) == L, (a, b)
        assert d.lcs_str_similarity(b, a) == L, (a, b)
        expected_distance = 0 if a == b else max(n1, n2) - L
        assert d.lcs_str_distance(a, b) == expected_distance
        assert d.lcs_str_normalized_similarity(a, b) == ref_normalized(a, b)
        assert d.lcs_str_normalized_distance(a, b) == 1.0 - ref_normalized(a, b)


def test_planted_run_is_found_anywhere():
    # A long shared run at the start, middle or end of texts that otherwise share nothing,
    # so a common prefix or suffix is part of the answer (no affix trimming).
    run = "é€" * 20 + "\U0001f44d"
    for left1, left2 in [(0, 0), (0, 50), (70, 3), (10, 10)]:
        a = "x" * left1 + run + "x" * (30 - min(left1, 30))
        b = "y" * left2 + run + "y" * 5
        assert d.lcs_str_similarity(a, b) == len(run)
        table = str.maketrans({"é": "e", "€": "E", "\U0001f44d": "T"})
        assert d.lcs_str_similarity(a.translate(table), b.translate(table)) == len(run)


@pytest.mark.parametrize(
    "s1,s2,sim,dist,nsim,ndist",
    [
        ("abcdef", "zcdez", 3, 3, 0.5, 0.5),
        ("abc", "xyz", 0, 3, 0.0, 1.0),
        ("", "abc", 0, 3, 0.0, 1.0),
        ("abc", "", 0, 3, 0.0, 1.0),
        ("", "", 0, 0, 1.0, 0.0),
        ("xéé", "éé", 2, 1, 2 / 3, 1.0 - 2 / 3),
        ("abc", "abc", 3, 0, 1.0, 0.0),
        ("  ", " ", 1, 1, 0.5, 0.5),
        ("e\u0301", "é", 0, 2, 0.0, 1.0),
        ("\U0001f44d\U0001f44d", "\U0001f44d", 1, 1, 0.5, 0.5),
    ],
)
def test_worked_values(s1, s2, sim, dist, nsim, ndist):
    assert d.lcs_str_similarity(s1, s2) == sim
    assert d.lcs_str_distance(s1, s2) == dist
    assert d.lcs_str_normalized_similarity(s1, s2) == nsim
    assert d.lcs_str_normalized_distance(s1, s2) == ndist


@pytest.mark.parametrize(
    "fn,s1,s2,cutoff,expected",
    [
        (d.lcs_str_similarity, "abcdef", "zcdez", 4, 0),
        (d.lcs_str_similarity, "abcdef", "zcdez", 3, 3),
        (d.lcs_str_similarity, "abcdef", "zcdez", 2, 3),
        (d.lcs_str_distance, "abcdef", "zcdez", 2, 3),
        (d.lcs_str_distance, "abcdef", "zcdez", 3, 3),
        (d.lcs_str_distance, "abcdef", "zcdez", 4, 3),
        (d.lcs_str_distance, "abcdefgh", "zcdez", 2, 3),
        (d.lcs_str_distance, "abc", "abc", 0, 0),
        (d.lcs_str_normalized_similarity, "abc", "abc", 2.0, 1.0),  # identical: no cutoff
        (d.lcs_str_normalized_similarity, "", "", 2.0, 1.0),
        (d.lcs_str_normalized_similarity, "abcd", "abce", 0.8, 0.0),
        (d.lcs_str_normalized_similarity, "abcd", "abce", 0.75, 0.75),
        (d.lcs_str_normalized_similarity, "abcd", "abce", 0.7, 0.75),
        (d.lcs_str_normalized_similarity, "", "abc", 0.1, 0.0),
        (d.lcs_str_normalized_similarity, "abcd", "abce", math.nan, 0.75),
        (d.lcs_str_normalized_distance, "abcd", "abce", 0.2, 1.0),
        (d.lcs_str_normalized_distance, "abcd", "abce", 0.25, 0.25),
        (d.lcs_str_normalized_distance, "abcd", "abce", 0.3, 0.25),
        (d.lcs_str_normalized_distance, "abc", "abc", -1.0, 1.0),  # 0.0 is above -1.0
        (d.lcs_str_normalized_distance, "abcd", "abce", math.nan, 0.25),
    ],
)
def test_cutoffs(fn, s1, s2, cutoff, expected):
    assert fn(s1, s2, score_cutoff=cutoff) == expected


def test_batch_equals_scalar():
    rng = random.Random(11)
    pairs = [("", ""), ("", "a"), ("abc", "abc"), ("xéé", "éé")]
    for alphabet in ALPHABETS:
        for n1, n2 in [(5, 9), (70, 66)]:
            a = "".join(rng.choice(alphabet) for _ in range(n1))
            b = "".join(rng.choice(alphabet) for _ in range(n2))
            pairs.append((a, b))
    for cutoff in (None, 3):
        kw = {} if cutoff is None else {"score_cutoff": cutoff}
        assert d.lcs_str_similarity_batch(pairs, **kw) == [
            d.lcs_str_similarity(a, b, **kw) for a, b in pairs
        ]
    for cutoff in (None, 0.5):
        kw = {} if cutoff is None else {"score_cutoff": cutoff}
        assert d.lcs_str_normalized_similarity_batch(pairs, **kw) == [
            d.lcs_str_normalized_similarity(a, b, **kw) for a, b in pairs
        ]
