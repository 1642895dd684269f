"""Partial ratio against a brute-force window search written out window by window."""

import random

import pytest

from quorvalex import fuzz


def lcs_prefixes(needle, text):
    """Textbook DP with `text` as the outer sequence: entry i is LCS(needle, text[:i])."""
    prev = [0] * (len(needle) + 1)
    result = [0]
    for x in text:
        cur = [0]
        for j, y in enumerate(needle):
            cur.append(prev[j] + 1 if x == y else max(prev[j + 1], cur[j]))
        prev = cur
        result.append(prev[-1])
    return result


def lcs_ref(a, b):
    return lcs_prefixes(a, b)[-1]


def search_ref(needle, hay, ascii_text):
    """Scores every window that passes the needle-symbol filter, in the documented order."""
    m, n = len(needle), len(hay)
    symbols = set(needle)
    best = 0.0

    def score(window):
        return 2 * lcs_ref(needle, window) * 100 / (m + len(window))

    if ascii_text and m >= 129:
        # Long needles: full-length windows only; the window at start 0 is always scored.
        for start in range(n - m + 1):
            if start == 0 or hay[start + m - 1] in symbols:
                best = max(best, score(hay[start : start + m]))
                if best >= 100.0:
                    return 100.0
        return best
    # The LCS of every leading window (hay[:i]) and of every trailing window (hay[s:]).
    leading = lcs_prefixes(needle, hay[: m - 1])
    trailing = lcs_prefixes(needle[::-1], hay[n - m :][::-1])
    windows = []
    # Leading windows, filtered by their last symbol.
    windows += [(leading[i], i, hay[i - 1]) for i in range(1, m)]
    # Inner windows, filtered by their last symbol.
    windows += [(None, m, hay[s + m - 1]) for s in range(n - m)]
    # Trailing windows, filtered by their first symbol.
    windows += [(trailing[n - s], n - s, hay[s]) for s in range(n - m, n)]
    for i, (lcs, length, filter_symbol) in enumerate(windows):
        if filter_symbol in symbols:
            if lcs is None:
                start = i - (m - 1)
                lcs = lcs_ref(needle, hay[start : start + m])
            best = max(best, 2 * lcs * 100 / (m + length))
            if best >= 100.0:
                return 100.0
    return best


# An injective relabelling to non-ASCII symbols of every lookup tier of the byte ids (Latin-1,
# two pages of wider symbols, astral). Windows of needles of up to 128 symbols are searched by
# the same rules in both alphabets, so a byte case and its relabelled copy score the same.
WIDE = {"b": "б", "c": "中", "d": "ë", "e": "\U0001f600", "f": "ж", "x": "\u4e01"}


def wide(s):
    assert not set(s) & set(WIDE.values())  # the relabelling must stay injective
    return s.translate(str.maketrans(WIDE))


def partial_ref(s1, s2, cutoff=None):
    if s1 == s2:
        best = 100.0
    elif not s1 or not s2:
        best = 100.0 if not s1 and not s2 else 0.0
    else:
        ascii_text = s1.isascii() and s2.isascii()
        if len(s1) <= len(s2):
            best = search_ref(s1, s2, ascii_text)
        else:
            best = search_ref(s2, s1, ascii_text)
        if len(s1) == len(s2) and best < 100.0:
            best = max(best, search_ref(s2, s1, ascii_text))
    return 0.0 if cutoff is not None and best < cutoff else best


@pytest.mark.parametrize(
    "s1,s2,expected",
    [
        ("", "", 100.0),
        ("", "abc", 0.0),
        ("abc", "", 0.0),
        ("abc", "xxabcxx", 100.0),
        ("xxabcxx", "abc", 100.0),
        ("ab", "b", 100.0),
        ("abc", "xyz", 0.0),
        ("abcdef", "defxxxxxxx", 200 * 3 / 9),  # leading window "def"
        ("abcdef", "xxxxxxxabc", 200 * 3 / 9),  # trailing window "abc"
        ("naïve", "xx naïve xx", 100.0),
        ("\U0001f44d\U0001f44d", "a\U0001f44d", 200 / 3),
    ],
)
def test_worked_values(s1, s2, expected):
    assert fuzz.partial_ratio(s1, s2) == expected
    assert partial_ref(s1, s2) == expected


