"""LCS routine (every path), Indel and LCS-sequence measures against a textbook DP."""

import random

import pytest

from quorvalex import distance as d


def lcs_ref(a, b):
    """Textbook two-row dynamic programme over code points."""
    prev = [0] * (len(b) + 1)
    for x in a:
        cur = [0]
        for j, y in enumerate(b):
            cur.append(prev[j] + 1 if x == y else max(prev[j + 1], cur[j]))
        prev = cur
    return prev[-1]


def rand_text(rng, alphabet, n):
    return "".join(rng.choice(alphabet) for _ in range(n))


# An injective relabelling to symbols of every lookup tier of the non-ASCII path: ASCII and
# Latin-1, two pages of wider symbols (one of them gets the direct page table: the page of the
# pattern's first wide symbol) and astral symbols. It leaves every LCS unchanged, so each
# byte-path case checks the same case compared as scalar values against the same reference.
WIDE = {"b": "б", "c": "中", "d": "ë", "e": "\U0001f600", "f": "ж", "x": "\u4e01"}


def wide(s):
    assert not set(s) & set(WIDE.values())  # the relabelling must stay injective
    return s.translate(str.maketrans(WIDE))


def check_both_alphabets(s1, s2, expected, label=None):
    for a, b in ((s1, s2), (wide(s1), wide(s2))):
        # Exchanging the texts changes the pattern, never L.
        assert d.lcs_seq_similarity(a, b) == expected, label
        assert d.lcs_seq_similarity(b, a) == expected, label


# Pattern lengths around every path switch: one word, two words, three words, blocks.
PATTERN_LENGTHS = [1, 2, 63, 64, 65, 127, 128, 129, 191, 192, 193, 257, 400]


