"""Soft TF-IDF against a straightforward reference (textbook Jaro, first-occurrence order)."""

import math
import os
import random
import re
import subprocess
import sys
from collections import Counter

import pytest

import quorvalex as q

WHITE_SPACE = re.compile("[\t\n\v\f\r \x85\xa0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]+")


def words(text):
    return [w for w in WHITE_SPACE.split(text) if w]


def jaro(s1, s2):
    if s1 == s2:
        return 1.0
    if not s1 or not s2:
        return 0.0
    l1, l2 = len(s1), len(s2)
    longer = max(l1, l2)
    w = 0 if longer < 2 else longer // 2 - 1
    f1, f2 = [False] * l1, [False] * l2
    m = 0
    for i in range(l1):
        for j in range(max(0, i - w), min(l2 - 1, i + w) + 1):
            if not f2[j] and s1[i] == s2[j]:
                f1[i] = f2[j] = True
                m += 1
                break
    if m == 0:
        return 0.0
    a = [c for c, f in zip(s1, f1) if f]
    b = [c for c, f in zip(s2, f2) if f]
    t = sum(x != y for x, y in zip(a, b)) // 2
    big_m = float(m)
    x = big_m / l1
    y = x + big_m / l2
    z = (big_m - t) / big_m
    return (y + z) / 3.0


def tsim(a, b):
    if a == b:
        return 1.0
    j = jaro(a, b)
    prefix = 0
    while prefix < 4 and prefix < len(a) and prefix < len(b) and a[prefix] == b[prefix]:
        prefix += 1
    return j + (1.0 - j) * (0.1 * prefix)


def ref_soft_tfidf(s1, s2, threshold=0.8):
    w1, w2 = words(s1), words(s2)
    if not w1:
        return 1.0 if not w2 else 0.0
    if not w2:
        return 0.0
    c1, c2 = Counter(w1), Counter(w2)  # insertion order: first occurrence
    n1 = math.sqrt(sum(float(c) * float(c) for c in c1.values()))
    n2 = math.sqrt(sum(float(c) * float(c) for c in c2.values()))
    total = 0.0
    for a, ca in c1.items():
        best, best_count = 0.0, 0.0
        for b, cb in c2.items():
            s = tsim(a, b)
            if s >= threshold and s > best:
                best, best_count = s, float(cb)
        if best > 0.0:
            total = total + best * ((best_count / n2) * (float(ca) / n1))
    return total


@pytest.mark.parametrize(
    "s1, s2, threshold, expected",
    [
        ("hello world", "hello world", 0.8, 0.9999999999999998),
        ("hello world", "world hello", 0.8, 0.9999999999999998),
        ("hello hello", "hello", 0.8, 1.0),
        ("john smith", "jon smith", 0.8, 0.9666666666666665),
        ("abcd abce", "abcd", 0.8, 1.3317177712346644),  # both words pair with abcd
        ("abcd", "abcd abce", 0.8, 0.7071067811865475),
        ("abc", "xyz", 0.8, 0.0),
        ("abcxyz", "azzzzz", 0.5, 0.5999999999999999),  # boosted below 0.7
        ("abcxyz", "azzzzz", 0.6, 0.0),
        ("x", "", 0.8, 0.0),
        ("", "x", 0.8, 0.0),
        ("x y", "x y", 1.5, 0.0),  # threshold above every similarity
    ],
)
def test_worked_values(s1, s2, threshold, expected):
    assert q.soft_tfidf_similarity(s1, s2, threshold=threshold) == expected
    assert q.soft_tfidf_distance(s1, s2, threshold=threshold) == 1.0 - expected
    assert ref_soft_tfidf(s1, s2, threshold) == expected


def test_token_similarity_has_no_boost_threshold():
    assert jaro("abcxyz", "azzzzz") == 0.5555555555555555
    assert tsim("abcxyz", "azzzzz") == 0.5999999999999999
    assert q.distance.jaro_winkler_similarity("abcxyz", "azzzzz") == 0.5555555555555555


