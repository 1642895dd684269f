"""LCS routine (every path), Indel and LCS-sequence measures against a textbook DP."""

import pytest

from fuzz_reference import POOL, lcs, rand_text, rng_for, wide, with_distinct
from quorvalex import distance as d
from quorvalex import fuzz


def check(s1, s2, expected=None, label=None):
    # The ASCII pair and its non-ASCII relabelling, in both orders (the pattern changes, L not).
    expected = lcs(s1, s2) if expected is None else expected
    for a, b in ((s1, s2), (wide(s1), wide(s2))):
        assert d.lcs_seq_similarity(a, b) == expected, label
        assert d.lcs_seq_similarity(b, a) == expected, label


@pytest.mark.parametrize("m", [1, 2, 63, 64, 65, 127, 128, 129, 191, 192, 193, 257, 320])
def test_paths_at_word_boundaries(m):
    # One, two and three words and blocks, on bytes and on dense ids.
    rng = rng_for(m)
    for alphabet in ("ab", "abcdefghij"):
        for n in sorted({1, m // 2 + 1, m, m + 1, 2 * m + 3}):
            check(rand_text(rng, alphabet, m), rand_text(rng, alphabet, n), label=(m, n))


@pytest.mark.parametrize("m", [64, 65, 128, 129, 150, 192, 193, 257, 300])
def test_carries_across_and_through_words(m):
    rng = rng_for(m)
    # Long runs of one symbol carry across word boundaries.
    for _ in range(3):
        runs = lambda: "".join(c * rng.randint(1, 90) for c in rng.choices("ab", k=12))
        check(runs()[:m].ljust(m, "a"), runs()[: m + 20])
    check("b" * m, "b" * (m + 5), m)
    check("a" * m, "b" * m, 0)
    # A never-matching run of 'x' across whole words passes the carry of the word below on.
    for head, gap in ((m // 3, m // 3), (64, 64), (64, 128), (1, 127)):
        s1 = ("a" * head + "x" * gap + "a" * m)[:m]
        for s2 in ("a" * (m + 9), "ab" * (m // 2 + 5), "b" + "a" * m):
            check(s1, s2, label=(head, gap, s2[:3]))
    # Words of one symbol and 63 of another: streaming 'b' then 'a' makes a word's sum all ones
    # before the carry of the word below arrives. A head of 'y' makes s1 the id pattern too.
    words = ["b" + "a" * 63, "x" + "b" * 63, "x" + "b" * 63, "a" * 64, "b" + "a" * 63]
    for shift in range(3):
        s1 = ("".join(words[shift:]) + "".join(words) * 2)[:m]
        for s2 in ["ba", "bba", "baba", "bxa"] + [rand_text(rng, "abx", 5) for _ in range(4)]:
            check(s1, "y" * m + s2, lcs(s1, s2), (shift, s2))


@pytest.mark.parametrize("k", [255, 256, 257, 503, 504])
@pytest.mark.parametrize("other", ["rich", "poor"])
def test_distinct_symbol_limit_of_byte_ids(k, other):
    # Patterns of about 255 distinct symbols and more (whole mask rows up to 255, beyond that
    # whole or sparse by size), against a text of few ("poor") or many ("rich") symbols.
    rng = rng_for(k, other)
    symbols = rng.sample(POOL, min(k, 300))
    s1 = with_distinct(rng, symbols, k + 9)
    pool = POOL if other == "rich" else symbols[:10] + POOL[:2]
    s2 = with_distinct(rng, pool, len(pool) + k + 28)
    expected = lcs(s1, s2)
    assert d.lcs_seq_similarity(s1, s2) == d.lcs_seq_similarity(s2, s1) == expected
    assert d.indel_distance(s1, s2) == len(s1) + len(s2) - 2 * expected


S64 = "".join(map(chr, range(33, 97)))
# (s1, s2, indel_distance, indel_similarity, lcs_seq_distance, lcs_seq_similarity)
WORKED = [
    ("", "", 0, 0, 0, 0),
    ("", "abc", 3, 0, 3, 0),
    ("kitten", "sitting", 5, 8, 3, 4),
    ("naïve", "naive", 2, 8, 1, 4),
    ("\U0001f44d", "\U0001f44d\U0001f44d", 1, 2, 1, 1),
    ("a\x00b", "ab", 1, 4, 1, 2),
    (S64, "~" * 10, 74, 0, 64, 0),  # 64 distinct symbols: all bits of one word
    (S64, "~" * 90, 154, 0, 90, 0),
    (S64, S64, 0, 128, 0, 64),
    # symbols absent from the pattern share one id, whichever table would hold them
    ("aбé中\U0001f44d", "xжè丁\U0001f44eяü", 12, 0, 7, 0),
    ("aбé中\U0001f44d", "жé丁\U0001f44dжa", 7, 4, 4, 2),
    ("ÿ\x00\uffff\U0010ffff", "\U0010ffff\uffffÿ\x00", 4, 4, 2, 2),
    ("cafe", "café", 2, 6, 1, 3),  # one ASCII text: both compared as scalar values
    ("e\u0301", "e", 1, 2, 1, 1),
]


FORMS = [
    f"{stem}_{form}"
    for stem in ("indel", "lcs_seq")
    for form in ("distance", "similarity", "normalized_distance", "normalized_similarity")
]


def forms(s1, s2):
    """The eight values of FORMS from the reference L, in the formulas' order of evaluation."""
    L, total, longest = lcs(s1, s2), len(s1) + len(s2), max(len(s1), len(s2))
    ind = (total - 2 * L) / total if total else 0.0
    lnd = (longest - L) / longest if longest else 0.0
    return [total - 2 * L, 2 * L, ind, 1.0 - ind, longest - L, L, lnd, 1.0 - lnd]


@pytest.mark.parametrize("s1,s2,indel,indel_sim,lcs_dist,lcs_sim", WORKED)
def test_worked_values(s1, s2, indel, indel_sim, lcs_dist, lcs_sim):
    values = [getattr(d, name)(s1, s2) for name in FORMS]
    assert values == forms(s1, s2) == [getattr(d, name)(s2, s1) for name in FORMS]
    assert values[:2] + values[4:6] == [indel, indel_sim, lcs_dist, lcs_sim]


@pytest.mark.parametrize("alphabet", ["ab", "abc ", "aé", "€a\U0001f44d"])
def test_all_forms_and_cutoffs_random(alphabet):
    rng = rng_for(alphabet)
    for _ in range(50):
        s1 = rand_text(rng, alphabet, rng.randint(0, 80))
        s2 = s1 if rng.random() < 0.1 else rand_text(rng, alphabet, rng.randint(0, 80))
        for name, v in zip(FORMS, forms(s1, s2)):
            f, step = getattr(d, name), (1e-9 if isinstance(v, float) else 1)
            assert f(s1, s2) == v, (name, s1, s2)
            for c in (v - step, v, v + step):
                # a distance above the cutoff: cutoff + 1, or 1.0; a similarity below it: 0
                above = v if v <= c else (1.0 if step < 1 else c + 1)
                want = above if "distance" in name else (v if v >= c else 0 * v)
                # identical texts: full indel_similarity and 0.0 distances before any cutoff
                if s1 == s2 and name in ("indel_similarity", FORMS[2], FORMS[6]):
                    want = v
                if c >= 0 or step < 1:  # integer cutoffs are not negative
                    assert f(s1, s2, score_cutoff=c) == want, (name, s1, s2, c)


def test_batches_on_workers_use_private_rows():
    # Non-ASCII pairs on the worker threads: masks over one to several words, and patterns of
    # more than 255 distinct symbols, for the LCS and the partial ratio's window search.
    rng = rng_for("workers")
    pairs = []
    for i in range(200):
        k = rng.choice([1, 10, 65, 150, 200, 512, 513, 600]) if i % 8 == 0 else rng.randint(0, 40)
        rich = i % 5 == 0
        a = rand_text(rng, POOL if rich else "aé€\U0001f44d", k)
        b = rand_text(rng, POOL[i % 100 :] if rich else "aé€b", rng.randint(k, k + 40))
        pairs.append((a, b) if i % 2 else (b, a))
    assert d.lcs_seq_distance_batch(pairs) == [d.lcs_seq_distance(a, b) for a, b in pairs]
    assert fuzz.partial_ratio_batch(pairs) == [fuzz.partial_ratio(a, b) for a, b in pairs]


# Texts of different code-unit widths in one pair (the narrower side holds symbols of the wider
# one), across the word boundaries of the shorter remainder after the common prefix and suffix.
MIXED = [("aé", "aé€"), ("aé", "é\U0001f44d"), ("a€", "€\U0001f44d b"), ("ab", "a\u0100b")]


@pytest.mark.parametrize("narrow,wide_alphabet", MIXED)
@pytest.mark.parametrize("m", [1, 63, 64, 65, 127, 128, 129, 257])
def test_mixed_widths_against_reference(narrow, wide_alphabet, m):
    rng = rng_for(narrow, wide_alphabet, m)
    for n in (m // 2 + 1, m, m + 7):
        s1 = rand_text(rng, narrow, m)
        s2 = rand_text(rng, wide_alphabet, n - 1) + wide_alphabet[-1]  # forces the wider width
        expected = lcs(s1, s2)
        assert d.lcs_seq_similarity(s1, s2) == d.lcs_seq_similarity(s2, s1) == expected
        assert d.indel_distance(s2, s1) == len(s1) + len(s2) - 2 * expected
        # a shared head and tail around the pair: counted directly, the middle bit-parallel
        head, tail = s2[: m // 3], s1[-5:]
        assert d.lcs_seq_similarity(head + s1 + tail, head + s2 + tail) == (
            len(head) + len(tail) + expected
        )


def test_more_than_65535_distinct_symbols():
    # 70,000 astral symbols: sparse mask rows. Every other symbol, in order, separated by
    # symbols the pattern lacks, is a common subsequence and no longer one exists.
    symbols = [chr(0x10000 + i) for i in range(70_000)]
    s1 = "".join(symbols)
    s2 = "".join(c + chr(0x4E00 + i % 300) for i, c in enumerate(symbols[::2]))
    L = len(symbols) // 2
    assert d.lcs_seq_similarity(s1, s2) == d.lcs_seq_similarity(s2, s1) == L
    assert d.indel_distance(s1, s2) == len(s1) + len(s2) - 2 * L
    assert fuzz.ratio(s1, s2) == 2 * L * 100 / (len(s1) + len(s2))