def test_cutoff_applies_to_identical_texts():
    assert fuzz.partial_ratio("abc", "abc", score_cutoff=101) == 0.0
    assert fuzz.partial_ratio("", "", score_cutoff=101) == 0.0
    assert fuzz.partial_ratio("abc", "abc", score_cutoff=100) == 100.0
    value = fuzz.partial_ratio("abcdef", "defxxxxxxx")
    assert fuzz.partial_ratio("abcdef", "defxxxxxxx", score_cutoff=value) == value
    assert fuzz.partial_ratio("abcdef", "defxxxxxxx", score_cutoff=value + 1e-9) == 0.0
    assert fuzz.partial_ratio("abcdef", "defxxxxxxx", score_cutoff=-3) == value


def plant(rng, alphabet, needle, n, where):
    noise = "".join(rng.choice(alphabet) for _ in range(n))
    if where == "start":
        return needle + noise
    if where == "end":
        return noise + needle
    if where == "inside":
        k = rng.randint(0, n)
        return noise[:k] + needle + noise[k:]
    if where == "head-cut":  # only the needle's tail, at the haystack's start
        return needle[len(needle) // 2 :] + noise
    if where == "tail-cut":  # only the needle's head, at the haystack's end
        return noise + needle[: len(needle) // 2]
    if where == "mutated":
        k = rng.randint(0, n)
        chars = list(needle)
        for _ in range(max(1, len(chars) // 5)):
            chars[rng.randrange(len(chars))] = rng.choice(alphabet)
        return noise[:k] + "".join(chars) + noise[k:]
    return noise  # "absent"


WHERE = ["start", "end", "inside", "head-cut", "tail-cut", "mutated", "absent"]


@pytest.mark.parametrize("where", WHERE)
@pytest.mark.parametrize(
    "alphabet,m,noise",
    [("abc", 5, 15), ("abcd", 30, 15), ("ab", 64, 16), ("abc", 65, 10), ("abcd", 128, 8),
     ("aé", 20, 15), ("€\u0100a", 70, 10), ("\U0001f44dab", 12, 18)],
)
def test_windows_against_reference(where, alphabet, m, noise):
    rng = random.Random(f"{where}{alphabet}{m}")
    needle_alphabet = alphabet if where != "absent" else "xyz"
    for _ in range(2):
        needle = "".join(rng.choice(needle_alphabet) for _ in range(m))
        hay = plant(rng, alphabet, needle, noise, where)
        expected = partial_ref(needle, hay)
        for a, b in ((needle, hay), (wide(needle), wide(hay))):
            assert fuzz.partial_ratio(a, b) == expected
            assert fuzz.partial_ratio(b, a) == expected


@pytest.mark.parametrize(
    "alphabet,m,extra",
    [("abc", 3, 63), ("abc", 3, 64), ("abcd", 12, 150), ("abcdefgh", 40, 100), ("ab", 64, 70),
     ("abc", 65, 66), ("abc", 129, 64), ("aé€", 10, 120), ("aé€\U0001f44d", 30, 64)],
)
def test_many_windows_against_reference(alphabet, m, extra):
    # Haystacks with 64 or more full-length windows are searched by halving stretches.
    rng = random.Random(f"{alphabet}{m}{extra}")
    for where in ("mutated", "absent", "head-cut", "tail-cut", "mutated"):
        needle = "".join(rng.choice(alphabet) for _ in range(m))
        hay = plant(rng, alphabet, needle, extra, where)
        if where in ("mutated", "absent"):
            # Several partial copies compete for the best window.
            for _ in range(3):
                k = rng.randrange(len(hay))
                piece = plant(rng, alphabet, needle, 0, "mutated")[: rng.randint(1, m)]
                hay = hay[:k] + piece + hay[k + len(piece) :]
        expected = partial_ref(needle, hay)
        assert fuzz.partial_ratio(needle, hay) == expected
        assert fuzz.partial_ratio(hay, needle) == expected
        if m <= 128:
            assert fuzz.partial_ratio(wide(needle), wide(hay)) == expected
            assert fuzz.partial_ratio(wide(hay), wide(needle)) == expected


@pytest.mark.parametrize(
    "alphabet,max_len", [("ab", 12), ("abc", 40), ("ab ", 70), ("aé", 30), ("é€\U0001f44d", 25)]
)
def test_random_pairs_against_reference(alphabet, max_len):
    rng = random.Random(alphabet)
    for _ in range(40):
        s1 = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, max_len)))
        s2 = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, max_len)))
        expected = partial_ref(s1, s2)
        for a, b in ((s1, s2), (wide(s1), wide(s2))):
            assert fuzz.partial_ratio(a, b) == expected, (a, b)
            assert fuzz.partial_ratio(b, a) == expected, (b, a)