@pytest.mark.parametrize("s1, s2", [("", ""), (" ", "\t\n"), ("\u3000", "\xa0")])
def test_texts_without_words(s1, s2):
    assert q.soft_tfidf_similarity(s1, s2, score_cutoff=2.0) == 1.0
    assert q.soft_tfidf_distance(s1, s2) == 0.0
    assert q.soft_tfidf_similarity_batch([(s1, s2)], score_cutoff=2.0) == [1.0]


def test_cutoffs_and_unclamped_distance():
    assert q.soft_tfidf_similarity("abcd abce", "abcd", score_cutoff=1.3317177712346644) == (
        1.3317177712346644
    )
    assert q.soft_tfidf_similarity("abcd abce", "abcd", score_cutoff=1.34) == 0.0
    d = q.soft_tfidf_distance("abcd abce", "abcd")
    assert d == 1.0 - 1.3317177712346644 and d < 0.0
    assert q.soft_tfidf_distance("abcd abce", "abcd", score_cutoff=-0.3) == d
    assert q.soft_tfidf_distance("abcd abce", "abcd", score_cutoff=-0.5) == 1.0
    assert q.soft_tfidf_distance("john smith", "jon smith", score_cutoff=0.01) == 1.0


def test_threshold_nan_and_low():
    assert q.soft_tfidf_similarity("abc abd", "abx", threshold=float("nan")) == 0.0
    low = q.soft_tfidf_similarity("abc xyz", "abd qqq", threshold=-1.0)
    assert low == ref_soft_tfidf("abc xyz", "abd qqq", -1.0) and low > 0.0


VOCAB = ["jon", "john", "johan", "smith", "smyth", "smit", "ab", "abc", "abd", "ba",
         "é", "éa", "aé", "€uro", "€ur", "👍x", "👍y", "Āb", "Ābc", "zz"]  # fmt: skip


def random_text(rng, vocab, max_words):
    return " ".join(rng.choice(vocab) for _ in range(rng.randint(0, max_words)))


def random_pairs(seed, count):
    rng = random.Random(seed)
    big = VOCAB + [f"{w}{i}" for w in ("tok", "tak") for i in range(12)]
    pairs = []
    for k in range(count):
        vocab, m = (big, 30) if k % 5 == 0 else (VOCAB, 6)
        pairs.append((random_text(rng, vocab, m), random_text(rng, vocab, m)))
    return pairs


@pytest.mark.parametrize("threshold", [0.8, 0.5, 0.0, 0.95])
def test_random_texts_against_reference(threshold):
    pairs = random_pairs(530, 150)
    for s1, s2 in pairs:
        assert q.soft_tfidf_similarity(s1, s2, threshold=threshold) == ref_soft_tfidf(
            s1, s2, threshold
        ), (s1, s2)
    assert q.soft_tfidf_similarity_batch(pairs, threshold=threshold) == [
        q.soft_tfidf_similarity(s1, s2, threshold=threshold) for s1, s2 in pairs
    ]


# Second-text words that tie for the best partner with different counts, and sums over many
# distinct words (past the linear scan): the results must not depend on the hash seed.
TIE_PAIRS = [
    ("abcd", "abce abcf abcf"),
    ("abcd", "abcf abcf abce"),
    ("abcx abcy abcz", "abcq abcq abcr abcs abcs abcs"),
] + random_pairs(531, 40)

SCRIPT = """
import json, sys
import quorvalex as q
pairs = json.loads(sys.stdin.read())
print(json.dumps([q.soft_tfidf_similarity(a, b, threshold=0.5).hex() for a, b in pairs]))
"""


def run_in_subprocess(seed):
    import json

    env = dict(os.environ, PYTHONHASHSEED=str(seed))
    out = subprocess.run(
        [sys.executable, "-P", "-c", SCRIPT],
        input=json.dumps(TIE_PAIRS),
        capture_output=True,
        text=True,
        env=env,
        check=True,
    )
    return json.loads(out.stdout)


def test_identical_across_processes():
    first, second = run_in_subprocess(1), run_in_subprocess(2)
    assert first == second
    expected = [ref_soft_tfidf(a, b, 0.5).hex() for a, b in TIE_PAIRS]
    assert first == expected
    # the tie: first occurrence wins, so the count of abce (1) is used, then of abcf (2)
    assert float.fromhex(first[0]) != float.fromhex(first[1])
