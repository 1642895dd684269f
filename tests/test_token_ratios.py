import random

import pytest

from quorvalex import fuzz

# Unicode White_Space: the only word separators.
WHITE_SPACE = frozenset(
    map(
        chr,
        [*range(0x09, 0x0E), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B)]
        + [0x2028, 0x2029, 0x202F, 0x205F, 0x3000],
    )
)


def split(s):
    words, cur = [], []
    for ch in s:
        if ch in WHITE_SPACE:
            if cur:
                words.append("".join(cur))
                cur = []
        else:
            cur.append(ch)
    if cur:
        words.append("".join(cur))
    return words


def lcs(a, b):
    row = [0] * (len(b) + 1)
    for ca in a:
        diag = 0
        for j, cb in enumerate(b):
            up = row[j + 1]
            row[j + 1] = diag + 1 if ca == cb else max(up, row[j])
            diag = up
    return row[-1]


def cut(score, cutoff):
    return 0.0 if cutoff is not None and score < cutoff else score


def string_ratio(x, y):
    return (2 * lcs(x, y)) * 100 / (len(x) + len(y))


def norm(d, t):
    return 100.0 if t == 0 else 100 - (d * 100) / t


def ref_token_sort(s1, s2, cutoff=None):
    if s1 == s2:
        return 100.0
    t1, t2 = sorted(split(s1)), sorted(split(s2))  # str order == UTF-8 byte order
    if t1 == t2:
        return 100.0
    j1, j2 = " ".join(t1), " ".join(t2)
    if (not j1) != (not j2):
        return 0.0
    return cut(string_ratio(j1, j2), cutoff)


def set_prelude(s1, s2):
    """The shared early returns, or the words and the partition."""
    if s1 == s2:
        return 100.0
    if not s1 or not s2:
        return 100.0 if not s1 and not s2 else 0.0
    w1, w2 = split(s1), split(s2)
    if not w1 or not w2:
        return 100.0 if not w1 and not w2 else 0.0
    a, b = set(w1), set(w2)
    if a == b:
        return 100.0
    if a & b and (not a - b or not b - a):
        return 100.0
    return w1, w2, a & b, a - b, b - a


def set_score(shared, first_only, second_only, c):
    a, b = " ".join(sorted(first_only)), " ".join(sorted(second_only))
    first_len, second_len = len(a), len(b)
    shared_len = len(" ".join(shared))
    if shared_len:
        with_first, with_second = shared_len + 1 + first_len, shared_len + 1 + second_len
    else:
        with_first, with_second = first_len, second_len
    dist = first_len + second_len - 2 * lcs(a, b)
    rest = norm(dist, with_first + with_second)
    rest = 0.0 if rest < c else rest
    if not shared_len:
        return rest
    first = norm(first_len + 1, shared_len + with_first)
    second = norm(second_len + 1, shared_len + with_second)
    return max(rest, 0.0 if first < c else first, 0.0 if second < c else second)


def ref_token_set(s1, s2, cutoff=None):
    p = set_prelude(s1, s2)
    if isinstance(p, float):
        return p
    return set_score(*p[2:], 0.0 if cutoff is None else cutoff)


def ref_token_ratio(s1, s2, cutoff=None):
    p = set_prelude(s1, s2)
    if isinstance(p, float):
        return p
    w1, w2 = p[0], p[1]
    sorted_score = string_ratio(" ".join(sorted(w1)), " ".join(sorted(w2)))
    return cut(max(sorted_score, set_score(*p[2:], 0.0)), cutoff)


# Window score: the library's partial ratio without a cutoff (tested on its own elsewhere).
def ref_partial_token_sort(s1, s2, cutoff=None):
    if s1 == s2:
        return 100.0
    t1, t2 = sorted(split(s1)), sorted(split(s2))
    if t1 == t2:
        return 100.0
    return cut(fuzz.partial_ratio(" ".join(t1), " ".join(t2)), cutoff)


def ref_partial_token_set(s1, s2, cutoff=None):
    if s1 == s2:
        return 100.0
    a, b = set(split(s1)), set(split(s2))
    if a == b:
        return 100.0
    if not a or not b:
        return 0.0
    if a & b:
        return 100.0
    return cut(fuzz.partial_ratio(" ".join(sorted(a)), " ".join(sorted(b))), cutoff)


def ref_partial_token(s1, s2, cutoff=None):
    if s1 == s2:
        return 100.0
    t1, t2 = split(s1), split(s2)
    a, b = set(t1), set(t2)
    if a & b:
        return 100.0
    best = fuzz.partial_ratio(" ".join(sorted(t1)), " ".join(sorted(t2)))
    if len(t1) != len(a) or len(t2) != len(b):
        best = max(best, fuzz.partial_ratio(" ".join(sorted(a)), " ".join(sorted(b))))
    return cut(best, cutoff)


SCORERS = {
    "token_sort_ratio": ref_token_sort,
    "token_set_ratio": ref_token_set,
    "token_ratio": ref_token_ratio,
    "partial_token_sort_ratio": ref_partial_token_sort,
    "partial_token_set_ratio": ref_partial_token_set,
    "partial_token_ratio": ref_partial_token,
}

