"""Word splitting, word order, joining and word sets, observed through the token scorers."""

import random
import subprocess
import sys

import pytest

from quorvalex import fuzz

WHITE_SPACE = [
    *map(chr, range(0x09, 0x0E)),
    " ",
    "\x85",
    "\xa0",
    "\u1680",
    *map(chr, range(0x2000, 0x200B)),
    "\u2028",
    "\u2029",
    "\u202f",
    "\u205f",
    "\u3000",
]
# Format characters and the ASCII information separators (which str.isspace() accepts) are
# parts of words.
NOT_WHITE_SPACE = ["\u200b", "\u180e", "\ufeff", "\x1c", "\x1f", "_", ",", "\u200c", "\x00"]


@pytest.mark.parametrize("ws", WHITE_SPACE, ids=lambda c: f"U+{ord(c):04X}")
def test_white_space_separates_words(ws):
    text = f"{ws}new{ws}{ws}york{ws}"
    assert fuzz.token_sort_ratio(text, "york new") == 100.0
    assert fuzz.token_set_ratio(text, "york new") == 100.0
    assert fuzz.partial_token_sort_ratio(text, "york new") == 100.0


@pytest.mark.parametrize("ch", NOT_WHITE_SPACE, ids=lambda c: f"U+{ord(c):04X}")
def test_other_characters_stay_inside_words(ch):
    word = f"new{ch}york"
    # One word against two: the sorted texts are compared as they stand.
    assert fuzz.token_sort_ratio(word, "york new") == fuzz.ratio(word, "new york")
    assert fuzz.token_sort_ratio(word, "york new") < 100.0
    assert fuzz.token_set_ratio(word, f"x {word}") == 100.0  # the word itself is shared


def test_mixed_separators_and_padding():
    text = "  new\t\n  york  "
    assert fuzz.token_sort_ratio(text, "new york") == 100.0
    assert fuzz.token_ratio(text, "york\u3000new") == 100.0
    # a text of white space only has no words
    assert fuzz.token_sort_ratio(" \t\n\u3000", "") == 100.0
    assert fuzz.token_set_ratio(" \t\n\u3000", "abc") == 0.0


def sorted_concat_score(words):
    """Token sort ratio of the words (in any order) against their byte-sorted concatenation."""
    n = sum(map(len, words))
    return (2 * n) * 100 / (2 * n + len(words) - 1)


ORDER_CASES = [
    ["york", "New", "new", "York"],  # New < York < new < york
    ["b", "ab", "a"],  # a < ab < b
    ["b1", "_", "B", "9", "a", "10"],  # 10 < 9 < B < _ < a < b1
    ["é", "z", "€", "\U0001f44d", "e", "ea", "E"],  # code-point order of the UTF-8 bytes
    ["ba", "b", "bab", "a", "ab", "aa", "abb", "bb", "bba", "aab"] * 2,  # 20: insertion sort
    ["ba", "b", "bab", "a", "ab", "aa", "abb", "bb", "bba", "aab"] * 2 + ["bbb"],  # 21
]


@pytest.mark.parametrize("words", ORDER_CASES)
def test_words_sort_in_byte_order(words):
    rng = random.Random(len(words))
    shuffled = words[:]
    rng.shuffle(shuffled)
    concat = "".join(sorted(words))  # str order equals UTF-8 byte order
    expected = sorted_concat_score(words)
    assert fuzz.token_sort_ratio(" ".join(shuffled), concat) == expected
    assert fuzz.token_sort_ratio(concat, "  ".join(shuffled)) == expected
    # where a case-blind order differs, it would score lower
    folded = " ".join(sorted(words, key=lambda w: (w.lower(), w)))
    if folded != " ".join(sorted(words)):
        assert fuzz.ratio(folded, concat) < expected


def test_random_long_lists_sort_in_byte_order():
    rng = random.Random(7)
    vocab = ["a", "b", "ab", "ba", "A", "Ab", "é", "€", "a\U0001f44d", "bb", "aba", "B"]
    for n in (2, 3, 19, 20, 21, 22, 40, 64):
        words = [rng.choice(vocab) for _ in range(n)]
        concat = "".join(sorted(words))
        assert fuzz.token_sort_ratio(" ".join(words), concat) == sorted_concat_score(words)


def test_join_uses_single_spaces():
    # "a b c" (5 characters) against "abc": 2 * 3 * 100 / 8
    assert fuzz.token_sort_ratio("b  a\tc", "abc") == 75.0
    assert fuzz.token_sort_ratio("c\u3000b\u00a0a", "abc") == 75.0
    # lengths count characters, not bytes: "é ü" is 3 characters long
    assert fuzz.token_sort_ratio("ü é", "éü") == 80.0


def test_repeated_words():
    assert fuzz.token_set_ratio("a a b", "a b") == 100.0
    assert fuzz.token_sort_ratio("a a b", "a b") == 75.0
    assert fuzz.partial_token_set_ratio("x x y", "y x") == 100.0


# Many distinct words (hashed sets, the sort for more than 20 words) with shared, unshared and
# repeated words; the scores must not depend on the per-process hash seed.
SEED_SCRIPT = r"""
import random
from quorvalex import fuzz
rng = random.Random(5)
vocab = ["w%d" % i for i in range(40)] + ["é%d" % i for i in range(10)]
names = ["token_sort_ratio", "token_set_ratio", "token_ratio", "partial_token_sort_ratio",
         "partial_token_set_ratio", "partial_token_ratio", "w_ratio"]
out = []
for _ in range(60):
    a = " ".join(rng.choice(vocab) for _ in range(rng.randint(1, 30)))
    b = " ".join(rng.choice(vocab) for _ in range(rng.randint(1, 30)))
    out.append([getattr(fuzz, n)(a, b) for n in names])
print(repr(out))
"""


def test_results_do_not_depend_on_hash_seed():
    runs = [
        subprocess.run(
            [sys.executable, "-P", "-c", SEED_SCRIPT], capture_output=True, text=True, check=True
        ).stdout
        for _ in range(2)
    ]
    assert runs[0] == runs[1]
    values = eval(runs[0])
    assert len(values) == 60
    assert len({tuple(v) for v in values}) > 30  # the inputs are not degenerate
