"""Optimal string alignment: every kernel path against the restricted-edit table."""

import random

import pytest

from quorvalex import distance as d


def ref_osa(a, b):
    """Textbook restricted Damerau-Levenshtein table (no substring edited twice)."""
    n, m = len(a), len(b)
    prev2 = None
    prev = list(range(m + 1))
    for i in range(1, n + 1):
        cur = [i] + [0] * m
        ai = a[i - 1]
        for j in range(1, m + 1):
            bj = b[j - 1]
            v = min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (ai != bj))
            if i > 1 and j > 1 and ai == b[j - 2] and a[i - 2] == bj:
                v = min(v, prev2[j - 2] + 1)
            cur[j] = v
        prev2, prev = prev, cur
    return prev[m]


# The same letters in four alphabets: bytes, narrowed Latin-1, and two that force the table.
ALPHABETS = {
    "ascii": "abc",
    "latin1": "aéÿ",
    "bmp": "a€Ā",
    "astral": "a\U0001f44d\U0001f600",
}


def mutate(rng, s, letters, edits):
    """`s` with random substitutions, insertions, deletions and adjacent swaps."""
    s = list(s)
    for _ in range(edits):
        op = rng.randrange(4)
        pos = rng.randrange(len(s) + 1)
        if op == 0 and pos < len(s):
            s[pos] = rng.choice(letters)
        elif op == 1:
            s.insert(pos, rng.choice(letters))
        elif op == 2 and pos < len(s):
            del s[pos]
        elif op == 3 and pos + 1 < len(s):
            s[pos], s[pos + 1] = s[pos + 1], s[pos]
    return "".join(s)


