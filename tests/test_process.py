"""quorvalex.process against the scalar functions called in a loop (every cell and extract result
of every scalar function, texts of every width, options, processors, mappings, missing values);
the lane kernels on each instruction set; every argument error (Ctrl-C: test_interrupt.py)."""

import math
import os
import random

import numpy as np
import pytest

from frame_reference import ALL, BATCH, option_sets, run_python
from join_reference import meets
from quorvalex import _join, _quorvalex, distance as D, fuzz as F, utils
from quorvalex.process import cdist, cpdist, extract, extract_iter, extract_one

LEV = D.levenshtein_distance
SCALAR = [f for f in ALL if f not in BATCH]
assert len(SCALAR) == 70  # every function of the table that is not a batch

def texts(seed):
    """ASCII, Latin-1, Cyrillic, CJK and astral words (and the widths mixed), of 0 to 130
    symbols (around every lane and word width), with typos and shuffled words of some of them,
    and names in both word orders."""
    rng = random.Random(seed)
    out = [" ", "Anna Smith", "Smith Anna", "Ana Smyth", "Müller Zoë"]
    for alphabet in ["abcd e", "aéüß o", "иванп р", "李王张 刘", "a👍😀𝒳 b", "aé李👍 иb"]:
        for n in (0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 90, 130):
            out.append("".join(rng.choices(alphabet, k=n)))
    for s in out[5::6]:
        words = s.split(" ")
        rng.shuffle(words)
        t = list(s or "x")
        t[rng.randrange(len(t))] = rng.choice("x李👍")
        out += [" ".join(words), "".join(t)]
    return out


def cells(rows, missing, dtype):
    return np.array([[missing if v is None else v for v in row] for row in rows], dtype=dtype)


def equal(a, b):
    kind = a.dtype.kind == "f"
    return a.dtype == b.dtype and a.shape == b.shape and np.array_equal(a, b, equal_nan=kind)


