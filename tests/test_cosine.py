"""Cosine over word bags and character n-gram bags, against a Counter reference."""

import math
import random
import re
from collections import Counter

import pytest

import quorvalex as q

WHITE_SPACE = re.compile("[\t\n\v\f\r \x85\xa0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]+")


def tokens(text, use_words, n):
    if use_words:
        return [w for w in WHITE_SPACE.split(text) if w]
    if len(text) < n:
        return [text]
    return [text[i : i + n] for i in range(len(text) - n + 1)]


def ref_cosine(s1, s2, use_words=True, n=2):
    t1, t2 = tokens(s1, use_words, n), tokens(s2, use_words, n)
    if not t1:
        return 1.0 if not t2 else 0.0
    if not t2:
        return 0.0
    c1, c2 = Counter(t1), Counter(t2)
    shared = float(sum(min(k, c2[t]) for t, k in c1.items()))
    p = float(len(t1)) * float(len(t2))
    return shared / math.sqrt(p) if p != 0.0 else 0.0


@pytest.mark.parametrize(
    "s1, s2, use_words, n, expected",
    [
        ("", "", True, 2, 1.0),
        ("  \t", "\u3000", True, 2, 1.0),
        ("", "hello", True, 2, 0.0),
        ("hello", " ", True, 2, 0.0),
        ("", "", False, 2, 1.0),
        ("abc", "abd", False, 2, 0.5),
        ("abc", "abc", False, 5, 1.0),
        ("abc", "abd", False, 5, 0.0),
        ("abc", "abcdef", False, 5, 0.0),
        ("a a", "a", True, 2, 0.7071067811865475),
        ("the hello world", "world hello the", True, 2, 1.0),
        ("Hello", "hello", True, 2, 0.0),
        ("aaaa", "aa", False, 2, 1 / math.sqrt(3)),  # intersection 1, not a dot product
        ("ab", "ba", False, 1, 1.0),
        ("é€", "é€", False, 3, 1.0),  # whole-text tokens compared by scalar values
        ("é€Ā", "é€B", False, 2, 0.5),
        ("👍👍👍", "👍👍", False, 2, 1 / math.sqrt(2)),
    ],
)
def test_worked_values(s1, s2, use_words, n, expected):
    assert q.cosine_similarity(s1, s2, use_words=use_words, ngram_size=n) == expected
    assert q.cosine_distance(s1, s2, use_words=use_words, ngram_size=n) == 1.0 - expected


def test_early_results_ignore_the_cutoff_only_in_word_mode():
    assert q.cosine_similarity("", "", score_cutoff=2.0) == 1.0
    assert q.cosine_similarity(" ", "\t\n", score_cutoff=2.0) == 1.0
    assert q.cosine_distance("", "", score_cutoff=-1.0) == 1.0
    # n-gram mode: the single empty token goes through the formula and the cutoff
    assert q.cosine_similarity("", "", use_words=False, score_cutoff=2.0) == 0.0
    assert q.cosine_similarity_batch([("", "")], score_cutoff=2.0) == [1.0]


def test_cutoffs():
    value = q.cosine_similarity("a b c", "a b d")
    assert value == 2 / 3
    assert q.cosine_similarity("a b c", "a b d", score_cutoff=value) == value
    assert q.cosine_similarity("a b c", "a b d", score_cutoff=0.67) == 0.0
    d = q.cosine_distance("a b c", "a b d")
    assert q.cosine_distance("a b c", "a b d", score_cutoff=d) == d
    assert q.cosine_distance("a b c", "a b d", score_cutoff=0.3) == 1.0


FORMS = [
    lambda **kw: q.cosine_similarity("ab", "ab", **kw),
    lambda **kw: q.cosine_distance("ab", "ab", **kw),
    lambda **kw: q.cosine_similarity_batch([("ab", "ab"), ("", "x")], **kw),
    lambda **kw: q.cosine_similarity_batch([], **kw),
]


@pytest.mark.parametrize("form", FORMS, ids=["similarity", "distance", "batch", "empty batch"])
def test_ngram_size_zero_is_rejected_in_ngram_mode(form):
    with pytest.raises(ValueError, match="^ngram_size must be at least 1$"):
        form(use_words=False, ngram_size=0)
    with pytest.raises(ValueError, match="ngram_size must be at least 1"):
        form(use_words=False, ngram_size=0, score_cutoff=0.5)
    assert form(use_words=True, ngram_size=0) == form(use_words=True)  # ignored for words


def test_huge_ngram_size_uses_whole_texts():
    big = 2**64 - 1
    assert q.cosine_similarity("abc", "abc", use_words=False, ngram_size=big) == 1.0
    assert q.cosine_similarity("abc", "abd", use_words=False, ngram_size=big) == 0.0


ALPHABETS = ["ab", "abc", "aé", "a€Ā", "a👍", "x é👍"]


def random_text(rng, alphabet, max_len):
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(0, max_len)))


@pytest.mark.parametrize("n", [1, 2, 3, 4, 5])
def test_ngrams_against_reference(n):
    rng = random.Random(520 + n)
    pairs = []
    for k in range(300):
        alphabet = ALPHABETS[k % len(ALPHABETS)]
        max_len = 150 if k % 10 == 0 else 12  # long ones exceed the inline map
        pairs.append((random_text(rng, alphabet, max_len), random_text(rng, alphabet, max_len)))
    for s1, s2 in pairs:
        expected = ref_cosine(s1, s2, False, n)
        assert q.cosine_similarity(s1, s2, use_words=False, ngram_size=n) == expected, (s1, s2)
    got = q.cosine_similarity_batch(pairs, use_words=False, ngram_size=n)
    assert got == [ref_cosine(s1, s2, False, n) for s1, s2 in pairs]


@pytest.mark.parametrize("n", [6, 7, 8, 9])
def test_long_ascii_ngrams_with_nul_bytes(n):
    rng = random.Random(530 + n)
    for _ in range(200):
        s1 = random_text(rng, "ab\0", rng.choice([12, 40]))
        s2 = random_text(rng, "ab\0", rng.choice([12, 40]))
        got = q.cosine_similarity(s1, s2, use_words=False, ngram_size=n)
        assert got == ref_cosine(s1, s2, False, n), (s1, s2)


def test_words_against_reference():
    rng = random.Random(52)
    vocab = ["a", "b", "ab", "é", "€x", "👍", "Ā"] + [f"w{i}" for i in range(30)]
    seps = [" ", "\t", "\xa0", "\u3000", "  "]
    pairs = []
    for k in range(400):
        m = 50 if k % 5 == 0 else 6
        texts = []
        for _ in range(2):
            ws = [rng.choice(vocab[: 7 if k % 2 else None]) for _ in range(rng.randint(0, m))]
            texts.append("".join(w + rng.choice(seps) for w in ws))
        pairs.append(tuple(texts))
    for s1, s2 in pairs:
        assert q.cosine_similarity(s1, s2) == ref_cosine(s1, s2), (s1, s2)
        assert q.cosine_distance(s1, s2) == 1.0 - ref_cosine(s1, s2)
    assert q.cosine_similarity_batch(pairs, score_cutoff=0.4) == [
        q.cosine_similarity(s1, s2, score_cutoff=0.4) for s1, s2 in pairs
    ]
