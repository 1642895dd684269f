"""Token and partial token ratios against references built on a textbook LCS."""

import functools
import random

import pytest

from fuzz_reference import POOL, VOCABS, cut, lcs, split, word_pair
from quorvalex import fuzz

lcs = functools.cache(lcs)  # the references run again for each cutoff


def string_ratio(x, y):
    return 2 * lcs(x, y) * 100 / (len(x) + len(y))


def norm(dist, total):
    return 100.0 if total == 0 else 100 - dist * 100 / total


def joined(words):
    return " ".join(sorted(words))  # str order is UTF-8 byte order


def token_sort(s1, s2, c=None):
    j1, j2 = joined(split(s1)), joined(split(s2))
    if s1 == s2 or j1 == j2:
        return 100.0
    return 0.0 if not j1 or not j2 else cut(string_ratio(j1, j2), c)


def token_set(s1, s2, c=None, sort_part=False):
    """The token set ratio; with sort_part the token ratio (max of both parts, then the cutoff)."""
    if s1 == s2 or not s1 or not s2:
        return 100.0 if s1 == s2 else 0.0
    w1, w2 = split(s1), split(s2)
    a, b = set(w1), set(w2)
    if not a or not b or a <= b or b <= a:  # no words, equal sets or one inside the other
        return 100.0 if a == b or (a and b) else 0.0
    floor = 0.0 if c is None or sort_part else c
    x, y, shared = joined(a - b), joined(b - a), len(joined(a & b))
    with_x, with_y = (shared + 1 + len(x), shared + 1 + len(y)) if shared else (len(x), len(y))
    scores = [norm(len(x) + len(y) - 2 * lcs(x, y), with_x + with_y)]
    if shared:
        scores += [norm(len(x) + 1, shared + with_x), norm(len(y) + 1, shared + with_y)]
    best = max(0.0 if s < floor else s for s in scores)
    return cut(max(best, string_ratio(joined(w1), joined(w2))), c) if sort_part else best


# Window score: the library's partial ratio without a cutoff (checked on its own elsewhere).
def partial_token_sort(s1, s2, c=None):
    j1, j2 = joined(split(s1)), joined(split(s2))
    return 100.0 if s1 == s2 or j1 == j2 else cut(fuzz.partial_ratio(j1, j2), c)


def partial_token_set(s1, s2, c=None, lists=False):
    """The partial token set ratio; with lists the partial token ratio (also the sorted lists)."""
    t1, t2 = split(s1), split(s2)
    a, b = set(t1), set(t2)
    if s1 == s2 or (a == b and not lists) or a & b:
        return 100.0
    if not lists and (not a or not b):
        return 0.0
    best = fuzz.partial_ratio(joined(a), joined(b))
    return cut(max(best, fuzz.partial_ratio(joined(t1), joined(t2))) if lists else best, c)


SCORERS = {
    "token_sort_ratio": token_sort,
    "token_set_ratio": token_set,
    "token_ratio": lambda s1, s2, c=None: token_set(s1, s2, c, sort_part=True),
    "partial_token_sort_ratio": partial_token_sort,
    "partial_token_set_ratio": partial_token_set,
    "partial_token_ratio": lambda s1, s2, c=None: partial_token_set(s1, s2, c, lists=True),
}
GROUPS = {"token": list(SCORERS)[:3], "partial": list(SCORERS)[3:]}

# (group, s1, s2, then the sort, set and combined scores of the group)
EXAMPLES = [
    ("token", "york new", "new york", 100.0, 100.0, 100.0),
    ("token", "new york mets", "new york meats", *[96.29629629629629] * 3),
    ("token", "the cat sat", "cat the sat down", 81.48148148148148, 100.0, 100.0),
    ("token", "alpha beta", "beta gamma", 40.0, 70.0, 70.0),
    ("token", "a b c", "a b d e", 66.66666666666667, 75.0, 75.0),
    ("token", "", "", 100.0, 100.0, 100.0),
    ("token", "   ", "", 100.0, 0.0, 0.0),
    ("token", "   ", "abc", 0.0, 0.0, 0.0),
    ("token", "a a b", "a b", 75.0, 100.0, 100.0),
    ("partial", "york new", "new york city", 100.0, 100.0, 100.0),
    ("partial", "new york", "york city", 76.92307692307692, 100.0, 100.0),
    ("partial", "alpha", "beta", 40.0, 40.0, 40.0),
    ("partial", "hello world", "wrld helo", *[82.3529411764706] * 3),
    ("partial", "a a x", "b b y", 44.44444444444444, 40.0, 44.44444444444444),
    ("partial", "   ", "", 100.0, 100.0, 100.0),
    ("partial", "", "abc", 0.0, 0.0, 0.0),
    ("partial", " ", "\t", 100.0, 100.0, 100.0),
]


