"""Smith-Waterman (best local cell) and Needleman-Wunsch against full-matrix references."""

import random
import struct
import subprocess
import sys

import pytest

import quorvalex as q

NEG_MAX = -1.7976931348623157e308
NAN = float("nan")
INF = float("inf")


def max_num(x, y):
    """maxNum: a NaN operand gives way to the other; equal operands keep the second."""
    return x if (x > y or y != y) else y


def ref_local(s1, s2, m=1.0, mm=0.0, g=1.0):
    if not s1 or not s2:
        return 0.0
    h = [[0.0] * (len(s2) + 1) for _ in range(len(s1) + 1)]
    best = 0.0
    for i in range(1, len(s1) + 1):
        for j in range(1, len(s2) + 1):
            s = m if s1[i - 1] == s2[j - 1] else mm
            v = max_num(max_num(max_num(h[i - 1][j - 1] + s, h[i - 1][j] - g), h[i][j - 1] - g), 0.0)
            h[i][j] = v
            best = v if v > best else best
    return best


def ref_global(s1, s2, m=1.0, mm=0.0, g=1.0):
    if not s1:
        return -(len(s2) * g)
    if not s2:
        return -(len(s1) * g)
    d = [[0.0] * (len(s2) + 1) for _ in range(len(s1) + 1)]
    for i in range(len(s1) + 1):
        d[i][0] = g * -float(i)
    for j in range(len(s2) + 1):
        d[0][j] = -(j * g)
    for i in range(1, len(s1) + 1):
        for j in range(1, len(s2) + 1):
            s = m if s1[i - 1] == s2[j - 1] else mm
            d[i][j] = max_num(max_num(d[i - 1][j - 1] + s, d[i - 1][j] - g), d[i][j - 1] - g)
    return d[len(s1)][len(s2)]


