"""Plain reference procedures, text generators and a form checker for the edit-distance tests."""

import math

U64_MAX = 2**64 - 1

# The letters a-d written in four alphabets: bytes, Latin-1 (narrowed to bytes), BMP with
# U+0100 and U+20AC (no byte form), and astral (four-byte UTF-8).
ALPHABETS = {
    "ascii": "abcd",
    "latin1": "\u00e9b\u00ffd",
    "bmp": "\u20acb\u0100d",
    "astral": "\U0001f44db\U0001f600d",
}
_TABLES = {name: str.maketrans("abcd", letters) for name, letters in ALPHABETS.items()}


def render(text, alphabet):
    """`text` over a-d written in another alphabet (a bijection: every measure is unchanged)."""
    return text.translate(_TABLES[alphabet])


def random_text(rng, n, letters="abc"):
    return "".join(rng.choice(letters) for _ in range(n))


def mutate(rng, s, letters, edits):
    """`s` after random substitutions, insertions, deletions and adjacent swaps (a swap is
    sometimes followed by an insertion between the swapped symbols)."""
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


def levenshtein(a, b):
    """Wagner-Fischer, one row at a time."""
    prev = list(range(len(b) + 1))
    for i, x in enumerate(a, 1):
        cur = [i]
        for j, y in enumerate(b, 1):
            cur.append(min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (x != y)))
        prev = cur
    return prev[-1]


def osa(a, b):
    """Levenshtein plus adjacent transpositions, no substring edited twice."""
    prev2, prev = None, list(range(len(b) + 1))
    for i in range(1, len(a) + 1):
        cur = [i]
        for j in range(1, len(b) + 1):
            v = min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] != b[j - 1]))
            if i > 1 and j > 1 and a[i - 1] == b[j - 2] and a[i - 2] == b[j - 1]:
                v = min(v, prev2[j - 2] + 1)
            cur.append(v)
        prev2, prev = prev, cur
    return prev[-1]


def damerau_levenshtein(a, b):
    """Lowrance-Wagner table with unit costs (unrestricted transpositions)."""
    inf = len(a) + len(b)
    t = [[inf] * (len(b) + 2)] + [[inf, i] + [0] * len(b) for i in range(len(a) + 1)]
    t[1][1:] = range(len(b) + 1)
    last_row = {}
    for i in range(1, len(a) + 1):
        last_col = 0
        for j in range(1, len(b) + 1):
            k, l = last_row.get(b[j - 1], 0), last_col
            cost = a[i - 1] != b[j - 1]
            if not cost:
                last_col = j
            t[i + 1][j + 1] = min(
                t[i][j] + cost,
                t[i + 1][j] + 1,
                t[i][j + 1] + 1,
                t[k][l] + (i - k - 1) + 1 + (j - l - 1),
            )
        last_row[a[i - 1]] = i
    return t[-1][-1]


def longest_common_substring(a, b):
    best, prev = 0, [0] * (len(b) + 1)
    for x in a:
        cur = [0] + [prev[j - 1] + 1 if x == y else 0 for j, y in enumerate(b, 1)]
        best, prev = max(best, *cur), cur
    return best


def jaro(s1, s2):
    """s1 drives the scan and takes the first free equal position of s2 in the window."""
    if s1 == s2:
        return 1.0
    if not s1 or not s2:
        return 0.0
    len1, len2 = len(s1), len(s2)
    w = max(len1, len2) // 2 - 1 if max(len1, len2) >= 2 else 0
    f1, f2 = [False] * len1, [False] * len2
    for i in range(len1):
        for j in range(max(0, i - w), min(len2 - 1, i + w) + 1):
            if not f2[j] and s1[i] == s2[j]:
                f1[i] = f2[j] = True
                break
    m = sum(f1)
    if m == 0:
        return 0.0
    a = [c for c, f in zip(s1, f1) if f]
    b = [c for c, f in zip(s2, f2) if f]
    t = sum(x != y for x, y in zip(a, b)) // 2
    x = m / len1
    return (x + m / len2 + (m - t) / m) / 3.0


def jaro_winkler(s1, s2, p=0.1):
    j = jaro(s1, s2)
    if s1 == s2 or j < 0.7:
        return j
    n = 0
    while n < min(4, len(s1), len(s2)) and s1[n] == s2[n]:
        n += 1
    return j + (1.0 - j) * (p * n)


def typed(*values):
    return [(type(v), v) for v in values]


def cut_above(value, cutoff, over=None):
    """A distance above the cutoff becomes `over`, by default cutoff + 1 (NaN compares false)."""
    if value is None or cutoff is None or not value > cutoff:
        return value
    return cutoff + 1 if over is None else over


def cut_below(value, cutoff):
    """A similarity below the cutoff becomes zero of its type."""
    return type(value)(0) if value is not None and cutoff is not None and value < cutoff else value


def float_cutoffs(*values):
    """Each value, its neighbouring doubles, out-of-range cutoffs and NaN."""
    near = [x for v in values for x in (v, math.nextafter(v, -2.0), math.nextafter(v, 2.0))]
    return near + [-0.5, 1.5, math.nan]


def forms(module, stem):
    names = ("distance", "similarity", "normalized_distance", "normalized_similarity")
    return [getattr(module, f"{stem}_{name}") for name in names]


def check_forms(fns, s1, s2, dist, cutoffs=True, identical_zero=False):
    """Distance, similarity, normalized distance and normalized similarity `fns` on both argument
    orders, without and with cutoffs around each value, from the distance `dist` (None: no value).
    The normalized distance of two empty texts (of equal texts too, with identical_zero) is 0.0
    whatever the cutoff."""
    fd, fs, fnd, fns_ = fns
    longest = max(len(s1), len(s2))
    sim = norm = nsim = None
    if dist is not None:
        sim, norm = longest - dist, dist / longest if longest else 0.0
        nsim = 1.0 - norm
    ints = [None, 0, 1, U64_MAX]
    floats = [None, 0.5]
    if cutoffs and dist is not None:
        ints += [v + k for v in (dist, sim) for k in (-1, 0, 1) if v + k >= 0]
        floats += float_cutoffs(norm, nsim)
    fixed = longest == 0 or (identical_zero and s1 == s2)
    for a, b in ((s1, s2), (s2, s1)):
        for k in ints:
            want = cut_above(dist, k), cut_below(sim, k)
            got = fd(a, b, score_cutoff=k), fs(a, b, score_cutoff=k)
            assert typed(*got) == typed(*want), (a, b, k)
        for c in floats:
            want = norm if fixed else cut_above(norm, c, 1.0), cut_below(nsim, c)
            got = fnd(a, b, score_cutoff=c), fns_(a, b, score_cutoff=c)
            assert typed(*got) == typed(*want), (a, b, c)
