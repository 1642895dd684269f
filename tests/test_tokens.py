"""Word splitting, word order and joining, observed through the token scorers; hash seeds."""

import random
import subprocess
import sys

import pytest

from fuzz_reference import WHITE_SPACE
from quorvalex import fuzz

# Format characters and the information separators (str.isspace() accepts) are parts of words.
NOT_WHITE_SPACE = ["\u200b", "\u180e", "\ufeff", "\x1c", "\x1f", "_", ",", "\u200c", "\x00"]


@pytest.mark.parametrize("ws", WHITE_SPACE, ids=lambda c: f"U+{ord(c):04X}")
def test_white_space_separates_words(ws):
    text = f"{ws}new{ws}{ws}york{ws}"
    for f in (fuzz.token_sort_ratio, fuzz.token_set_ratio, fuzz.partial_token_sort_ratio):
        assert f(text, "york new") == 100.0


@pytest.mark.parametrize("ch", NOT_WHITE_SPACE, ids=lambda c: f"U+{ord(c):04X}")
def test_other_characters_stay_inside_words(ch):
    word = f"new{ch}york"
    # One word against two: the sorted texts are compared as they stand.
    assert fuzz.token_sort_ratio(word, "york new") == fuzz.ratio(word, "new york") < 100.0
    assert fuzz.token_set_ratio(word, f"x {word}") == 100.0  # the word itself is shared


VOCAB = ["a", "b", "ab", "ba", "A", "Ab", "B", "b1", "10", "9", "_", "é", "€", "a\U0001f44d", "E",
         "ÿ", "Ā", "ÿĀ", "Āÿ", "\uffff", "\U00010000"]


# Code-point order (which is UTF-8 byte order): 10 < 9 < A < Ab < B < E < _ < a < ab < a\U0001f44d
# < b < b1 < ba < é < ÿ < ÿĀ < Ā < Āÿ < € < \uffff < \U00010000; for 16-bit units the order of
# their bytes in memory would put Ā (00 01) before ÿ (FF 00).
# insertion sort up to 20 words, another sort from 21.
@pytest.mark.parametrize("n", [2, 3, 7, 19, 20, 21, 22, 40, 64])
def test_words_sort_in_byte_order(n):
    rng = random.Random(n)
    words = rng.choices(VOCAB, k=n)
    concat = "".join(sorted(words))  # str order equals UTF-8 byte order
    length = sum(map(len, words))
    expected = 2 * length * 100 / (2 * length + n - 1)  # the sorted words hold all of concat
    assert fuzz.token_sort_ratio(" ".join(words), concat) == expected
    assert fuzz.token_sort_ratio(concat, "  ".join(words[::-1])) == expected
    folded = " ".join(sorted(words, key=lambda w: (w.lower(), w)))
    if folded != " ".join(sorted(words)):  # a case-blind order would score lower
        assert fuzz.ratio(folded, concat) < expected


# Many distinct words (hashed sets, the sort for more than 20 words) with shared, unshared and
# repeated words; the scores must not depend on the per-process hash seed.
SEED_SCRIPT = r"""
import random
from quorvalex import fuzz
rng = random.Random(5)
vocab = ["w%d" % i for i in range(40)] + ["é%d" % i for i in range(10)]
texts = [" ".join(rng.choices(vocab, k=rng.randint(1, 30))) for _ in range(120)]
names = [n for n in dir(fuzz) if "token" in n and "batch" not in n] + ["w_ratio"]
print([[getattr(fuzz, n)(a, b) for n in names] for a, b in zip(texts[::2], texts[1::2])])
"""


def test_results_do_not_depend_on_hash_seed():
    command = [sys.executable, "-P", "-c", SEED_SCRIPT]
    runs = [subprocess.run(command, capture_output=True, text=True, check=True) for _ in "12"]
    assert runs[0].stdout == runs[1].stdout
    values = eval(runs[0].stdout)
    assert len(values) == 60 and len(values[0]) == 7 and len(set(map(tuple, values))) > 30