@pytest.mark.parametrize("n", [3, 8, 40])
def test_equal_lengths_search_both_directions(n):
    rng = random.Random(n)
    for _ in range(30):
        s1 = "".join(rng.choice("abc") for _ in range(n))
        s2 = "".join(rng.choice("abc") for _ in range(n))
        expected = partial_ref(s1, s2)
        assert fuzz.partial_ratio(s1, s2) == expected
        assert fuzz.partial_ratio(s2, s1) == expected
    # Only the second direction finds the leading window "ab" of s1 for the needle s2:
    # s1 as needle scores 200 * 2 / 6 through its trailing window "ab" too, both equal.
    assert fuzz.partial_ratio("abxy", "zzab") == 200 * 2 / 6


def split_case(m, head):
    """The needle's second half opens the haystack, followed by symbols not in the needle:
    a leading window beats every full-length window."""
    half = m // 2
    needle = head * half + "b" * (m - half)
    hay = "b" * (m - half) + "c" * (m + 3)
    return needle, hay


@pytest.mark.parametrize("m", [127, 128, 129, 130])
def test_long_needle_boundary(m):
    needle, hay = split_case(m, "a")
    h = m - m // 2
    if m <= 128:
        expected = 200 * h / (h + m)  # leading window of h symbols
    else:
        expected = 200 * h / (2 * m)  # full-length window at start 0
    assert fuzz.partial_ratio(needle, hay) == expected
    assert fuzz.partial_ratio(hay, needle) == expected
    assert partial_ref(needle, hay) == expected
    # Non-ASCII text always has the full search, leading windows included.
    needle_u, hay_u = split_case(m, "é")
    assert fuzz.partial_ratio(needle_u, hay_u) == 200 * h / (h + m)


def test_long_needle_first_window_always_scored():
    # The window at start 0 ends on 'd', which is not in the needle, and is still scored.
    s1, s2 = "a" * 128 + "b", "c" + "a" * 127 + "d"
    assert fuzz.partial_ratio(s1, s2) == 98.44961240310077
    assert fuzz.partial_ratio(s2, s1) == 98.44961240310077
    assert partial_ref(s1, s2) == 98.44961240310077
    assert fuzz.partial_ratio(s1, s2 + "e") == 98.44961240310077
    # Non-ASCII: full search; with u2 as the needle, the leading window of 127 'é' of u1.
    u1, u2 = "é" * 128 + "b", "c" + "é" * 127 + "d"
    assert fuzz.partial_ratio(u1, u2) == 200 * 127 / 256
    assert fuzz.partial_ratio(u2, u1) == 200 * 127 / 256


@pytest.mark.parametrize("m,noise", [(129, 0), (129, 20), (160, 12), (193, 7)])
def test_long_needle_against_reference(m, noise):
    rng = random.Random(m * noise)
    for where in ("mutated", "inside", "absent", "head-cut"):
        needle = "".join(rng.choice("abc") for _ in range(m))
        hay = plant(rng, "abcd", needle, noise, where)
        expected = partial_ref(needle, hay)
        assert fuzz.partial_ratio(needle, hay) == expected
        assert fuzz.partial_ratio(hay, needle) == expected


@pytest.mark.parametrize("m,relabel", [(129, False), (193, False), (300, False), (193, True)])
def test_long_needle_carry_through_a_full_word(m, relabel):
    # Blocks of one symbol followed by 63 of another: windows starting 'ba' make a block's
    # sum all ones before the carry from the block below arrives. Relabelled, the needle is
    # searched in full on block masks of byte ids, leading and trailing windows included.
    needle = (("b" + "a" * 63) + ("x" + "b" * 63) * 2 + "a" * 64) * 2
    needle = needle[:m]
    for hay in ("ba" + "y" * (m - 2), "yyba" + "y" * (m - 1), "bba" + "y" * (m + 1)):
        a, b = (wide(needle), wide(hay)) if relabel else (needle, hay)
        expected = partial_ref(a, b)
        assert fuzz.partial_ratio(a, b) == expected
        assert fuzz.partial_ratio(b, a) == expected


