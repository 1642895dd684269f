"""Unrestricted Damerau-Levenshtein forms: both kernel paths against the Lowrance-Wagner table."""

import random

import pytest

from edit_reference import (ALPHABETS, check_forms, damerau_levenshtein, forms, mutate, osa,
                            random_text, render)
from quorvalex import distance as d

DL = forms(d, "damerau_levenshtein")


# Second texts around 126 code points (inline rows and hashes of the decoded path).
@pytest.mark.parametrize("m", [1, 2, 5, 64, 65, 126, 127, 200])
def test_against_reference(m):
    """A random pair and an edited copy (swaps with insertions between), in every alphabet."""
    rng = random.Random(m)
    letters = "ab" if m % 2 else "abc"
    p = random_text(rng, m, letters)
    for s1, s2 in [(p, random_text(rng, m + rng.randrange(3), letters)),
                   (p, mutate(rng, p, letters, 1 + m // 8))]:
        dist = damerau_levenshtein(s1, s2)
        for alphabet in ALPHABETS:
            check_forms(DL, render(s1, alphabet), render(s2, alphabet), dist, cutoffs=m < 100)


def test_short_pairs_in_mixed_alphabets_and_where_osa_differs():
    rng = random.Random(2)
    gaps = 0
    for _ in range(300):
        s1, s2 = (render(random_text(rng, rng.randrange(1, 8)), rng.choice(list(ALPHABETS)))
                  for _ in "12")
        dist = damerau_levenshtein(s1, s2)
        check_forms(DL, s1, s2, dist)
        assert dist <= osa(s1, s2)
        gaps += dist < osa(s1, s2)
    assert gaps > 0


def test_many_distinct_symbols_grow_the_last_row_map():
    rng = random.Random(9)
    symbols = [chr(0x400 + i) for i in range(300)]
    for n in (111, 112, 113, 300):
        s1 = "".join(rng.sample(symbols, n)) + "".join(rng.choices(symbols[:5], k=20))
        s2 = mutate(rng, s1, symbols, 30)
        assert d.damerau_levenshtein_distance(s1, s2) == damerau_levenshtein(s1, s2)


@pytest.mark.parametrize("first, second", [(105, 115), (100, 112), (220, 230)])
def test_transposition_across_map_growth(first, second):
    """The swapped pair spans the rows where the map grows (after 112 and 224 entries), with
    the symbols between them deleted: the older row number must survive the growth."""
    symbols = [chr(0x400 + i) for i in range(260)]
    s2 = symbols[:first] + [symbols[second], symbols[first]] + symbols[second + 1:]
    s1, s2 = "".join(symbols), "".join(s2)
    assert d.damerau_levenshtein_distance(s1, s2) == d.damerau_levenshtein_distance(s2, s1) == (
        second - first) == damerau_levenshtein(s1, s2)


# One symbol of each storage width beside shared ASCII letters, so that a text is stored in
# 1, 2 or 4 bytes per symbol as its extra symbol demands.
WIDTH_EXTRA = {1: "\u00e9", 2: "\u20ac", 4: "\U0001f600"}


@pytest.mark.parametrize("w1", [1, 2, 4])
@pytest.mark.parametrize("w2", [1, 2, 4])
@pytest.mark.parametrize("m", [3, 64, 129])
def test_width_combinations(w1, w2, m):
    """Both texts in their own storage widths (mixed in one pair), with a common prefix and
    suffix to trim and swaps with insertions between them, against the reference."""
    rng = random.Random(f"{w1} {w2} {m}")
    letters1, letters2 = "abc" + WIDTH_EXTRA[w1], "abc" + WIDTH_EXTRA[w2]
    core = random_text(rng, m, letters1)
    s1 = "ab" + core + WIDTH_EXTRA[w1] + "c"
    s2 = "ab" + mutate(rng, core, letters2, 1 + m // 8) + WIDTH_EXTRA[w2] + "c"
    check_forms(DL, s1, s2, damerau_levenshtein(s1, s2), cutoffs=m < 100)


@pytest.mark.parametrize("s1, s2", [
    ("xyzab" * 20, "xyzba" * 20),  # the common prefix ends inside a swapped pair
    ("abcd" * 30 + "e", "e" + "abcd" * 30),
    ("a" * 100, "a" * 90),  # one text is the other's prefix
    ("\u0100" + "a" * 70, "a" * 70 + "\u0100"),
    ("ab" + "\U0001f600" * 3 + "ba", "ba" + "\U0001f600" * 3 + "ab"),
])
def test_common_prefix_and_suffix_trimmed(s1, s2):
    check_forms(DL, s1, s2, damerau_levenshtein(s1, s2), cutoffs=False)


def test_more_than_65535_distinct_symbols():
    """A first text of 66,000 distinct symbols fills the last-row map far beyond its inline room."""
    s1 = "".join(chr(0x10000 + i) for i in range(66000))
    s2 = s1[65990] + s1[30:40] + s1[2] + "x" + s1[65989]
    dist = damerau_levenshtein(s1, s2)
    assert d.damerau_levenshtein_distance(s1, s2) == d.damerau_levenshtein_distance(s2, s1) == dist


@pytest.mark.parametrize("alphabet", list(ALPHABETS))
def test_batch_equals_scalar(alphabet):
    rng = random.Random(alphabet)
    pairs = []
    for m in (0, 3, 64, 65, 129, 300):
        p = render(random_text(rng, m, "abcd"), alphabet)
        pairs += [(p, render(mutate(rng, p, "abcd", 1 + m // 8), alphabet)),
                  (p, render(random_text(rng, m + 1, "ab"), "bmp"))]
    assert d.damerau_levenshtein_distance_batch(pairs) == [
        d.damerau_levenshtein_distance(*p) for p in pairs]
    assert d.damerau_levenshtein_normalized_similarity_batch(pairs) == [
        d.damerau_levenshtein_normalized_similarity(*p) for p in pairs]


@pytest.mark.parametrize("s1, s2, dist", [
    ("ab", "ba", 1),
    ("CA", "ABC", 2),  # optimal string alignment: 3
    ("", "", 0),
    ("abc", "", 3),
    ("\u00e9\u00e9", "", 2),
    ("a" * 64, "b" * 64, 64),
    ("abcdef", "badcfe", 3),  # cutoff 1: 2
    ("\U0001f44da", "a\U0001f44d", 1),
    ("  ", "   ", 1),
    ("a\x00b", "b\x00a", 2),
    ("\u0100\x00", "\x00\u0100", 1),
    ("\u0100\u0101\u0102", "\x00\x01\x02", 3),
])
def test_worked_values(s1, s2, dist):
    assert damerau_levenshtein(s1, s2) == dist
    check_forms(DL, s1, s2, dist)


def test_rows_survive_a_very_long_call():
    """A second text longer than a thread keeps rows for; later calls are still right."""
    assert d.damerau_levenshtein_distance("ba", "ab" + "c" * 30000) == 30001
    assert d.damerau_levenshtein_distance("ca", "abc") == 2
    assert d.damerau_levenshtein_distance("ba", "ab" + "c" * 200) == 201