def pairs_for(seed, m, letters):
    """A pattern of m symbols with a random text, a lightly edited copy and a longer text."""
    rng = random.Random(seed)
    p = "".join(rng.choice(letters) for _ in range(m))
    longer = "".join(rng.choice(letters) for _ in range(m + 1 + m // 3))
    return [
        (p, "".join(rng.choice(letters) for _ in range(m))),
        (p, mutate(rng, p, letters, 1 + m // 8)),
        (longer, p),
    ]


PATTERN_LENGTHS = [1, 2, 63, 64, 65, 127, 128, 129, 192, 193, 200]


@pytest.mark.parametrize("alphabet", ["ascii", "latin1"])
@pytest.mark.parametrize("m", PATTERN_LENGTHS)
@pytest.mark.parametrize("size", [2, 3])
def test_byte_paths_match_reference(alphabet, m, size):
    letters = ALPHABETS[alphabet][:size]
    for s1, s2 in pairs_for(m * 10 + size, m, letters):
        expected = ref_osa(s1, s2)
        assert d.osa_distance(s1, s2) == expected, (s1, s2)
        assert d.osa_distance(s2, s1) == expected, (s1, s2)


@pytest.mark.parametrize("m", [450])
def test_long_blocks_match_reference(m):
    # Seven blocks: the last length whose block records still live inline.
    rng = random.Random(m)
    for letters in ("ab", "aé"):
        p = "".join(rng.choice(letters) for _ in range(m))
        t = mutate(rng, p, letters, 40)
        expected = ref_osa(p, t)
        assert d.osa_distance(p, t) == expected
        assert d.osa_distance(t, p) == expected


@pytest.mark.parametrize("m", [2, 64, 65, 100, 128, 129, 200, 450])
@pytest.mark.parametrize("alphabet", ["ascii", "latin1", "bmp"])
def test_single_swap_at_every_word_boundary(m, alphabet):
    # A swap of pattern positions k and k + 1 costs 1 wherever k + 1 crosses into a new word.
    a, b, c = ALPHABETS[alphabet]
    rng = random.Random(m)
    for k in sorted({0, 62, 63, 64, 126, 127, 128, 190, 191, 192, 447, m - 2}):
        if k + 1 >= m:
            continue
        s1 = [rng.choice((a, b)) for _ in range(m)]
        s1[k], s1[k + 1] = a, b
        s2 = s1[:]
        s2[k], s2[k + 1] = b, a
        s1, s2 = "".join(s1), "".join(s2)
        assert d.osa_distance(s1, s2) == 1, k
        assert d.osa_distance(s2, s1) == 1, k
        longer = s2 + c * 3
        assert d.osa_distance(s1, longer) == 4, k


@pytest.mark.parametrize("alphabet", ["bmp", "astral"])
@pytest.mark.parametrize("m", [1, 2, 5, 63, 64, 65, 126, 127, 128, 129])
def test_wide_symbols_match_reference(alphabet, m):
    letters = ALPHABETS[alphabet]
    for s1, s2 in pairs_for(m * 7, m, letters):
        expected = ref_osa(s1, s2)
        assert d.osa_distance(s1, s2) == expected, (s1, s2)
        assert d.osa_distance(s2, s1) == expected, (s1, s2)


WIDE = [chr(0x4E00 + i) for i in range(300)] + ["\U0001f44d", "\U0001f600"]


@pytest.mark.parametrize("len2", [1, 2, 127, 128, 129, 300])
def test_more_than_256_symbols_take_the_table(len2):
    # Over 256 distinct symbols in the pair rule out byte masks; rows of 128 counters are inline.
    rng = random.Random(len2)
    s1 = "".join(rng.sample(WIDE, 270)) + "".join(rng.choice("ab") for _ in range(30))
    s2 = mutate(rng, s1, "ab" + s1[:5], 40)[:len2]
    expected = ref_osa(s1, s2)
    assert d.osa_distance(s1, s2) == expected
    assert d.osa_distance(s2, s1) == expected


@pytest.mark.parametrize("extra", [0, 1, 2])
def test_256_distinct_symbols_and_one_more(extra):
    # 256 distinct symbols still fit byte codes; a 257th must not alias an earlier one.
    rng = random.Random(extra)
    base = rng.sample(WIDE[:290], 256)
    s1 = "".join(base) + base[0] + base[1]
    shuffled = rng.sample(base, 256)
    new = "".join(WIDE[290 : 290 + extra])
    for s2 in (mutate(rng, "".join(base), base, 30) + new, "".join(shuffled) + new):
        expected = ref_osa(s1, s2)
        assert d.osa_distance(s1, s2) == expected
        assert d.osa_distance(s2, s1) == expected


def test_mixed_alphabets_match_reference():
    rng = random.Random(5)
    for _ in range(40):
        s1 = "".join(rng.choice("abé") for _ in range(rng.randrange(0, 12)))
        s2 = "".join(rng.choice("ab€") for _ in range(rng.randrange(0, 12)))
        assert d.osa_distance(s1, s2) == ref_osa(s1, s2) == d.osa_distance(s2, s1)


@pytest.mark.parametrize("m", [1, 63, 64, 65, 127, 128, 129, 200, 450, 700])
def test_all_alphabets_agree(m):
    # The same structure written in each alphabet takes each path and must score the same.
    base = "abc"
    for s1, s2 in pairs_for(m * 3, m, base):
        results = set()
        for letters in ALPHABETS.values():
            table = str.maketrans(base, letters)
            results.add(d.osa_distance(s1.translate(table), s2.translate(table)))
        assert len(results) == 1, (m, results)


WORKED = [
    # s1, s2, distance, similarity, normalized distance
    ("ab", "ba", 1, 1, 0.5),
    ("ca", "abc", 3, 0, 1.0),
    ("", "", 0, 0, 0.0),
    ("", "abc", 3, 0, 1.0),
    ("abc", "", 3, 0, 1.0),
    ("a" * 64, "b" * 64, 64, 0, 1.0),
    ("a" * 128, "b" * 128, 128, 0, 1.0),
    ("a" * 129, "b" * 129, 129, 0, 1.0),
    ("abcdef", "badcfe", 3, 3, 0.5),
    ("éa", "aé", 1, 1, 0.5),
    ("€€", "", 2, 0, 1.0),
    ("\U0001f44d", "\U0001f44d\U0001f44d", 1, 1, 0.5),
    ("   ", " ", 2, 1, 2 / 3),
    ("a\0b", "ab\0", 1, 2, 1 / 3),
    # U+0100 and up must not be cut to a byte: they differ from U+0000 and up.
    ("Ā\0", "\0Ā", 1, 1, 0.5),
    ("ĀāĂ", "\0\1\2", 3, 0, 1.0),
    ("ÿĀ", "Āÿ", 1, 1, 0.5),
]


@pytest.mark.parametrize("s1, s2, dist, sim, norm", WORKED)
def test_worked_values(s1, s2, dist, sim, norm):
    assert d.osa_distance(s1, s2) == dist
    assert d.osa_similarity(s1, s2) == sim
    assert d.osa_normalized_distance(s1, s2) == norm
    assert d.osa_normalized_similarity(s1, s2) == 1.0 - norm
    assert d.osa_distance(s2, s1) == dist


def test_empty_and_equal_texts_under_cutoffs():
    assert d.osa_normalized_distance("", "", score_cutoff=-1.0) == 0.0
    assert d.osa_normalized_similarity("", "", score_cutoff=1.0) == 1.0
    # Equal non-empty texts give 0.0, and then the cutoff rule still applies.
    assert d.osa_normalized_distance("abc", "abc", score_cutoff=-1.0) == 1.0
    assert d.osa_distance("", "", score_cutoff=0) == 0
    assert d.osa_similarity("", "", score_cutoff=1) == 0


@pytest.mark.parametrize("alphabet", ["ascii", "latin1", "bmp"])
def test_cutoffs_around_the_value(alphabet):
    rng = random.Random(11)
    letters = ALPHABETS[alphabet]
    for _ in range(25):
        s1 = "".join(rng.choice(letters) for _ in range(rng.randrange(0, 80)))
        s2 = mutate(rng, s1, letters, rng.randrange(0, 10))
        dist = ref_osa(s1, s2)
        longest = max(len(s1), len(s2))
        sim = longest - dist
        norm = dist / longest if longest else 0.0
        for k in (dist - 1, dist, dist + 1):
            if k >= 0:
                assert d.osa_distance(s1, s2, score_cutoff=k) == (dist if dist <= k else k + 1)
        for k in (sim - 1, sim, sim + 1):
            if k >= 0:
                assert d.osa_similarity(s1, s2, score_cutoff=k) == (sim if sim >= k else 0)
        for c in (norm - 0.01, norm, norm + 0.01):
            got = d.osa_normalized_distance(s1, s2, score_cutoff=c)
            assert got == (norm if norm <= c or longest == 0 else 1.0)
            nsim = 1.0 - norm
            got = d.osa_normalized_similarity(s1, s2, score_cutoff=1.0 - c)
            assert got == (nsim if nsim >= 1.0 - c else 0.0)


def test_zero_cutoff_gives_one_for_different_texts():
    for s1, s2 in [("a", "b"), ("abc", "abcd"), ("é", "e"), ("", "x"), ("a" * 100, "a" * 300)]:
        assert d.osa_distance(s1, s2, score_cutoff=0) == 1


@pytest.mark.parametrize("cutoff", [None, 0, 3, 40])
def test_batch_matches_scalar(cutoff):
    rng = random.Random(3)
    pairs = []
    for _ in range(150):
        letters = rng.choice(list(ALPHABETS.values()))
        s1 = "".join(rng.choice(letters) for _ in range(rng.randrange(0, 300)))
        pairs.append((s1, mutate(rng, s1, letters, rng.randrange(0, 60))))
    got = d.osa_distance_batch(pairs, score_cutoff=cutoff)
    assert got == [d.osa_distance(a, b, score_cutoff=cutoff) for a, b in pairs]
    fc = None if cutoff is None else cutoff / 100
    got = d.osa_normalized_similarity_batch(pairs, score_cutoff=fc)
    assert got == [d.osa_normalized_similarity(a, b, score_cutoff=fc) for a, b in pairs]
