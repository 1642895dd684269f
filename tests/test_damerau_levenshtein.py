"""Unrestricted Damerau-Levenshtein: both kernel paths against the Lowrance-Wagner table."""

import random

import pytest

from quorvalex import distance as d


def ref_dl(a, b):
    """Textbook Lowrance-Wagner table with unit costs (unrestricted transpositions)."""
    n, m = len(a), len(b)
    inf = n + m
    last_row = {}
    t = [[inf] * (m + 2)] + [[inf] + [0] * (m + 1) for _ in range(n + 1)]
    for i in range(n + 1):
        t[i + 1][1] = i
    for j in range(m + 1):
        t[1][j + 1] = j
    for i in range(1, n + 1):
        last_col = 0
        ai = a[i - 1]
        row, up = t[i + 1], t[i]
        for j in range(1, m + 1):
            k = last_row.get(b[j - 1], 0)
            l = last_col
            if ai == b[j - 1]:
                cost = 0
                last_col = j
            else:
                cost = 1
            row[j + 1] = min(
                up[j] + cost,
                row[j] + 1,
                up[j + 1] + 1,
                t[k][l] + (i - k - 1) + 1 + (j - l - 1),
            )
        last_row[ai] = i
    return t[n + 1][m + 1]


def ref_osa(a, b):
    """Restricted variant, only to show where the two measures part."""
    n, m = len(a), len(b)
    t = [[i + j if i == 0 or j == 0 else 0 for j in range(m + 1)] for i in range(n + 1)]
    for i in range(1, n + 1):
        for j in range(1, m + 1):
            v = min(t[i - 1][j] + 1, t[i][j - 1] + 1, t[i - 1][j - 1] + (a[i - 1] != b[j - 1]))
            if i > 1 and j > 1 and a[i - 1] == b[j - 2] and a[i - 2] == b[j - 1]:
                v = min(v, t[i - 2][j - 2] + 1)
            t[i][j] = v
    return t[n][m]


ALPHABETS = {
    "ascii": "abc",
    "latin1": "aéÿ",
    "bmp": "a€Ā",
    "astral": "a\U0001f44d\U0001f600",
}


def mutate(rng, s, letters, edits):
    """`s` with random substitutions, insertions, deletions and swaps of near neighbours."""
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
            if pos + 2 < len(s) and rng.random() < 0.5:
                s.insert(pos + 1, rng.choice(letters))  # an insertion inside the swapped pair
    return "".join(s)


