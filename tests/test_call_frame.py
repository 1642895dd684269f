"""Argument matching and conversion of the call frame, for every signature shape.

Acceptance of a value is shown either by a result or by passing a later argument that must fail
and checking that the error names the later one (arguments are converted in signature order).
"""

import ctypes

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from frame_reference import (ALL, SANITIZED, FloatLike, Index, Sequence, Text, int_cutoff, is_batch,
                             options_of, positional, run_call)
from quorvalex import _quorvalex, distance, fuzz

# A few functions of each signature shape, scalar and batch.
SHAPES = {
    (): [distance.prefix_similarity, distance.levenshtein_distance, fuzz.ratio,
         distance.hamming_normalized_similarity, distance.prefix_similarity_batch,
         fuzz.partial_ratio_batch],
    ("prefix_weight",): [distance.jaro_winkler_similarity, distance.jaro_winkler_distance_batch],
    ("alpha", "beta"): [_quorvalex.tversky_distance, _quorvalex.tversky_similarity_batch],
    ("match_score", "mismatch_score", "gap_cost"): [_quorvalex.smith_waterman_score,
                                                   _quorvalex.needleman_wunsch_score_batch],
    ("use_words", "ngram_size"): [_quorvalex.cosine_similarity, _quorvalex.cosine_similarity_batch],
    ("threshold",): [_quorvalex.soft_tfidf_distance, _quorvalex.soft_tfidf_similarity_batch],
}
SAMPLE = [fn for fns in SHAPES.values() for fn in fns]
OPTIONED = [fn for fn in SAMPLE if options_of(fn)]
ids = lambda f: getattr(f, "__name__", str(f))  # noqa: E731


def test_shape_table_matches_signatures():
    for shape, fns in SHAPES.items():
        assert all(tuple(n for n, _ in options_of(fn)) == shape for fn in fns)
    assert sum(map(int_cutoff, ALL)) == 28


# Reference messages of the interpreter's own conversions, obtained from the C API itself.
def _c(name, restype, argtypes):
    fn = getattr(ctypes.pythonapi, name)
    fn.restype, fn.argtypes = restype, argtypes
    return fn


_as_double = _c("PyFloat_AsDouble", ctypes.c_double, [ctypes.py_object])
_index = _c("PyNumber_Index", ctypes.py_object, [ctypes.py_object])
_as_u64 = _c("PyLong_AsUnsignedLongLong", ctypes.c_ulonglong, [ctypes.py_object])
_vectorcall = _c("PyObject_Vectorcall", ctypes.py_object,
                 [ctypes.py_object, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p])


def c_error(conversion, obj):
    try:
        conversion(obj)
    except Exception as exc:  # noqa: BLE001
        return type(exc), str(exc)
    raise AssertionError(f"{obj!r} converts")


float_error = lambda v: c_error(_as_double, v)  # noqa: E731
index_error = lambda v: c_error(_index, v)  # noqa: E731
u64_error = lambda v: c_error(lambda o: _as_u64(_index(o)), v)  # noqa: E731


def vectorcall(fn, args, kwnames=()):
    """A call with an explicit keyword-name tuple (which Python syntax cannot repeat)."""
    array = (ctypes.py_object * max(len(args), 1))(*args)
    kwnames = tuple(kwnames)
    return _vectorcall(fn, ctypes.cast(array, ctypes.c_void_p), len(args) - len(kwnames),
                       id(kwnames) if kwnames else None)


def raises_exactly(exc_type, message, fn, *args, **kwargs):
    with pytest.raises(BaseException) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc_type, (fn.__name__, info.value)
    if message is not None:
        assert str(info.value) == message, fn.__name__
    return info.value


# ---------------------------------------------------------------------------------------------
# Every message form the frame writes, on every function, as the model predicts it: (id, args
# and kwargs built from the function, its positional args P and positional names N).

def _other_shape_option(f):
    return "threshold" if options_of(f) == [("alpha", "1.0"), ("beta", "1.0")] else "alpha"


