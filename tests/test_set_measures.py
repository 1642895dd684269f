"""Jaccard, Sørensen-Dice, Tversky and overlap over word multisets, against a Counter reference."""

import random
from collections import Counter

import pytest
from frame_reference import SANITIZED, run_python
from vector_reference import check_forms, word_pairs, words

import quorvalex as q


def ref(name, s1, s2, alpha=1.0, beta=1.0):
    c1, c2 = Counter(words(s1)), Counter(words(s2))
    if not c1 and not c2:
        return 1.0
    i = sum(min(n, c2[w]) for w, n in c1.items())
    n1, n2 = sum(c1.values()), sum(c2.values())
    if name == "jaccard":
        return i / sum(max(c1[w], c2[w]) for w in c1.keys() | c2.keys())
    if name == "sorensen_dice":
        return (float(i) + float(i)) / float(n1 + n2)
    if name == "tversky":
        d = ((alpha * (n1 - i)) + i) + (beta * (n2 - i))
        return i / d if d != 0.0 else 0.0
    return i / min(n1, n2) if min(n1, n2) else 0.0


@pytest.mark.parametrize(
    "s1, s2, jaccard, dice, overlap",
    [
        ("", "", 1.0, 1.0, 1.0),
        (" \t\xa0", "\u3000\u2028", 1.0, 1.0, 1.0),
        ("", "a b", 0.0, 0.0, 0.0),
        ("a a b", "a b b", 0.5, 0.6666666666666666, 0.6666666666666666),
        ("a b", "a b c d", 0.5, 0.6666666666666666, 1.0),
        ("Apple", "apple", 0.0, 0.0, 0.0),
        ("a,", "a", 0.0, 0.0, 0.0),
        ("b a", "a b", 1.0, 1.0, 1.0),
        ("a\u3000b\xa0c", "c\tb a", 1.0, 1.0, 1.0),
        ("a\u200bb", "a b", 0.0, 0.0, 0.0),  # U+200B is no separator
        ("é € Ā 👍", "👍 x é", 0.4, 0.5714285714285714, 0.6666666666666666),
    ],
)
def test_worked_values(s1, s2, jaccard, dice, overlap):
    for name, value in [("jaccard", jaccard), ("sorensen_dice", dice), ("overlap", overlap)]:
        check_forms(name, s1, s2, value)
    check_forms("tversky", s1, s2, jaccard)
    assert q.tversky_similarity(s1, s2, alpha=0.5, beta=0.5) == dice


@pytest.mark.parametrize(
    "s1, s2, alpha, beta, expected",
    [
        ("a b", "a b c d", 1.0, 0.0, 1.0),
        ("a b", "a b c d", 0.0, 1.0, 0.5),
        ("a b", "a b c d", 2.0, -1.0, 0.0),  # ((2 * 0) + 2) + (-1 * 2) = 0.0 exactly
        ("a b", "c d", 0.0, 0.0, 0.0),  # no common word, D = 0.0
        ("a b c", "a", -1.0, 1.0, -1.0),  # ((-1 * 2) + 1) + 0 = -1
        ("a", "a b c", 1.0, -0.25, 2.0),  # (0 + 1) + (-0.25 * 2) = 0.5
        ("a b c", "a b d", 0.1, 0.7, 0.7142857142857143),  # 2.1 + 0.7 = 2.8, 0.1 + 2.7 is not
    ],
)
def test_tversky_weights(s1, s2, alpha, beta, expected):
    check_forms("tversky", s1, s2, expected, alpha=alpha, beta=beta)
    assert ref("tversky", s1, s2, alpha, beta) == expected
    assert str(q.tversky_similarity(s1, s2, alpha=float("nan"))) == "nan"


@pytest.mark.parametrize("name", ["jaccard", "sorensen_dice", "tversky", "overlap"])
def test_random_texts_against_reference(name):
    rng = random.Random(77)
    for k, (s1, s2) in enumerate(word_pairs(5100 + len(name), 500)):
        w = {
            x: rng.choice([0.0, 0.5, 1.0, -0.5, 2.0, rng.uniform(-2, 2)]) for x in ("alpha", "beta")
        }
        w = w if name == "tversky" and k % 2 else {}  # random weights, and the default ones
        check_forms(name, s1, s2, ref(name, s1, s2, **w), **w)