def clamp(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def ref_local_normalized(s1, s2, m=1.0, mm=0.0, g=1.0):
    if not s1:
        return 1.0 if not s2 else 0.0
    if not s2:
        return 0.0
    den = m * min(len(s1), len(s2))
    return clamp(ref_local(s1, s2, m, mm, g) / den if den > 0.0 else 0.0)


def ref_global_normalized(s1, s2, m=1.0, mm=0.0, g=1.0):
    longer = max(len(s1), len(s2))
    if longer == 0:
        return 1.0
    score = ref_global(s1, s2, m, mm, g)
    maximum = m * longer
    return clamp(1.0 if maximum == 0.0 else (g * longer + score) / (maximum + maximum))


def bits(x):
    return struct.pack("<d", x) if x == x else b"nan"


SW, SWN = q.smith_waterman_score, q.smith_waterman_normalized_similarity
NW, NWN = q.needleman_wunsch_score, q.needleman_wunsch_normalized_similarity


@pytest.mark.parametrize(
    "s1, s2, params, local, local_n, glob, glob_n",
    [
        ("abc", "abc", {}, 3.0, 1.0, 3.0, 1.0),
        # the best local alignment is the largest cell, wherever it lies
        ("abcxyz", "abc", {}, 3.0, 1.0, 0.0, 0.5),
        ("xyzabc", "abc", {}, 3.0, 1.0, 0.0, 0.5),
        ("abc", "xyz", {}, 0.0, 0.0, 0.0, 0.5),
        ("abc", "", {}, 0.0, 0.0, -3.0, 0.0),
        ("", "abc", {}, 0.0, 0.0, -3.0, 0.0),
        ("kitten", "sitting", {}, 4.0, 0.6666666666666666, 3.0, 0.7142857142857143),
        (
            "abc",
            "abd",
            {"match_score": 2.0, "mismatch_score": -1.0, "gap_cost": 0.5},
            4.0,
            0.6666666666666666,
            3.0,
            0.375,
        ),
        ("abc", "abc", {"match_score": 0.5}, 1.5, 1.0, 1.5, 1.0),
        ("é€👍", "x€👍", {}, 2.0, 0.6666666666666666, 2.0, 0.8333333333333334),
    ],
)
def test_worked_values(s1, s2, params, local, local_n, glob, glob_n):
    assert SW(s1, s2, **params) == local
    assert SWN(s1, s2, **params) == local_n
    assert NW(s1, s2, **params) == glob
    assert NWN(s1, s2, **params) == glob_n
    assert ref_local(s1, s2, *params_tuple(params)) == local
    assert ref_global(s1, s2, *params_tuple(params)) == glob


def params_tuple(p):
    return p.get("match_score", 1.0), p.get("mismatch_score", 0.0), p.get("gap_cost", 1.0)


def test_empty_texts():
    assert SW("", "") == 0.0
    assert bits(NW("", "")) == bits(-0.0)
    assert SWN("", "", score_cutoff=2.0) == 1.0
    assert NWN("", "", score_cutoff=2.0) == 1.0
    assert SW("", "", score_cutoff=1.0) == 0.0
    assert NW("", "abc", score_cutoff=-3.0) == -3.0
    assert NW("", "abc", score_cutoff=-2.5) == NEG_MAX


def test_score_cutoffs():
    assert SW("kitten", "sitting", score_cutoff=4.0) == 4.0
    assert SW("kitten", "sitting", score_cutoff=4.5) == 0.0
    assert NW("kitten", "sitting", score_cutoff=3.0) == 3.0
    assert NW("kitten", "sitting", score_cutoff=3.5) == NEG_MAX
    assert NW("kitten", "sitting", score_cutoff=NAN) == 3.0
    assert SWN("kitten", "sitting", score_cutoff=0.67) == 0.0
    assert NWN("kitten", "sitting", score_cutoff=0.7142857142857143) == 0.7142857142857143
    assert NWN("kitten", "sitting", score_cutoff=0.72) == 0.0


@pytest.mark.parametrize(
    "params",
    [
        (NAN, 0.0, 1.0),
        (1.0, NAN, 1.0),
        (1.0, 0.0, NAN),
        (INF, 0.0, 1.0),
        (1.0, -INF, 1.0),
        (1.0, 0.0, INF),
        (1.0, 0.0, -INF),
        (INF, -INF, INF),
        (1e308, -1e308, 1e308),  # overflow inside the matrix
        (1.0, -0.0, 0.0),  # zeros of both signs meet in the maxima
        (-0.0, 0.0, -0.0),
    ],
)
def test_non_finite_parameters_against_reference(params):
    rng = random.Random(61)
    for _ in range(25):
        s1 = "".join(rng.choice("ab€") for _ in range(rng.randint(0, 9)))
        s2 = "".join(rng.choice("ab€") for _ in range(rng.randint(0, 9)))
        kw = dict(zip(("match_score", "mismatch_score", "gap_cost"), params))
        assert bits(SW(s1, s2, **kw)) == bits(ref_local(s1, s2, *params)), (s1, s2)
        assert bits(NW(s1, s2, **kw)) == bits(ref_global(s1, s2, *params)), (s1, s2)
        assert bits(SWN(s1, s2, **kw)) == bits(ref_local_normalized(s1, s2, *params))
        assert bits(NWN(s1, s2, **kw)) == bits(ref_global_normalized(s1, s2, *params))


def test_nan_gap_is_passed_over_locally():
    # every gap move is NaN: only diagonal runs count
    assert SW("xabcx", "yabcy", gap_cost=NAN) == 3.0
    assert NW("ab", "ab", gap_cost=NAN) != NW("ab", "ab", gap_cost=NAN)  # borders are NaN


ALPHABETS = ["ab", "abc", "aé", "€Ā", "a👍", "acgt"]


def random_params(rng):
    return (
        rng.choice([1.0, 2.0, 0.5, -1.0, 0.0, rng.uniform(-3, 3)]),
        rng.choice([0.0, -1.0, 0.5, -0.25, rng.uniform(-3, 3)]),
        rng.choice([1.0, 0.5, 0.0, -0.5, 2.0, rng.uniform(-2, 2)]),
    )


def test_random_texts_against_reference():
    rng = random.Random(610)
    for k in range(250):
        alphabet = ALPHABETS[k % len(ALPHABETS)]
        s1 = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 14)))
        s2 = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 14)))
        p = random_params(rng) if k % 3 else (1.0, 0.0, 1.0)
        kw = dict(zip(("match_score", "mismatch_score", "gap_cost"), p))
        assert bits(SW(s1, s2, **kw)) == bits(ref_local(s1, s2, *p)), (s1, s2, p)
        assert bits(NW(s1, s2, **kw)) == bits(ref_global(s1, s2, *p)), (s1, s2, p)
        assert bits(SWN(s1, s2, **kw)) == bits(ref_local_normalized(s1, s2, *p))
        assert bits(NWN(s1, s2, **kw)) == bits(ref_global_normalized(s1, s2, *p))


