"""quorvalex.process against the brute-force loop of the scalar functions: every cell of cdist
and cpdist and every extract result, for every scalar function (lane kernels, pruned searches
and the generic kernels alike), with cutoffs, options, processors, mappings, Series, missing
values and ties; the argument rules and their errors; Ctrl-C during a large cdist."""

import math
import pickle
import random
import signal
import threading
import time

import numpy as np
import pytest

from frame_reference import ALL, BATCH, HEAVY_SETUP, mixed_pairs, options_of, run_python, same
from quorvalex import _quorvalex, distance, fuzz, process, utils

SCALAR = [f for f in ALL if f not in BATCH]
assert len(SCALAR) == 70  # every function of the table that is not a batch

# Non-default options per option name (the defaults are tested too).
OTHER_OPTIONS = {"prefix_weight": 0.2, "alpha": 0.5, "beta": 2.0, "match_score": 2.0,
                 "mismatch_score": -1.0, "gap_cost": 0.5, "use_words": False, "ngram_size": 3,
                 "threshold": 0.6}


def option_sets(fn):
    names = [name for name, _ in options_of(fn)]
    return [{}] + ([{n: OTHER_OPTIONS[n] for n in names}] if names else [])


def lower_is_better(fn):
    return fn.__name__.endswith("_distance")


def names(seed, count):
    """Names, their sorted-word variants, typos, and the texts of mixed_pairs (empty, white
    space only, Latin-1, BMP, astral, lengths around the lane widths)."""
    rng = random.Random(seed)
    first = ["Anna", "Jose", "Müller", "Zoë", "Иван", "李", "Ana", "Jo"]
    last = ["Smith", "Garcia", "Smyth", "Schmidt", "Петров", "Ng", "van der Berg"]
    out = []
    for _ in range(count):
        kind = rng.randrange(4)
        if kind == 0:
            out.append(f"{rng.choice(first)} {rng.choice(last)}")
        elif kind == 1:
            out.append(f"{rng.choice(last)} {rng.choice(first)}")
        elif kind == 2 and out:
            s = list(rng.choice(out))
            if s:
                s[rng.randrange(len(s))] = rng.choice("aeiouy ")
            out.append("".join(s))
        else:
            out.append(rng.choice(rng.choice(mixed_pairs(seed, 40))))
    return out


def reference_cell(fn, q, c, cutoff, options):
    return fn(q, c, score_cutoff=cutoff, **options)


def as_cells(values, dtype):
    return np.array([[math.nan if v is None else v for v in row] for row in values], dtype=dtype)


def bit_equal(a, b):
    assert a.dtype == b.dtype and a.shape == b.shape
    if a.dtype.kind == "f":
        return np.array_equal(a.view(f"u{a.dtype.itemsize}"), b.view(f"u{b.dtype.itemsize}")) or (
            np.array_equal(np.isnan(a), np.isnan(b)) and np.array_equal(a[~np.isnan(a)], b[~np.isnan(b)])
        )
    return np.array_equal(a, b)