# Equal words in texts stored at different widths (1, 2 or 4 bytes per code point: the widest
# character of each text decides) are the same words: counted, matched and hashed alike.
WIDTHS = [
    ("a bé é", "é a bé \u4e2d"),  # 1 and 2
    ("a bé é", "é \U0001f600 a bé"),  # 1 and 4
    ("a \u0100b é", "é a \u0100b \U0001f600"),  # 2 and 4
    ("x y", "\u3000x\u2003y\u3000"),  # 1 and 2 by white space alone
    ("ab ab \u4e2d", "\u4e2d ab ab ab"),  # 2 and 1... and 2
]


@pytest.mark.parametrize("s1, s2", WIDTHS)
@pytest.mark.parametrize("name", ["jaccard", "sorensen_dice", "overlap"])
def test_equal_words_across_widths(name, s1, s2):
    for x, y in ((s1, s2), (s2, s1)):
        check_forms(name, x, y, ref(name, x, y))
        assert getattr(q, name + "_similarity")(x, y) > 0.5


# "ab " * 10**7 under an address-space limit just above the inputs: counting the words needs no
# memory (one distinct word); sorting them does, and ends in MemoryError, never an abort.
HUGE_SCRIPT = r"""
import math, resource
import quorvalex as q
from quorvalex import fuzz
a, b = "ab " * 10**7, "ba " * 10**7
fuzz.token_sort_ratio_batch([("a b", "b a")] * 8)  # the pool starts before the limit
with open("/proc/self/status") as status:
    size = next(int(line.split()[1]) for line in status if line.startswith("VmSize"))
resource.setrlimit(resource.RLIMIT_AS, ((size + 48 * 1024) * 1024, resource.RLIM_INFINITY))
out = [q.jaccard_similarity(a, b), q.jaccard_similarity(a, a + "ab"),
       q.cosine_similarity(a, a + "ab") == 1e7 / math.sqrt(1e7 * (1e7 + 1)),
       q.cosine_similarity(a, a + "ab", use_words=False, ngram_size=3)
       == (3e7 - 2) / math.sqrt((3e7 - 2) * 3e7)]
for call in (lambda: fuzz.token_sort_ratio(a, b), lambda: fuzz.token_sort_ratio_batch([(a, b)]),
             lambda: fuzz.token_set_ratio(a, b)):
    try:
        out.append(call())
    except MemoryError:
        out.append("MemoryError")
out.append(fuzz.token_sort_ratio("new york", "york new"))
print(out)
"""


def test_huge_word_texts_under_a_memory_limit():
    if SANITIZED:
        pytest.skip("AddressSanitizer needs more address space than the limit leaves")
    out = run_python(HUGE_SCRIPT, timeout=600)
    assert out.returncode == 0, out.stderr
    assert eval(out.stdout) == [0.0, 1e7 / (1e7 + 1), True, True] + ["MemoryError"] * 3 + [100.0]


# Texts of bytes and of 16-bit units are split 64 units at a time: words across the block
# edges, every white space character and the code points next to them that are not white space.
BYTE_SPACES = "\t\n\x0b\x0c\r \x85\xa0"
BYTE_OTHERS = "ab\x00\x08\x0e\x1c\x1f!\x7f\x84\x86\x9f\xa1\xff"
WIDE_SPACES = BYTE_SPACES + "\u1680\u2000\u2005\u200a\u2028\u2029\u202f\u205f\u3000"
WIDE_OTHERS = BYTE_OTHERS + "\u0100\u167f\u1681\u1fff\u200b\u2027\u202a\u202e\u2030\u205e" \
                            "\u2060\u2fff\u3001\uffff\u0420"
ALPHABETS = {"bytes": (BYTE_SPACES, BYTE_OTHERS, "\u0100"),
             "16-bit": (WIDE_SPACES, WIDE_OTHERS, "\U00010000")}


@pytest.mark.parametrize("alphabet", ALPHABETS)
@pytest.mark.parametrize("length", [1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 191, 192, 193, 300])
def test_texts_at_block_edges(alphabet, length):
    spaces, others, above = ALPHABETS[alphabet]
    rng = random.Random(length)
    for _ in range(40):
        s1, s2 = ("".join(rng.choice(spaces if rng.random() < 0.3 else others)
                          for _ in range(length)) for _ in "xy")
        assert len(s1) == length and max(s1 + s2) < above
        for name in ("jaccard", "overlap"):
            check_forms(name, s1, s2, ref(name, s1, s2))
