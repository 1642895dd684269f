import math
import random

import pytest

from quorvalex import distance as d


def ref_jaro(s1, s2):
    """Textbook Jaro: s1 drives the scan, first free equal position of s2 in the window."""
    if s1 == s2:
        return 1.0
    if not s1 or not s2:
        return 0.0
    len1, len2 = len(s1), len(s2)
    maxlen = max(len1, len2)
    w = 0 if maxlen < 2 else maxlen // 2 - 1
    f1, f2 = [False] * len1, [False] * len2
    m = 0
    for i in range(len1):
        for j in range(max(0, i - w), min(len2 - 1, i + w) + 1):
            if not f2[j] and s1[i] == s2[j]:
                f1[i] = f2[j] = True
                m += 1
                break
    if m == 0:
        return 0.0
    a = [c for c, f in zip(s1, f1) if f]
    b = [c for c, f in zip(s2, f2) if f]
    t = sum(x != y for x, y in zip(a, b)) // 2
    x = m / len1
    y = x + m / len2
    z = (m - t) / m
    return (y + z) / 3.0


def ref_jw(s1, s2, p=0.1):
    if s1 == s2:
        return 1.0
    if not s1 or not s2:
        return 0.0
    j = ref_jaro(s1, s2)
    if j < 0.7:
        return j
    L = 0
    while L < min(4, len(s1), len(s2)) and s1[L] == s2[L]:
        L += 1
    return j + (1.0 - j) * (p * L)


# The same random texts over four alphabets: ASCII, Latin-1, BMP, astral.
ALPHABETS = {
    "ascii": "abc",
    "latin1": "aéÿ",
    "bmp": "a€Ā",
    "astral": "a\U0001f44d\U0001f600",
}
# Length pairs around the switches between the three ASCII forms (64 / 128 bytes), with the
# longer text far beyond the shorter one plus the window on the block form.
LENGTH_PAIRS = [
    (1, 1), (2, 3), (5, 9), (63, 64), (64, 64), (64, 65), (65, 64), (65, 65), (10, 100),
    (100, 128), (127, 128), (128, 128), (128, 129), (129, 128), (129, 129), (64, 129),
    (10, 200), (200, 10), (150, 300), (191, 193), (200, 200), (256, 257),
]


def random_pairs(alphabet, n1, n2, rng, count):
    letters = alphabet[: rng.choice([2, 3])]
    for _ in range(count):
        a = "".join(rng.choice(letters) for _ in range(n1))
        b = "".join(rng.choice(letters) for _ in range(n2))
        yield a, b


def sparse_pairs(alphabet, n1, n2, rng, count):
    """Few shared symbols on distinct fillers: matches hinge on the exact window edges."""
    letters = alphabet[:2]
    for k in range(count):
        # Dense enough for several matches, or so sparse that candidates sit near the edges.
        p = 0.15 if k % 2 else min(0.15, 3.0 / max(n1, n2))
        a = "".join(rng.choice(letters) if rng.random() < p else "x" for _ in range(n1))
        b = "".join(rng.choice(letters) if rng.random() < p else "y" for _ in range(n2))
        yield a, b


def mutated_pairs(alphabet, n, rng, count):
    """A text and a copy with a few swaps, substitutions and deletions."""
    for _ in range(count):
        a = [rng.choice(alphabet) for _ in range(n)]
        b = list(a)
        for _ in range(rng.randint(1, 6)):
            k = rng.randrange(len(b) - 1)
            op = rng.randrange(3)
            if op == 0:
                b[k], b[k + 1] = b[k + 1], b[k]
            elif op == 1:
                b[k] = rng.choice(alphabet)
            else:
                del b[k]
        yield "".join(a), "".join(b)


@pytest.mark.parametrize("alpha", list(ALPHABETS))
@pytest.mark.parametrize("n1,n2", LENGTH_PAIRS)
def test_jaro_matches_reference_and_is_symmetric(alpha, n1, n2):
    rng = random.Random(n1 * 1000 + n2 + len(alpha))
    alphabet = ALPHABETS[alpha]
    pairs = list(random_pairs(alphabet, n1, n2, rng, 4))
    pairs += sparse_pairs(alphabet, n1, n2, rng, 6)
    for a, b in pairs:
        expected = ref_jaro(a, b)
        assert d.jaro_similarity(a, b) == expected, (a, b)
        assert d.jaro_similarity(b, a) == expected, (a, b)
        assert d.jaro_distance(a, b) == 1.0 - expected