@pytest.mark.parametrize("group,s1,s2,v1,v2,v3", EXAMPLES)
def test_examples(group, s1, s2, v1, v2, v3):
    for name, value in zip(GROUPS[group], (v1, v2, v3)):
        f, r = getattr(fuzz, name), SCORERS[name]
        assert f(s1, s2) == f(s2, s1) == r(s1, s2) == value, name
        assert f(s1, s2, score_cutoff=150) == r(s1, s2, 150), name


PAIRS = [word_pair(random.Random(i)) for i in range(400)]


@pytest.mark.parametrize("name", list(SCORERS))
def test_against_reference(name):
    f, r = getattr(fuzz, name), SCORERS[name]
    for s1, s2 in PAIRS:
        expected = r(s1, s2)
        assert f(s1, s2) == f(s2, s1) == expected, (s1, s2)
        for c in (expected, expected + 1e-7, expected - 1e-7, 50.0, 99.0):
            assert f(s1, s2, score_cutoff=c) == r(s1, s2, c), (s1, s2, c)


@pytest.mark.parametrize("vocab", range(len(VOCABS)))
def test_long_texts_against_reference(vocab):
    # Joined strings beyond the inline join buffer, more than 16 distinct words.
    rng = random.Random(vocab)
    words = [w + str(i) for w in VOCABS[vocab] for i in range(8)]
    w1 = rng.choices(words, k=rng.randint(60, 80))
    w2 = [w + rng.choice(["", "xz", "yyy"]) for w in rng.choices(words, k=rng.randint(60, 80))]
    s1, s2 = " ".join(w1), "\t".join(w2)
    assert len(" ".join(set(w2) - set(w1)).encode()) > 256
    for name, r in SCORERS.items():
        expected = r(s1, s2)
        assert getattr(fuzz, name)(s1, s2) == expected, name
        assert getattr(fuzz, name)(s1, s2, score_cutoff=expected) == expected, name


@pytest.mark.parametrize("name", ["token_set_ratio", "token_ratio"])
def test_near_duplicates_against_reference(name):
    # Many shared words and one-word rests: the scores of the shared words and of the rests lie
    # close together, where a part skipped by its length bound must not have counted.
    rng, f, r = random.Random(name), getattr(fuzz, name), SCORERS[name]
    for _ in range(3000):
        s1, s2 = word_pair(rng, near=True)
        expected = r(s1, s2)
        assert f(s1, s2) == expected and f(s1, s2, score_cutoff=expected) == expected, (s1, s2)


@pytest.mark.parametrize("seed", range(3))
def test_words_of_many_distinct_symbols(seed):
    # Words over 387 distinct symbols from ASCII to astral (past every byte table), so that the
    # joined texts are compared symbol by symbol at widths 1, 2 and 4 within one pair.
    rng = random.Random(seed)
    vocab = ["".join(rng.choices(POOL, k=rng.randint(1, 6))) for _ in range(40)]
    vocab = [w for w in vocab if not any(c.isspace() for c in w)]
    for _ in range(12):
        w1 = rng.choices(vocab, k=rng.randint(1, 25))
        w2 = rng.sample(w1, len(w1))[: rng.randint(0, len(w1))] + rng.choices(vocab, k=3)
        s1, s2 = " ".join(w1), " \u3000".join(w2)
        for name, r in SCORERS.items():
            expected = r(s1, s2)
            assert getattr(fuzz, name)(s1, s2) == getattr(fuzz, name)(s2, s1) == expected, name
