"""The similarity join: the pairs and scores of scoring every pair with the scalar function, for
every filtered family at cutoffs where the filter rules much or nothing out, in texts of every
width; dedupe's labels; every argument error (dedupe's groups: test_cli.py)."""

import math
import os
import pathlib
import platform
import random
import re
import shutil
import subprocess

import numpy as np
import pytest

import quorvalex
from join_reference import every_pair
from quorvalex import _join, distance as D, fuzz as F
from texts import mutate

ALPHABETS = ["ab", "abcd", "abcdefghij", "aé日😀"]


def char_texts(rng, n):
    """Random texts of 0 to 40 symbols, most of them a few edits from one of n // 3 others."""
    alphabet = rng.choice(ALPHABETS)
    bases = ["".join(rng.choices(alphabet, k=rng.randint(0, 40))) for _ in range(max(1, n // 3))]
    return [mutate(rng, rng.choice(bases), alphabet, rng.randint(0, 4)) for _ in range(n)]


def word_texts(rng, n):
    """Texts of 0 to 5 words over a small vocabulary, words repeated and in any order."""
    vocabulary = ["a", "b", "ab", "ba", "abc", "é", "日本", "x y"]
    sep = rng.choice([" ", "  ", "\t", "\u3000"])
    return [sep.join(rng.choices(vocabulary, k=rng.randint(0, 5))) for _ in range(n)]


def prefix_distance(a, b, *, score_cutoff=None, bonus=0):  # a Python callable
    n = 0
    while n < min(len(a), len(b)) and a[n] == b[n]:
        n += 1
    return max(len(a), len(b)) - n - bonus


EDIT = {"distance": [0, 1, 2, 4, 100], "similarity": [0, 5, 20, 1000],
        "normalized_distance": [0.0, 0.1, 0.3, 1.0],
        "normalized_similarity": [0.0, 0.75, 0.9, 1.0]}
JARO = {"similarity": [0.0, 0.8, 0.95, 1.0], "normalized_similarity": [0.9],
        "distance": [0.0, 0.1, 0.3, 1.0], "normalized_distance": [0.1]}
OVERLAP = {"similarity": [0.0, 0.3, 0.5, 0.8, 1.0], "distance": [0.0, 0.4, 0.7, 1.0]}
CHARS = {"use_words": False}
CASES = (
    [(getattr(D, f"{stem}_{form}"), {}, cutoffs, char_texts) for form, cutoffs in EDIT.items()
     for stem in ("levenshtein", "osa", "damerau_levenshtein", "indel", "lcs_seq")]
    # prefix_weight 0.4 is beyond the bound of the length filter: no length filter
    + [(getattr(D, f"{stem}_{form}"), options, cutoffs, char_texts)
       for form, cutoffs in JARO.items() for stem, options in [("jaro", {}), ("jaro_winkler", {}),
                             ("jaro_winkler", {"prefix_weight": 0.25}),
                             ("jaro_winkler", {"prefix_weight": 0.4})]]
    + [(getattr(quorvalex, f"{name}_{form}"), options, cutoffs,
        char_texts if options else word_texts) for form, cutoffs in OVERLAP.items()
       for name, options in [("jaccard", {}), ("sorensen_dice", {}), ("overlap", {}),
                             ("cosine", {}), ("cosine", {**CHARS, "ngram_size": 2}),
                             ("cosine", {**CHARS, "ngram_size": 3})]]
    + [(F.ratio, {}, [0, 50, 85, 95, 100], char_texts),
       (F.token_sort_ratio, {}, [0, 60, 90, 100], word_texts),
       # No filter: every pair is scored through the same driver.
       (D.hamming_distance, {}, [1], char_texts), (F.partial_ratio, {}, [80], char_texts),
       (quorvalex.tversky_similarity, {"alpha": 0.5, "beta": 2.0}, [0.5], word_texts),
       (prefix_distance, {"bonus": 1}, [0, 1, 3], char_texts)])


def as_triples(result):
    left, right, scores = result
    assert left.dtype == right.dtype == np.intp
    return [(i, j, s, type(s)) for i, j, s in zip(left.tolist(), right.tolist(), scores.tolist())]


def reference(scorer, left, right, cutoff, **options):
    return [(*t, type(t[2])) for t in every_pair(scorer, left, right, cutoff, **options)]


@pytest.mark.parametrize("scorer, options, cutoffs, texts", CASES,
                         ids=[f"{c[0].__name__}{c[1] or ''}" for c in CASES])
def test_join_equals_every_pair(scorer, options, cutoffs, texts):
    rng = random.Random(scorer.__name__ + str(options))
    for cutoff in cutoffs:
        for left, right in ((texts(rng, 36), texts(rng, 24)) for _ in range(2)):
            for other in (right, None):
                got = _join.join(left, other, scorer=scorer, score_cutoff=cutoff, **options)
                assert as_triples(got) == reference(scorer, left, other, cutoff, **options)


def test_long_texts_every_width_and_workers():
    rng = random.Random(3)
    base = ["".join(rng.choices("abcdefgh", k=rng.randint(60, 300))) for _ in range(12)]
    texts = [mutate(rng, rng.choice(base), "abcdefgh", rng.randint(0, 6)) for _ in range(40)]
    wide = [t.replace("a", "ä").replace("b", "β").replace("c", "😀") for t in texts]
    for scorer, cutoff in [(D.levenshtein_distance, 5), (D.indel_normalized_similarity, 0.97),
                           (F.ratio, 97), (D.damerau_levenshtein_distance, 3)]:
        for data in (texts, wide, texts[:20] + wide[20:]):
            expected = reference(scorer, data, None, cutoff)
            for workers in (1, 2, -1):
                got = _join.join(data, scorer=scorer, score_cutoff=cutoff, workers=workers)
                assert as_triples(got) == expected


def test_empty_inputs():
    for empty in (_join.join([], score_cutoff=1), _join.join([], ["a"], score_cutoff=1),
                  _join.join(["a"], [], score_cutoff=1),
                  _join.join(["a", "a"], scorer=F.ratio, score_cutoff=math.nan)):
        assert [len(a) for a in empty] == [0, 0, 0] and empty[0].dtype == np.intp
    assert _join.dedupe(iter(["ab", "xy", "abc"]), score_cutoff=1).tolist() == [0, 1, 0]


def test_missing_values_and_processor_keep_positions():
    pd = pytest.importorskip("pandas")
    items = ["Anna", None, "anna!", float("nan"), pd.NA, "ANNA", "bob", "-"]

    def processor(s):  # "-" becomes missing
        return "".join(c for c in s.lower() if c.isalnum()) or None

    for data in (items, tuple(items), pd.Series(items, index=list("abcdefgh")),
                 np.array(items, dtype=object)):
        left, right, score = _join.join(data, scorer=D.levenshtein_distance, score_cutoff=0,
                                        processor=processor)
        assert (left.tolist(), right.tolist(), score.tolist()) == ([0, 0, 2], [2, 5, 5], [0, 0, 0])
    labels = _join.dedupe(items, score_cutoff=0, processor=processor)
    assert labels.tolist() == [0, 1, 0, 3, 4, 0, 6, 7]
    left, right, _ = _join.join(items, ["anna", None, "bob", "!"], score_cutoff=0,
                                processor=processor)
    assert (left.tolist(), right.tolist()) == ([0, 2, 5, 6], [0, 0, 0, 2])


def test_components_of_long_chains():
    # A path 0 - 1 - ... - n-1 given backwards, and a star, in one graph.
    n = 5000
    left = list(range(n - 2, -1, -1)) + [n + 1] * 10
    right = list(range(n - 1, 0, -1)) + list(range(n + 2, n + 12))
    labels = _join.components(n + 12, np.array(left), np.array(right))
    assert labels.tolist() == [0] * n + [n, n + 1] + [n + 1] * 10


@pytest.mark.parametrize("items, kwargs, kind, message", [  # the scorer's: test_process.py
    (None, dict(score_cutoff=None), TypeError,
     "score_cutoff is required: the join keeps the pairs that meet it"),
    (None, dict(scorer=D.levenshtein_distance_batch), TypeError, "scores a list of pairs"),
    (None, dict(workers=0), ValueError, "workers must be -1"),
    (None, dict(workers=1.5), TypeError, "workers must be an int"),
    (None, dict(scorer="ratio"), TypeError, "scorer must be callable"),
    (["a", 3], {}, TypeError, "left[1] must be a str, not int"),
    (["a", b"b"], {}, TypeError, "left[1] must be a str, not bytes"),
    ("abc", {}, TypeError, "left must be a sequence of str, not a str"),
    (["a", "b"], dict(processor=lambda s: s if s == "a" else 1), TypeError,
     "processor's result for left[1] must be a str"),
    (["abc", "a\ud800"], {}, UnicodeEncodeError, "surrogates not allowed"),  # as the scorer
])
def test_argument_errors(items, kwargs, kind, message):
    with pytest.raises(kind, match=re.escape(message)):
        _join.join(items or ["abc", "abd"], **{"score_cutoff": 1, **kwargs})
    if items:  # the same on the right
        with pytest.raises(kind, match=re.escape(message.replace("left", "right"))):
            _join.join(["a"], items, **{"score_cutoff": 1, **kwargs})


def test_native_count_filter_checks(tmp_path):
    compiler = shutil.which(os.environ.get("CXX", "g++"))
    if not compiler:
        pytest.skip("no C++ compiler")
    root = pathlib.Path(__file__).resolve().parent.parent
    program = tmp_path / "join_filter_check"
    sources = [root / "src" / "join" / name
               for name in ("join_index.cpp", "join_measures.cpp", "join_tokens.cpp")]
    tuning = ["-march=x86-64-v2"] if platform.machine() in ("x86_64", "AMD64") else []
    subprocess.run([compiler, "-std=c++20", "-O2", *tuning, f"-I{root / 'src'}",
                    *sources, root / "tests" / "join_filter_check.cpp", "-o", program],
                   check=True, timeout=600)
    out = subprocess.run([program], capture_output=True, text=True, timeout=600)
    assert (out.returncode, out.stdout) == (0, "ok\n"), out.stdout