@pytest.mark.parametrize("alpha", ["ascii", "bmp"])
@pytest.mark.parametrize("n", [20, 64, 65, 120, 128, 129, 200])
def test_jaro_winkler_on_near_copies(alpha, n):
    # Near copies keep the Jaro value above 0.7, so the prefix boost is exercised.
    rng = random.Random(n)
    letters = ALPHABETS[alpha] + ("xyz" if alpha == "ascii" else "xÿ\U0001f44d")
    for a, b in mutated_pairs(letters, n, rng, 8):
        for p in (0.1, 0.25):
            expected = ref_jw(a, b, p)
            assert d.jaro_winkler_similarity(a, b, prefix_weight=p) == expected, (a, b)
            assert d.jaro_winkler_similarity(b, a, prefix_weight=p) == expected, (a, b)
            assert d.jaro_winkler_distance(a, b, prefix_weight=p) == 1.0 - expected
        assert d.jaro_similarity(a, b) == ref_jaro(a, b)


@pytest.mark.parametrize("alpha", ["ascii", "bmp"])
@pytest.mark.parametrize("n1,n2", [
        (9, 9), (64, 40), (64, 64), (100, 65), (128, 128), (129, 129), (200, 180), (180, 200),
        (300, 140), (140, 300),
    ])
def test_single_match_at_window_edges(alpha, n1, n2):
    # One shared symbol at positions i and i + delta: a match exactly when |delta| <= w.
    sym = ALPHABETS[alpha][1]
    w = max(n1, n2) // 2 - 1
    one_match = (1 / n1 + 1 / n2 + 1.0) / 3.0
    for i in sorted({0, 1, 63, 64, 65, 127, 128, n1 // 2, n1 - 1}):
        if i >= n1:
            continue
        for delta in (-w - 1, -w, -w + 1, w - 1, w, w + 1):
            j = i + delta
            if not 0 <= j < n2:
                continue
            a = "x" * i + sym + "x" * (n1 - i - 1)
            b = "y" * j + sym + "y" * (n2 - j - 1)
            expected = one_match if abs(delta) <= w else 0.0
            assert ref_jaro(a, b) == expected
            assert d.jaro_similarity(a, b) == expected, (i, j)
            assert d.jaro_similarity(b, a) == expected, (i, j)


@pytest.mark.parametrize("n1,n2", [(40, 40), (64, 64), (64, 50), (100, 64), (300, 200)])
def test_many_distinct_symbols(n1, n2):
    # Up to 64 distinct code points in one pattern: the symbol-keyed masks must keep apart
    # symbols that share a hash slot.
    rng = random.Random(n1 + n2)
    letters = [chr(0x100 + k) for k in range(80)] + [chr(0x1F400 + k) for k in range(40)]
    for _ in range(5):
        a = "".join(rng.choice(letters) for _ in range(n1))
        b = list(a[:n2]) + [rng.choice(letters) for _ in range(n2 - min(n1, n2))]
        for _ in range(n2 // 3):
            k = rng.randrange(n2 - 1)
            b[k], b[k + 1] = b[k + 1], rng.choice(letters)
        b = "".join(b)
        assert d.jaro_similarity(a, b) == ref_jaro(a, b)
        assert d.jaro_similarity(b, a) == ref_jaro(a, b)


def test_jaro_on_repetitive_and_disjoint_texts():
    # Every position is a candidate: the window edges decide which positions get flagged.
    for n1, n2 in [(64, 64), (30, 64), (65, 128), (128, 40), (129, 300), (300, 129), (500, 70)]:
        for a, b in [
            ("a" * n1, "a" * n2),
            ("ab" * (n1 // 2), "ba" * (n2 // 2)),
            ("a" * n1, "b" * n2),
            ("a" * (n1 - 1) + "b", "b" + "a" * (n2 - 1)),
        ]:
            assert d.jaro_similarity(a, b) == ref_jaro(a, b), (n1, n2)
            assert d.jaro_similarity(b, a) == ref_jaro(a, b), (n1, n2)


@pytest.mark.parametrize(
    "s1,s2,jaro,jw",
    [
        ("MARTHA", "MARHTA", 0.9444444444444445, 0.9611111111111111),
        ("DIXON", "DICKSONX", 0.7666666666666666, 0.8133333333333332),
        ("xabcd", "yabcd", 0.8666666666666667, 0.8666666666666667),
        ("ab", "ba", 0.0, 0.0),
        ("", "", 1.0, 1.0),
        ("", "abc", 0.0, 0.0),
        ("abc", "", 0.0, 0.0),
        ("  ", " ", ref_jaro("  ", " "), ref_jw("  ", " ")),
        ("é", "é", 1.0, 1.0),
        ("e\u0301", "é", 0.0, 0.0),
    ],
)
def test_worked_values(s1, s2, jaro, jw):
    assert d.jaro_similarity(s1, s2) == jaro
    assert d.jaro_normalized_similarity(s1, s2) == jaro
    assert d.jaro_distance(s1, s2) == 1.0 - jaro
    assert d.jaro_normalized_distance(s1, s2) == 1.0 - jaro
    assert d.jaro_winkler_similarity(s1, s2) == jw
    assert d.jaro_winkler_normalized_similarity(s1, s2) == jw
    assert d.jaro_winkler_distance(s1, s2) == 1.0 - jw
    assert d.jaro_winkler_normalized_distance(s1, s2) == 1.0 - jw


@pytest.mark.parametrize(
    "s1,s2,weight,expected",
    [
        ("abcdx", "abcdy", 0.5, 1.1333333333333333),  # prefix capped at 4, no clamping
        ("abcdx", "abcdy", -0.5, ref_jw("abcdx", "abcdy", -0.5)),
        (
            "éa€\U0001f44dxy",
            "éa€\U0001f44dyx",
            0.25,
            ref_jw("éa€\U0001f44dxy", "éa€\U0001f44dyx", 0.25),
        ),
        ("éabc", "ebabc", 0.1, ref_jw("éabc", "ebabc", 0.1)),
        ("aé€x", "aé€y", 0.1, ref_jw("aé€x", "aé€y", 0.1)),
    ],
)
def test_winkler_prefix(s1, s2, weight, expected):
    assert d.jaro_winkler_similarity(s1, s2, prefix_weight=weight) == expected
    assert d.jaro_winkler_similarity(s2, s1, prefix_weight=weight) == expected


def test_no_boost_below_threshold():
    # Shared prefix of 4, but the Jaro value stays under 0.7.
    a, b = "abcdefghijklmnop", "abcdzzzzzzzzzzzz"
    j = d.jaro_similarity(a, b)
    assert j < 0.7
    assert d.jaro_winkler_similarity(a, b, prefix_weight=0.25) == j


@pytest.mark.parametrize(
    "fn,s1,s2,cutoff,expected",
    [
        (d.jaro_similarity, "", "", 1.5, 0.0),
        (d.jaro_distance, "", "", -0.5, 1.0),
        (d.jaro_winkler_similarity, "", "", 1.5, 0.0),
        (d.jaro_winkler_distance, "", "", -0.5, 1.0),
        (d.jaro_similarity, "MARTHA", "MARHTA", 0.95, 0.0),
        (d.jaro_similarity, "MARTHA", "MARHTA", 0.9444444444444445, 0.9444444444444445),
        (d.jaro_similarity, "MARTHA", "MARHTA", 0.9, 0.9444444444444445),
        (d.jaro_distance, "MARTHA", "MARHTA", 0.05, 1.0),
        (d.jaro_distance, "MARTHA", "MARHTA", 1.0 - 0.9444444444444445, 1.0 - 0.9444444444444445),
        (d.jaro_distance, "MARTHA", "MARHTA", 0.06, 1.0 - 0.9444444444444445),
        (d.jaro_winkler_similarity, "MARTHA", "MARHTA", 0.97, 0.0),
        (d.jaro_winkler_similarity, "MARTHA", "MARHTA", 0.9611111111111111, 0.9611111111111111),
        (d.jaro_winkler_normalized_similarity, "MARTHA", "MARHTA", 0.97, 0.0),
        (d.jaro_winkler_distance, "MARTHA", "MARHTA", 0.03, 1.0),
        (d.jaro_winkler_normalized_distance, "MARTHA", "MARHTA", 0.03, 1.0),
        (d.jaro_normalized_similarity, "MARTHA", "MARHTA", 0.95, 0.0),
        (d.jaro_normalized_distance, "MARTHA", "MARHTA", 0.05, 1.0),
        (d.jaro_similarity, "MARTHA", "MARHTA", math.nan, 0.9444444444444445),
        (d.jaro_distance, "MARTHA", "MARHTA", math.nan, 1.0 - 0.9444444444444445),
        (d.jaro_winkler_similarity, "MARTHA", "MARHTA", math.nan, 0.9611111111111111),
    ],
)
def test_cutoffs(fn, s1, s2, cutoff, expected):
    assert fn(s1, s2, score_cutoff=cutoff) == expected


def test_batch_equals_scalar():
    rng = random.Random(3)
    pairs = [("", ""), ("", "x"), ("MARTHA", "MARHTA")]
    for alpha in ALPHABETS.values():
        for n1, n2 in [(8, 9), (70, 100), (150, 140)]:
            pairs.extend(random_pairs(alpha, n1, n2, rng, 2))
    for cutoff in (None, 0.8):
        kw = {} if cutoff is None else {"score_cutoff": cutoff}
        assert d.jaro_similarity_batch(pairs, **kw) == [
            d.jaro_similarity(a, b, **kw) for a, b in pairs
        ]
        assert d.jaro_distance_batch(pairs, **kw) == [d.jaro_distance(a, b, **kw) for a, b in pairs]
        kw["prefix_weight"] = 0.2
        assert d.jaro_winkler_similarity_batch(pairs, **kw) == [
            d.jaro_winkler_similarity(a, b, **kw) for a, b in pairs
        ]
        assert d.jaro_winkler_distance_batch(pairs, **kw) == [
            d.jaro_winkler_distance(a, b, **kw) for a, b in pairs
        ]

