"""Partial ratio against a brute-force window search."""

import pytest

import fuzz_reference as ref
from fuzz_reference import POOL, WHERE, plant, rand_text, rng_for, wide
from quorvalex import fuzz


def check(a, b, relabel=True):
    # Both orders, cutoffs around the result, and the pair relabelled to non-ASCII text.
    pairs = [(a, b), (wide(a), wide(b))] if relabel else [(a, b)]
    expected = None
    for x, y in pairs:
        if expected is None or min(len(a), len(b)) > 128:
            expected = ref.partial_ratio(x, y)
        assert fuzz.partial_ratio(x, y) == fuzz.partial_ratio(y, x) == expected, (x, y)
        for c in (expected - 1e-9, expected, expected + 1e-9):
            assert fuzz.partial_ratio(x, y, score_cutoff=c) == ref.cut(expected, c)


# (s1, s2, score_cutoff, expected)
CASES = [
    ("", "", None, 100.0),
    ("", "abc", None, 0.0),
    ("abc", "xxabcxx", None, 100.0),
    ("ab", "b", None, 100.0),
    ("abcdef", "defxxxxxxx", None, 200 * 3 / 9),  # leading window "def"
    ("abcdef", "xxxxxxxabc", None, 200 * 3 / 9),  # trailing window "abc"
    ("abxy", "zzab", None, 200 * 2 / 6),  # equal lengths: both directions
    ("naïve", "xx naïve xx", None, 100.0),
    ("\U0001f44d\U0001f44d", "a\U0001f44d", None, 200 / 3),
    ("é€", "abcabc", None, 0.0),  # no needle symbol in the haystack: every window skipped
    ("x" * 129, "a" * 140, None, 0.0),
    # long needle: the first window ends on 'd', absent from the needle, and is still scored
    ("a" * 128 + "b", "c" + "a" * 127 + "d", None, 98.44961240310077),
    ("a" * 128 + "b", "c" + "a" * 127 + "de", None, 98.44961240310077),
    ("é" * 128 + "b", "c" + "é" * 127 + "d", None, 200 * 127 / 256),  # full search: 127 'é'
    (" ", "   ", None, 100.0),
    ("abc", "abc", 101, 0.0),  # identical texts are subject to the cutoff
    ("", "", 101, 0.0),
    ("abcdef", "defxxxxxxx", -3, 200 * 3 / 9),
]


@pytest.mark.parametrize("s1,s2,cutoff,expected", CASES)
def test_worked_values(s1, s2, cutoff, expected):
    assert fuzz.partial_ratio(s1, s2, score_cutoff=cutoff) == expected
    assert fuzz.partial_ratio(s2, s1, score_cutoff=cutoff) == expected
    assert ref.partial_ratio(s1, s2, cutoff) == expected


@pytest.mark.parametrize(
    "alphabet,noise_alphabet,m,noise,wheres",
    [
        ("abc", "abcx", 5, 15, WHERE),  # one word, short texts
        ("abcd", "abcd", 30, 15, WHERE),
        ("ab", "ab", 64, 16, WHERE),
        ("abc", "abcd", 65, 10, WHERE),  # two words
        ("abcd", "abcd", 128, 8, WHERE),
        ("abc", "abc", 3, 70, WHERE),  # 64 windows or more: halving stretches
        ("abcdefgh", "abcdefgh", 40, 100, WHERE),
        ("abc", "abcdfx", 65, 66, ["pieces", "absent", "head-cut"]),
        # long needles; relabelled: leading and trailing windows searched as well
        ("abc", "abcdfx", 129, 8, WHERE),
        ("abc", "abcd", 193, 7, ["mutated", "head-cut", "tail-cut"]),
        ("abc", "abcdfx", 129, 64, ["pieces"]),
    ],
)
def test_windows_against_reference(alphabet, noise_alphabet, m, noise, wheres):
    rng = rng_for(alphabet, m, noise)
    for where in wheres:
        needle = rand_text(rng, alphabet, m)
        check(needle, plant(rng, noise_alphabet, needle, noise, where))


