"""Smith-Waterman (best local cell) and Needleman-Wunsch against a row-by-row reference."""

import math
import os
import random
import subprocess
import sys

import pytest

import quorvalex as q

NEG_MAX, NAN, INF = -1.7976931348623157e308, float("nan"), float("inf")
SW, SWN = q.smith_waterman_score, q.smith_waterman_normalized_similarity
NW, NWN = q.needleman_wunsch_score, q.needleman_wunsch_normalized_similarity


def max_num(x, y):
    """maxNum: a NaN operand gives way to the other; equal operands keep the second."""
    return x if (x > y or y != y) else y


def ref_score(s1, s2, local, m=1.0, mm=0.0, g=1.0):
    if not s1 or not s2:
        return 0.0 if local else -(len(s2 or s1) * g)
    prev, best = [0.0 if local else -(j * g) for j in range(len(s2) + 1)], 0.0
    for i, x in enumerate(s1, 1):
        row = [0.0 if local else g * -float(i)]
        for j, y in enumerate(s2, 1):
            v = max_num(max_num(prev[j - 1] + (m if x == y else mm), prev[j] - g), row[j - 1] - g)
            row.append(max_num(v, 0.0) if local else v)
            best = max(best, row[-1])
        prev = row
    return best if local else prev[-1]


def ref_normalized(s1, s2, local, m=1.0, mm=0.0, g=1.0):
    longer, shorter = max(len(s1), len(s2)), min(len(s1), len(s2))
    if longer == 0 or (local and shorter == 0):
        return 1.0 if longer == 0 else 0.0
    score = ref_score(s1, s2, local, m, mm, g)
    if local:
        v = score / (m * shorter) if m * shorter > 0.0 else 0.0
    else:
        v = 1.0 if m * longer == 0.0 else (g * longer + score) / (m * longer + m * longer)
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def kw(params):
    return dict(zip(("match_score", "mismatch_score", "gap_cost"), params))


def check_against_reference(s1, s2, p):
    got = [f(s1, s2, **kw(p)).hex() for f in (SW, NW, SWN, NWN)]  # NaN and signed zeros too
    want = [ref(s1, s2, local, *p).hex() for ref in (ref_score, ref_normalized) for local in (1, 0)]
    assert got == want, (s1, s2, p)


@pytest.mark.parametrize(
    "s1, s2, params, local, local_n, glob, glob_n",
    [
        ("abc", "abc", (), 3.0, 1.0, 3.0, 1.0),
        # the best local alignment is the largest cell, wherever it lies
        ("abcxyz", "abc", (), 3.0, 1.0, 0.0, 0.5),
        ("xyzabc", "abc", (), 3.0, 1.0, 0.0, 0.5),
        ("abc", "xyz", (), 0.0, 0.0, 0.0, 0.5),
        ("abc", "", (), 0.0, 0.0, -3.0, 0.0),
        ("kitten", "sitting", (), 4.0, 0.6666666666666666, 3.0, 0.7142857142857143),
        ("abc", "abd", (2.0, -1.0, 0.5), 4.0, 0.6666666666666666, 3.0, 0.375),
        ("abc", "abc", (0.5,), 1.5, 1.0, 1.5, 1.0),
        ("é€👍", "x€👍", (), 2.0, 0.6666666666666666, 2.0, 0.8333333333333334),
    ],
)
def test_worked_values_and_cutoffs(s1, s2, params, local, local_n, glob, glob_n):
    assert (ref_score(s1, s2, True, *params), ref_score(s1, s2, False, *params)) == (local, glob)
    below = {SW: 0.0, SWN: 0.0, NW: NEG_MAX, NWN: 0.0}  # a score under the cutoff becomes this
    for f, value in zip(below, (local, local_n, glob, glob_n)):
        assert f(s1, s2, **kw(params)) == f(s1, s2, **kw(params), score_cutoff=value) == value
        assert f(s1, s2, **kw(params), score_cutoff=math.nextafter(value, INF)) == below[f]


def test_empty_texts_and_nan():
    assert SW("", "") == 0.0 and NW("", "").hex() == (-0.0).hex()
    assert SWN("", "", score_cutoff=2.0) == NWN("", "", score_cutoff=2.0) == 1.0
    assert [f("kitten", "sitting", score_cutoff=NAN) for f in (SW, NW)] == [4.0, 3.0]
    assert SW("xabcx", "yabcy", gap_cost=NAN) == 3.0  # NaN gap moves give way: only diagonal runs
    assert NW("ab", "ab", gap_cost=NAN) != NW("ab", "ab", gap_cost=NAN)  # NaN borders


# NaN operands of the maxima, infinities, overflow inside the matrix, zeros of both signs
EXTREME = [NAN, INF, -INF, 1e308, -1e308, -0.0]
POOLS = ([1.0, 2.0, 0.5, -1.0, 0.0], [0.0, -1.0, 0.5, -0.25], [1.0, 0.5, 0.0, -0.5, 2.0])
LENGTHS = [(127, 3), (128, 128), (129, 60), (1, 200), (200, 131), (63, 65), (3, 129)]


