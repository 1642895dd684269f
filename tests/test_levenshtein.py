"""Levenshtein forms: every kernel path against the Wagner-Fischer row."""

import random
import sys

import pytest

from edit_reference import (ALPHABETS, check_forms, forms, levenshtein, mutate, random_text,
                            render)
from quorvalex import distance as d

LEV = forms(d, "levenshtein")


def middle_pair(rng, n, extra, letters):
    """Texts of n and n + extra symbols whose ends differ, so nothing can be trimmed."""
    a = "c" + random_text(rng, n - 2, letters) + "a" if n > 1 else "c"
    return a, "a" + random_text(rng, n + extra - 2, letters) + "d" if n + extra > 1 else "d"


# Trimmed pattern lengths around the one-word limit and the block groups (3 blocks per group).
@pytest.mark.parametrize("n", [1, 2, 63, 64, 65, 127, 128, 129, 191, 192, 193, 320, 600])
def test_paths_against_reference(n):
    """Bare (ASCII: words or blocks; Latin-1: narrowed; BMP, astral: row) and wrapped in a shared
    prefix and suffix (with wide characters for even n) that trimming must remove."""
    rng = random.Random(n)
    s1, s2 = middle_pair(rng, n, rng.choice([0, 1, 3, 17]), "ab" if n % 2 else "abcd")
    dist = levenshtein(s1, s2)
    wide = n % 2 == 0  # then the ASCII and Latin-1 middles are narrowed after decoding
    pre = random_text(rng, rng.randrange(90), "abcd") + "\u20ac" * wide
    suf = "\U0001f44d" * wide + random_text(rng, rng.randrange(90), "abcd")
    for alphabet in ALPHABETS:
        a, b = render(s1, alphabet), render(s2, alphabet)
        check_forms(LEV, a, b, dist)
        check_forms(LEV, pre + a + suf, pre + b + suf, dist)


def test_random_short_pairs_in_mixed_alphabets():
    """Each text in its own alphabet, so ASCII meets non-ASCII, plus NUL and blanks."""
    rng = random.Random(7)
    for _ in range(300):
        s1, s2 = (render(random_text(rng, rng.randrange(14), rng.choice(["ab", "abc", "abcd"])),
                         rng.choice(list(ALPHABETS))) for _ in "12")
        if rng.random() < 0.2:
            s1 = s1.replace("b", "\x00").replace("d", " ")
        check_forms(LEV, s1, s2, levenshtein(s1, s2))


@pytest.mark.parametrize("s1, s2, dist", [
    ("", "", 0),
    ("", "abc", 3),
    ("kitten", "sitting", 3),  # with cutoffs 2 and 3: 3; similarity, cutoff 5: 0
    ("caf\u00e9", "cafe", 1),
    ("abc", "abcdef", 3),
    ("def", "abcdef", 3),
    ("aaa", "aa", 1),
    ("   ", " ", 2),
    (" \t", "\t ", 2),
    ("a\x00b", "a\x00c", 1),
    ("\U0001f44d", "\U0001f600", 1),
    ("e\u0301", "\u00e9", 2),
    ("\u00e9" * 70, "", 70),
    ("\u20ac" * 3, "\u20ac" * 3, 0),
    ("ab", "ab", 0),
])
def test_worked_values(s1, s2, dist):
    assert levenshtein(s1, s2) == dist
    check_forms(LEV, s1, s2, dist)


def test_long_texts():
    """3000 symbols with two edits (trimmed to one word), and a 150-symbol pattern against
    1100 symbols (carries of more than 1024 text positions; a row of more than 128 counters)."""
    rng = random.Random(3)
    base = random_text(rng, 3000)
    check_forms(LEV, base, base[:1500] + "x" + base[1501:2000] + base[2001:], 2)
    s1, s2 = middle_pair(rng, 150, 950, "abc")
    dist = levenshtein(s1, s2)
    for alphabet in ("ascii", "bmp"):
        check_forms(LEV, render(s1, alphabet), render(s2, alphabet), dist)