@pytest.mark.parametrize("n1, n2", [(127, 3), (128, 128), (129, 60), (1, 200), (200, 131)])
def test_lengths_around_inline_storage(n1, n2):
    rng = random.Random(n1 * 1000 + n2)
    for alphabet in ("ab", "a€"):
        s1 = "".join(rng.choice(alphabet) for _ in range(n1))
        s2 = "".join(rng.choice(alphabet) for _ in range(n2))
        for p in [(1.0, 0.0, 1.0), (2.0, -1.0, 0.5)]:
            kw = dict(zip(("match_score", "mismatch_score", "gap_cost"), p))
            assert SW(s1, s2, **kw) == ref_local(s1, s2, *p)
            assert NW(s1, s2, **kw) == ref_global(s1, s2, *p)
            assert SW(s2, s1, **kw) == SW(s1, s2, **kw)  # both recurrences are symmetric
            assert NW(s2, s1, **kw) == NW(s1, s2, **kw)


def test_batch_equals_scalar():
    rng = random.Random(62)
    pairs = [
        (
            "".join(rng.choice("abé") for _ in range(rng.randint(0, 30))),
            "".join(rng.choice("abé") for _ in range(rng.randint(0, 30))),
        )
        for _ in range(120)
    ]
    for kw in [{}, {"match_score": 2.0, "mismatch_score": -1.0, "gap_cost": 0.5, "score_cutoff": 3.0}]:
        assert q.smith_waterman_score_batch(pairs, **kw) == [SW(a, b, **kw) for a, b in pairs]
        assert q.needleman_wunsch_score_batch(pairs, **kw) == [NW(a, b, **kw) for a, b in pairs]


LONG_PAIR = """
import random, resource, sys
import quorvalex as q
n1, n2 = int(sys.argv[1]), int(sys.argv[2])
rng = random.Random(7)
a = "".join(rng.choice("acgt") for _ in range(n1))
b = "".join(rng.choice("acgt") for _ in range(n2))
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
local = q.smith_waterman_score(a, b)
glob = q.needleman_wunsch_score(a, b)
grown_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
print(local, glob, grown_kib)
"""


def run_long_pair(n1, n2):
    out = subprocess.run(
        [sys.executable, "-P", "-c", LONG_PAIR, str(n1), str(n2)],
        capture_output=True, text=True, check=True, timeout=600,
    )  # fmt: skip
    local, glob, grown_kib = out.stdout.split()
    return float(local), float(glob), int(grown_kib)


def test_long_pair_memory_is_linear():
    # the full matrix would take 50001 * 1501 * 8 bytes = 600 MB
    local, glob, grown_kib = run_long_pair(50_000, 1_500)
    assert grown_kib < 20_000
    assert 0.0 < local <= 1500.0 and -48_500.0 <= glob <= 1500.0


@pytest.mark.slow
def test_fifty_thousand_character_pair():
    local, glob, grown_kib = run_long_pair(50_000, 50_000)
    assert grown_kib < 20_000
    assert local > 0.0 and glob > 0.0
