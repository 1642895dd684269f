"""Word-multiset measures (Jaccard, Sørensen-Dice, Tversky, overlap), cosine, soft TF-IDF and
the alignment scores against the references, with options (memory limits: test_memory_errors.py,
interruption: test_interrupt.py, the integer lanes on each instruction set: test_process.py)."""

import math
import random

import pytest

import quorvalex as q
import reference as ref
from texts import word_pairs

SETS = ["jaccard", "sorensen_dice", "tversky", "overlap"]


def check(stem, pairs, **options):
    for form in ("similarity", "distance"):
        fn = getattr(q, f"{stem}_{form}")
        for s1, s2 in pairs:
            ref.check(fn, s1, s2, symmetric=stem != "tversky", **options)
        batch = getattr(q, f"{stem}_{form}_batch", None)
        assert batch is None or batch(pairs, **options) == [fn(*p, **options) for p in pairs]


@pytest.mark.parametrize("stem", SETS)
def test_sets_against_reference(stem):
    rng = random.Random(77)
    pairs = word_pairs(5100 + len(stem), 300)
    check(stem, pairs)
    if stem == "tversky":
        for k in range(0, 300, 10):
            w = {x: rng.choice([0.0, 0.5, 1.0, -0.5, 2.0, rng.uniform(-2, 2)]) for x in "ab"}
            check(stem, pairs[k:k + 10], alpha=w["a"], beta=w["b"])
        assert str(q.tversky_similarity("a b", "a c", alpha=float("nan"))) == "nan"


# Texts of bytes and of 16-bit units are split 64 units at a time: words across the block
# edges, every white space character and the code points next to them that are not white space.
BYTE_SPACES = "\t\n\x0b\x0c\r \x85\xa0"
BYTE_OTHERS = "ab\x00\x08\x0e\x1c\x1f!\x7f\x84\x86\x9f\xa1\xff"
WIDE_SPACES = BYTE_SPACES + "\u1680\u2000\u2005\u200a\u2028\u2029\u202f\u205f\u3000"
WIDE_OTHERS = BYTE_OTHERS + "\u0100\u167f\u1681\u1fff\u200b\u2027\u202a\u202e\u2030\u205e" \
                            "\u2060\u2fff\u3001\uffff\u0420"


@pytest.mark.parametrize("spaces, others", [(BYTE_SPACES, BYTE_OTHERS), (WIDE_SPACES, WIDE_OTHERS)])
def test_texts_at_block_edges(spaces, others):
    rng = random.Random(len(spaces))
    pairs = [tuple("".join(rng.choice(spaces if rng.random() < 0.3 else others)
                           for _ in range(length)) for _ in "xy")
             for length in [1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 191, 192, 193, 300]
             for _ in range(15)]
    for stem in ("jaccard", "overlap"):
        check(stem, pairs)


@pytest.mark.parametrize("n", range(1, 11))
def test_cosine_ngrams_against_reference(n):
    """Packed ASCII codes up to 8 symbols, token views past that, around the inline buffers."""
    rng = random.Random(520 + n)
    pairs = []
    for k in range(120):
        alphabet = ["ab", "ab\0", "abc", "aé", "a€Ā", "a👍", "x é👍"][k % 7]
        lengths = [62, 63, 64, 65, 66, 150] if k % 3 == 0 else range(13)
        pairs.append(tuple("".join(rng.choices(alphabet, k=rng.choice(lengths))) for _ in "xy"))
    check("cosine", pairs, use_words=False, ngram_size=n)


def test_cosine_words_against_reference():
    check("cosine", word_pairs(52, 300))


@pytest.mark.parametrize("form", [q.cosine_similarity, q.cosine_distance,
                                  lambda *pair, **kw: q.cosine_similarity_batch([pair], **kw)])
def test_ngram_size_zero_is_rejected_in_ngram_mode(form):
    for cutoff in (None, 0.5):
        with pytest.raises(ValueError, match="^ngram_size must be at least 1$"):
            form("ab", "ab", use_words=False, ngram_size=0, score_cutoff=cutoff)
    assert form("ab", "ab", use_words=True, ngram_size=0) == form("ab", "ab")  # ignored for words