def widen(text, rng, wide):
    """`text` with one `wide` symbol added at a random place: stored 2 or 4 bytes per symbol
    while its other symbols are narrow."""
    i = rng.randrange(len(text) + 1)
    return text[:i] + wide + text[i:]


# Lengths around the one-word limit and the blocks; edits few enough for the diagonal band.
@pytest.mark.parametrize("n", [40, 63, 64, 65, 127, 128, 129, 191, 192, 193, 300, 450])
def test_near_copies_in_mixed_widths(n):
    """Near copies (the band of an aligned-mismatch bound) and their cutoffs, with each text in
    its own storage width: every pair of widths 1, 2 and 4, ASCII beside wider symbols."""
    rng = random.Random(n)
    letters = "abcd"
    base = random_text(rng, n, letters)
    widths = [("ascii", "latin1"), ("bmp", "ascii"), ("astral", "bmp"), ("latin1", "astral")]
    for k in range(4):
        other = mutate(rng, base, letters, 1 + k * n // 20)
        dist = levenshtein(base, other)
        for x, _ in widths:
            check_forms(LEV, render(base, x), render(other, x), dist, cutoffs=x == widths[k][0])
        x, y = widths[k]
        s1 = widen(render(base, x), rng, ALPHABETS[y][0])
        s2 = widen(render(other, x), rng, ALPHABETS[y][2])
        check_forms(LEV, s1, s2, levenshtein(s1, s2))


def test_many_distinct_symbols():
    """More than 255 distinct symbols (wide ids; past 8192 mask words the rows are kept sparse)
    in near copies and in unrelated texts; batch equals scalar."""
    rng = random.Random(11)
    letters = [chr(0x4E00 + k) for k in range(700)] + ["a", "\u00e9", "\U0001f600"]
    pairs = []
    for n in (200, 450, 700):
        s1 = "".join(rng.choices(letters, k=n))
        pairs.append((s1, mutate(rng, s1, letters, n // 8)))
        pairs.append((s1, "".join(rng.choices(letters, k=n - 37))))
    for s1, s2 in pairs:
        check_forms(LEV, s1, s2, levenshtein(s1, s2), cutoffs=len(s1) < 300)
    assert d.levenshtein_distance_batch(pairs) == [d.levenshtein_distance(*p) for p in pairs]


def test_more_than_65535_distinct_symbols():
    """66,000 distinct astral symbols and a copy with a few positions replaced by symbols it
    lacks (so the distance is their number), deleted or inserted."""
    rng = random.Random(5)
    s1 = "".join(chr(0x10000 + k) for k in range(66000))
    spots = sorted(rng.sample(range(1, 65999), 6))
    s2 = list(s1)
    for k, i in enumerate(spots):
        s2[i] = chr(0x4E00 + k)
    s2 = "".join(s2)
    assert d.levenshtein_distance(s1, s2) == 6
    assert d.levenshtein_distance(s1, s2, score_cutoff=5) == 6
    assert d.levenshtein_distance(s1[:-1], s2[1:]) == 8  # shifted by one: nothing to trim
    # One deletion and five substitutions.
    assert d.levenshtein_similarity(s2, s1[:spots[0]] + s1[spots[0] + 1:]) == 65994


@pytest.mark.parametrize("stem", ["levenshtein", "lcs_str", "jaro", "jaro_winkler"])
def test_arguments_keep_their_size(stem):
    """Texts are read as the interpreter stores them: no UTF-8 copy is attached to them."""
    s1, s2 = "\u00e9" * 300 + "x", "\u0436" * 299 + "\U0001f600"
    before = sys.getsizeof(s1), sys.getsizeof(s2)
    for fn in forms(d, stem):
        fn(s1, s2)
        getattr(d, fn.__name__ + "_batch", lambda pairs: None)([(s1, s2)])
    assert (sys.getsizeof(s1), sys.getsizeof(s2)) == before