@pytest.mark.parametrize("fn", SCALAR, ids=lambda f: f.__name__)
def test_searches_equal_the_scalar_loop(fn):
    choices = texts(11) + [None, math.nan]
    queries = texts(12)[1::9] + [choices[12], choices[35], "a b", "b a"]
    lower = fn.__name__.endswith("_distance")
    for options in option_sets(fn):
        scores = sorted(v for q in queries for c in choices[:-2]
                        if meets(fn, v := fn(q, c, **options), None))
        tight = scores[len(scores) // 10 if lower else -len(scores) // 10]
        for cutoff in (None, scores[len(scores) // 2], tight):
            kw = dict(scorer=fn, score_cutoff=cutoff, **options)
            want = [[None if c is None or c != c else fn(q, c, score_cutoff=cutoff, **options)
                     for c in choices] for q in queries]
            for workers in (1, -1):
                got = cdist(queries, choices, workers=workers, **kw)
                integer = got.dtype == np.int32
                assert integer == any(isinstance(v, int) for row in want for v in row)
                assert equal(got, cells(want, -1 if integer else math.nan, got.dtype)), cutoff
            pairs = cpdist(queries, choices[: len(queries)], dtype=np.float64, **kw)
            assert equal(pairs, cells([[row[i] for i, row in enumerate(want)]], math.nan, "f8")[0])
            for query, row in zip(queries, want):
                in_order = [(j, v) for j, v in enumerate(row) if meets(fn, v, cutoff)]
                ranked = sorted(in_order, key=lambda h: h[1], reverse=not lower)
                best = extract_one(query, choices, **kw)
                assert best == ((choices[ranked[0][0]], *ranked[0][::-1]) if ranked else None)
                for limit in (1, 4, None):
                    got = extract(query, choices, limit=limit, **kw)
                    assert [(k, s) for _, s, k in got] == ranked[:limit], (query, limit, cutoff)
                got = extract_iter(query, choices, **kw)
                assert [(k, s) for _, s, k in got] == in_order


# Scorers with lane kernels (several choices scored at once in the lanes of a vector).
LANE_SCORERS = ["ratio", "q_ratio", "token_sort_ratio", "jaro_distance", "jaro_similarity",
                "jaro_winkler_similarity", "jaro_winkler_normalized_distance"] + [
    f"levenshtein_{form}" for form in
    ("distance", "similarity", "normalized_distance", "normalized_similarity")]


@pytest.mark.parametrize("isa", ["scalar", "sse4.2", "avx2"])
def test_lane_kernels_on_every_instruction_set(isa):
    # The comparison above (texts of every lane boundary) and the alignment scores' integer
    # lanes against their reference, with the dispatch forced to `isa`.
    tests = [f"{__file__}::test_searches_equal_the_scalar_loop[{name}]" for name in LANE_SCORERS]
    tests.append(f"{os.path.dirname(__file__)}/test_vector_measures.py"
                 "::test_integer_lanes_against_reference")
    code = f"import pytest\nraise SystemExit(pytest.main(['-qp', 'no:cacheprovider', *{tests!r}]))"
    result = run_python(code, env={"QUORVALEX_SIMD": isa}, timeout=1200)
    assert result.returncode == 0 and f"{len(tests)} passed" in result.stdout, result.stdout


def test_processor_runs_once_per_item_and_keys_follow_the_container():
    calls, p = [], utils.default_process

    def processor(s):
        calls.append(s)
        return p(s)

    choices = {"a": "New York Mets", "b": None, "c": "new-york meats", "d": "NEW YORK"}
    best = extract_one("new york!", choices, scorer=F.ratio, processor=processor)
    assert best == ("NEW YORK", 100.0, "d") and len(calls) == 4
    queries = ["a-b", "B A", "c"]
    matrix = cdist(queries, list(choices.values()), scorer=F.token_sort_ratio, processor=processor)
    assert len(calls) == 4 + len(queries) + 3
    want = [[None if c is None else F.token_sort_ratio(p(q), p(c)) for c in choices.values()]
            for q in queries]
    assert equal(matrix, cells(want, math.nan, np.float64))


def test_series_and_arrays():
    pd = pytest.importorskip("pandas")
    series = pd.Series(["apple", pd.NA, "apples", None, math.nan, "maple"], index=list("uvwxyz"))
    assert extract("apple", series, scorer=F.ratio, limit=None) == [
        ("apple", 100.0, "u"), ("apples", F.ratio("apple", "apples"), "w"),
        ("maple", F.ratio("apple", "maple"), "z")]
    matrix = cdist(series, np.array(["apple", "maple"]), scorer=LEV)
    assert matrix.tolist() == [[0, 2], [-1, -1], [1, 3], [-1, -1], [-1, -1], [2, 0]]
    frame = pd.DataFrame({"a": ["abc", "xyz", None], "b": ["abd", "xyz", "q"]})
    assert cpdist(frame["a"], frame["b"], scorer=LEV).tolist() == [1, 0, -1]


def my_distance(a, b, score_cutoff=None, weight=1):
    return weight * LEV(a, b, score_cutoff=score_cutoff)


class Names(list):
    pass


@pytest.mark.parametrize("call, expected", [
    (lambda: cdist([], ["a"]).shape, (0, 1)),
    (lambda: cdist(["a"], []).shape, (1, 0)),
    (lambda: cpdist([], []).shape, (0,)),
    (lambda: extract("a", []), []),
    (lambda: extract_one("a", ()), None),
    (lambda: extract_one("a", Names(["b", "a"])), ("a", 100.0, 1)),
    (lambda: extract_one("a", iter(["b", "a"])), ("a", 100.0, 1)),
    (lambda: extract("a", ["a", "b"], limit=0), []),
    (lambda: extract_one(None, ["a"]), None),
    (lambda: extract(math.nan, ["a"]), []),
    (lambda: cdist(["ab"], ["ab", "cd"], dtype=">f8").tolist(), [[100.0, 0.0]]),
    (lambda: cdist(["ab"], ["ab", "cd"], dtype=">f8").dtype.str, ">f8"),
    # Float scores in integer cells: nearest integer, halves away from zero (12.5 and 8.33...).
    (lambda: cdist(["a"], ["a" + "b" * 14, "a" + "b" * 22], dtype=np.uint8).tolist(), [[13, 8]]),
    (lambda: cdist(["a"], ["b", "c"], scorer=lambda a, b: 2.5 if b == "b" else -3.5,
                   dtype=np.int8).tolist(), [[3, -4]]),
    (lambda: cdist(["abc"], ["abd"], dtype=np.float32)[0, 0], np.float32(F.ratio("abc", "abd"))),
    (lambda: cdist(["a"], ["b"], scorer=LEV, dtype="int64").dtype, np.int64),
    # Python callables: the same cutoff rules (a distance at the cutoff meets it) and cells.
    (lambda: extract("abc", ["abd", "xyz", "abc", "ab", "bcd"], scorer=my_distance,
                     score_cutoff=1, limit=2), [("abc", 0, 2), ("abd", 1, 0)]),
    (lambda: extract_one("ab", ["abc", "ab"], scorer=my_distance, weight=2), ("ab", 0, 1)),
    (lambda: cdist(["abcd", "ab"], ["abc", "x", "abcdxy"], scorer=my_distance,
                   score_cutoff=2).tolist(), [[1, 3, 2], [1, 2, 3]]),
])
def test_edge_inputs(call, expected):
    assert call() == expected


V, T = ValueError, TypeError


@pytest.mark.parametrize("kind, call, message", [
    (V, lambda: cdist(["a" * 128], ["b"], scorer=LEV, dtype=np.int8),
     r"the score 128.0 of queries\[0\] and choices\[0\] does not fit in int8"),
    (V, lambda: cdist(["a", None], ["b"], scorer=F.ratio, dtype=np.uint16),
     r"missing score of queries\[1\] and choices\[0\] cannot be stored in uint16"),
    (V, lambda: cdist(["a"], ["b"], scorer=lambda a, b: None, dtype=np.uint8),
     "missing score cannot be stored in uint8"),
    (V, lambda: cdist(["a"], ["b"], scorer=lambda a, b: 256.0, dtype=np.uint8),
     "the score 256.0 does not fit in uint8"),
    (V, lambda: cdist(["a"], ["b"], dtype=np.complex64), "float or integer type"),
    (V, lambda: cdist(["a"], ["b"], workers=0), "workers must be -1"),
    (V, lambda: cdist(["a"], ["b"], workers=-2), "workers must be -1"),
    (V, lambda: cpdist(["a", "b"], ["c"]), r"same length \(2 != 1\)"),
    (V, lambda: extract("a", ["b"], limit=-1), "limit must be None or at least 0"),
    (T, lambda: extract_one("a", ["b", 3]), "the choice at index 1 is int, not str"),
    (T, lambda: extract_one("a", {"k": "b", "j": b"x"}), "the choice with key 'j' is bytes"),
    (T, lambda: cdist(["a", 2.5], ["b"]), "the query at index 1 is float"),
    (T, lambda: cdist(["a"], ["b", "c", [1]]), "the choice at index 2 is list"),
    (T, lambda: extract_one(5, ["a"]), "query is int, not str"),
    (T, lambda: extract("a", ["b", "c"], processor=lambda s: s if s == "a" else 1),
     "processor returned int for the choice at index 0; it must return str"),
    (T, lambda: extract("a", ["b", 7], processor=str.upper), "the choice at index 1 is int"),
    (T, lambda: extract("a", ["b", 7], scorer=lambda a, b: 1.0), "the choice at index 1 is int"),
    (T, lambda: extract_one("a", ["b"], scorer=F.ratio_batch),
     "ratio_batch scores a list of pairs and cannot be a scorer; use ratio instead"),
    (T, lambda: cdist(["a"], ["b"], scorer=_quorvalex.cosine_similarity_batch),
     "use cosine_similarity"),
    (T, lambda: extract_one("a", ["b"], scorer="ratio"), "scorer must be callable, not str"),
    (T, lambda: extract_one("a", ["b"], processor=1), "processor must be callable or None"),
    (T, lambda: extract_one("a", 5), "choices must be a sequence or a mapping of str, not int"),
    (T, lambda: extract_one("a", "abc"), "choices must be a sequence or a mapping of str, not str"),
])
def test_argument_errors(kind, call, message):
    with pytest.raises(kind, match=message):
        call()


@pytest.mark.parametrize("fn, kwargs", [
    (F.ratio, {"prefix_weight": 0.1}),
    (D.jaro_winkler_similarity, {"prefix_weight": "x"}),
    (_quorvalex.cosine_similarity, {"use_words": False, "ngram_size": 0}),
    (LEV, {"score_cutoff": -1}),
    (LEV, {"score_cutoff": "x"}),
    (LEV, {"score_cutoff": 0.5}),
    (F.ratio, {"s1": "x"}),
])
def test_options_are_checked_as_the_scorer_checks_them(fn, kwargs):
    with pytest.raises(Exception) as scalar_error:
        fn("", "", **kwargs)
    for call in (extract_one, extract_iter, cdist, _join.join):
        with pytest.raises(type(scalar_error.value)) as error:
            if call is _join.join:  # the join's cutoff is required
                call(["a", "b"], scorer=fn, **{"score_cutoff": 1, **kwargs})
            else:
                call(["a"] if call is cdist else "a", ["b"], scorer=fn, **kwargs)
        assert str(error.value) == str(scalar_error.value)


def test_default_process_matches_its_definition():
    samples = ["  Hello, World!  ", "a_b-c", "İstanbul ŞEHİR", "ǅungla ½ ²", "\t\u3000x\u00a0"]
    for s in samples + ["".join(random.Random(i).choices("aB1_ -é€👍\u0301\u2028", k=12))
                        for i in range(200)]:
        want = "".join(c if c.isalnum() else " " for c in s).lower().strip()
        assert utils.default_process(s) == want
    with pytest.raises(TypeError, match="expects str, not int"):
        utils.default_process(3)


@pytest.mark.parametrize("module, code, out, hint", [
    ("numpy", "from quorvalex import process\nprint(process.extract_one('a', ['a', 'b']))\n"
     "process.cdist(['a'], ['b'])", "('a', 100.0, 0)\n", "install numpy"),
    ("dask", "import quorvalex.dask", "", "pip install 'quorvalex[dask]'")], ids=["numpy", "dask"])
def test_missing_extra_gives_the_install_hint(module, code, out, hint):
    result = run_python(f"import sys\nsys.modules[{module!r}] = None\n{code}")
    assert result.stdout == out and "ImportError: " in result.stderr and hint in result.stderr