@pytest.mark.parametrize("threshold", [0.8, 0.5, 0.0, 0.95])
def test_soft_tfidf_against_reference(threshold):
    """Equal up to the order of the sum (pairs whose ties leave the sum to that order skipped)."""
    checked = 0
    for s1, s2 in word_pairs(530, 150):
        want = ref.call("soft_tfidf_similarity", s1, s2, threshold=threshold)
        if want is None:
            continue
        checked += 1
        for c in (None, want - 1e-9, want + 1e-9, math.nan):
            for name in ("soft_tfidf_similarity", "soft_tfidf_distance"):
                expected = ref.call(name, s1, s2, c, threshold=threshold)
                got = getattr(q, name)(s1, s2, threshold=threshold, score_cutoff=c)
                assert got == pytest.approx(expected, rel=1e-12, abs=1e-12), (name, s1, s2, c)
    assert checked > 25


NAN, INF = float("nan"), float("inf")
ALIGN = ["smith_waterman_score", "needleman_wunsch_score", "smith_waterman_normalized_similarity",
         "needleman_wunsch_normalized_similarity"]


# NaN operands of the maxima, infinities, overflow inside the matrix, zeros of both signs
EXTREME = [NAN, INF, -INF, 1e308, -1e308, -0.0]
POOLS = ([1.0, 2.0, 0.5, -1.0, 0.0], [0.0, -1.0, 0.5, -0.25], [1.0, 0.5, 0.0, -0.5, 2.0])
LENGTHS = [(127, 3), (128, 128), (129, 60), (1, 200), (200, 131), (63, 65), (3, 129)]


def test_alignment_against_reference():
    """Short texts, and lengths around the 128 inline cells of the diagonals; results equal to
    the bit (NaN and the sign of zero too), under cutoffs at and next to each value."""
    rng = random.Random(610)
    for k in range(450):
        alphabet = ["ab", "abc", "aé", "€Ā", "a👍", "acgt"][k % 6]
        n1, n2 = LENGTHS[k % 7] if k >= 420 else (rng.randint(0, 12), rng.randint(0, 12))
        s1, s2 = ("".join(rng.choices(alphabet, k=n)) for n in (n1, n2))
        odd = [rng.uniform(-3, 3)] if rng.random() < 0.8 else EXTREME
        p = tuple(rng.choice(pool + odd) for pool in POOLS) if k % 3 else (1.0, 0.0, 1.0)
        kw = dict(zip(("match_score", "mismatch_score", "gap_cost"), p))
        for name in ALIGN:
            value = ref.call(name, s1, s2, **kw)
            near = [value, math.nextafter(value, INF)] * (k % 5 == 0 and value == value)
            for c in [None, NAN] + near:
                got = getattr(q, name)(s1, s2, score_cutoff=c, **kw)
                assert got.hex() == ref.call(name, s1, s2, c, **kw).hex(), (name, s1, s2, p, c)
        if all(abs(x) < 1e300 for x in p):  # both recurrences are symmetric without NaN
            assert [getattr(q, f)(s2, s1, **kw) for f in ALIGN[:2]] == [
                getattr(q, f)(s1, s2, **kw) for f in ALIGN[:2]]


# Integer parameters run in 16- or 32-bit lanes (or stay with doubles when too large), a vector
# of lanes at a time: lengths around the vector sizes, the three code-unit widths, zero signs.
LANE_LENGTHS = [1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 64, 65, 129, 257, 300]
LANE_SCALES = [1, 1, 7, 200, 3000, 2**20, 2**30, 2**31]  # the last ones: 32-bit lanes, doubles
ZERO_SIGNS = [(1, 0, 0), (0, 0, 0), (0, -0.0, 1), (-0.0, 0, 1), (1, -1, -1), (2, 0, -0.0)]


def test_integer_lanes_against_reference():
    rng = random.Random(4)
    for k in range(36):
        alphabet = ["acgt", "ab", "aé", "€Ā", "a👍"][k % 5]  # widths 1, 1, 1, 2, 4
        n1 = LANE_LENGTHS[k % len(LANE_LENGTHS)]
        n2 = rng.choice([n for n in LANE_LENGTHS if n * n1 <= 40_000])
        pairs = [tuple("".join(rng.choices(alphabet, k=n)) for n in (n1, n2))]
        pairs.append(pairs[0][::-1])
        scale = LANE_SCALES[k % len(LANE_SCALES)]
        p = ZERO_SIGNS[k // 6] if k % 6 == 5 else [rng.randint(-3, 3) * scale for _ in "mxg"]
        kw = dict(zip(("match_score", "mismatch_score", "gap_cost"), map(float, p)))
        for name in ALIGN[:2]:  # hex: the sign of zero too
            want = [ref.call(name, a, b, **kw).hex() for a, b in pairs]
            assert [getattr(q, name)(a, b, **kw).hex() for a, b in pairs] == want, (k, name)
            assert [x.hex() for x in getattr(q, name + "_batch")(pairs, **kw)] == want, (k, name)
