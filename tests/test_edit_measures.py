"""The edit measures in every form against the references, over the word and block boundaries
of the kernels and every storage width."""

import random
import sys

import pytest

import reference as ref
from quorvalex import distance as d
from texts import (ALPHABETS, CJK, POOL, WIDTH_EXTRA, mutate, random_text, render, rng_for,
                   wide, with_distinct)

BIT_PARALLEL = ["levenshtein", "osa", "damerau_levenshtein", "indel", "lcs_seq", "lcs_str", "jaro",
                "jaro_winkler"]
STEMS = BIT_PARALLEL + ["hamming", "prefix", "postfix"]


def check_all(stems, pairs, cutoffs=True, batch=True):
    """Every form of every stem on each pair; the batches of the pairs equal the scalar calls."""
    for stem in stems:
        for i, (s1, s2) in enumerate(pairs):
            options = {"prefix_weight": (0.1, 0.25)[i % 2]} if stem == "jaro_winkler" else {}
            for form in ref.FORMS:
                ref.check(getattr(d, f"{stem}_{form}"), s1, s2, cutoffs, **options)
        if batch:
            for form in ref.FORMS:
                fn, batch_fn = getattr(d, f"{stem}_{form}"), getattr(d, f"{stem}_{form}_batch", None)
                assert batch_fn is None or batch_fn(pairs) == [fn(*p) for p in pairs]