# Worked examples: (s1, s2, token_sort, token_set, token_ratio).
EXAMPLES = [
    ("york new", "new york", 100.0, 100.0, 100.0),
    ("new york mets", "new york meats", 96.29629629629629, 96.29629629629629, 96.29629629629629),
    ("the cat sat", "cat the sat down", 81.48148148148148, 100.0, 100.0),
    ("alpha beta", "beta gamma", 40.0, 70.0, 70.0),
    ("a b c", "a b d e", 66.66666666666667, 75.0, 75.0),
    ("", "", 100.0, 100.0, 100.0),
    ("   ", "", 100.0, 0.0, 0.0),
    ("   ", "abc", 0.0, 0.0, 0.0),
    ("a a b", "a b", 75.0, 100.0, 100.0),
]


@pytest.mark.parametrize("s1,s2,sort,set_,both", EXAMPLES)
def test_token_ratio_examples(s1, s2, sort, set_, both):
    for a, b in ((s1, s2), (s2, s1)):
        assert fuzz.token_sort_ratio(a, b) == sort
        assert fuzz.token_set_ratio(a, b) == set_
        assert fuzz.token_ratio(a, b) == both


# (s1, s2, partial_token_sort, partial_token_set, partial_token)
PARTIAL_EXAMPLES = [
    ("york new", "new york city", 100.0, 100.0, 100.0),
    ("new york", "york city", 76.92307692307692, 100.0, 100.0),
    ("alpha", "beta", 40.0, 40.0, 40.0),
    ("hello world", "wrld helo", 82.3529411764706, 82.3529411764706, 82.3529411764706),
    ("a a x", "b b y", 44.44444444444444, 40.0, 44.44444444444444),
    ("   ", "", 100.0, 100.0, 100.0),
    ("", "abc", 0.0, 0.0, 0.0),
]


@pytest.mark.parametrize("s1,s2,sort,set_,both", PARTIAL_EXAMPLES)
def test_partial_token_examples(s1, s2, sort, set_, both):
    for a, b in ((s1, s2), (s2, s1)):
        assert fuzz.partial_token_sort_ratio(a, b) == sort
        assert fuzz.partial_token_set_ratio(a, b) == set_
        assert fuzz.partial_token_ratio(a, b) == both


def test_plain_ratios_differ_from_token_forms():
    assert fuzz.ratio("york new", "new york") == 50.0
    assert fuzz.partial_ratio("york new", "new york city") == 62.5
    assert fuzz.partial_ratio("   ", "") == 0.0


# Early returns of 100.0 ignore the cutoff; computed scores are cut.
@pytest.mark.parametrize(
    "name,s1,s2,expected",
    [
        ("token_sort_ratio", "york new", "new york", 100.0),
        ("token_sort_ratio", "  ", "", 100.0),
        ("token_set_ratio", "the cat sat", "cat the sat down", 100.0),
        ("token_set_ratio", "a a b", "b a", 100.0),
        ("token_set_ratio", "", "", 100.0),
        ("token_ratio", "x y", "y x y", 100.0),
        ("partial_token_sort_ratio", "b a", "a  b", 100.0),
        ("partial_token_set_ratio", "new york", "york city", 100.0),
        ("partial_token_ratio", "new york", "york city", 100.0),
        ("partial_token_set_ratio", " ", "\t", 100.0),
        ("token_sort_ratio", "alpha beta", "beta gamma", 0.0),
        ("token_set_ratio", "alpha beta", "beta gamma", 0.0),
        ("token_ratio", "alpha beta", "beta gamma", 0.0),
        ("partial_token_sort_ratio", "hello world", "wrld helo", 0.0),
        ("partial_token_set_ratio", "alpha", "beta", 0.0),
        ("partial_token_ratio", "a a x", "b b y", 0.0),
        # two texts without words reach the window search in the partial token ratio
        ("partial_token_ratio", " ", "\t", 0.0),
    ],
)
def test_cutoff_above_100(name, s1, s2, expected):
    assert getattr(fuzz, name)(s1, s2, score_cutoff=150) == expected


@pytest.mark.parametrize("name", sorted(SCORERS))
@pytest.mark.parametrize(
    "s1,s2",
    [
        ("alpha beta", "gamma alphabet"),
        ("hello world", "wrld helo"),
        ("a a x", "b b y"),
        ("new york mets", "newyork meats"),
        ("café au lait", "cafe ole laid"),
        ("\U0001f44d x€ abc", "ab\U0001f44d x€c"),
    ],
)
def test_cutoff_below_equal_above(name, s1, s2):
    # no shared words, so every scorer computes its score
    fn = getattr(fuzz, name)
    value = fn(s1, s2)
    assert 0.0 < value < 100.0
    assert fn(s1, s2, score_cutoff=value) == value
    assert fn(s1, s2, score_cutoff=value - 1e-9) == value
    assert fn(s1, s2, score_cutoff=0) == value
    assert fn(s1, s2, score_cutoff=-5) == value
    assert fn(s1, s2, score_cutoff=value + 1e-9) == 0.0