MATCHING = [
    ("one_too_many", lambda f, P, N: (P + ("x",), {})),
    ("three_too_many", lambda f, P, N: (P + ("x",) * 3, {"score_cutoff": None})),
    ("too_many_before_unexpected", lambda f, P, N: (P + ("x",), {"bogus": 1})),
    ("unexpected", lambda f, P, N: (P, {"cutoff": 1})),
    ("case_matters", lambda f, P, N: (P, {"Score_cutoff": 1})),
    ("prefix_no_match", lambda f, P, N: (P, {"score": 1})),
    ("longer_no_match", lambda f, P, N: (P, {"score_cutoffs": 1})),
    ("unencodable_keyword", lambda f, P, N: (P, {"s\ud800": 1})),
    ("name_of_other_form", lambda f, P, N: (P, {"s1": "a"} if is_batch(f) else {"pairs": []})),
    ("option_of_other_shape", lambda f, P, N: (P, {_other_shape_option(f): 1.0})),
    ("unexpected_before_missing", lambda f, P, N: ((), {"bogus": 1})),
    ("unexpected_before_conversion", lambda f, P, N: ((1,) * len(P), {"bogus": 1})),
    ("multiple_first", lambda f, P, N: (P, {N[0]: P[0]})),
    ("multiple_last", lambda f, P, N: (P, {N[-1]: "z"})),
    ("multiple_before_unexpected", lambda f, P, N: (P, {N[0]: "z", "bogus": 1})),
    ("unexpected_before_multiple", lambda f, P, N: (P, {"bogus": 1, N[0]: "z"})),
    ("missing_all", lambda f, P, N: ((), {})),
    ("missing_all_with_cutoff", lambda f, P, N: ((), {"score_cutoff": None})),
    ("missing_s1", lambda f, P, N: ((), {"s2": "b"})),
    ("missing_s2", lambda f, P, N: (P[:1], {})),
    ("missing_s2_by_keyword", lambda f, P, N: ((), {N[0]: P[0]})),
    ("missing_s2_with_cutoff", lambda f, P, N: (P[:1], {"score_cutoff": 1})),
] + [(f"text_{i}", lambda f, P, N, a=a: (a, {})) for i, a in enumerate([
    (1, "b"), ("a", b"b"), (None, "b"), (["a"], 2.5), (int, "b"), ("a", Index(1)), (1, "\ud800")])]


@pytest.mark.parametrize("case", MATCHING, ids=[c[0] for c in MATCHING])
def test_matching_and_text_errors_on_every_function(case):
    for fn in ALL:
        names = ["pairs"] if is_batch(fn) else ["s1", "s2"]
        args, kwargs = case[1](fn, positional(fn), names)
        if not is_batch(fn) or not case[0].startswith(("missing_s2", "text_")):
            exc = run_call(fn, args, kwargs)
            assert type(exc) is TypeError and exc.args[0].startswith(("argument '", fn.__name__))


@pytest.mark.parametrize("kwnames", [("s1", "s1"), ("s2", "score_cutoff", "s2"),
                                     ("score_cutoff", "score_cutoff")], ids=str)
@pytest.mark.parametrize("fn", SAMPLE, ids=ids)
def test_multiple_values_through_repeated_keyword(fn, kwnames):
    if is_batch(fn):
        kwnames = tuple("pairs" if k in ("s1", "s2") else k for k in kwnames)
    repeated = next(k for k in kwnames if kwnames.count(k) > 1)
    values = [[("a", "b")] if k == "pairs" else ("a" if k[0] == "s" else None) for k in kwnames]
    lead = () if is_batch(fn) or repeated == "s1" else ("a",)
    message = f"{fn.__name__}() got multiple values for argument '{repeated}'"
    raises_exactly(TypeError, message, vectorcall, fn, lead + tuple(values), kwnames)
    if options_of(fn):
        option = options_of(fn)[-1][0]
        message = f"{fn.__name__}() got multiple values for argument '{option}'"
        raises_exactly(TypeError, message, vectorcall, fn, positional(fn) + (None, None),
                       (option, option))


