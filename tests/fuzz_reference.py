"""Plain reference procedures and text generators for the LCS and fuzzy-ratio tests."""

import random
import re

# Unicode White_Space: the only word separators.
WHITE_SPACE = list("\t\n\x0b\x0c\r \x85\xa0\u1680\u2028\u2029\u202f\u205f\u3000")
WHITE_SPACE += map(chr, range(0x2000, 0x200B))
_SEPARATOR = re.compile("[%s]" % "".join(WHITE_SPACE))

# 384 distinct symbols over every lookup tier of the dense ids (ASCII, Latin-1, Cyrillic, CJK,
# astral) and the extremes U+0000, U+FFFF, U+10FFFF.
_TIERS = [(0x21, 0x7F), (0xA1, 0x100), (0x410, 0x450), (0x4E00, 0x4E40), (0x1F600, 0x1F640)]
POOL = [chr(c) for lo, hi in _TIERS for c in range(lo, hi)] + ["\x00", "\uffff", "\U0010ffff"]

# Relabels ASCII letters injectively to Latin-1, two pages of wider symbols and astral ones: the
# LCS stays, so a byte case and its copy agree (the long-needle rule holds for ASCII only).
_WIDE = str.maketrans({"b": "б", "c": "中", "d": "ë", "e": "\U0001f600", "f": "ж", "x": "\u4e01"})


def wide(s):
    assert s.isascii()
    return s.translate(_WIDE)


def lcs_prefixes(a, b):
    """Textbook two-row dynamic programme, b streamed: entry i is LCS(a, b[:i])."""
    prev, out = [0] * (len(a) + 1), [0]
    for y in b:
        cur, left = [0], 0
        for x, diag, up in zip(a, prev, prev[1:]):
            left = diag + 1 if x == y else (up if up > left else left)
            cur.append(left)
        prev = cur
        out.append(left)
    return out


def lcs(a, b):
    return lcs_prefixes(a, b)[-1]


def cut(score, cutoff):
    return 0.0 if cutoff is not None and score < cutoff else score


def ratio(s1, s2):
    if s1 == s2 or not s1 or not s2:
        return 100.0 if s1 == s2 else 0.0
    return 2 * lcs(s1, s2) * 100 / (len(s1) + len(s2))


def _search(needle, hay, ascii_text):
    """Best window score. Every window is scored: one whose boundary symbol is not in the
    needle never beats its neighbour, so skipping it cannot change the result, except for the
    first full-length window of a long needle, which is always scored."""
    m, n = len(needle), len(hay)
    full = [2 * lcs(needle, hay[s : s + m]) * 100 / (2 * m) for s in range(n - m + 1)]
    if ascii_text and m >= 129:  # long ASCII needles: full-length windows only
        return max(full)
    lead = lcs_prefixes(needle, hay[: m - 1])  # lead[i]: the first i symbols
    trail = lcs_prefixes(needle[::-1], hay[::-1][: m - 1])  # trail[i]: the last i symbols
    return max(full + [2 * x[i] * 100 / (m + i) for x in (lead, trail) for i in range(1, m)])


def partial_ratio(s1, s2, cutoff=None):
    best = 100.0 if s1 == s2 else 0.0
    if s1 != s2 and s1 and s2:
        ascii_text = s1.isascii() and s2.isascii()
        a, b = (s1, s2) if len(s1) <= len(s2) else (s2, s1)
        best = _search(a, b, ascii_text)
        if len(a) == len(b):  # equal lengths: both directions
            best = max(best, _search(b, a, ascii_text))
    return cut(best, cutoff)


def split(s):
    return [w for w in _SEPARATOR.split(s) if w]


def rand_text(rng, alphabet, n):
    return "".join(rng.choices(alphabet, k=n))


def with_distinct(rng, symbols, n):
    """A text of n >= len(symbols) symbols holding each of `symbols` at least once."""
    chars = list(symbols) + rng.choices(symbols, k=n - len(symbols))
    rng.shuffle(chars)
    return "".join(chars)


WHERE = ["head-cut", "tail-cut", "mutated", "pieces", "absent"]


def plant(rng, alphabet, needle, n, where):
    """Noise after the needle's second half, before its first half, with a mutated copy inside,
    and partial mutated copies that compete for the best window ("pieces"), or alone."""
    hay, half = rand_text(rng, alphabet, n), len(needle) // 2
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
]
SEPARATORS = [" ", " ", " ", "  ", "\t", "\n", "\u00a0", "\u3000", " \u2003 "]


def word_text(rng, vocab):
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
    words = rng.sample(split(a), len(split(a))) or [rng.choice(vocab)]
    words[rng.randrange(len(words))] = rng.choice(vocab)
    if rng.random() < 0.5:
        words.insert(rng.randrange(len(words) + 1), rng.choice(vocab))
    return a, " ".join(words)


def rng_for(*key):
    return random.Random(repr(key))