# Random word texts over small vocabularies (so that words repeat and share letters), in
# ASCII, Latin-1, BMP and astral forms, with varied separators; up to 26 words so that both
# the direct and the hashed sets and both sorts are used.
VOCABS = {
    "ascii": ["a", "b", "ab", "ba", "abc", "cab", "New", "new", "York", "b1"],
    "latin1": ["a", "é", "aé", "éa", "abé", "cab", "Né", "né", "York", "b1"],
    "bmp": ["a", "€", "a€", "€a", "Āb", "cab", "Ne€", "ne", "Yo€", "b1"],
    "astral": ["a", "\U0001f44d", "a\U0001f44d", "b", "ab", "c\U0001f600", "Ne", "ne", "Y", "b1"],
}
SEPARATORS = [" ", " ", " ", "  ", "\t", "\n", "\u00a0", "\u3000", " \u2003 "]


def random_text(rng, vocab):
    n = rng.choice([0, 1, 2, 3, 4, 5, 7, 9, 12]) if rng.random() < 0.95 else rng.randint(20, 26)
    words = [rng.choice(vocab) for _ in range(n)]
    text = "".join(w + rng.choice(SEPARATORS) for w in words)
    if rng.random() < 0.5:
        text = text.rstrip(" ")
    if rng.random() < 0.2:
        text = rng.choice(SEPARATORS) + text
    return text


def random_pairs(seed, count):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        vocab = VOCABS[rng.choice(sorted(VOCABS))]
        a = random_text(rng, vocab)
        if rng.random() < 0.3:  # a variant of the same text
            words = split(a)
            rng.shuffle(words)
            b = " ".join(words[: rng.randint(0, len(words))] + [rng.choice(vocab)])
        else:
            b = random_text(rng, vocab)
        pairs.append((a, b))
    return pairs


PAIRS = random_pairs(2024, 300)


@pytest.mark.parametrize("name", sorted(SCORERS))
def test_against_reference(name):
    fn, ref = getattr(fuzz, name), SCORERS[name]
    for s1, s2 in PAIRS:
        expected = ref(s1, s2)
        assert fn(s1, s2) == expected, (s1, s2)
        assert fn(s2, s1) == expected, (s2, s1)
        for c in (expected, expected + 1e-7, expected - 1e-7, 50.0, 99.0):
            assert fn(s1, s2, score_cutoff=c) == ref(s1, s2, c), (s1, s2, c)


@pytest.mark.parametrize("name", sorted(SCORERS))
@pytest.mark.parametrize("cutoff", [None, 0.0, 60.0, 150.0])
def test_batch_equals_scalar(name, cutoff):
    fn, batch = getattr(fuzz, name), getattr(fuzz, name + "_batch")
    pairs = PAIRS[:150]
    assert batch(pairs, score_cutoff=cutoff) == [fn(a, b, score_cutoff=cutoff) for a, b in pairs]


@pytest.mark.parametrize("vocab_name", sorted(VOCABS))
def test_long_texts_against_reference(vocab_name):
    # Joined strings beyond the inline join buffer, more than 16 distinct words.
    rng = random.Random(vocab_name)
    vocab = [w + str(i) for w in VOCABS[vocab_name] for i in range(8)]
    w1 = [rng.choice(vocab) for _ in range(rng.randint(60, 80))]
    w2 = [rng.choice(vocab) + rng.choice(["", "xz", "yyy"]) for _ in range(rng.randint(60, 80))]
    s1, s2 = " ".join(w1), "\t".join(w2)
    assert len(" ".join(set(w2) - set(w1)).encode()) > 256
    for name, ref in SCORERS.items():
        fn = getattr(fuzz, name)
        expected = ref(s1, s2)
        assert fn(s1, s2) == expected, (name, s1, s2)
        assert fn(s1, s2, score_cutoff=expected) == expected


@pytest.mark.parametrize("name", ["token_set_ratio", "token_ratio"])
def test_near_duplicates_against_reference(name):
    # Mostly shared words with short rests: the scores of the shared words and of the rests lie
    # close together, where a part skipped by its length bound must not have counted.
    rng = random.Random(name)
    fn, ref = getattr(fuzz, name), SCORERS[name]
    for _ in range(1500):
        vocab = VOCABS[rng.choice(sorted(VOCABS))]
        words = [rng.choice(vocab) for _ in range(rng.randint(2, 9))]
        other = words[:]
        rng.shuffle(other)
        other[rng.randrange(len(other))] = rng.choice(vocab)
        if rng.random() < 0.5:
            other.insert(rng.randrange(len(other) + 1), rng.choice(vocab))
        s1, s2 = " ".join(words), " ".join(other)
        expected = ref(s1, s2)
        assert fn(s1, s2) == expected, (s1, s2)
        assert fn(s1, s2, score_cutoff=expected) == expected, (s1, s2)