def test_positional_parameters_by_keyword():
    assert distance.prefix_similarity(s2="abx", s1="abc") == 2
    assert distance.prefix_similarity("abc", s2="abd") == 2
    assert distance.postfix_similarity_batch(score_cutoff=2, pairs=(("xbc", "abc"),)) == [2]
    # names are matched by their text too, not only by identity, and str subclasses count
    assert distance.prefix_similarity("abc", "abd", **{"".join(["score_", "cutoff"]): 3}) == 0
    assert distance.prefix_similarity(**{Text("s1"): "abc", "s2": "abc"}) == 3
    assert vectorcall(distance.prefix_similarity, ("abc", 3, "abd"), ("score_cutoff", "s2")) == 0
    assert vectorcall(distance.prefix_similarity, ("abc", 2, "abd"), ("score_cutoff", "s2")) == 2


class EqRaises(str):
    def __eq__(self, other):  # a str subclass is read as text, never compared
        raise AssertionError

    __hash__ = str.__hash__


def test_str_subclass_and_lone_surrogates():
    assert distance.prefix_similarity(EqRaises("abcd"), EqRaises("abxd")) == 2
    assert distance.postfix_similarity(EqRaises("abcd"), "abxd") == 1
    assert distance.prefix_normalized_similarity("", EqRaises("")) == 1.0
    assert distance.prefix_similarity_batch([(EqRaises("ab"), EqRaises("ab"))]) == [2]
    for fn in SAMPLE:
        if not is_batch(fn):
            for args in [("\ud800", "b"), ("a", "x\udfff"), ("\ud800", 1)]:
                assert "surrogate" in str(raises_exactly(UnicodeEncodeError, None, fn, *args))


# ---------------------------------------------------------------------------------------------
# score_cutoff and option conversion errors, against the interpreter's own messages.


def cutoff_error_cases(fn):
    if int_cutoff(fn):
        wrapped = [(v, *index_error(v)) for v in (1.5, "1", b"1", [], 0.0)]
        bare = [(v, *u64_error(v)) for v in (-1, 2**64, 10**30, Index(-3))]
    else:
        wrapped = [(v, *float_error(v)) for v in ("0.5", b"", [], 1j, FloatLike(1))]
        bare = [(v, *float_error(v)) for v in (10**400, -(2**1024))]
    assert {t for _, t, _ in wrapped} == {TypeError} and {t for _, t, _ in bare} == {OverflowError}
    return [(v, t, f"argument 'score_cutoff': {m}") for v, t, m in wrapped] + bare


def test_cutoff_conversion_errors():
    for fn in ALL:
        for value, exc_type, message in cutoff_error_cases(fn):
            raises_exactly(exc_type, message, fn, *positional(fn), score_cutoff=value)


def option_error_cases(kind):
    """(value, exception type, message without the argument prefix, wrapped?)"""
    if kind == "use_words":
        return [(v, TypeError, f"'{type(v).__name__}' object cannot be converted to 'PyBool'", True)
                for v in (1, 0, None, "True", 1.0, np.int64(1))]
    if kind == "ngram_size":
        return ([(v, *index_error(v), True) for v in (None, 2.0, "2", np.float64(2))]
                + [(v, *u64_error(v), False) for v in (-1, 2**64, Index(-1))])
    return ([(v, *float_error(v), True) for v in (None, "0.5", [], 1j)]
            + [(10**400, *float_error(10**400), False)])


@pytest.mark.parametrize("fn", OPTIONED, ids=ids)
def test_option_conversion_errors(fn):
    for option, _ in options_of(fn):
        kind = option if option in ("use_words", "ngram_size") else "float"
        for value, exc_type, message, wrapped in option_error_cases(kind):
            expected = f"argument '{option}': {message}" if wrapped else message
            raises_exactly(exc_type, expected, fn, *positional(fn), **{option: value})