@pytest.mark.parametrize("alphabet,max_len", [("ab", 12), ("abc", 40), ("ab ", 70)])
def test_random_pairs_against_reference(alphabet, max_len):
    rng = rng_for(alphabet)
    for i in range(30):
        s1 = rand_text(rng, alphabet, rng.randint(0, max_len))
        check(s1, rand_text(rng, alphabet, len(s1) if i % 3 == 0 else rng.randint(0, max_len)))


@pytest.mark.parametrize("m", [127, 128, 129, 130])
def test_long_needle_boundary(m):
    # The needle's second half opens the haystack, then symbols not in the needle: a leading
    # window beats every full-length window, but ASCII needles of 129 or more have none.
    h = m - m // 2
    for head, long_rule in (("a", m > 128), ("é", False)):
        needle, hay = head * (m // 2) + "b" * h, "b" * h + "c" * (m + 3)
        expected = 200 * h / (2 * m) if long_rule else 200 * h / (h + m)
        assert fuzz.partial_ratio(needle, hay) == fuzz.partial_ratio(hay, needle) == expected


@pytest.mark.parametrize("m,relabel", [(129, True), (193, True), (300, False)])
def test_long_needle_carry_through_a_full_word(m, relabel):
    # Blocks of one symbol followed by 63 of another: windows starting 'ba' make a block's sum
    # all ones before the carry from the block below arrives.
    needle = ((("b" + "a" * 63) + ("x" + "b" * 63) * 2 + "a" * 64) * 2)[:m]
    for hay in ("ba" + "y" * (m - 2), "yyba" + "y" * (m - 1), "bba" + "y" * (m + 1)):
        check(needle, hay, relabel)


@pytest.mark.parametrize("k", [255, 256])
@pytest.mark.parametrize("where", ["head-cut", "tail-cut"])
def test_needle_distinct_symbol_limit(k, where):
    # Needles of 255 and 256 distinct symbols: the mask map's whole rows on both sides of its
    # direct-table size.
    rng = rng_for(k, where)
    symbols = rng.sample(POOL, k)
    needle = ref.with_distinct(rng, symbols, k + 3)
    others = [c for c in POOL if c not in symbols] + symbols[:5]
    check(needle, plant(rng, others, needle, k // 2 + 3, where), relabel=False)


@pytest.mark.parametrize(
    "needle_alphabet,noise_alphabet",
    [("aé", "aé€x"), ("aé ", "é\U0001f44dz"), ("€a", "€ab"), ("\U0001f44da", "a\U0001f44d中")],
)
@pytest.mark.parametrize("m", [7, 64, 65, 129])
def test_mixed_widths_against_reference(needle_alphabet, noise_alphabet, m):
    # Needle and haystack of different code-unit widths sharing symbols across the widths.
    rng = rng_for(needle_alphabet, noise_alphabet, m)
    for where in ("mutated", "head-cut", "tail-cut"):
        needle = rand_text(rng, needle_alphabet, m)
        hay = plant(rng, noise_alphabet, needle, 12, where)
        expected = ref.partial_ratio(needle, hay)
        assert fuzz.partial_ratio(needle, hay) == fuzz.partial_ratio(hay, needle) == expected


@pytest.mark.parametrize("m", [200, 3000])
def test_needle_of_many_distinct_symbols(m):
    # Every needle symbol distinct (3,000: sparse mask rows), one of them replaced, planted
    # between symbols foreign to it: no window holds the whole needle, the planted one all but
    # one symbol.
    needle = "".join(chr(0x10000 + 3 * i) for i in range(m))
    copy = needle[: m // 2] + "\u4e00" + needle[m // 2 + 1 :]
    noise = "".join(chr(0x20000 + i) for i in range(m + 5))
    hay = noise + copy + noise
    expected = 2 * (m - 1) * 100 / (2 * m)
    assert fuzz.partial_ratio(needle, hay) == fuzz.partial_ratio(hay, needle) == expected
    assert fuzz.partial_ratio(needle, noise + needle) == 100.0