def edge_case(rng, alphabet, noise_alphabet, m, extra, where):
    """A needle of m symbols and a haystack of about m + extra: the needle's second half
    opening the haystack, its first half closing it, or a mutated copy inside."""
    needle = "".join(rng.choice(alphabet) for _ in range(m))
    noise = "".join(rng.choice(noise_alphabet) for _ in range(m // 2 + extra))
    if where == "head":
        return needle, needle[m // 2 :] + noise
    if where == "tail":
        return needle, noise + needle[: m - m // 2]
    return needle, plant(rng, noise_alphabet, needle, extra, "mutated")


@pytest.mark.parametrize(
    "m,extra,where",
    [(129, 4, "head"), (129, 4, "tail"), (150, 64, "mutated"), (192, 3, "mutated"),
     (193, 3, "head"), (193, 3, "tail"), (260, 2, "mutated")],
)
def test_non_ascii_long_needles_against_reference(m, extra, where):
    # Non-ASCII needles of more than 128 symbols keep the leading and trailing windows.
    # Noise symbols absent from the needle (Latin-1, the needle's Cyrillic page, another page)
    # exercise the window filter.
    rng = random.Random(f"{m}{extra}{where}")
    needle, hay = edge_case(rng, "aбé中", "aбé中xжè丁", m, extra, where)
    expected = partial_ref(needle, hay)
    assert fuzz.partial_ratio(needle, hay) == expected
    assert fuzz.partial_ratio(hay, needle) == expected


# Distinct symbols over every lookup tier, the extremes U+0000, U+00FF, U+FFFF, U+10FFFF too.
POOL = [
    chr(c)
    for lo, hi in ((0x21, 0x7F), (0xA1, 0x100), (0x410, 0x450), (0x4E00, 0x4E40), (0x1F600, 0x1F640))
    for c in range(lo, hi)
] + ["\x00", "\uffff", "\U0010ffff"]


@pytest.mark.parametrize("k", [255, 256])
@pytest.mark.parametrize("where", ["head", "tail"])
def test_needle_distinct_symbol_limit(k, where):
    # A needle of up to 255 distinct symbols is searched on byte ids (with 255, every foreign
    # symbol of the haystack takes the last id, 255); with 256 the dynamic programme runs.
    rng = random.Random(k + len(where))
    symbols = rng.sample(POOL, k)
    chars = symbols + rng.choices(symbols, k=3)
    rng.shuffle(chars)
    needle = "".join(chars)
    others = [c for c in POOL if c not in symbols]
    _, hay = edge_case(rng, symbols, others + symbols[:5], len(needle), 3, where)
    expected = partial_ref(needle, hay)
    assert fuzz.partial_ratio(needle, hay) == expected
    assert fuzz.partial_ratio(hay, needle) == expected


def test_needle_symbols_absent():
    assert fuzz.partial_ratio("xyz", "aaaaaaaaaa") == 0.0
    assert fuzz.partial_ratio("é€", "abcabc") == 0.0
    assert fuzz.partial_ratio("x" * 200, "a" * 300) == 0.0
    assert fuzz.partial_ratio(" ", "   ") == 100.0


def test_batch_equals_scalar():
    rng = random.Random(3)
    pairs = [("", ""), ("", "a"), ("abc", "abc"), ("abc", "xxabcxx")]
    for i in range(150):
        alphabet = rng.choice(["ab", "abc ", "aé", "€\U0001f44d"])
        k = rng.randint(0, 300 if i % 25 == 0 else 40)
        pairs.append(
            tuple("".join(rng.choice(alphabet) for _ in range(rng.randint(0, k))) for _ in "12")
        )
    for cutoff in (None, 50.0, 101.0):
        assert fuzz.partial_ratio_batch(pairs, score_cutoff=cutoff) == [
            fuzz.partial_ratio(a, b, score_cutoff=cutoff) for a, b in pairs
        ]


def test_batch_on_workers_uses_private_rows():
    # Non-ASCII pairs of mixed needle lengths on worker threads: byte ids of one and two
    # words and blocks, and needles of more than 255 distinct symbols on the window programme.
    rng = random.Random(8)
    pairs = []
    for i in range(200):
        m = rng.choice([1, 2, 10, 64, 65, 150, 200, 300]) if i % 8 == 0 else rng.randint(1, 30)
        alphabet = POOL if i % 5 == 0 else "aé€"
        a = "".join(rng.choice(alphabet) for _ in range(m))
        b = "".join(rng.choice(list(alphabet[:3]) + ["b"]) for _ in range(m + rng.randint(0, 40)))
        pairs.append((a, b) if i % 2 else (b, a))
    expected = [fuzz.partial_ratio(a, b) for a, b in pairs]
    assert fuzz.partial_ratio_batch(pairs) == expected
    for (a, b), got in list(zip(pairs, expected))[1:60:8]:
        assert got == partial_ref(a, b)
