"""Common prefix and common suffix measures against a plain code-point reference."""

import math
import random

import pytest

from quorvalex import distance

# ---------------------------------------------------------------------------------------------
# Reference: walk the code points of the two str objects.


def common_prefix(a, b):
    n = 0
    while n < len(a) and n < len(b) and a[n] == b[n]:
        n += 1
    return n


def common_suffix(a, b):
    return common_prefix(a[::-1], b[::-1])


def ref_similarity(shared, a, b, cutoff=None):
    x = shared(a, b)
    return 0 if cutoff is not None and x < cutoff else x


def ref_distance(shared, a, b, cutoff=None):
    d = max(len(a), len(b)) - shared(a, b)
    return cutoff + 1 if cutoff is not None and d > cutoff else d


def ref_normalized_distance(shared, a, b, cutoff=None):
    m = max(len(a), len(b))
    if m == 0:
        return 0.0  # the cutoff is not consulted
    value = (m - shared(a, b)) / m
    return 1.0 if cutoff is not None and value > cutoff else value


def ref_normalized_similarity(shared, a, b, cutoff=None):
    value = 1.0 - ref_normalized_distance(shared, a, b)
    return 0.0 if cutoff is not None and value < cutoff else value


FORMS = [
    ("similarity", ref_similarity, int),
    ("distance", ref_distance, int),
    ("normalized_distance", ref_normalized_distance, float),
    ("normalized_similarity", ref_normalized_similarity, float),
]
ENDS = [("prefix", common_prefix), ("postfix", common_suffix)]
CASES = [(end, shared, form, ref, kind) for end, shared in ENDS for form, ref, kind in FORMS]
CASE_IDS = [f"{end}_{form}" for end, _, form, _, _ in CASES]


# ---------------------------------------------------------------------------------------------
# Fixed cases.

FIXED = [
    # (function, s1, s2, cutoff, expected)
    ("prefix_similarity", "", "abc", None, 0),
    ("prefix_distance", "", "abc", None, 3),
    ("prefix_normalized_distance", "", "abc", None, 1.0),
    ("prefix_normalized_similarity", "", "abc", None, 0.0),
    ("prefix_similarity", "abc", "", None, 0),
    ("prefix_distance", "abc", "", None, 3),
    ("prefix_normalized_distance", "", "", None, 0.0),
    ("prefix_normalized_distance", "", "", -1.0, 0.0),
    ("postfix_normalized_distance", "", "", -1.0, 0.0),
    ("prefix_normalized_similarity", "", "", None, 1.0),
    ("prefix_normalized_similarity", "", "", 1.5, 0.0),
    ("prefix_distance", "", "", None, 0),
    ("prefix_similarity", "", "", 1, 0),
    ("prefix_similarity", "abcd", "abxd", None, 2),
    ("postfix_similarity", "abcd", "abxd", None, 1),
    ("prefix_distance", "abcd", "abxd", None, 2),
    ("postfix_distance", "abcd", "abxd", None, 3),
    ("prefix_similarity", "abc", "abc", None, 3),
    ("postfix_similarity", "abc", "abc", None, 3),
    ("prefix_similarity", "éa", "éb", None, 1),
    ("prefix_distance", "é", "e", None, 1),
    ("prefix_similarity", "abcd", "abxd", 3, 0),
    ("prefix_similarity", "abcd", "abxd", 2, 2),
    ("prefix_distance", "abcd", "xbcd", 1, 2),
    ("prefix_distance", "abcd", "xbcd", 4, 4),
    ("prefix_distance", "abcd", "xbcd", 3, 4),
    ("postfix_distance", "abcd", "xbcd", 0, 1),
    ("postfix_distance", "abcd", "abcd", 0, 0),
    ("prefix_normalized_distance", "abcd", "abxy", 0.4, 1.0),
    ("prefix_normalized_distance", "abcd", "abxy", 0.5, 0.5),
    ("prefix_normalized_similarity", "abc", "abx", 0.7, 0.0),
    ("prefix_normalized_similarity", "abc", "abx", None, 0.6666666666666667),
    # 1.0 - 2/3, not 1/3
    ("prefix_normalized_similarity", "axx", "ayy", None, 0.33333333333333337),
    ("postfix_normalized_similarity", "xxa", "yya", None, 0.33333333333333337),
    ("postfix_normalized_similarity", "xxa", "yya", 0.33333333333333337, 0.33333333333333337),
    # s1 empty: 1.0 whatever the cutoff
    ("prefix_normalized_distance", "", "a", 2.0, 1.0),
    ("postfix_normalized_distance", "", "ab", 0.0, 1.0),
    # code points, not bytes
    ("prefix_similarity", "€€", "€₭", None, 1),
    ("prefix_similarity", "👍👍", "👍👎", None, 1),
    ("prefix_distance", "👍", "", None, 1),
    ("postfix_similarity", "aé", "aũ", None, 0),  # same trailing byte, different lead byte
    ("postfix_similarity", "x€", "yႬ", None, 0),
    ("postfix_similarity", "\U0001f44d", "\U0005f44d", None, 0),
    ("postfix_similarity", "x\U0001f44dz", "y\U0005f44dz", None, 1),
    ("postfix_similarity", "xé€👍", "yé€👍", None, 3),
    ("prefix_normalized_distance", "ééé", "éé", None, 1 / 3),
    ("postfix_normalized_similarity", "👍👍👍👍", "x👍", None, 1.0 - 3 / 4),
    ("prefix_similarity", "a\x00b", "a\x00c", None, 2),
    ("prefix_similarity", "\x00", "", None, 0),
    ("postfix_similarity", " \t\n", "\u3000\t\n", None, 2),
]


