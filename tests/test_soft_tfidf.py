"""Soft TF-IDF against a straightforward reference (textbook Jaro, first-occurrence order)."""

import json
import math
import os
import subprocess
import sys
from collections import Counter

import pytest
from vector_reference import check_forms, word_pairs, words

import quorvalex as q


def jaro(s1, s2):
    l1, l2 = len(s1), len(s2)
    w = max(0, max(l1, l2) // 2 - 1)
    f1, f2 = [False] * l1, [False] * l2
    for i in range(l1):
        for j in range(max(0, i - w), min(l2, i + w + 1)):
            if not f2[j] and s1[i] == s2[j]:
                f1[i] = f2[j] = True
                break
    m = float(sum(f1))
    if m == 0:
        return 0.0
    a, b = ([c for c, f in zip(s, fs) if f] for s, fs in ((s1, f1), (s2, f2)))
    t = sum(x != y for x, y in zip(a, b)) // 2
    return ((m / l1 + m / l2) + (m - t) / m) / 3.0


def tsim(a, b):
    if a == b:
        return 1.0
    j, prefix = jaro(a, b), 0
    while prefix < min(4, len(a), len(b)) and a[prefix] == b[prefix]:
        prefix += 1
    return j + (1.0 - j) * (0.1 * prefix)


def ref_soft_tfidf(s1, s2, threshold=0.8):
    c1, c2 = Counter(words(s1)), Counter(words(s2))  # in order of first occurrence
    if not c1 or not c2:
        return 1.0 if not c1 and not c2 else 0.0
    n1, n2 = (math.sqrt(sum(float(c) * float(c) for c in m.values())) for m in (c1, c2))
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
        ("", "", 0.8, 1.0),
        ("\u3000 ", "\t\xa0\n", 0.8, 1.0),
        ("x", "", 0.8, 0.0),
        ("hello world", "hello world", 0.8, 0.9999999999999998),
        ("hello hello", "hello", 0.8, 1.0),
        ("john smith", "jon smith", 0.8, 0.9666666666666665),
        ("abcd abce", "abcd", 0.8, 1.3317177712346644),  # both words pair with abcd
        ("abcd", "abcd abce", 0.8, 0.7071067811865475),
        ("abc", "xyz", 0.8, 0.0),
        ("abcxyz", "azzzzz", 0.5, 0.5999999999999999),  # boosted below 0.7
        ("abcxyz", "azzzzz", 0.6, 0.0),
        ("x y", "x y", 1.5, 0.0),  # threshold above every similarity
        ("abc abd", "abx", float("nan"), 0.0),
    ],
)
def test_worked_values(s1, s2, threshold, expected):
    check_forms("soft_tfidf", s1, s2, expected, threshold=threshold)
    assert ref_soft_tfidf(s1, s2, threshold) == expected


@pytest.mark.parametrize("threshold", [0.8, 0.5, 0.0, 0.95])
def test_random_texts_against_reference(threshold):
    for s1, s2 in word_pairs(530, 150):
        check_forms("soft_tfidf", s1, s2, ref_soft_tfidf(s1, s2, threshold), threshold=threshold)


SCRIPT = """
import json, sys, quorvalex as q
pairs = json.loads(sys.argv[1])
print(json.dumps([q.soft_tfidf_similarity(a, b, threshold=0.5).hex() for a, b in pairs]))
"""


def test_identical_across_processes():
    # ties for the best partner with different counts, long sums: no dependence on the hash seed
    ties = [("abcd", "abce abcf abcf"), ("abcd", "abcf abcf abce")]
    pairs = ties + word_pairs(531, 40)
    cmd = [sys.executable, "-P", "-c", SCRIPT, json.dumps(pairs)]
    runs = [subprocess.check_output(cmd, env=dict(os.environ, PYTHONHASHSEED=s)) for s in "12"]
    assert runs[0] == runs[1]
    assert json.loads(runs[0]) == [ref_soft_tfidf(a, b, 0.5).hex() for a, b in pairs]
    assert json.loads(runs[0])[0] != json.loads(runs[0])[1]  # first occurrence wins the tie


# Pairs of 20,000 distinct words each: 4 * 10^8 word pairs, far longer than the test waits.
# The kernel polls while it pairs words, so a raising signal handler ends the batch at once.
INTERRUPT_SCRIPT = r"""
import signal, time
import quorvalex as q
words = ["w%dx" % i for i in range(20000)]
a, b = " ".join(words), " ".join(w + "y" for w in words)
def handler(signum, frame):
    raise KeyboardInterrupt
signal.signal(signal.SIGALRM, handler)
signal.setitimer(signal.ITIMER_REAL, 0.3)
start = time.monotonic()
try:
    q.soft_tfidf_similarity_batch([(a, b)] * 2)
    print("finished")
except KeyboardInterrupt:
    print(time.monotonic() - start)
"""


def test_long_pairing_is_interrupted():
    from frame_reference import run_python

    out = run_python(INTERRUPT_SCRIPT, timeout=120)
    assert out.returncode == 0, out.stderr
    assert 0.25 <= float(out.stdout) < 2.5