def test_cutoff_values_accepted():
    sim, dist = distance.prefix_similarity, distance.prefix_distance
    nd, ns = distance.prefix_normalized_distance, distance.prefix_normalized_similarity
    table = [
        (sim, "ab", "ax", True, 1), (sim, "ab", "xx", True, 0), (sim, "abc", "abd", None, 2),
        (sim, "abc", "abd", Index(2), 2), (sim, "abc", "abd", Index(3), 0),
        (sim, "abc", "abd", np.uint8(3), 0), (sim, "abc", "abc", 2**64 - 1, 0),
        (sim, "abc", "abd", type("Big", (int,), {})(2), 2), (dist, "abc", "xyz", False, 1),
        (dist, "abc", "xyz", 2**64 - 1, 3), (dist, "abcd", "xbcd", 1, 2),
        (nd, "abcd", "abxy", None, 0.5), (nd, "abcd", "abxy", 0, 1.0), (nd, "abcd", "abxy", 1, 0.5),
        (nd, "abcd", "abxy", True, 0.5), (nd, "abcd", "abxy", FloatLike(0.4), 1.0),
        (nd, "abcd", "abxy", FloatLike(0.5), 0.5), (nd, "abcd", "abxy", Index(1), 0.5),
        (nd, "abcd", "abxy", np.float32(0.25), 1.0), (nd, "abcd", "abxy", 2**1023, 0.5),
        (nd, "abcd", "abxy", type("F", (float,), {})(0.5), 0.5),
        (nd, "abcd", "abxy", float("inf"), 0.5), (nd, "abcd", "abxy", -(2**70), 1.0),
        (ns, "abc", "abx", 0.7, 0.0), (ns, "abc", "abx", 0.6, 1.0 - 1 / 3),
        (ns, "abc", "abx", 2**64, 0.0),
    ]
    for fn, a, b, cutoff, expected in table:
        result = fn(a, b, score_cutoff=cutoff)
        assert type(result) is type(expected) and result == expected, (fn.__name__, a, b, cutoff)


@pytest.mark.parametrize("fn", OPTIONED, ids=ids)
def test_option_values_accepted(fn):
    """Each accepted option value lets conversion go on to a failing score_cutoff."""
    expected = "argument 'score_cutoff': " + (index_error if int_cutoff(fn) else float_error)("x")[1]
    floats = (0.5, -1.0, 0, True, FloatLike(0.25), Index(2), np.float32(0.5), float("nan"),
              2**1023, type("F", (float,), {})(1.0))
    for option, _ in options_of(fn):
        values = {"use_words": (True, False, np.True_),
                  "ngram_size": (0, True, 2**64 - 1, Index(3), np.uint64(2**64 - 1))}
        for value in values.get(option, floats):
            raises_exactly(TypeError, expected, fn, *positional(fn), **{option: value},
                           score_cutoff="x")


# ---------------------------------------------------------------------------------------------
# Wrapping: only an exact TypeError gets the argument prefix, and it keeps its __cause__.


class Raising:
    def __init__(self, exc):
        self.exc = exc

    def __float__(self):
        raise self.exc

    __index__ = __bool__ = __float__


def type_error_with_cause(text, cause):
    try:
        raise TypeError(text) from cause
    except TypeError as exc:
        return exc


def test_wrapped_error_keeps_the_cause():
    cause = KeyError("inner")
    for fn in [distance.prefix_normalized_distance, distance.prefix_distance] + OPTIONED:
        for option in [n for n, _ in options_of(fn) if n != "use_words"] + ["score_cutoff"]:
            err = raises_exactly(TypeError, f"argument '{option}': bad", fn, *positional(fn),
                                 **{option: Raising(type_error_with_cause("bad", cause))})
            assert err.__cause__ is cause
    err = raises_exactly(TypeError, "argument 'score_cutoff': ('a', 2)",
                         distance.postfix_normalized_similarity, "a", "b",
                         score_cutoff=Raising(TypeError("a", 2)))
    assert err.__cause__ is None
    raises_exactly(TypeError, "argument 'score_cutoff': " + float_error(FloatLike(1))[1],
                   distance.prefix_normalized_distance, "a", "b", score_cutoff=FloatLike(1))


def test_other_exceptions_from_conversions_pass_unchanged():
    sub = type("SubTypeError", (TypeError,), {})("sub")
    for exc in (sub, ValueError("value"), ZeroDivisionError("zero"), KeyboardInterrupt()):
        for fn, key in [(distance.prefix_normalized_distance, "score_cutoff"),
                        (distance.prefix_distance, "score_cutoff"),
                        (distance.jaro_winkler_similarity, "prefix_weight"),
                        (_quorvalex.cosine_similarity, "ngram_size"),
                        (_quorvalex.tversky_similarity_batch, "beta")]:
            with pytest.raises(BaseException) as info:
                fn(*positional(fn), **{key: Raising(exc)})
            assert info.value is exc, fn.__name__


