import random

import pytest

from quorvalex import fuzz


def ref_w_ratio(s1, s2, cutoff=None):
    """The weighted ratio composed step by step from the library's own scorers."""
    if not s1 or not s2:
        return 0.0
    c = 0.0 if cutoff is None else cutoff
    length_ratio = max(len(s1), len(s2)) / min(len(s1), len(s2))
    best = fuzz.ratio(s1, s2, score_cutoff=c)
    if length_ratio < 1.5:
        t = fuzz.token_ratio(s1, s2, score_cutoff=max(best, c) / 0.95)
        best = max(best, t * 0.95)
    else:
        weight = 0.6 if length_ratio > 8.0 else 0.9
        p = fuzz.partial_ratio(s1, s2, score_cutoff=max(best, c) / weight)
        best = max(best, weight * p)
        weight = weight * 0.95
        q = fuzz.partial_token_ratio(s1, s2, score_cutoff=max(best, c) / weight)
        best = max(best, weight * q)
    return 0.0 if best < c else best


@pytest.mark.parametrize(
    "s1,s2,expected",
    [
        ("", "", 0.0),
        ("", "abc", 0.0),
        ("   ", "", 0.0),
        ("york new", "new york", 95.0),
        ("new york mets", "new york meats", 96.29629629629629),
        ("abcde", "abcdefg", 83.33333333333333),  # 1.4: ratio only
        ("abcd", "abcdef", 90.0),  # exactly 1.5: partial ratio 100 scaled by 0.9
        ("abc", "xxabcxx", 90.0),
        ("abc", "x" * 10 + "abc" + "x" * 11, 90.0),  # 24 characters: exactly 8.0, scale 0.9
        ("abc", "x" * 11 + "abc" + "x" * 11, 60.0),  # 25 characters: 8.33, scale 0.6
        ("dd aaa", "aaa dd x", 95.0),  # 8 / 6: the token ratio's equal-words 100 counts
        ("dd aaa", "aaa dd xx", 85.5),  # exactly 1.5: partial token ratio, shared word
        ("café", "cafe", 75.0),
        # a scaled 100 that just beats the best so far: ratio 94.74, token ratio 100 (same words)
        ("a bcdefgh ijklmnop", "a bcdefgh ijklmnop a", 95.0),
        # partial ratio 94.74 scaled to 85.26, then a shared word: 100 scaled by 0.855
        ("eedg adhaa", "eedg adhax rrr rrr s rrr", 85.5),
        ("\U0001f44d abc", "abc \U0001f44d", 95.0),
    ],
)
def test_examples(s1, s2, expected):
    assert fuzz.w_ratio(s1, s2) == expected
    assert fuzz.w_ratio(s2, s1) == expected
    assert ref_w_ratio(s1, s2) == expected


@pytest.mark.parametrize(
    "s1,s2,cutoff,expected",
    [
        ("york new", "new york", 96, 0.0),
        ("york new", "new york", 95, 95.0),  # the token ratio returns 100 above its cutoff 100
        ("york new", "new york", 95.0000001, 0.0),
        ("york new", "new york", 150, 0.0),
        ("abc", "abc", 150, 0.0),  # the plain ratio's 100 ignores the cutoff, the final cut not
        ("abc", "abc", 100, 100.0),
        ("abcd", "abcdef", 90, 90.0),  # partial ratio asked for at least 100
        ("abcd", "abcdef", 90.5, 0.0),
        ("new york mets", "new york meats", 96.29629629629629, 96.29629629629629),
        ("new york mets", "new york meats", 96.2962962962963, 0.0),
        ("new york mets", "new york meats", -1, 96.29629629629629),
    ],
)
def test_cutoffs(s1, s2, cutoff, expected):
    assert fuzz.w_ratio(s1, s2, score_cutoff=cutoff) == expected
    assert ref_w_ratio(s1, s2, cutoff) == expected


WORDS = {
    "ascii": ["john", "jon", "smith", "smyth", "st", "street", "main", "12", "a", "b", "ab"],
    "latin1": ["josé", "jose", "müller", "muller", "straße", "rue", "é", "a", "12", "b"],
    "bmp": ["€", "10€", "Ābc", "abc", "ab", "b€", "ā", "a", "12", "x"],
    "astral": ["\U0001f44d", "a\U0001f44d", "ok", "k", "\U0001f600b", "b", "ab", "a", "12"],
}


def random_pairs(seed, count):
    """Pairs over small vocabularies with length proportions from 1 to about 12."""
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        vocab = WORDS[rng.choice(sorted(WORDS))]
        a = " ".join(rng.choice(vocab) for _ in range(rng.randint(1, 4)))
        kind = rng.random()
        if kind < 0.3:
            words = a.split(" ")
            rng.shuffle(words)
            b = " ".join(words + [rng.choice(vocab)] * rng.randint(0, 2))
        elif kind < 0.6:
            b = " ".join(rng.choice(vocab) for _ in range(rng.randint(1, 5)))
        else:
            # the short text inside or beside a long one
            filler = "".join(rng.choice("xyz ") for _ in range(rng.randint(0, 12 * len(a))))
            cut = rng.randint(0, len(filler))
            b = filler[:cut] + rng.choice([a, a[::-1], rng.choice(vocab)]) + filler[cut:]
        if rng.random() < 0.5:
            a, b = b, a
        pairs.append((a, b))
    return pairs


PAIRS = random_pairs(99, 400)


def test_against_composed_reference():
    ratios = set()
    for s1, s2 in PAIRS:
        expected = ref_w_ratio(s1, s2)
        assert fuzz.w_ratio(s1, s2) == expected, (s1, s2)
        for c in (expected, expected + 1e-7, expected - 1e-7, 50.0, 85.5, 90.0, 95.0, 101.0):
            assert fuzz.w_ratio(s1, s2, score_cutoff=c) == ref_w_ratio(s1, s2, c), (s1, s2, c)
        if s1.strip() and s2.strip():
            r = max(len(s1), len(s2)) / min(len(s1), len(s2))
            ratios.add("token" if r < 1.5 else "partial" if r <= 8.0 else "long")
    assert ratios == {"token", "partial", "long"}  # every branch was taken


@pytest.mark.parametrize("cutoff", [None, 0.0, 70.0, 95.0, 120.0])
def test_batch_equals_scalar(cutoff):
    pairs = PAIRS[:200]
    expected = [fuzz.w_ratio(a, b, score_cutoff=cutoff) for a, b in pairs]
    assert fuzz.w_ratio_batch(pairs, score_cutoff=cutoff) == expected