def shapes(m, rng):
    """Pairs around a pattern of m symbols: a random text, an edited copy, a copy with
    substitutions only, the same middles between a shared head and tail (with wider symbols
    for even m, so the middle is narrowed after trimming), and each text in each width."""
    letters = "ab" if m % 2 else "abc"
    p = random_text(rng, m, letters)
    subst = "".join(rng.choice("abcd") if rng.random() < 0.1 else c for c in p)
    pairs = [(p, random_text(rng, m + rng.choice([0, 1, 3, 17]), letters)),
             (p, mutate(rng, p, letters, 1 + m // 8)), (p, subst), (p, mutate(rng, p, letters, 2))]
    out = [(render(a, alpha), render(b, alpha)) for a, b in pairs for alpha in ALPHABETS]
    head = random_text(rng, rng.randrange(70), "abcd") + "\u20ac" * (m % 2 == 0)
    tail = "\U0001f44d" * (m % 2 == 0) + random_text(rng, rng.randrange(70), "abcd")
    out += [(head + a + tail, head + b + tail) for a, b in pairs[:2]]
    out += [(p + WIDTH_EXTRA[w1], WIDTH_EXTRA[w2] + mutate(rng, p, "abc" + WIDTH_EXTRA[w2], 3))
            for w1 in (1, 2, 4) for w2 in (1, 2, 4)]
    return out


LENGTHS = [1, 2, 5, 15, 16, 17, 63, 64, 65, 127, 128, 129, 191, 192, 193, 257, 320, 449]


@pytest.mark.parametrize("m", LENGTHS)
def test_paths_against_reference(m):
    rng = random.Random(m)
    check_all(STEMS, shapes(m, rng), cutoffs=m < 200)


MID = [chr(0x100 + k) for k in range(80)] + [chr(0x1F400 + k) for k in range(40)]


@pytest.mark.parametrize("n, letters", [(40, MID), (64, MID), (100, MID), (300, MID), (200, CJK),
                                        (450, CJK), (700, CJK)])
def test_many_distinct_symbols(n, letters):
    """120 distinct symbols (colliding symbol-keyed masks), more than 255 (wide ids, tables
    instead of byte codes, sparse rows past 8192 mask words)."""
    rng = random.Random(n)
    s1 = "".join(rng.choices(letters + ["a", "\u00e9", "\U0001f600"], k=n))
    pairs = [(s1, mutate(rng, s1, letters, n // 8)), (s1, random_text(rng, n - 37, letters)),
             (s1, s1[:n // 2] + "x" + s1[n // 2 + 1:]), (s1, mutate(rng, s1, letters, n // 3))]
    check_all(BIT_PARALLEL + ["hamming"], pairs, cutoffs=False)


# Pairs built to hit one rule each, checked on every measure.
SPECIAL = [
    ("xyzab" * 20, "xyzba" * 20),  # the common prefix ends inside a swapped pair
    ("abcd" * 30 + "e", "e" + "abcd" * 30),
    ("a" * 100, "a" * 90),  # one text is the other's prefix
    ("\u0100" + "a" * 70, "a" * 70 + "\u0100"),
    ("ab" + "\U0001f600" * 3 + "ba", "ba" + "\U0001f600" * 3 + "ab"),
    ("\u0100\x00", "\x00\u0100"),  # U+0100 and up must not be cut to a byte
    ("\u0100\u0101\u0102", "\x00\x01\x02"),
    ("a\u00e9", "a\u0169"),  # same trailing UTF-8 byte, different lead byte
    ("x\U0001f44dz", "y\U0005f44dz"),  # three trailing bytes in common
    ("\u00e9abcd", "\u00eaabcd"),  # same lead byte
]
# The repetitive texts of Jaro: every position is a candidate, the window edges decide.
for n1, n2 in [(64, 64), (30, 64), (65, 128), (128, 40), (129, 300), (500, 70)]:
    SPECIAL += [("a" * n1, "a" * n2), ("ab" * (n1 // 2), "ba" * (n2 // 2)),
                ("a" * (n1 - 1) + "b", "b" + "a" * (n2 - 1))]
# A run planted at either end or inside (longest common substring: nothing is trimmed).
for left1, left2 in [(0, 0), (0, 50), (70, 3), (10, 10)]:
    SPECIAL.append(("c" * left1 + "ab" * 20 + "d" + "c" * (30 - min(left1, 30)),
                    "x" * left2 + "ab" * 20 + "dxxxxx"))


def test_special_pairs():
    check_all(STEMS, SPECIAL, cutoffs=False)


# Alphabets whose UTF-8 forms share lead bytes (é ê, € ₭, 👍 👎) or trailing bytes (é ũ, € Ⴌ,
# U+1F44D U+5F44D U+2F44D), mixed widths, and the ends of each UTF-8 length.
AFFIX_ALPHABETS = ["ab ", "a\u00e9\u00ea", "\u00e9\u0169a", "\u20ac\u20ada", "\u20ac\u10acb",
                   "\U0001f44d\U0001f44e", "\U0001f44d\U0005f44d\U0002f44d",
                   "a\u00e9\u20ac\U0001f44d \t", "\x00\x7f\x80\u07ff\u0800\uffff\U00010000\U0010ffff"]


def test_pairs_sharing_a_part():
    """A common core with a prefix or suffix of its own on each side (or on both alike); one
    difference at each position of texts compared many bytes at a time."""
    rng = random.Random(1234)
    pairs, one_differs = [], []
    for _ in range(300):
        letters = rng.choice(AFFIX_ALPHABETS)
        core, a, b = (random_text(rng, n, letters) for n in (
            rng.choice([0, 1, 7, 8, 9, 15, 16, 17, rng.randrange(40)]), rng.randrange(5),
            rng.randrange(5)))
        pairs.append(rng.choice([(core + a, core + b), (a + core, b + core), (a + core, a + core)]))
    check_all(["prefix", "postfix", "hamming", "lcs_str"], pairs)
    for n, unit in ((n, u) for n in (1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000) for u in "👍€éa"):
        base = "".join(chr(ord(unit) + i % 3) for i in range(n))
        for i in range(n) if n < 100 else [0, 1, 63, 64, 65, 500, 998, 999]:
            one_differs.append((base, base[:i] + chr(ord(base[i]) + 3) + base[i + 1:]))
    # The last base is ASCII: every bit of a byte differs somewhere.
    one_differs.append((base, "".join(chr(ord(c) ^ 1 << (k % 7)) for k, c in enumerate(base))))
    check_all(["prefix", "postfix", "hamming"], one_differs, cutoffs=False)


@pytest.mark.parametrize("m", [2, 65, 128, 200, 450])
def test_single_swap_at_every_word_boundary(m):
    """A swap of positions k and k + 1 costs 1 wherever k + 1 starts a new word."""
    rng = random.Random(m)
    pairs = []
    for k in {0, 62, 63, 64, 126, 127, 128, 190, 191, 192, 447, m - 2} & set(range(m - 1)):
        s1 = list(random_text(rng, m, "ab"))
        s1[k : k + 2] = "ab"
        s2 = s1[:k] + ["b", "a"] + s1[k + 2 :]
        pairs += [("".join(s1), "".join(s2)), (render("".join(s1), "bmp"), render("".join(s2), "bmp"))]
    check_all(["osa", "damerau_levenshtein"], pairs, cutoffs=False)


def test_osa_symbol_tables():
    """Exactly 256 distinct symbols still get byte codes; a 257th, first in s2, must not alias
    the first code; rows of up to 128 counters are inline."""
    pairs = []
    for distinct, new, len2 in [(256, 0, None), (256, 1, None), (270, 0, 1), (270, 0, 127),
                                (270, 0, 128), (270, 0, None)]:
        rng = random.Random(f"{distinct} {new} {len2}")
        base = rng.sample(CJK[:290], distinct)
        s1 = "".join(base) + base[0] + base[1]
        pairs.append((s1, ("".join(CJK[290:290 + new]) + mutate(rng, s1[new:], base, 5))[:len2]))
    check_all(["osa"], pairs, cutoffs=False, batch=False)


def test_damerau_levenshtein_last_row_map():
    """Many distinct symbols grow the last-row map (after 112 and 224 entries); a swapped pair
    across the growth with the symbols between deleted keeps its older row number."""
    rng = random.Random(9)
    symbols = [chr(0x400 + i) for i in range(300)]
    pairs = []
    for n in (111, 112, 113, 300):
        s1 = "".join(rng.sample(symbols, n)) + "".join(rng.choices(symbols[:5], k=20))
        pairs.append((s1, mutate(rng, s1, symbols, 30)))
    for first, second in [(105, 115), (100, 112), (220, 230)]:
        s2 = symbols[:first] + [symbols[second], symbols[first]] + symbols[second + 1:260]
        pairs.append(("".join(symbols[:260]), "".join(s2)))
        assert d.damerau_levenshtein_distance(*pairs[-1]) == second - first
    check_all(["damerau_levenshtein"], pairs, cutoffs=False)
    # A second text longer than a thread keeps rows for; later calls are still right.
    assert d.damerau_levenshtein_distance("ba", "ab" + "c" * 30000) == 30001
    assert d.damerau_levenshtein_distance("ca", "abc") == 2


@pytest.mark.parametrize("m", [64, 65, 128, 129, 150, 192, 193, 257, 300])
def test_lcs_carries_across_and_through_words(m):
    """Long runs of one symbol carry across word boundaries; a never-matching run across whole
    words passes the carry of the word below on; words of one symbol and 63 of another make a
    word's sum all ones before the carry arrives (a head of 'y' makes s1 the id pattern too)."""
    rng = rng_for(m)
    pairs = [("b" * m, "b" * (m + 5)), ("a" * m, "b" * m)]
    for _ in range(3):
        runs = lambda: "".join(c * rng.randint(1, 90) for c in rng.choices("ab", k=12))
        pairs.append((runs()[:m].ljust(m, "a"), runs()[: m + 20]))
    for head, gap in ((m // 3, m // 3), (64, 64), (64, 128), (1, 127)):
        s1 = ("a" * head + "x" * gap + "a" * m)[:m]
        pairs += [(s1, s2) for s2 in ("a" * (m + 9), "ab" * (m // 2 + 5), "b" + "a" * m)]
    words = ["b" + "a" * 63, "x" + "b" * 63, "x" + "b" * 63, "a" * 64, "b" + "a" * 63]
    for shift in range(3):
        s1 = ("".join(words[shift:]) + "".join(words) * 2)[:m]
        pairs += [(s1, "y" * m + s2) for s2 in ["ba", "bba", "baba", "bxa", "abxab"]]
    pairs += [(wide(a), wide(b)) for a, b in pairs[::3]]
    check_all(["lcs_seq", "indel"], pairs, cutoffs=False)


@pytest.mark.parametrize("k", [255, 256, 257, 503, 504])
def test_lcs_distinct_symbol_limit_of_byte_ids(k):
    """About 255 distinct symbols and more (whole mask rows up to 255, then whole or sparse)."""
    rng = rng_for(k)
    symbols = rng.sample(POOL, min(k, 300))
    s1 = with_distinct(rng, symbols, k + 9)
    pairs = [(s1, with_distinct(rng, pool, len(pool) + k + 28))
             for pool in (POOL, symbols[:10] + POOL[:2])]
    check_all(["lcs_seq", "indel"], pairs, cutoffs=False)


@pytest.mark.parametrize("n1, n2", [(9, 9), (64, 40), (100, 65), (128, 128), (200, 180),
                                    (140, 300)])
def test_jaro_single_match_at_window_edges(n1, n2):
    """One shared symbol at positions i and i + delta: a match exactly when |delta| <= w."""
    w = max(n1, n2) // 2 - 1
    for i in {0, 1, 63, 64, 65, 127, 128, n1 // 2, n1 - 1} & set(range(n1)):
        for j in {i + delta for delta in (-w - 1, -w, w, w + 1)} & set(range(n2)):
            s1, s2 = "c" * i + "a" + "c" * (n1 - i - 1), "d" * j + "a" + "d" * (n2 - j - 1)
            expected = (1 / n1 + 1 / n2 + 1.0) / 3.0 if abs(i - j) <= w else 0.0
            for alphabet in ("ascii", "bmp"):
                a, b = render(s1, alphabet), render(s2, alphabet)
                assert d.jaro_similarity(a, b) == d.jaro_similarity(b, a) == expected, (i, j)


def test_long_texts():
    """3000 symbols with two edits (trimmed to one word), and a 150-symbol pattern against
    1100 symbols (carries of more than 1024 text positions; a row of more than 128 counters)."""
    rng = random.Random(3)
    base = random_text(rng, 3000)
    s1, s2 = "c" + random_text(rng, 148, "abc") + "a", "a" + random_text(rng, 1098, "abc") + "d"
    pairs = [(base, base[:1500] + "x" + base[1501:2000] + base[2001:]), (s1, s2),
             (render(s1, "bmp"), render(s2, "bmp"))]
    check_all(["levenshtein", "lcs_seq", "jaro"], pairs, cutoffs=False)


def test_more_than_65535_distinct_symbols():
    """66,000 distinct astral symbols (sparse rows), a few replaced, deleted, inserted, swapped."""
    n = 66000
    s1 = "".join(chr(0x10000 + k) for k in range(n))
    s2 = "".join(chr(0x4E00 + k) if k % 11000 == 5 else c for k, c in enumerate(s1))
    assert d.levenshtein_distance(s1, s2) == d.levenshtein_distance(s1, s2, score_cutoff=5) == 6
    assert d.levenshtein_distance(s1[:-1], s2[1:]) == 8  # shifted by one: nothing to trim
    assert d.levenshtein_similarity(s2, s1[:5] + s1[6:]) == n - 6
    m = n - 6
    jaro = (m / n + m / n + 1.0) / 3.0
    assert d.jaro_similarity(s1, s2) == d.jaro_similarity(s2, s1) == jaro
    assert d.jaro_winkler_similarity(s1, s2) == jaro + (1.0 - jaro) * (0.1 * 4)
    swapped = "a" + s1[1:40000] + s1[40001] + s1[40000] + s1[40002:-1] + "b"
    assert d.osa_distance(s1, swapped) == d.osa_distance(swapped, s1) == 3
    short = s1[65990] + s1[30:40] + s1[2] + "x" + s1[65989]
    assert d.damerau_levenshtein_distance(s1, short) == d.damerau_levenshtein_distance(short, s1) \
        == ref.call("damerau_levenshtein_distance", s1, short)
    # Every other symbol in order, separated by symbols s1 lacks: the longest common subsequence.
    s3 = "".join(c + CJK[i % 300] for i, c in enumerate(s1[::2]))
    assert d.lcs_seq_similarity(s1, s3) == d.lcs_seq_similarity(s3, s1) == n // 2
    assert d.indel_distance(s1, s3) == len(s1) + len(s3) - n


@pytest.mark.parametrize("stem", ["levenshtein", "lcs_str", "jaro", "jaro_winkler"])
def test_arguments_keep_their_size(stem):
    """Texts are read as the interpreter stores them: no UTF-8 copy is attached to them."""
    s1, s2 = "\u00e9" * 300 + "x", "\u0436" * 299 + "\U0001f600"
    before = sys.getsizeof(s1), sys.getsizeof(s2)
    for form in ref.FORMS:
        getattr(d, f"{stem}_{form}")(s1, s2)
        getattr(d, f"{stem}_{form}_batch", lambda pairs: None)([(s1, s2)])
    assert (sys.getsizeof(s1), sys.getsizeof(s2)) == before
