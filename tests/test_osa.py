"""Optimal string alignment forms: every kernel path against the restricted-edit table."""

import random

import pytest

from edit_reference import ALPHABETS, check_forms, forms, mutate, osa, random_text, render
from quorvalex import distance as d

OSA = forms(d, "osa")


# Pattern lengths around one word, the 128-bit pair, the blocks and the 7 inline block records.
@pytest.mark.parametrize("m", [1, 2, 63, 64, 65, 127, 128, 129, 191, 192, 193, 448, 449])
def test_paths_against_reference(m):
    """A pattern against an edited copy and (below 400) a random text and a longer one, the same
    pairs in every alphabet (Latin-1 is narrowed to bytes, BMP and astral recoded to bytes)."""
    rng = random.Random(m)
    letters = "ab" if m % 2 else "abc"
    p = random_text(rng, m, letters)
    pairs = [(p, mutate(rng, p, letters, 1 + m // 8))]
    if m < 400:
        pairs += [(p, random_text(rng, m, letters)), (random_text(rng, m + 1 + m // 3, "abcd"), p)]
    for s1, s2 in pairs:
        dist = osa(s1, s2)
        for alphabet in ALPHABETS:
            check_forms(OSA, render(s1, alphabet), render(s2, alphabet), dist, cutoffs=m < 200)


@pytest.mark.parametrize("m", [2, 65, 128, 200, 450])
@pytest.mark.parametrize("alphabet", ["ascii", "bmp"])
def test_single_swap_at_every_word_boundary(m, alphabet):
    """A swap of pattern positions k and k + 1 costs 1 wherever k + 1 starts a new word."""
    rng = random.Random(m)
    for k in {0, 62, 63, 64, 126, 127, 128, 190, 191, 192, 447, m - 2} & set(range(m - 1)):
        s1 = list(random_text(rng, m, "ab"))
        s1[k : k + 2] = "ab"
        s2 = s1[:k] + ["b", "a"] + s1[k + 2 :]
        s1, s2 = render("".join(s1), alphabet), render("".join(s2), alphabet)
        assert d.osa_distance(s1, s2) == d.osa_distance(s2, s1) == 1, k
        assert d.osa_distance(s1, s2 + "ccc") == 4, k


WIDE = [chr(0x4E00 + i) for i in range(300)]


@pytest.mark.parametrize("distinct, new, len2", [
    (256, 0, None),  # exactly 256 distinct symbols still get byte codes
    (256, 1, None),  # a 257th, first in s2, must not alias the first code: the table
    (270, 0, 1),
    (270, 0, 127),  # rows of up to 128 counters are inline
    (270, 0, 128),
    (270, 0, None),
])
def test_more_than_256_symbols_take_the_table(distinct, new, len2):
    rng = random.Random(f"{distinct} {new} {len2}")
    base = rng.sample(WIDE[:290], distinct)
    s1 = "".join(base) + base[0] + base[1]
    s2 = "".join(WIDE[290:290 + new]) + mutate(rng, s1[new:], base, 5)
    check_forms(OSA, s1, s2[:len2], osa(s1, s2[:len2]), cutoffs=False)


def test_mixed_alphabets_at_random():
    rng = random.Random(5)
    for _ in range(150):
        s1, s2 = (render(random_text(rng, rng.randrange(12)), rng.choice(list(ALPHABETS)))
                  for _ in "12")
        check_forms(OSA, s1, s2, osa(s1, s2))


# One symbol of each storage width beside shared ASCII letters, so that a text is stored in
# 1, 2 or 4 bytes per symbol as its extra symbol demands.
WIDTH_EXTRA = {1: "\u00e9", 2: "\u20ac", 4: "\U0001f600"}


@pytest.mark.parametrize("w1", [1, 2, 4])
@pytest.mark.parametrize("w2", [1, 2, 4])
@pytest.mark.parametrize("m", [5, 63, 64, 65, 127, 128, 129, 193])
def test_width_combinations_at_block_boundaries(w1, w2, m):
    """Both texts in their own storage widths (mixed in one pair), the shorter at the lengths
    where the one-word, two-word and block kernels hand over, against the reference."""
    rng = random.Random(f"{w1} {w2} {m}")
    letters1, letters2 = "abc" + WIDTH_EXTRA[w1], "abc" + WIDTH_EXTRA[w2]
    s1 = random_text(rng, m, letters1) + WIDTH_EXTRA[w1]
    s2 = mutate(rng, s1[:-1], letters2, 1 + m // 10)
    s2 = WIDTH_EXTRA[w2] + s2 + "ab"[: m % 3] + WIDTH_EXTRA[w2]
    check_forms(OSA, s1, s2, osa(s1, s2), cutoffs=m < 100)


def test_more_than_65535_distinct_symbols():
    """A pattern of 66,000 distinct symbols (rows kept sparse) with both ends substituted and one
    adjacent swap in its middle."""
    s1 = [chr(0x10000 + i) for i in range(66000)]
    s2 = list(s1)
    s2[0], s2[-1] = "a", "b"
    s2[40000], s2[40001] = s2[40001], s2[40000]
    s1, s2 = "".join(s1), "".join(s2)
    assert d.osa_distance(s1, s2) == d.osa_distance(s2, s1) == 3
    assert d.osa_distance(s1[:64] + s1[:64], s2[:64] + s2[:64]) == osa(s1[:64] * 2, s2[:64] * 2)


@pytest.mark.parametrize("alphabet", list(ALPHABETS))
def test_batch_equals_scalar(alphabet):
    rng = random.Random(alphabet)
    pairs = []
    for m in (0, 3, 63, 64, 65, 128, 129, 300):
        p = render(random_text(rng, m, "abcd"), alphabet)
        pairs += [(p, render(mutate(rng, p, "abcd", 1 + m // 8), alphabet)),
                  (p, render(random_text(rng, m + 1, "ab"), "bmp"))]
    assert d.osa_distance_batch(pairs) == [d.osa_distance(*p) for p in pairs]
    assert d.osa_normalized_similarity_batch(pairs) == [
        d.osa_normalized_similarity(*p) for p in pairs]


@pytest.mark.parametrize("s1, s2, dist", [
    ("ab", "ba", 1),
    ("ca", "abc", 3),  # no insertion between the swapped symbols
    ("", "", 0),
    ("", "abc", 3),
    ("a" * 64, "b" * 64, 64),
    ("a" * 128, "b" * 128, 128),
    ("a" * 129, "b" * 129, 129),
    ("abcdef", "badcfe", 3),
    ("\u00e9a", "a\u00e9", 1),
    ("\u20ac\u20ac", "", 2),
    ("   ", " ", 2),
    ("a\x00b", "ab\x00", 1),
    ("\u0100\x00", "\x00\u0100", 1),  # U+0100 and up must not be cut to a byte
    ("\u0100\u0101\u0102", "\x00\x01\x02", 3),
    ("\u00ff\u0100", "\u0100\u00ff", 1),
])
def test_worked_values(s1, s2, dist):
    assert osa(s1, s2) == dist
    check_forms(OSA, s1, s2, dist)