@pytest.mark.parametrize("m", PATTERN_LENGTHS)
@pytest.mark.parametrize("alphabet", ["ab", "abc", "abcdefghij"])
def test_bit_parallel_paths_match_dp(m, alphabet):
    rng = random.Random(m * 31 + len(alphabet))
    for n in sorted({1, m // 2 + 1, m, m + 1, 2 * m + 3}):
        s1 = rand_text(rng, alphabet, m)
        s2 = rand_text(rng, alphabet, n)
        check_both_alphabets(s1, s2, lcs_ref(s1, s2), (m, n))


@pytest.mark.parametrize("m", [64, 65, 128, 129, 192, 193, 400])
def test_bit_parallel_paths_carry_across_words(m):
    # Long runs of one symbol make carries travel across word boundaries.
    rng = random.Random(m)
    for _ in range(4):
        s1 = "".join(c * rng.randint(1, 90) for c in rng.choices("ab", k=12))[:m].ljust(m, "a")
        s2 = "".join(c * rng.randint(1, 90) for c in rng.choices("ab", k=12))
        check_both_alphabets(s1, s2, lcs_ref(s1, s2))
    check_both_alphabets("b" * m, "b" * (m + 5), m)
    # A word whose positions never match passes the carry of the word below to the word
    # above; patterns 'a...x...a' put the never-matching 'x' run across whole words.
    for head, gap in ((m // 3, m // 3), (64, 64), (64, 128), (30, 70), (1, 127)):
        s1 = ("a" * head + "x" * gap + "a" * m)[:m]
        for s2 in ("a" * (m + 9), "ab" * m, "b" + "a" * m, "aab" * m):
            check_both_alphabets(s1, s2, lcs_ref(s1, s2), (m, head, gap, s2[:3]))
    check_both_alphabets("a" * m, "b" * m, 0)
    check_both_alphabets("ab" * (m // 2) + "a" * (m % 2), "ba" * m, m)


@pytest.mark.parametrize("m", [129, 150, 192, 193, 257, 300, 400])
def test_bit_parallel_paths_carry_through_a_full_word(m):
    # Word k of the pattern is one symbol followed by 63 of another. Streaming 'b' then 'a'
    # makes a word's sum all ones before the carry of the word below arrives, so the carry
    # must pass through it into the word above.
    words = ["b" + "a" * 63, "x" + "b" * 63, "x" + "b" * 63, "a" * 64, "b" + "a" * 63]
    rng = random.Random(m)
    for shift in range(3):
        s1 = ("".join(words[shift:]) + "".join(words) * 2)[:m]
        texts = ["ba", "bba", "baba", "bxa"]
        texts += ["".join(rng.choice("abx") for _ in range(rng.randint(1, 6))) for _ in range(6)]
        for s2 in texts:
            # The non-ASCII path takes the shorter text as the pattern: a head of 'y', which
            # s1 lacks, makes s1 the pattern there too without changing L (the state stays
            # all ones while no symbol matches).
            check_both_alphabets(s1, "y" * m + s2, lcs_ref(s1, s2), (m, shift, s2))


def test_one_word_pattern_of_64():
    s1 = "".join(chr(ord("!") + i) for i in range(64))  # 64 distinct ASCII symbols
    assert d.lcs_seq_similarity(s1, "\x00" * 70) == 0
    assert d.lcs_seq_similarity(s1, s1) == 64
    assert d.indel_distance(s1, "~" * 10) == 74
    assert d.lcs_seq_distance(s1, "~" * 10) == 64
    assert d.lcs_seq_distance(s1, "~" * 90) == 90


NON_ASCII_ALPHABETS = ["aé", "é€", "\u0100a", "\U0001f44da", "a€\U0001f44d"]


@pytest.mark.parametrize("alphabet", NON_ASCII_ALPHABETS)
@pytest.mark.parametrize("k", [1, 5, 64, 65])
def test_scalar_path_matches_dp(alphabet, k):
    rng = random.Random(k * 7 + len(alphabet))
    for n in (k, k + 1, 2 * k + 9):
        s1 = rand_text(rng, alphabet, k)
        s2 = rand_text(rng, alphabet, n)
        expected = lcs_ref(s1, s2)
        assert d.lcs_seq_similarity(s1, s2) == expected
        assert d.lcs_seq_similarity(s2, s1) == expected


# 384 distinct symbols over every lookup tier: ASCII, Latin-1, Cyrillic, CJK, astral, and
# the extremes U+0000, U+00FF, U+FFFF and U+10FFFF.
POOL = [
    chr(c)
    for lo, hi in ((0x21, 0x7F), (0xA1, 0x100), (0x410, 0x450), (0x4E00, 0x4E40), (0x1F600, 0x1F640))
    for c in range(lo, hi)
] + ["\x00", "\uffff", "\U0010ffff"]


def with_distinct(rng, symbols, n):
    """A text of n >= len(symbols) symbols holding each of `symbols` at least once."""
    chars = list(symbols) + rng.choices(symbols, k=n - len(symbols))
    rng.shuffle(chars)
    return "".join(chars)


@pytest.mark.parametrize("k", [255, 256, 257])
@pytest.mark.parametrize("other", ["rich", "poor"])
def test_distinct_symbol_limit_of_byte_ids(k, other):
    # The shorter text (k distinct symbols) is relabelled with byte ids up to 255 distinct
    # symbols; beyond, the longer text is tried as the pattern ("poor": 12 distinct), and when
    # both have too many ("rich": all 384) the dynamic programme runs. With k = 255 the ids
    # 0..254 are all in use and every foreign symbol of the rich text maps to id 255.
    rng = random.Random(k * 2 + len(other))
    symbols = rng.sample(POOL, k)
    s1 = with_distinct(rng, symbols, k + 9)
    if other == "rich":
        s2 = with_distinct(rng, POOL, len(POOL) + 20)
    else:
        s2 = with_distinct(rng, symbols[:10] + POOL[:2], k + 40)
    expected = lcs_ref(s1, s2)
    assert d.lcs_seq_similarity(s1, s2) == expected
    assert d.lcs_seq_similarity(s2, s1) == expected
    assert d.indel_distance(s1, s2) == len(s1) + len(s2) - 2 * expected


@pytest.mark.parametrize("k", [511, 512, 513])
def test_scalar_path_thread_rows_and_fresh_rows(k):
    # Patterns of more than 255 distinct symbols run the dynamic programme: a shorter
    # sequence of up to 512 symbols on the thread's rows, from 513 on fresh rows.
    rng = random.Random(k)
    s1 = with_distinct(rng, POOL[:300], k)
    s2 = with_distinct(rng, POOL[50:], k + 37)
    expected = lcs_ref(s1, s2)
    # Interleave calls of different sizes so the rows are reused after a larger call.
    assert d.lcs_seq_similarity(s1, s2) == expected
    assert d.lcs_seq_similarity("é" + s1[:3], "xé") == 1
    assert d.lcs_seq_similarity(s2, s1) == expected


def test_foreign_symbols_of_every_tier_never_match():
    # Text symbols absent from the pattern share one id, whichever table would hold them:
    # Latin-1, the direct page (Cyrillic after 'б'), another page, astral.
    pattern = "aбé中\U0001f44d"
    assert d.lcs_seq_similarity(pattern, "xжè丁\U0001f44eяü") == 0
    assert d.lcs_seq_similarity(pattern, "жé丁\U0001f44dжa") == 2
    assert d.lcs_seq_similarity("ÿ\x00\uffff\U0010ffff", "\U0010ffff\uffffÿ\x00") == 2


def test_ascii_text_against_non_ascii_text_is_decoded():
    # One ASCII text and one Latin-1 text: both compared as scalar values.
    assert d.lcs_seq_similarity("cafe", "café") == 3
    assert d.lcs_seq_similarity("é" * 3, "é") == 1
    assert d.lcs_seq_similarity("e\u0301", "e") == 1


# (s1, s2, indel_distance, indel_similarity, lcs_seq_distance, lcs_seq_similarity)
WORKED = [
    ("", "", 0, 0, 0, 0),
    ("", "abc", 3, 0, 3, 0),
    ("abc", "", 3, 0, 3, 0),
    ("kitten", "sitting", 5, 8, 3, 4),
    ("naïve", "naive", 2, 8, 1, 4),
    ("\U0001f44d", "\U0001f44d\U0001f44d", 1, 2, 1, 1),
    ("   ", " ", 2, 2, 2, 1),
    ("a\x00b", "ab", 1, 4, 1, 2),
]


@pytest.mark.parametrize("s1,s2,indel,indel_sim,lcs_dist,lcs_sim", WORKED)
def test_worked_values(s1, s2, indel, indel_sim, lcs_dist, lcs_sim):
    assert d.indel_distance(s1, s2) == indel
    assert d.indel_similarity(s1, s2) == indel_sim
    assert d.lcs_seq_distance(s1, s2) == lcs_dist
    assert d.lcs_seq_similarity(s1, s2) == lcs_sim


def test_normalized_worked_values():
    assert d.indel_normalized_distance("kitten", "sitting") == 5 / 13
    assert d.lcs_seq_normalized_distance("kitten", "sitting") == 3 / 7
    assert d.indel_normalized_similarity("kitten", "sitting") == 1.0 - 5 / 13
    for f in (d.indel_normalized_distance, d.lcs_seq_normalized_distance):
        assert f("", "") == 0.0
        assert f("", "abc") == 1.0
    for f in (d.indel_normalized_similarity, d.lcs_seq_normalized_similarity):
        assert f("", "") == 1.0
        assert f("", "abc") == 0.0


def forms_ref(s1, s2):
    """All eight values from the reference L, in the formulas' order of evaluation."""
    n1, n2 = len(s1), len(s2)
    lcs = lcs_ref(s1, s2)
    total, longest = n1 + n2, max(n1, n2)
    indel_nd = (total - 2 * lcs) / total if total else 0.0
    lcs_nd = (longest - lcs) / longest if longest else 0.0
    return {
        "indel_distance": total - 2 * lcs,
        "indel_similarity": 2 * lcs,
        "indel_normalized_distance": indel_nd,
        "indel_normalized_similarity": 1.0 - indel_nd,
        "lcs_seq_distance": longest - lcs,
        "lcs_seq_similarity": lcs,
        "lcs_seq_normalized_distance": lcs_nd,
        "lcs_seq_normalized_similarity": 1.0 - lcs_nd,
    }


@pytest.mark.parametrize("alphabet", ["ab", "abc ", "aé", "€a\U0001f44d"])
def test_all_forms_random(alphabet):
    rng = random.Random(alphabet)
    for _ in range(60):
        s1 = rand_text(rng, alphabet, rng.randint(0, 80))
        s2 = rand_text(rng, alphabet, rng.randint(0, 80))
        for name, value in forms_ref(s1, s2).items():
            assert getattr(d, name)(s1, s2) == value, (name, s1, s2)


def test_int_cutoffs():
    assert d.indel_distance("kitten", "sitting", score_cutoff=4) == 5
    assert d.indel_distance("kitten", "sitting", score_cutoff=5) == 5
    assert d.indel_distance("kitten", "sitting", score_cutoff=2) == 3
    assert d.lcs_seq_distance("kitten", "sitting", score_cutoff=2) == 3
    assert d.lcs_seq_distance("kitten", "sitting", score_cutoff=3) == 3
    assert d.indel_similarity("kitten", "sitting", score_cutoff=8) == 8
    assert d.indel_similarity("kitten", "sitting", score_cutoff=9) == 0
    assert d.lcs_seq_similarity("kitten", "sitting", score_cutoff=4) == 4
    assert d.lcs_seq_similarity("kitten", "sitting", score_cutoff=5) == 0


def test_identity_shortcuts():
    # indel_similarity returns the full length of identical texts before the cutoff;
    # lcs_seq_similarity has no such shortcut.
    assert d.indel_similarity("ab", "ab", score_cutoff=5) == 4
    assert d.indel_similarity("éé", "éé", score_cutoff=50) == 4
    assert d.lcs_seq_similarity("ab", "ab", score_cutoff=5) == 0
    assert d.lcs_seq_similarity("ab", "ab", score_cutoff=2) == 2
    assert d.indel_distance("abc", "abc", score_cutoff=0) == 0
    assert d.lcs_seq_distance("abc", "abc", score_cutoff=0) == 0


@pytest.mark.parametrize("stem", ["indel", "lcs_seq"])
def test_float_cutoffs(stem):
    nd = getattr(d, f"{stem}_normalized_distance")
    ns = getattr(d, f"{stem}_normalized_similarity")
    value = nd("kitten", "sitting")
    assert nd("kitten", "sitting", score_cutoff=value) == value
    assert nd("kitten", "sitting", score_cutoff=value - 1e-9) == 1.0
    sim = ns("kitten", "sitting")
    assert ns("kitten", "sitting", score_cutoff=sim) == sim
    assert ns("kitten", "sitting", score_cutoff=sim + 1e-9) == 0.0
    # Identical texts: 0.0 distance whatever the cutoff, similarity 0.0 only above 1.0.
    assert nd("abc", "abc", score_cutoff=-1.0) == 0.0
    assert ns("abc", "abc", score_cutoff=1.0) == 1.0
    assert ns("abc", "abc", score_cutoff=1.5) == 0.0


BATCH_PAIRS = [("", ""), ("", "x"), ("kitten", "sitting"), ("naïve", "naive"), ("ab", "ab")]


@pytest.mark.parametrize(
    "name",
    [
        "indel_distance",
        "indel_normalized_similarity",
        "lcs_seq_distance",
        "lcs_seq_normalized_similarity",
    ],
)
@pytest.mark.parametrize("cutoff", [None, 0, 3])
def test_batch_equals_scalar(name, cutoff):
    scalar = getattr(d, name)
    batch = getattr(d, name + "_batch")
    if "normalized" in name and cutoff is not None:
        cutoff = cutoff / 4
    expected = [scalar(a, b, score_cutoff=cutoff) for a, b in BATCH_PAIRS]
    assert batch(BATCH_PAIRS, score_cutoff=cutoff) == expected


def test_batch_on_workers_uses_private_rows():
    # Many non-ASCII pairs of mixed lengths scored on the worker threads must equal the scalar
    # results of the calling thread: byte ids from one to several words and blocks, and
    # patterns of more than 255 distinct symbols on both sides of the 512/513 row limit.
    rng = random.Random(5)
    pairs = []
    for i in range(300):
        k = rng.choice([1, 3, 40, 64, 65, 200, 512, 513, 600]) if i % 10 == 0 else rng.randint(0, 90)
        alphabet = POOL if i % 7 == 0 else "aé€\U0001f44d"
        a = rand_text(rng, alphabet, k)
        b = rand_text(rng, POOL[i % 100 :] if i % 7 == 0 else "aé€b", rng.randint(k, k + 60))
        pairs.append((a, b) if i % 2 else (b, a))
    expected = [d.lcs_seq_distance(a, b) for a, b in pairs]
    assert d.lcs_seq_distance_batch(pairs) == expected
    for (a, b), got in list(zip(pairs, expected))[:40]:
        assert got == max(len(a), len(b)) - lcs_ref(a, b)