# numpy's boolean scalar type is recognised by its module and name.
FakeNumpyBool = type("bool_", (), {"__module__": "numpy"})
TruthyNumpyBool = type("bool", (), {"__module__": "numpy", "__bool__": lambda self: True})
NotNumpyBool = type("bool_", (), {"__module__": "numpyx", "__bool__": lambda self: True})
RaisingNumpyBool = type("bool_", (Raising,), {"__module__": "numpy"})


@pytest.mark.parametrize("fn", SHAPES[("use_words", "ngram_size")], ids=ids)
def test_use_words_is_a_strict_bool(fn):
    later = "argument 'ngram_size': " + index_error(1.5)[1]
    for accepted in (True, False, np.True_, np.False_, np.bool_(1), TruthyNumpyBool()):
        raises_exactly(TypeError, later, fn, *positional(fn), use_words=accepted, ngram_size=1.5)
    raises_exactly(TypeError, "argument 'use_words': object of type 'bool_' does not define a "
                   "'__bool__' conversion", fn, *positional(fn), use_words=FakeNumpyBool())
    raises_exactly(TypeError, "argument 'use_words': 'bool_' object cannot be converted to "
                   "'PyBool'", fn, *positional(fn), use_words=NotNumpyBool())
    cause = KeyError("k")
    err = raises_exactly(TypeError, "argument 'use_words': no truth", fn, *positional(fn),
                         use_words=RaisingNumpyBool(type_error_with_cause("no truth", cause)))
    assert err.__cause__ is cause
    value_error = ValueError("v")
    with pytest.raises(ValueError) as info:
        fn(*positional(fn), use_words=RaisingNumpyBool(value_error))
    assert info.value is value_error


# ---------------------------------------------------------------------------------------------
# Conversion order: s1, s2, options in signature order, score_cutoff; pairs first in batches.


@pytest.mark.parametrize("fn", SAMPLE, ids=ids)
def test_conversion_order(fn):
    bad = {"use_words": 1, "ngram_size": 1.5}
    options = [name for name, _ in options_of(fn)]
    cases = [] if is_batch(fn) else [({"s1": 1, "s2": 2, "score_cutoff": "x"}, "s1"),
                                     ({"score_cutoff": "x", "s2": 2, "s1": "a"}, "s2")]
    texts = {"pairs": [("a", "b")]} if is_batch(fn) else {"s1": "a", "s2": "b"}
    for i, option in enumerate(options + ["score_cutoff"]):
        kwargs = {later: bad.get(later, "x") for later in (options + ["score_cutoff"])[i:]}
        cases.append(({**dict(reversed(list(kwargs.items()))), **texts}, option))
        if not is_batch(fn):
            cases.append(({**kwargs, "s1": "a", "s2": 5}, "s2"))
    for kwargs, culprit in cases:
        with pytest.raises(TypeError) as info:
            fn(**kwargs)
        assert str(info.value).startswith(f"argument '{culprit}': "), (kwargs, str(info.value))
    bad = {name: "x" for name, _ in options_of(fn)}
    if is_batch(fn):  # pairs is extracted before any option is converted
        raises_exactly(TypeError, "argument 'pairs': Can't extract `str` to `Vec`", fn, "ab",
                       **bad, score_cutoff="x")
        raises_exactly(ValueError, None, fn, [("a",)], **bad, score_cutoff="x")
        raises_exactly(UnicodeEncodeError, None, fn, [("a", "\udc00")], **bad, score_cutoff="x")
    else:  # texts are converted before the options: the encoding error wins
        raises_exactly(UnicodeEncodeError, None, fn, "a", "\udc00", **bad, score_cutoff="x")


# ---------------------------------------------------------------------------------------------
# Randomized calls of all 112 functions: argument shapes, types, keywords and values. For every
# call the model predicts the exception or the converted arguments; a successful call returns a
# value of the documented kind, equal to the call with plain texts and plain options, and a batch
# equals its scalar pair by pair.

