"""Texts of the measure tests: small alphabets in every storage width, edits, needles, words."""

import random

# The letters a-d written in four alphabets: bytes, Latin-1 (narrowed to bytes), BMP with
# U+0100 and U+20AC (no byte form), and astral (four-byte UTF-8).
ALPHABETS = {"ascii": "abcd", "latin1": "\u00e9b\u00ffd", "bmp": "\u20acb\u0100d",
             "astral": "\U0001f44db\U0001f600d"}
_TABLES = {name: str.maketrans("abcd", letters) for name, letters in ALPHABETS.items()}
# One symbol of each storage width: beside ASCII letters, it sets the width of its text.
WIDTH_EXTRA = {1: "\u00e9", 2: "\u20ac", 4: "\U0001f600"}
# 384 distinct symbols over every lookup tier of the dense ids (ASCII, Latin-1, Cyrillic, CJK,
# astral) and the extremes U+0000, U+FFFF, U+10FFFF.
_TIERS = [(0x21, 0x7F), (0xA1, 0x100), (0x410, 0x450), (0x4E00, 0x4E40), (0x1F600, 0x1F640)]
POOL = [chr(c) for lo, hi in _TIERS for c in range(lo, hi)] + ["\x00", "\uffff", "\U0010ffff"]
CJK = [chr(0x4E00 + k) for k in range(700)]
# Relabels ASCII letters injectively to Latin-1, wider BMP symbols and astral ones.
_WIDE = str.maketrans({"b": "б", "c": "中", "d": "ë", "e": "\U0001f600", "f": "ж", "x": "\u4e01"})


def render(text, alphabet):
    """`text` over a-d written in another alphabet (a bijection: every measure is unchanged)."""
    return text.translate(_TABLES[alphabet])


def wide(s):
    return s.translate(_WIDE)


def rng_for(*key):
    return random.Random(repr(key))


def random_text(rng, n, letters="abc"):
    return "".join(rng.choices(letters, k=n))


def with_distinct(rng, symbols, n):
    """A text of n >= len(symbols) symbols holding each of `symbols` at least once."""
    chars = list(symbols) + rng.choices(symbols, k=n - len(symbols))
    rng.shuffle(chars)
    return "".join(chars)


def mutate(rng, s, letters, edits):
    """`s` after random substitutions, insertions, deletions and adjacent swaps (some split)."""
    s = list(s)
    for _ in range(edits):
        op, pos = rng.randrange(4), rng.randrange(len(s) + 1)
        if op == 0 and pos < len(s):
            s[pos] = rng.choice(letters)
        elif op == 1:
            s.insert(pos, rng.choice(letters))
        elif op == 2 and pos < len(s):
            del s[pos]
        elif op == 3 and pos + 1 < len(s):
            s[pos], s[pos + 1] = s[pos + 1], s[pos]
            if rng.random() < 0.3:
                s.insert(pos + 1, rng.choice(letters))
    return "".join(s)


WHERE = ["head-cut", "tail-cut", "mutated", "pieces", "absent"]


def plant(rng, alphabet, needle, n, where):
    """Noise after the needle's second half, before its first half, with a mutated copy inside,
    and partial mutated copies that compete for the best window ("pieces"), or alone."""
    hay, half = random_text(rng, n, alphabet), len(needle) // 2
    if where in ("head-cut", "tail-cut"):
        return needle[half:] + hay if where == "head-cut" else hay + needle[:half]
    for i in range({"mutated": 1, "pieces": 4}.get(where, 0)):
        chars = list(needle)
        for _ in range(max(1, len(chars) // 5)):
            chars[rng.randrange(len(chars))] = rng.choice(alphabet)
        part, k = "".join(chars)[: rng.randint(1, len(chars)) if i else None], rng.randint(0, n)
        hay = hay[:k] + part + hay[k + (len(part) if i else 0) :]
    return hay


# Word texts over small vocabularies (words repeat and share letters) in ASCII, Latin-1, BMP and
# astral forms, with varied separators (so that joins are built, not only viewed).
VOCABS = [
    ["a", "b", "ab", "ba", "abc", "cab", "New", "new", "York", "b1"],
    ["a", "é", "aé", "éa", "abé", "cab", "Né", "né", "York", "b1"],
    ["a", "€", "a€", "€a", "Āb", "cab", "Ne€", "ne", "Yo€", "b1"],
    ["a", "\U0001f44d", "a\U0001f44d", "b", "ab", "c\U0001f600", "Ne", "ne", "Y", "b1"],
    "a b ab ba A a, abc abd é éa € €uro Ā Ābc 👍 👍x a€ x👍y jon john smith smyth".split(),
]
SEPARATORS = [" ", " ", " ", "  ", "\t", "\n", "\u00a0", "\u3000", " \u2003 ", "\u2009"]


def word_text(rng, vocab, n=None):
    if n is None:
        n = rng.choice([0, 1, 2, 3, 4, 5, 7, 9, 12]) if rng.random() < 0.95 else rng.randint(20, 26)
    text = "".join(rng.choice(vocab) + rng.choice(SEPARATORS) for _ in range(n))
    text = text.rstrip(" ") if rng.random() < 0.5 else text
    return rng.choice(SEPARATORS) + text if rng.random() < 0.2 else text


def word_pair(rng, near=False):
    """Two word texts; near duplicates (half of them unless `near`): the words of the first
    shuffled, one replaced and perhaps one inserted."""
    vocab = rng.choice(VOCABS)
    a = " ".join(rng.choices(vocab, k=rng.randint(6, 10))) if near else word_text(rng, vocab)
    if not near and rng.random() < 0.5:
        return a, word_text(rng, vocab)
    words = a.split()
    words = rng.sample(words, len(words)) or [rng.choice(vocab)]
    words[rng.randrange(len(words))] = rng.choice(vocab)
    if rng.random() < 0.5:
        words.insert(rng.randrange(len(words) + 1), rng.choice(vocab))
    return a, " ".join(words)


def word_pairs(seed, count):
    """Word pairs; every fourth one long (past the count maps' linear scan and inline entries)."""
    rng = random.Random(seed)
    long_vocab = VOCABS[4] + [f"w{i}" for i in range(40)]
    return [tuple(word_text(rng, long_vocab, rng.randint(0, 60)) for _ in "xy") if k % 4 == 0
            else word_pair(rng) for k in range(count)]