@pytest.mark.parametrize("name,s1,s2,cutoff,expected", FIXED)
def test_fixed_values(name, s1, s2, cutoff, expected):
    result = getattr(distance, name)(s1, s2, score_cutoff=cutoff)
    assert type(result) is type(expected)
    assert result == expected


# ---------------------------------------------------------------------------------------------
# Random texts over alphabets whose UTF-8 forms share lead or trailing bytes.

ALPHABETS = [
    "ab",
    "abc ",
    "aéê",  # share the lead byte C3
    "éũa",  # share the trailing byte A9
    "€₭a",  # share the first two bytes
    "€Ⴌb",  # share the last two bytes
    "\U0001f44d\U0001f44e",  # share three leading bytes
    "\U0001f44d\U0005f44d\U0002f44d",  # share three trailing bytes
    "aé€\U0001f44d \t",
    "\x00\x7f\x80\u07ff\u0800\uffff\U00010000\U0010ffff",
]


def random_pairs(seed, count):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        alphabet = rng.choice(ALPHABETS)

        def text(n):
            return "".join(rng.choice(alphabet) for _ in range(n))

        core = text(rng.choice([0, 1, 3, 7, 8, 9, 15, 16, 17, rng.randrange(40)]))
        a, b = text(rng.randrange(5)), text(rng.randrange(5))
        shape = rng.randrange(4)
        if shape == 0:
            pairs.append((core + a, core + b))
        elif shape == 1:
            pairs.append((a + core, b + core))
        elif shape == 2:
            pairs.append((a + core + b, a + core + b))
        else:
            pairs.append((text(rng.randrange(12)), text(rng.randrange(12))))
    return pairs


PAIRS = random_pairs(1234, 1500)


def cutoffs_for(kind, rng):
    if kind is int:
        return [None, 0, 1, 2, 3, 5, 40, rng.randrange(20), 2**64 - 1]
    return [None, 0.0, 1.0, 0.5, 1 / 3, 2 / 3, 0.25, rng.random(), -0.5, 1.5, math.nan]


@pytest.mark.parametrize("end,shared,form,ref,kind", CASES, ids=CASE_IDS)
def test_random_against_reference(end, shared, form, ref, kind):
    fn = getattr(distance, f"{end}_{form}")
    rng = random.Random(form)
    cutoffs = cutoffs_for(kind, rng)
    for s1, s2 in PAIRS:
        for cutoff in cutoffs:
            expected = ref(shared, s1, s2, cutoff)
            result = fn(s1, s2, score_cutoff=cutoff)
            assert type(result) is kind
            assert result == expected, (s1, s2, cutoff)


@pytest.mark.parametrize("end,shared", ENDS, ids=[e for e, _ in ENDS])
def test_symmetric_and_bounded(end, shared):
    sim = getattr(distance, f"{end}_similarity")
    dist = getattr(distance, f"{end}_distance")
    nsim = getattr(distance, f"{end}_normalized_similarity")
    for s1, s2 in PAIRS:
        x = sim(s1, s2)
        assert x == sim(s2, s1) == shared(s1, s2)
        assert x <= min(len(s1), len(s2))
        assert dist(s1, s2) == dist(s2, s1) == max(len(s1), len(s2)) - x
        assert 0.0 <= nsim(s1, s2) <= 1.0
    for s in {p[0] for p in PAIRS}:
        assert sim(s, s) == len(s) and dist(s, s) == 0


@pytest.mark.parametrize("end", ["prefix", "postfix"])
@pytest.mark.parametrize("form,kind", [("similarity", int), ("normalized_similarity", float)])
def test_batch_equals_scalar(end, form, kind):
    scalar = getattr(distance, f"{end}_{form}")
    batch = getattr(distance, f"{end}_{form}_batch")
    for cutoff in cutoffs_for(kind, random.Random(end)):
        expected = [scalar(a, b, score_cutoff=cutoff) for a, b in PAIRS]
        result = batch(PAIRS, score_cutoff=cutoff)
        assert [type(r) for r in result] == [kind] * len(PAIRS)
        assert result == expected


@pytest.mark.parametrize("n", [1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000])
@pytest.mark.parametrize("unit", ["a", "é", "€", "\U0001f44d"])
def test_long_common_parts_with_a_difference_at_every_offset(n, unit):
    base = "".join(chr(ord(unit) + (i % 3)) for i in range(n))
    positions = range(n) if n < 100 else [0, 1, 63, 64, 65, 500, 998, 999]
    for i in positions:
        changed = base[:i] + chr(ord(base[i]) + 3) + base[i + 1 :]
        assert distance.prefix_similarity(base, changed) == i
        assert distance.postfix_similarity(base, changed) == n - 1 - i
        assert distance.prefix_distance(base + "x", changed) == n + 1 - i
        assert distance.postfix_distance(changed, "x" + base) == i + 2