def cutoff_between(fn, queries, choices, options):
    """A cutoff that some pairs meet and others miss: the median score."""
    scores = sorted(v for q in queries[:6] for c in choices
                    if (v := fn(q, c, **options)) is not None and v == v)
    return scores[len(scores) // 2] if scores else None


@pytest.mark.parametrize("fn", SCALAR, ids=lambda f: f.__name__)
def test_cdist_and_cpdist_equal_the_scalar_loop(fn):
    queries, choices = names(1, 9), names(2, 40)
    for options in option_sets(fn):
        for cutoff in (None, cutoff_between(fn, queries, choices, options)):
            expected = [[reference_cell(fn, q, c, cutoff, options) for c in choices] for q in queries]
            integer = any(isinstance(v, int) for row in expected for v in row)
            got = process.cdist(queries, choices, scorer=fn, score_cutoff=cutoff, workers=2, **options)
            assert got.dtype == (np.int32 if integer else np.float64)
            if integer:
                assert got.tolist() == [[-1 if v is None else v for v in row] for row in expected]
            else:
                assert bit_equal(got, as_cells(expected, np.float64)), (options, cutoff)
            pairs = process.cpdist(queries, choices[: len(queries)], scorer=fn,
                                   score_cutoff=cutoff, dtype=np.float64, **options)
            assert bit_equal(pairs, as_cells([[row[i] for i, row in enumerate(expected)]], np.float64)[0])


def brute_extract(fn, query, choices, cutoff, options, processor=None):
    """(index, score) of every choice that meets the cutoff, best first, ties in choice order."""
    p = processor or (lambda s: s)
    hits = []
    for i, c in enumerate(choices):
        if c is None or (isinstance(c, float) and c != c):
            continue
        v = fn(p(query), p(c), score_cutoff=cutoff, **options)
        if v is None or v != v:
            continue
        if cutoff is not None and not (v <= cutoff if lower_is_better(fn) else v >= cutoff):
            continue
        hits.append((i, v))
    ranked = sorted(hits, key=lambda h: h[1], reverse=not lower_is_better(fn))
    return hits, ranked


@pytest.mark.parametrize("fn", SCALAR, ids=lambda f: f.__name__)
def test_extracts_equal_the_scalar_loop(fn):
    choices = names(3, 60) + [None, math.nan]
    for options in option_sets(fn):
        for query in names(4, 5):
            for cutoff in (None, cutoff_between(fn, [query], choices[:-2], options)):
                in_order, ranked = brute_extract(fn, query, choices, cutoff, options)
                best = process.extract_one(query, choices, scorer=fn, score_cutoff=cutoff, **options)
                assert best == ((choices[ranked[0][0]], ranked[0][1], ranked[0][0]) if ranked else None)
                for limit in (1, 3, None):
                    got = process.extract(query, choices, scorer=fn, limit=limit,
                                          score_cutoff=cutoff, **options)
                    want = ranked if limit is None else ranked[:limit]
                    assert [(k, s) for _, s, k in got] == want, (limit, cutoff, options)
                got = list(process.extract_iter(query, choices, scorer=fn, score_cutoff=cutoff, **options))
                assert [(k, s) for _, s, k in got] == in_order


# Scorers whose searches prepare each query once (the kernel families' query classes): every
# form against the scalar loop, for queries and choices of every code unit width crossed, short
# and past one and two 64-bit words, without a cutoff, with a middling one and a tight one.
PREPARED_SCORERS = [
    *(getattr(distance, f"{m}_{form}") for m in ("levenshtein", "indel", "lcs_seq")
      for form in ("distance", "similarity", "normalized_distance", "normalized_similarity")),
    *(getattr(distance, f"{m}_{form}") for m in ("jaro", "jaro_winkler")
      for form in ("similarity", "distance", "normalized_similarity", "normalized_distance")),
    fuzz.ratio, fuzz.q_ratio, fuzz.token_sort_ratio, fuzz.w_ratio,
]
assert len(PREPARED_SCORERS) == 24


def width_texts(seed):
    """Words of ASCII, Latin-1, Cyrillic, CJK and astral letters (and the widths mixed), of
    lengths around 64 and 128 symbols; some are typos or shuffled words of others."""
    rng = random.Random(seed)
    alphabets = ["abcd e", "aéüß o", "иванп р", "李王张 刘", "a👍😀𝒳 b", "aé李👍 иb"]
    out = []
    for alphabet in alphabets:
        for n in (0, 1, 6, 20, 63, 64, 65, 90, 130):
            out.append("".join(rng.choices(alphabet, k=n)))
    for s in list(out[::4]):
        words = s.split(" ")
        rng.shuffle(words)
        out.append(" ".join(words))
        if s:
            t = list(s)
            t[rng.randrange(len(t))] = rng.choice("x李👍")
            out.append("".join(t))
    return out


@pytest.mark.parametrize("fn", PREPARED_SCORERS, ids=lambda f: f.__name__)
def test_prepared_queries_equal_the_scalar_loop_across_text_widths(fn):
    choices = width_texts(11)
    queries = width_texts(12)[1::5] + [choices[7], choices[30]]
    for options in option_sets(fn):
        scores = sorted(v for q in queries for c in choices if (v := fn(q, c, **options)) == v)
        tight = scores[len(scores) // 10] if lower_is_better(fn) else scores[-len(scores) // 10]
        for cutoff in (None, scores[len(scores) // 2], tight):
            expected = [[fn(q, c, score_cutoff=cutoff, **options) for c in choices] for q in queries]
            for workers in (1, 2):
                got = process.cdist(queries, choices, scorer=fn, score_cutoff=cutoff,
                                    workers=workers, dtype=np.float64, **options)
                assert bit_equal(got, as_cells(expected, np.float64)), (options, cutoff)
            for query in queries:
                in_order, ranked = brute_extract(fn, query, choices, cutoff, options)
                best = process.extract_one(query, choices, scorer=fn, score_cutoff=cutoff, **options)
                assert best == ((choices[ranked[0][0]], ranked[0][1], ranked[0][0]) if ranked else None)
                got = process.extract(query, choices, scorer=fn, limit=4, score_cutoff=cutoff, **options)
                assert [(k, s) for _, s, k in got] == ranked[:4], (query, cutoff, options)
                got = process.extract_iter(query, choices, scorer=fn, score_cutoff=cutoff, **options)
                assert [(k, s) for _, s, k in got] == in_order


# Lane kernels: every lane width boundary, every code unit width, on each instruction set.
LANE_SCORERS = ["fuzz.ratio", "fuzz.q_ratio", "fuzz.token_sort_ratio", "distance.levenshtein_distance",
                "distance.levenshtein_similarity", "distance.levenshtein_normalized_distance",
                "distance.levenshtein_normalized_similarity", "distance.jaro_similarity",
                "distance.jaro_distance", "distance.jaro_winkler_similarity",
                "distance.jaro_winkler_normalized_distance"]

LANE_CHECK = """
import random, sys
import numpy as np
from quorvalex import distance, fuzz, process
rng = random.Random(5)
lengths = [0, 1, 2, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100]
texts = []
for alphabet in ("ab c", "aé b", "a€ b", "a👍 b"):
    for n in lengths:
        texts.append("".join(rng.choices(alphabet, k=n)))
queries = texts[::3] + ["a b", "b a", ""]
bad = 0
for name in sys.argv[1:]:
    fn = eval(name)
    for cutoff in (None, 0.5 if "normalized" in name or "jaro" in name else (40 if "ratio" in name else 5)):
        got = process.cdist(queries, texts, scorer=fn, score_cutoff=cutoff, dtype=np.float64)
        for i, q in enumerate(queries):
            for j, c in enumerate(texts):
                want = fn(q, c, score_cutoff=cutoff)
                if got[i, j] != want:
                    bad += 1
                    print(name, cutoff, repr(q), repr(c), got[i, j], want)
print("bad", bad)
"""


@pytest.mark.parametrize("isa", ["scalar", "sse4.2", "avx2"])
def test_lane_kernels_equal_the_scalar_functions_at_every_lane_boundary(isa):
    result = run_python(LANE_CHECK, *LANE_SCORERS, env={"QUORVALEX_SIMD": isa})
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip().endswith("bad 0"), result.stdout[-2000:]


def test_ties_keep_choice_order_and_results_do_not_depend_on_workers():
    choices = ["abcd", "abce", "abcf", "xbcd", "abcd", "abdd"] * 30
    hits = process.extract("abcx", choices, scorer=fuzz.ratio, limit=4)
    assert [k for _, _, k in hits] == [0, 1, 2, 4]  # all 75.0; "xbcd" scores 50
    assert process.extract_one("abcd", choices, scorer=distance.levenshtein_distance)[2] == 0
    queries = names(6, 50)
    for fn in (fuzz.ratio, fuzz.w_ratio, distance.jaro_winkler_similarity, distance.osa_distance):
        one = process.cdist(queries, queries, scorer=fn, workers=1)
        for workers in (2, -1, 7):
            assert bit_equal(process.cdist(queries, queries, scorer=fn, workers=workers), one)


def test_processor_runs_once_per_item_and_keys_follow_the_container():
    calls = []

    def processor(s):
        calls.append(s)
        return utils.default_process(s)

    choices = {"a": "New York Mets", "b": None, "c": "new-york meats", "d": "NEW YORK"}
    best = process.extract_one("new york", choices, scorer=fuzz.ratio, processor=processor)
    assert best == ("NEW YORK", 100.0, "d")
    assert sorted(calls) == sorted(["new york", "New York Mets", "new-york meats", "NEW YORK"])
    calls.clear()
    queries = ["a-b", "B A", "c"]
    matrix = process.cdist(queries, list(choices.values()), scorer=fuzz.token_sort_ratio,
                           processor=processor)
    assert len(calls) == len(queries) + 3
    expected = [[math.nan if c is None else fuzz.token_sort_ratio(utils.default_process(q),
                                                                  utils.default_process(c))
                 for c in choices.values()] for q in queries]
    assert bit_equal(matrix, as_cells(expected, np.float64))


def test_series_and_arrays():
    pd = pytest.importorskip("pandas")
    series = pd.Series(["apple", pd.NA, "apples", None, math.nan, "maple"], index=list("uvwxyz"))
    assert process.extract("apple", series, scorer=fuzz.ratio, limit=None) == [
        ("apple", 100.0, "u"), ("apples", fuzz.ratio("apple", "apples"), "w"),
        ("maple", fuzz.ratio("apple", "maple"), "z")]
    matrix = process.cdist(series, np.array(["apple", "maple"]), scorer=distance.levenshtein_distance)
    assert matrix.tolist() == [[0, 2], [-1, -1], [1, 3], [-1, -1], [-1, -1], [2, 0]]
    frame = pd.DataFrame({"a": ["abc", "xyz", None], "b": ["abd", "xyz", "q"]})
    assert process.cpdist(frame["a"], frame["b"], scorer=distance.levenshtein_distance).tolist() == [1, 0, -1]


def test_missing_scores_hamming_none_and_dtypes():
    queries, choices = ["abc", None], ["abd", "ab", math.nan]
    got = process.cdist(queries, choices, scorer=distance.hamming_distance)
    assert got.dtype == np.int32 and got.tolist() == [[1, -1, -1], [-1, -1, -1]]
    assert process.extract("abc", choices, scorer=distance.hamming_distance) == [("abd", 1, 0)]
    got = process.cdist(queries, choices, scorer=distance.hamming_normalized_similarity)
    assert np.isnan(got).tolist() == [[False, True, True], [True, True, True]]
    assert process.extract_one(None, ["a"]) is None and process.extract(math.nan, ["a"]) == []
    # Float scores in integer cells: nearest integer, halves away from zero.
    scores = process.cdist(["a"], ["abcdefghijklmno", "abcdefghijklmnopqrstuvw"], dtype=np.uint8)
    assert scores.tolist() == [[13, 8]]  # 12.5 and 8.33...
    assert process.cdist(["abc"], ["abd"], dtype=np.float32).tolist() == [[np.float32(fuzz.ratio("abc", "abd"))]]
    assert process.cdist(["abc"], ["abd"], scorer=distance.levenshtein_distance, dtype="int64").dtype == np.int64


@pytest.mark.parametrize("call, message", [
    (lambda: process.cdist(["a" * 300], ["b"], scorer=distance.levenshtein_distance, dtype=np.int8),
     r"the score 300.0 of queries\[0\] and choices\[0\] does not fit in int8"),
    (lambda: process.cdist(["a", None], ["b"], scorer=fuzz.ratio, dtype=np.uint16),
     r"missing score of queries\[1\] and choices\[0\] cannot be stored in uint16"),
    (lambda: process.cdist(["a"], ["b"], scorer=lambda a, b: None, dtype=np.uint8),
     r"missing score cannot be stored in uint8"),
    (lambda: process.cdist(["a"], ["b"], scorer=lambda a, b: -3.0, dtype=np.uint8),
     r"the score -3.0 does not fit in uint8"),
    (lambda: process.cdist(["a"], ["b"], dtype=np.complex64), r"float or integer type"),
    (lambda: process.cdist(["a"], ["b"], workers=0), r"workers must be -1"),
    (lambda: process.cdist(["a"], ["b"], workers=-2), r"workers must be -1"),
    (lambda: process.cpdist(["a"], ["b", "c"]), r"same length \(1 != 2\)"),
    (lambda: process.extract("a", ["b"], limit=-1), r"limit must be None or at least 0"),
])
def test_value_errors(call, message):
    with pytest.raises(ValueError, match=message):
        call()


@pytest.mark.parametrize("call, message", [
    (lambda: process.extract_one("a", ["b", 3]), r"the choice at index 1 is int, not str"),
    (lambda: process.extract_one("a", {"k": "b", "j": b"x"}), r"the choice with key 'j' is bytes"),
    (lambda: process.cdist(["a", 2.5], ["b"]), r"the query at index 1 is float"),
    (lambda: process.cdist(["a"], ["b", "c", [1]]), r"the choice at index 2 is list"),
    (lambda: process.extract_one(5, ["a"]), r"query is int, not str"),
    (lambda: process.extract("a", ["b", "c"], processor=lambda s: s if s == "a" else len(s)),
     r"processor returned int for the choice at index 0; it must return str"),
    (lambda: process.extract("a", ["b", 7], processor=str.upper), r"the choice at index 1 is int"),
    (lambda: process.extract("a", ["b", 7], scorer=lambda a, b: 1.0), r"the choice at index 1 is int"),
    (lambda: process.extract_one("a", ["b"], scorer=fuzz.ratio_batch),
     r"ratio_batch scores a list of pairs and cannot be a scorer; use ratio instead"),
    (lambda: process.cdist(["a"], ["b"], scorer=_quorvalex.cosine_similarity_batch), r"use cosine_similarity"),
    (lambda: process.extract_one("a", ["b"], scorer="ratio"), r"scorer must be callable, not str"),
    (lambda: process.extract_one("a", ["b"], processor=1), r"processor must be callable or None"),
    (lambda: process.extract_one("a", 5), r"choices must be a sequence or a mapping of str, not int"),
    (lambda: process.extract_one("a", "abc"), r"choices must be a sequence or a mapping of str, not str"),
])
def test_type_errors_name_the_bad_item(call, message):
    with pytest.raises(TypeError, match=message):
        call()


@pytest.mark.parametrize("fn, kwargs", [
    (fuzz.ratio, {"prefix_weight": 0.1}),
    (distance.jaro_winkler_similarity, {"prefix_weight": "x"}),
    (_quorvalex.cosine_similarity, {"use_words": False, "ngram_size": 0}),
    (distance.levenshtein_distance, {"score_cutoff": -1}),
    (distance.levenshtein_distance, {"score_cutoff": "x"}),
    (fuzz.ratio, {"s1": "x"}),
])
def test_options_are_checked_as_the_scorer_checks_them(fn, kwargs):
    with pytest.raises(Exception) as scalar_error:
        fn("", "", **kwargs)
    for call in (lambda: process.extract_one("a", ["b"], scorer=fn, **kwargs),
                 lambda: process.cdist(["a"], ["b"], scorer=fn, **kwargs),
                 lambda: process.extract_iter("a", ["b"], scorer=fn, **kwargs)):
        with pytest.raises(type(scalar_error.value)) as error:
            call()
        assert str(error.value) == str(scalar_error.value)


def test_generic_callables_follow_the_same_rules():
    queries, choices = names(7, 6), names(8, 20) + [None]

    def my_distance(a, b, score_cutoff=None, weight=1):
        return weight * distance.levenshtein_distance(a, b, score_cutoff=score_cutoff)

    native = process.cdist(queries, choices, scorer=distance.levenshtein_distance, score_cutoff=4,
                           dtype=np.float64)
    generic = process.cdist(queries, choices, scorer=my_distance, score_cutoff=4)
    assert bit_equal(native, generic)
    for q in queries:
        assert process.extract(q, choices, scorer=my_distance, score_cutoff=4, limit=3) == \
            process.extract(q, choices, scorer=distance.levenshtein_distance, score_cutoff=4, limit=3)
    assert process.extract_one("ab", ["abc", "ab"], scorer=my_distance, weight=2) == ("ab", 0, 1)


def test_default_process_matches_its_definition():
    samples = ["  Hello, World!  ", "a_b-c", "İstanbul ŞEHİR", "ǅungla ½ ²", "\t\u3000x\u00a0", "", "!!"]
    for s in samples + ["".join(random.Random(i).choices("aB1_ -é€👍\u0301\u2028", k=12)) for i in range(200)]:
        want = "".join(c if c.isalnum() else " " for c in s).lower().strip()
        assert utils.default_process(s) == want
    with pytest.raises(TypeError, match="expects str, not int"):
        utils.default_process(3)


def test_functions_pickle_and_numpy_missing_gives_the_install_hint():
    for f in (process.extract_one, process.cdist, utils.default_process):
        assert pickle.loads(pickle.dumps(f)) is f
    result = run_python("""
        import sys
        sys.modules["numpy"] = None
        from quorvalex import process
        print(process.extract_one("a", ["a", "b"]))
        try:
            process.cdist(["a"], ["b"])
        except ImportError as e:
            print(e)
    """)
    assert result.returncode == 0, result.stderr
    assert "('a', 100.0, 0)" in result.stdout and "install numpy" in result.stdout


def test_ctrl_c_interrupts_a_large_cdist():
    fn_setup = HEAVY_SETUP + "\nfn, pair, expected, per_pair = heavy()\n"
    ns = {}
    exec(fn_setup, ns)
    per_pair = ns["per_pair"]
    count = max(8, int(30.0 / per_pair) // 8)  # far longer than the test waits
    texts = [ns["pair"][0]] * 8
    choices = [ns["pair"][1]] * count
    timer = threading.Timer(0.3, lambda: signal.pthread_kill(threading.main_thread().ident, signal.SIGINT))
    start = time.monotonic()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        process.cdist(texts, choices, scorer=distance.damerau_levenshtein_distance, workers=-1)
    assert time.monotonic() - start < 5.0
    # The pool serves the next call.
    assert process.cdist(["ab"], ["ac"], scorer=distance.levenshtein_distance).tolist() == [[1]]


class Names(list):
    pass


@pytest.mark.parametrize("call, expected", [
    (lambda: process.cdist([], ["a"]).shape, (0, 1)),
    (lambda: process.cdist(["a"], []).shape, (1, 0)),
    (lambda: process.cpdist([], []).shape, (0,)),
    (lambda: process.extract("a", []), []),
    (lambda: process.extract_one("a", ()), None),
    (lambda: process.extract_one("a", Names(["b", "a"])), ("a", 100.0, 1)),
    (lambda: process.extract_one("a", iter(["b", "a"])), ("a", 100.0, 1)),
    (lambda: process.extract("a", ["a", "b"], limit=0), []),
    (lambda: process.cdist(["ab"], ["ab", "cd"], dtype=">f8").tolist(), [[100.0, 0.0]]),
    (lambda: process.cdist(["ab"], ["ab", "cd"], dtype=">f8").dtype.str, ">f8"),
])
def test_edge_inputs(call, expected):
    assert call() == expected
