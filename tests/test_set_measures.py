"""Jaccard, Sørensen-Dice, Tversky and overlap over word multisets, against a Counter reference."""

import random
from collections import Counter

import pytest
from vector_reference import check_forms, word_pairs, words

import quorvalex as q


def ref(name, s1, s2, alpha=1.0, beta=1.0):
    c1, c2 = Counter(words(s1)), Counter(words(s2))
    if not c1 and not c2:
        return 1.0
    i = sum(min(n, c2[w]) for w, n in c1.items())
    n1, n2 = sum(c1.values()), sum(c2.values())
    if name == "jaccard":
        return i / sum(max(c1[w], c2[w]) for w in c1.keys() | c2.keys())
    if name == "sorensen_dice":
        return (float(i) + float(i)) / float(n1 + n2)
    if name == "tversky":
        d = ((alpha * (n1 - i)) + i) + (beta * (n2 - i))
        return i / d if d != 0.0 else 0.0
    return i / min(n1, n2) if min(n1, n2) else 0.0


@pytest.mark.parametrize(
    "s1, s2, jaccard, dice, overlap",
    [
        ("", "", 1.0, 1.0, 1.0),
        (" \t\xa0", "\u3000\u2028", 1.0, 1.0, 1.0),
        ("", "a b", 0.0, 0.0, 0.0),
        ("a a b", "a b b", 0.5, 0.6666666666666666, 0.6666666666666666),
        ("a b", "a b c d", 0.5, 0.6666666666666666, 1.0),
        ("Apple", "apple", 0.0, 0.0, 0.0),
        ("a,", "a", 0.0, 0.0, 0.0),
        ("b a", "a b", 1.0, 1.0, 1.0),
        ("a\u3000b\xa0c", "c\tb a", 1.0, 1.0, 1.0),
        ("a\u200bb", "a b", 0.0, 0.0, 0.0),  # U+200B is no separator
        ("é € Ā 👍", "👍 x é", 0.4, 0.5714285714285714, 0.6666666666666666),
    ],
)
def test_worked_values(s1, s2, jaccard, dice, overlap):
    for name, value in [("jaccard", jaccard), ("sorensen_dice", dice), ("overlap", overlap)]:
        check_forms(name, s1, s2, value)
    check_forms("tversky", s1, s2, jaccard)
    assert q.tversky_similarity(s1, s2, alpha=0.5, beta=0.5) == dice


@pytest.mark.parametrize(
    "s1, s2, alpha, beta, expected",
    [
        ("a b", "a b c d", 1.0, 0.0, 1.0),
        ("a b", "a b c d", 0.0, 1.0, 0.5),
        ("a b", "a b c d", 2.0, -1.0, 0.0),  # ((2 * 0) + 2) + (-1 * 2) = 0.0 exactly
        ("a b", "c d", 0.0, 0.0, 0.0),  # no common word, D = 0.0
        ("a b c", "a", -1.0, 1.0, -1.0),  # ((-1 * 2) + 1) + 0 = -1
        ("a", "a b c", 1.0, -0.25, 2.0),  # (0 + 1) + (-0.25 * 2) = 0.5
        ("a b c", "a b d", 0.1, 0.7, 0.7142857142857143),  # 2.1 + 0.7 = 2.8, 0.1 + 2.7 is not
    ],
)
def test_tversky_weights(s1, s2, alpha, beta, expected):
    check_forms("tversky", s1, s2, expected, alpha=alpha, beta=beta)
    assert ref("tversky", s1, s2, alpha, beta) == expected
    assert str(q.tversky_similarity(s1, s2, alpha=float("nan"))) == "nan"


@pytest.mark.parametrize("name", ["jaccard", "sorensen_dice", "tversky", "overlap"])
def test_random_texts_against_reference(name):
    rng = random.Random(77)
    for k, (s1, s2) in enumerate(word_pairs(5100 + len(name), 500)):
        w = {
            x: rng.choice([0.0, 0.5, 1.0, -0.5, 2.0, rng.uniform(-2, 2)]) for x in ("alpha", "beta")
        }
        w = w if name == "tversky" and k % 2 else {}  # random weights, and the default ones
        check_forms(name, s1, s2, ref(name, s1, s2, **w), **w)
