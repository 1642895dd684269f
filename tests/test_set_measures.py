"""Jaccard, Sørensen-Dice, Tversky and overlap over word multisets, against Counter references."""

import random
import re
from collections import Counter

import pytest

import quorvalex as q

WHITE_SPACE = re.compile("[\t\n\v\f\r \x85\xa0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]+")


def words(text):
    return [w for w in WHITE_SPACE.split(text) if w]


def bags(s1, s2):
    c1, c2 = Counter(words(s1)), Counter(words(s2))
    shared = sum(min(n, c2[w]) for w, n in c1.items())
    return c1, c2, shared


def ref_jaccard(s1, s2):
    c1, c2, shared = bags(s1, s2)
    if not c1 and not c2:
        return 1.0
    union = sum(max(c1[w], c2[w]) for w in set(c1) | set(c2))
    return shared / union if union else 0.0


def ref_dice(s1, s2):
    c1, c2, shared = bags(s1, s2)
    if not c1 and not c2:
        return 1.0
    n = float(sum(c1.values()) + sum(c2.values()))
    return (float(shared) + float(shared)) / n if n else 0.0


def ref_tversky(s1, s2, alpha=1.0, beta=1.0):
    c1, c2, shared = bags(s1, s2)
    if not c1 and not c2:
        return 1.0
    i = float(shared)
    d = ((alpha * (sum(c1.values()) - shared)) + i) + (beta * (sum(c2.values()) - shared))
    return i / d if d != 0.0 else 0.0


def ref_overlap(s1, s2):
    c1, c2, shared = bags(s1, s2)
    if not c1 and not c2:
        return 1.0
    smaller = min(sum(c1.values()), sum(c2.values()))
    return shared / smaller if smaller else 0.0


MEASURES = {
    "jaccard": (q.jaccard_similarity, q.jaccard_distance, q.jaccard_similarity_batch, ref_jaccard),
    "sorensen_dice": (
        q.sorensen_dice_similarity,
        q.sorensen_dice_distance,
        q.sorensen_dice_similarity_batch,
        ref_dice,
    ),
    "tversky": (q.tversky_similarity, q.tversky_distance, q.tversky_similarity_batch, ref_tversky),
    "overlap": (q.overlap_similarity, q.overlap_distance, q.overlap_similarity_batch, ref_overlap),
}


@pytest.mark.parametrize(
    "s1, s2, jaccard, dice, overlap",
    [
        ("", "a b", 0.0, 0.0, 0.0),
        ("a b", "", 0.0, 0.0, 0.0),
        ("a a b", "a b b", 0.5, 0.6666666666666666, 0.6666666666666666),
        ("a b", "a b c d", 0.5, 0.6666666666666666, 1.0),
        ("Apple", "apple", 0.0, 0.0, 0.0),
        ("a,", "a", 0.0, 0.0, 0.0),
        ("b a", "a b", 1.0, 1.0, 1.0),
        ("a\u3000b", "a b", 1.0, 1.0, 1.0),
        ("a\xa0b", "b\ta", 1.0, 1.0, 1.0),
        ("a\u200bb", "a b", 0.0, 0.0, 0.0),  # U+200B is no separator
        ("é € Ā 👍", "👍 x é", 0.4, 0.5714285714285714, 0.6666666666666666),
    ],
)
def test_worked_values(s1, s2, jaccard, dice, overlap):
    assert q.jaccard_similarity(s1, s2) == jaccard
    assert q.sorensen_dice_similarity(s1, s2) == dice
    assert q.overlap_similarity(s1, s2) == overlap
    assert q.tversky_similarity(s1, s2) == jaccard
    assert q.tversky_similarity(s1, s2, alpha=0.5, beta=0.5) == dice
    assert q.jaccard_distance(s1, s2) == 1.0 - jaccard


@pytest.mark.parametrize("name", MEASURES)
@pytest.mark.parametrize("s1, s2", [("", ""), (" \t ", "\n"), ("\u3000", ""), ("\xa0 ", " \u2028")])
def test_no_words_on_either_side(name, s1, s2):
    sim, dist, batch, _ = MEASURES[name]
    assert sim(s1, s2) == 1.0
    assert sim(s1, s2, score_cutoff=2.0) == 1.0  # returned before the cutoff
    assert dist(s1, s2) == 0.0
    assert dist(s1, s2, score_cutoff=-1.0) == 1.0
    assert batch([(s1, s2)], score_cutoff=2.0) == [1.0]


@pytest.mark.parametrize(
    "alpha, beta, expected",
    [
        (1.0, 0.0, 1.0),
        (0.0, 1.0, 0.5),
        (0.0, 0.0, 1.0),
        (-1.0, 0.5, 2.0 / 3.0),  # ((-1 * 0) + 2) + (0.5 * 2) = 3
        (2.0, -1.0, 0.0),  # ((2 * 0) + 2) + (-1 * 2) = 0.0 exactly: zero denominator
    ],
)
def test_tversky_weights(alpha, beta, expected):
    got = q.tversky_similarity("a b", "a b c d", alpha=alpha, beta=beta)
    assert got == expected
    assert got == ref_tversky("a b", "a b c d", alpha, beta)