def test_random_texts_against_reference():
    # short texts, and lengths around the 128 inline cells of the diagonals
    rng = random.Random(610)
    for k in range(450):
        alphabet = ["ab", "abc", "aé", "€Ā", "a👍", "acgt"][k % 6]
        n1, n2 = LENGTHS[k % 7] if k >= 420 else (rng.randint(0, 12), rng.randint(0, 12))
        s1, s2 = ("".join(rng.choices(alphabet, k=n)) for n in (n1, n2))
        odd = [rng.uniform(-3, 3)] if rng.random() < 0.8 else EXTREME
        p = tuple(rng.choice(pool + odd) for pool in POOLS) if k % 3 else (1.0, 0.0, 1.0)
        check_against_reference(s1, s2, p)
        if all(abs(x) < 1e300 for x in p):  # both recurrences are symmetric without NaN
            assert [f(s2, s1, **kw(p)) for f in (SW, NW)] == [f(s1, s2, **kw(p)) for f in (SW, NW)]


LONG_PAIR = """
import random, resource, sys, quorvalex as q
rng = random.Random(7)
a, b = ("".join(rng.choices("acgt", k=int(n))) for n in (50_000, sys.argv[1]))
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(q.smith_waterman_score(a, b), q.needleman_wunsch_score(a, b),
      resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)
"""


@pytest.mark.parametrize("n2", [1_500, pytest.param(50_000, marks=pytest.mark.slow)])
def test_long_pair_memory_is_linear(n2):
    # the full matrix would take 50001 * (n2 + 1) * 8 bytes: 600 MB and more
    out = subprocess.run([sys.executable, "-P", "-c", LONG_PAIR, str(n2)], capture_output=True)
    local, glob, grown_kib = out.stdout.split()
    assert int(grown_kib) < 20_000 and 0.0 < float(local) <= n2 and -48_500 <= float(glob) <= n2


# Integer parameters run in 16- or 32-bit lanes (or stay with doubles when too large), a vector
# of lanes at a time: lengths around the vector sizes, the three code-unit widths, zero signs.
LANE_LENGTHS = [1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 64, 65, 129, 257, 300]
LANE_SCALES = [1, 1, 7, 200, 3000, 2**20, 2**30, 2**31]  # the last ones: 32-bit lanes, doubles
ZERO_SIGNS = [(1, 0, 0), (0, 0, 0), (0, -0.0, 1), (-0.0, 0, 1), (1, -1, -1), (2, 0, -0.0)]


def lane_cases():
    rng = random.Random(4)
    cases = []
    for k in range(36):
        alphabet = ["acgt", "ab", "aé", "€Ā", "a👍"][k % 5]  # widths 1, 1, 1, 2, 4
        n1 = LANE_LENGTHS[k % len(LANE_LENGTHS)]
        n2 = rng.choice([n for n in LANE_LENGTHS if n * n1 <= 40_000])
        s1, s2 = ("".join(rng.choices(alphabet, k=n)) for n in (n1, n2))
        scale = LANE_SCALES[k % len(LANE_SCALES)]
        p = ZERO_SIGNS[k // 6] if k % 6 == 5 else tuple(rng.randint(-3, 3) * scale for _ in "mxg")
        cases.append((s1, s2, tuple(float(x) for x in p)))
    return cases


def hex_params(p):
    return tuple(x.hex() for x in p)  # -0.0 and 0.0 differ


def lane_results(cases):
    """Each case's scores (as hex, zero signs too), and the batch forms' per set of parameters."""
    scalar = [f(a, b, **kw(p)).hex() for a, b, p in cases for f in (SW, NW)]
    groups = {hex_params(p): p for _, _, p in cases}
    batch = []
    for key, p in groups.items():
        pairs = [(a, b) for a, b, c in cases if hex_params(c) == key]
        for local, g in ((1, q.smith_waterman_score_batch), (0, q.needleman_wunsch_score_batch)):
            batch.append((local, p, pairs, [v.hex() for v in g(pairs, **kw(p))]))
    return scalar, batch


def test_integer_lanes_against_reference():
    cases = lane_cases()
    want = [ref_score(a, b, local, *p).hex() for a, b, p in cases for local in (1, 0)]
    scalar, batch = lane_results(cases)
    assert scalar == want
    for local, p, pairs, values in batch:
        assert values == [ref_score(a, b, local, *p).hex() for a, b in pairs], p


LANE_CHECK = """
import sys
sys.path[:0] = [{tests!r}]
import test_alignment as t
print(t.lane_results(t.lane_cases())[0])
"""


@pytest.mark.parametrize("isa", ["scalar", "sse4.2"])
def test_integer_lanes_every_instruction_set(isa):
    env = dict(os.environ, QUORVALEX_SIMD=isa)
    code = LANE_CHECK.format(tests=os.path.dirname(__file__))
    out = subprocess.run([sys.executable, "-P", "-c", code], capture_output=True, text=True,
                         env=env, check=True)  # fmt: skip
    assert out.stdout.strip() == repr(lane_results(lane_cases())[0])
