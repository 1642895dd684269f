"""Cosine over word bags and character n-gram bags, against a Counter reference."""

import math
import random
from collections import Counter

import pytest
from vector_reference import check_forms, word_pairs, words

import quorvalex as q


def ref_cosine(s1, s2, use_words=True, n=2):
    if use_words:
        t1, t2 = words(s1), words(s2)
        if not t1 or not t2:
            return 1.0 if not t1 and not t2 else 0.0
    else:
        t1, t2 = ([s[i : i + n] for i in range(len(s) - n + 1)] or [s] for s in (s1, s2))
    c1, c2 = Counter(t1), Counter(t2)
    shared = float(sum(min(k, c2[t]) for t, k in c1.items()))
    return shared / math.sqrt(float(len(t1)) * float(len(t2)))


@pytest.mark.parametrize(
    "s1, s2, use_words, n, expected",
    [
        ("", "", True, 2, 1.0),
        ("", "hello", True, 2, 0.0),
        ("", "", False, 2, 1.0),  # one empty token each: the formula and the cutoff apply
        ("abc", "abd", False, 2, 0.5),
        ("abc", "abd", False, 5, 0.0),
        ("abc", "abcdef", False, 5, 0.0),
        ("abc", "abc", False, 2**64 - 1, 1.0),
        ("a a", "a", True, 2, 0.7071067811865475),
        ("the hello world", "world hello the", True, 2, 1.0),
        ("aaaa", "aa", False, 2, 1 / math.sqrt(3)),  # intersection 1, not a dot product
        ("é€", "é€", False, 3, 1.0),  # whole-text tokens compared by scalar values
        ("👍👍👍", "👍👍", False, 2, 1 / math.sqrt(2)),
    ],
)
def test_worked_values(s1, s2, use_words, n, expected):
    check_forms("cosine", s1, s2, expected, use_words=use_words, ngram_size=n)
    assert ref_cosine(s1, s2, use_words, n) == expected


FORMS = {
    "similarity": lambda **kw: q.cosine_similarity("ab", "ab", **kw),
    "distance": lambda **kw: q.cosine_distance("ab", "ab", **kw),
    "batch": lambda **kw: q.cosine_similarity_batch([("ab", "ab"), ("", "x")], **kw),
    "empty batch": lambda **kw: q.cosine_similarity_batch([], **kw),
}


@pytest.mark.parametrize("form", FORMS.values(), ids=FORMS.keys())
def test_ngram_size_zero_is_rejected_in_ngram_mode(form):
    for cutoff in (None, 0.5):
        with pytest.raises(ValueError, match="^ngram_size must be at least 1$"):
            form(use_words=False, ngram_size=0, score_cutoff=cutoff)
    assert form(use_words=True, ngram_size=0) == form(use_words=True)  # ignored for words


@pytest.mark.parametrize("n", range(1, 11))
def test_ngrams_against_reference(n):
    # packed ASCII codes up to 8 symbols, token views past that, around the inline buffers
    rng = random.Random(520 + n)
    for k in range(250):
        alphabet = ["ab", "ab\0", "abc", "aé", "a€Ā", "a👍", "x é👍"][k % 7]
        lengths = [62, 63, 64, 65, 66, 150] if k % 3 == 0 else range(13)
        s1, s2 = ("".join(rng.choices(alphabet, k=rng.choice(lengths))) for _ in "xy")
        check_forms("cosine", s1, s2, ref_cosine(s1, s2, False, n), use_words=False, ngram_size=n)


def test_words_against_reference():
    for s1, s2 in word_pairs(52, 400):
        check_forms("cosine", s1, s2, ref_cosine(s1, s2))