@pytest.mark.parametrize(
    "s1, s2, alpha, beta, expected",
    [
        ("a b", "c d", 0.0, 0.0, 0.0),  # no common word, D = 0.0
        ("a b c", "a", -1.0, 1.0, -1.0),  # ((-1 * 2) + 1) + 0 = -1 -> -1.0
        ("a", "a b c", 1.0, -0.25, 2.0),  # (0 + 1) + (-0.25 * 2) = 0.5
        ("a b", "a c", 0.5, 1.5, 0.3333333333333333),
    ],
)
def test_tversky_zero_and_negative_weights(s1, s2, alpha, beta, expected):
    assert q.tversky_similarity(s1, s2, alpha=alpha, beta=beta) == expected
    assert q.tversky_distance(s1, s2, alpha=alpha, beta=beta) == 1.0 - expected


def test_tversky_nan_weight_gives_nan():
    value = q.tversky_similarity("a b", "a c", alpha=float("nan"))
    assert value != value


@pytest.mark.parametrize("name", MEASURES)
def test_one_side_without_words(name):
    sim, dist, _, _ = MEASURES[name]
    for s1, s2 in [("", "a b"), ("x", " "), ("\t", "x y")]:
        assert sim(s1, s2) == 0.0
        assert dist(s1, s2) == 1.0
        assert dist(s1, s2, score_cutoff=1.0) == 1.0


@pytest.mark.parametrize("name", MEASURES)
def test_cutoffs(name):
    sim, dist, _, _ = MEASURES[name]
    s1, s2 = "a a b c", "a b b d"
    value = sim(s1, s2)
    assert 0.0 < value < 1.0
    assert sim(s1, s2, score_cutoff=value) == value
    assert sim(s1, s2, score_cutoff=value + 1e-9) == 0.0
    assert sim(s1, s2, score_cutoff=float("nan")) == value
    d = dist(s1, s2)
    assert d == 1.0 - value
    assert dist(s1, s2, score_cutoff=d) == d
    assert dist(s1, s2, score_cutoff=d - 1e-9) == 1.0


VOCAB = ["a", "b", "ab", "ba", "é", "€", "Ā", "👍", "a€", "x👍y", "A", "a,"]
SEPARATORS = [" ", "  ", "\t", "\n", "\xa0", "\u3000", "\u2009", " \u205f "]


def random_text(rng, max_words, vocab):
    n = rng.randint(0, max_words)
    parts = [rng.choice(SEPARATORS) if rng.random() < 0.3 else ""]
    for _ in range(n):
        parts.append(rng.choice(vocab))
        parts.append(rng.choice(SEPARATORS))
    if rng.random() < 0.5:
        parts.pop()
    return "".join(parts)


@pytest.mark.parametrize("name", MEASURES)
def test_random_texts_against_reference(name):
    sim, dist, batch, ref = MEASURES[name]
    rng = random.Random(5100 + len(name))
    big_vocab = VOCAB + [f"w{i}" for i in range(40)]  # past the linear scan and the inline entries
    pairs = []
    for k in range(400):
        vocab = big_vocab if k % 4 == 0 else VOCAB
        max_words = 60 if k % 4 == 0 else 8
        pairs.append((random_text(rng, max_words, vocab), random_text(rng, max_words, vocab)))
    for s1, s2 in pairs:
        assert sim(s1, s2) == ref(s1, s2), (s1, s2)
        assert dist(s1, s2) == 1.0 - ref(s1, s2)
    assert batch(pairs) == [sim(s1, s2) for s1, s2 in pairs]
    assert batch(pairs, score_cutoff=0.5) == [sim(s1, s2, score_cutoff=0.5) for s1, s2 in pairs]


def test_tversky_random_weights_and_batch():
    rng = random.Random(77)
    for _ in range(200):
        s1, s2 = random_text(rng, 10, VOCAB), random_text(rng, 10, VOCAB)
        alpha = rng.choice([0.0, 0.5, 1.0, -0.5, 2.0, rng.uniform(-2, 2)])
        beta = rng.choice([0.0, 0.5, 1.0, -0.5, 2.0, rng.uniform(-2, 2)])
        expected = ref_tversky(s1, s2, alpha, beta)
        assert q.tversky_similarity(s1, s2, alpha=alpha, beta=beta) == expected
        assert q.tversky_similarity_batch([(s1, s2)], alpha=alpha, beta=beta) == [expected]


def test_repeated_word_counts_are_multisets():
    many = " ".join(["w"] * 40 + ["v"] * 3)
    assert q.jaccard_similarity(many, "w v") == 2 / 43
    assert q.overlap_similarity(many, "w w v v v v") == 5 / 6  # min(40, 2) + min(3, 4)
    assert q.sorensen_dice_similarity(many, many) == 1.0