def pairs_for(seed, m, letters):
    rng = random.Random(seed)
    p = "".join(rng.choice(letters) for _ in range(m))
    return [
        (p, "".join(rng.choice(letters) for _ in range(m + rng.randrange(3)))),
        (p, mutate(rng, p, letters, 1 + m // 8)),
    ]


@pytest.mark.parametrize("alphabet", ["ascii", "bmp", "astral"])
@pytest.mark.parametrize("m", [1, 2, 5, 63, 64, 65, 126, 127, 128, 129, 200])
@pytest.mark.parametrize("size", [2, 3])
def test_matches_reference(alphabet, m, size):
    letters = ALPHABETS[alphabet][:size]
    for s1, s2 in pairs_for(m * 10 + size, m, letters):
        expected = ref_dl(s1, s2)
        assert d.damerau_levenshtein_distance(s1, s2) == expected, (s1, s2)
        assert d.damerau_levenshtein_distance(s2, s1) == expected, (s1, s2)


@pytest.mark.parametrize("alphabet", ["ascii", "bmp"])
def test_long_texts_match_reference(alphabet):
    rng = random.Random(450)
    letters = ALPHABETS[alphabet][:2]
    p = "".join(rng.choice(letters) for _ in range(450))
    t = mutate(rng, p, letters, 40)
    assert d.damerau_levenshtein_distance(p, t) == ref_dl(p, t)


def test_many_distinct_symbols_grow_the_last_row_map():
    # More than 112 distinct code points in s1, with scrambled copies in s2.
    rng = random.Random(9)
    symbols = [chr(0x400 + i) for i in range(300)]
    for n in (111, 112, 113, 300):
        s1 = "".join(rng.sample(symbols, n)) + "".join(rng.choices(symbols[:5], k=20))
        s2 = mutate(rng, s1, symbols, 30)
        assert d.damerau_levenshtein_distance(s1, s2) == ref_dl(s1, s2)


@pytest.mark.parametrize("first, second", [(105, 115), (100, 112), (220, 230)])
def test_transposition_across_map_growth(first, second):
    # The swapped pair spans the rows where the map doubles (after 112 and 224 entries), with
    # the symbols between them deleted: the older row number must have survived the growth.
    symbols = [chr(0x400 + i) for i in range(260)]
    s2 = symbols[:first] + [symbols[second], symbols[first]] + symbols[second + 1 :]
    s1, s2 = "".join(symbols), "".join(s2)
    expected = second - first
    assert ref_dl(s1, s2) == expected
    assert d.damerau_levenshtein_distance(s1, s2) == expected
    assert d.damerau_levenshtein_distance(s2, s1) == expected


def test_mixed_alphabets():
    rng = random.Random(5)
    for _ in range(60):
        s1 = "".join(rng.choice("abé") for _ in range(rng.randrange(0, 12)))
        s2 = "".join(rng.choice("ab€\U0001f44d") for _ in range(rng.randrange(0, 12)))
        assert d.damerau_levenshtein_distance(s1, s2) == ref_dl(s1, s2)


def test_differs_from_optimal_string_alignment_where_expected():
    rng = random.Random(2)
    seen_gap = False
    for _ in range(300):
        s1 = "".join(rng.choice("abc") for _ in range(rng.randrange(1, 7)))
        s2 = "".join(rng.choice("abc") for _ in range(rng.randrange(1, 7)))
        dl, osa = d.damerau_levenshtein_distance(s1, s2), ref_osa(s1, s2)
        assert dl == ref_dl(s1, s2)
        assert dl <= osa
        seen_gap |= dl < osa
    assert seen_gap


WORKED = [
    # s1, s2, distance, similarity, normalized distance
    ("ab", "ba", 1, 1, 0.5),
    ("ca", "abc", 2, 1, 2 / 3),
    ("CA", "ABC", 2, 1, 2 / 3),
    ("", "", 0, 0, 0.0),
    ("abc", "", 3, 0, 1.0),
    ("", "abc", 3, 0, 1.0),
    ("éé", "", 2, 0, 1.0),
    ("a" * 64, "b" * 64, 64, 0, 1.0),
    ("a" * 128, "b" * 128, 128, 0, 1.0),
    ("abcdef", "badcfe", 3, 3, 0.5),
    ("\U0001f44da", "a\U0001f44d", 1, 1, 0.5),
    ("  ", "   ", 1, 2, 1 / 3),
    ("a\0b", "b\0a", 2, 1, 2 / 3),
    ("Ā\0", "\0Ā", 1, 1, 0.5),
    ("ĀāĂ", "\0\1\2", 3, 0, 1.0),
]


@pytest.mark.parametrize("s1, s2, dist, sim, norm", WORKED)
def test_worked_values(s1, s2, dist, sim, norm):
    assert d.damerau_levenshtein_distance(s1, s2) == dist
    assert d.damerau_levenshtein_distance(s2, s1) == dist
    assert d.damerau_levenshtein_similarity(s1, s2) == sim
    assert d.damerau_levenshtein_normalized_distance(s1, s2) == norm
    assert d.damerau_levenshtein_normalized_similarity(s1, s2) == 1.0 - norm


def test_worked_cutoffs():
    assert d.damerau_levenshtein_distance("abcdef", "badcfe", score_cutoff=1) == 2
    assert d.damerau_levenshtein_normalized_distance("", "", score_cutoff=-1.0) == 0.0
    assert d.damerau_levenshtein_normalized_similarity("", "", score_cutoff=1.0) == 1.0
    assert d.damerau_levenshtein_normalized_distance("ab", "ab", score_cutoff=-1.0) == 1.0
    assert d.damerau_levenshtein_distance("", "", score_cutoff=0) == 0
    assert d.damerau_levenshtein_distance("a", "b", score_cutoff=0) == 1


@pytest.mark.parametrize("alphabet", ["ascii", "latin1", "astral"])
def test_cutoffs_around_the_value(alphabet):
    rng = random.Random(17)
    letters = ALPHABETS[alphabet]
    for _ in range(25):
        s1 = "".join(rng.choice(letters) for _ in range(rng.randrange(0, 60)))
        s2 = mutate(rng, s1, letters, rng.randrange(0, 10))
        dist = ref_dl(s1, s2)
        longest = max(len(s1), len(s2))
        sim = longest - dist
        norm = dist / longest if longest else 0.0
        for k in (dist - 1, dist, dist + 1):
            if k >= 0:
                got = d.damerau_levenshtein_distance(s1, s2, score_cutoff=k)
                assert got == (dist if dist <= k else k + 1)
        for k in (sim - 1, sim, sim + 1):
            if k >= 0:
                got = d.damerau_levenshtein_similarity(s1, s2, score_cutoff=k)
                assert got == (sim if sim >= k else 0)
        for c in (norm - 0.01, norm, norm + 0.01):
            got = d.damerau_levenshtein_normalized_distance(s1, s2, score_cutoff=c)
            assert got == (norm if norm <= c or longest == 0 else 1.0)
            nsim = 1.0 - norm
            got = d.damerau_levenshtein_normalized_similarity(s1, s2, score_cutoff=1.0 - c)
            assert got == (nsim if nsim >= 1.0 - c else 0.0)


def test_rows_survive_a_very_long_call():
    # A second text far beyond what a thread keeps; later calls must still be right.
    n = 30000
    assert d.damerau_levenshtein_distance("ba", "ab" + "c" * n) == n + 1
    assert d.damerau_levenshtein_distance("ca", "abc") == 2
    assert d.damerau_levenshtein_distance("ba", "ab" + "c" * 200) == 201


@pytest.mark.parametrize("cutoff", [None, 0, 3, 40])
def test_batch_matches_scalar(cutoff):
    rng = random.Random(3)
    pairs = []
    for _ in range(150):
        letters = rng.choice(list(ALPHABETS.values()))
        s1 = "".join(rng.choice(letters) for _ in range(rng.randrange(0, 250)))
        pairs.append((s1, mutate(rng, s1, letters, rng.randrange(0, 60))))
    fn = d.damerau_levenshtein_distance
    got = d.damerau_levenshtein_distance_batch(pairs, score_cutoff=cutoff)
    assert got == [fn(a, b, score_cutoff=cutoff) for a, b in pairs]
    fc = None if cutoff is None else cutoff / 100
    fn = d.damerau_levenshtein_normalized_similarity
    got = d.damerau_levenshtein_normalized_similarity_batch(pairs, score_cutoff=fc)
    assert got == [fn(a, b, score_cutoff=fc) for a, b in pairs]