U64 = 2**64
texts = st.one_of(st.text(alphabet="ab é€👍\t", max_size=10),
                  st.sampled_from(["", " ", "new york", "é", "👍a", "a\ud800", "\udfff"]),
                  st.builds(Text, st.text(alphabet="abé", max_size=5)))
junk = st.sampled_from([None, 1, 1.5, b"ab", ["a"], ("a", "b"), object(), True])
numbers = st.one_of(
    st.floats(), st.integers(-3, 300), st.booleans(),
    st.sampled_from([10**400, -(10**400), U64 - 1, U64, 2**63, -1, 0, None, "0.5", [], b"1",
                     np.float64(0.5), np.bool_(True), np.bool_(False), np.int64(2),
                     np.float32(0.25)]),
    st.builds(Index, st.sampled_from([0, 3, -1, U64])),
    st.builds(FloatLike, st.sampled_from([0.5, -1.0, float("nan"), 80.0])))
pair_items = st.one_of(st.tuples(texts, texts), st.sampled_from(
    [("a",), ("a", "b", "c"), (), ["a", "b"], "ab", None, (1, "a"), ("a", b"b")]),
    st.builds(lambda a, b: type("PairTuple", (tuple,), {})((a, b)), texts, texts))
pairs_values = st.one_of(
    st.lists(st.tuples(texts, texts), max_size=6), st.lists(pair_items, max_size=4),
    st.builds(Sequence, st.lists(st.tuples(texts, texts), max_size=4)),
    st.builds(tuple, st.lists(st.tuples(texts, texts), max_size=3)),
    st.sampled_from(["ab", "", {("a", "b")}, {"a": "b"}, None, 3, b"ab", iter([("a", "b")])]),
    st.builds(lambda n: (p for p in [("a", "b")] * n), st.integers(0, 2)))


@st.composite
def call_shapes(draw, fn):
    """Positional and keyword arguments of every shape, mostly close to a valid call."""
    names = ["pairs"] if is_batch(fn) else ["s1", "s2"]
    first = pairs_values if is_batch(fn) else texts
    values = {p: draw(st.one_of(first, junk) if draw(st.integers(0, 9)) == 0 else first) for p in names}
    n = draw(st.sampled_from([len(names)] * 4 + [0, len(names) - 1, len(names) + 1]))
    args = [values[p] for p in names[:n]] + [draw(texts) for _ in range(n - len(names))]
    kwargs = {p: values[p] for p in names[n:] if draw(st.integers(0, 7))}
    kwargs.update({p: values[p] for p in names[:n] if draw(st.integers(0, 15)) == 0})  # twice
    kwargs.update({k: draw(numbers) for k, _ in options_of(fn) + [("score_cutoff", 0)]
                   if draw(st.booleans())})
    if draw(st.integers(0, 9)) == 0:
        kwargs[draw(st.sampled_from(["cutoff", "s3", "pair", "weight", "S1"]))] = 1
    items = list(kwargs.items())
    return args, dict(items[i] for i in draw(st.permutations(range(len(items)))))


@settings(max_examples=200 if SANITIZED else 800, deadline=None,
          suppress_health_check=[HealthCheck.too_slow])
@given(data=st.data())
def test_random_calls(data):
    fn = data.draw(st.sampled_from(ALL))
    args, kwargs = data.draw(call_shapes(fn))
    run_call(fn, args, kwargs)


@pytest.mark.parametrize("fn", ALL, ids=lambda f: f.__name__)
def test_model_agrees_on_fixed_calls(fn):
    pairs = [("ab", "abc"), ("a", "b")]
    first = (pairs,) if is_batch(fn) else ("ab", "abc")
    for args, kwargs in [(first, {}), (first + ("x",), {}), ((), {}), (first, {"score_cutoff": True}),
                         (first, {"score_cutoff": Index(2)}), (first, {"score_cutoff": np.int64(0)}),
                         (first, {"score_cutoff": np.float64(1.0)}), (first, {"cutoff": 1}),
                         (first[:1], {"s2": "b"} if not is_batch(fn) else {"pairs": pairs}),
                         (first, {k: v for k, _ in options_of(fn) for v in [None]}),
                         (first, {"use_words": np.bool_(False), "ngram_size": Index(0)})]:
        run_call(fn, args, kwargs)
