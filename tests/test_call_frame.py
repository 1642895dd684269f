"""The call frame against the model in frame_reference. Arguments are converted in signature
order: a value is shown accepted by a later argument that fails and names itself."""

import ctypes

import numpy as np
import pytest

from frame_reference import (ALL, U64, FloatLike, Index, Raising, Text, caused, check_error,
                             int_cutoff, is_batch, options_of, positional)
from quorvalex import distance

# The first function of each signature shape (options before score_cutoff, cutoff kind, batch).
SAMPLE = list({(tuple(options_of(f)), is_batch(f), int_cutoff(f)): f for f in ALL[::-1]}.values())
OPTIONED = [fn for fn in ALL if options_of(fn)]


# The interpreter's own conversion messages, obtained from the C API itself.
def c_api(name, restype, argtypes):
    fn = getattr(ctypes.pythonapi, name)
    fn.restype, fn.argtypes = restype, argtypes
    return fn


_as_double = c_api("PyFloat_AsDouble", ctypes.c_double, [ctypes.py_object])
_index = c_api("PyNumber_Index", ctypes.py_object, [ctypes.py_object])
_as_u64 = c_api("PyLong_AsUnsignedLongLong", ctypes.c_ulonglong, [ctypes.py_object])


def c_error(conversion, obj):
    with pytest.raises(Exception) as info:
        conversion(obj)
    return type(info.value), str(info.value)


def raises_exactly(exc_type, message, fn, *args, **kwargs):
    with pytest.raises(BaseException) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc_type, (fn.__name__, info.value)
    assert message in (None, str(info.value)), fn.__name__
    return info.value


# Every matching error the frame writes, on every function, as the model predicts it: (id, args
# and kwargs built from the function, its positional args P and positional names N).
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
    ("option_of_other_shape", lambda f, P, N: (
        P, {"threshold" if "alpha" in dict(options_of(f)) else "alpha": 1.0})),
    ("unexpected_before_missing", lambda f, P, N: ((), {"bogus": 1})),
    ("unexpected_before_conversion", lambda f, P, N: ((1,) * len(P), {"bogus": 1})),
    ("multiple_first", lambda f, P, N: (P, {N[0]: P[0]})),
    ("multiple_last", lambda f, P, N: (P, {N[-1]: "z"})),
    ("multiple_before_unexpected", lambda f, P, N: (P, {N[0]: "z", "bogus": 1})),
    ("unexpected_before_multiple", lambda f, P, N: (P, {"bogus": 1, N[0]: "z"})),
    ("missing_all", lambda f, P, N: ((), {"score_cutoff": None})),
    ("missing_s1", lambda f, P, N: ((), {"s2": "b"})),
    ("missing_s2", lambda f, P, N: (P[:1], {"score_cutoff": 1})),
    ("missing_s2_by_keyword", lambda f, P, N: ((), {N[0]: P[0]})),
] + [(f"text_{i}", lambda f, P, N, a=a: (a, {})) for i, a in enumerate([
    (1, "b"), ("a", b"b"), (None, "b"), (["a"], 2.5), (int, "b"), ("a", Index(1)), (1, "\ud800"),
    ("\ud800", "b"), ("a", "x\udfff"), ("\ud800", 1)])]


@pytest.mark.parametrize("case", MATCHING, ids=[c[0] for c in MATCHING])
def test_matching_and_text_errors_on_every_function(case):
    for fn in ALL:
        names = ["pairs"] if is_batch(fn) else ["s1", "s2"]
        args, kwargs = case[1](fn, positional(fn), names)
        if not is_batch(fn) or not case[0].startswith(("missing_s2", "text_")):
            check_error(fn, args, kwargs)


class EqRaises(str):
    def __eq__(self, other):  # a str subclass is read as text, never compared
        raise AssertionError

    __hash__ = str.__hash__


def test_keywords_by_text_and_str_subclasses():
    assert distance.prefix_similarity(s2="abx", s1="abc") == 2
    assert distance.postfix_similarity_batch(score_cutoff=2, pairs=(("xbc", "abc"),)) == [2]
    # names are matched by their text too, not only by identity, and str subclasses count
    assert distance.prefix_similarity("abc", "abd", **{"".join(["score_", "cutoff"]): 3}) == 0
    assert distance.prefix_similarity(**{Text("s1"): "abc", "s2": "abc"}) == 3
    assert distance.prefix_similarity("abc", score_cutoff=3, s2="abd") == 0
    assert distance.prefix_similarity(EqRaises("abcd"), EqRaises("abxd")) == 2
    assert distance.prefix_similarity_batch([(EqRaises("ab"), EqRaises("ab"))]) == [2]


# Conversion of the options and score_cutoff. A refused value gives the interpreter's own error,
# with the argument's name in front of a TypeError only; an accepted one lets conversion go on.
FakeNumpyBool = type("bool_", (), {"__module__": "numpy"})  # numpy's bool: by module and name
TruthyNumpyBool = type("bool", (), {"__module__": "numpy", "__bool__": lambda self: True})
NotNumpyBool = type("bool_", (), {"__module__": "numpyx", "__bool__": lambda self: True})


def to_bool(value):
    if type(value) is FakeNumpyBool:
        raise TypeError("object of type 'bool_' does not define a '__bool__' conversion")
    raise TypeError(f"'{type(value).__name__}' object cannot be converted to 'PyBool'")


CONVERSIONS = {"float": _as_double, "uint": lambda o: _as_u64(_index(o)), "bool": to_bool}
REFUSED = {"float": ("0.5", b"", [], 1j, FloatLike(1), 10**400, -(2**1024)),
           "uint": (1.5, "1", b"1", [], 0.0, np.float64(2), -1, U64, 10**30, Index(-3)),
           "bool": (1, 0, "True", 1.0, np.int64(1), NotNumpyBool(), FakeNumpyBool())}
ACCEPTED = {"float": (0.5, -1.0, 0, True, FloatLike(0.25), Index(2), np.float32(0.5),
                      float("nan"), 2**1023, type("F", (float,), {})(1.0)),
            "uint": (0, True, U64 - 1, Index(3), np.uint64(U64 - 1)),
            "bool": (True, False, np.True_, np.False_, TruthyNumpyBool())}


def kind(fn, param):
    if param == "score_cutoff":
        return "uint" if int_cutoff(fn) else "float"
    return {"use_words": "bool", "ngram_size": "uint"}.get(param, "float")


@pytest.mark.parametrize("fn", ALL, ids=lambda f: f.__name__)
def test_option_and_cutoff_conversion(fn):
    later = "argument 'score_cutoff': " + c_error(CONVERSIONS[kind(fn, "score_cutoff")], "x")[1]
    for param in [name for name, _ in options_of(fn)] + ["score_cutoff"]:
        for value in REFUSED[kind(fn, param)] + ((None,) if param != "score_cutoff" else ()):
            exc_type, message = c_error(CONVERSIONS[kind(fn, param)], value)
            if exc_type is TypeError:
                message = f"argument '{param}': {message}"
            raises_exactly(exc_type, message, fn, *positional(fn), **{param: value})
        for value in ACCEPTED[kind(fn, param)] if param != "score_cutoff" else ():
            raises_exactly(TypeError, later, fn, *positional(fn), **{param: value},
                           score_cutoff="x")


BigInt, Real = type("BigInt", (int,), {}), type("Real", (float,), {})
CUTOFFS_ACCEPTED = [  # (function, s1, s2, [(score_cutoff, result)])
    (distance.prefix_similarity, "abc", "abd", [
        (None, 2), (True, 2), (Index(2), 2), (Index(3), 0), (np.uint8(3), 0), (U64 - 1, 0),
        (BigInt(2), 2)]),
    (distance.prefix_distance, "abc", "xyz", [(False, 1), (U64 - 1, 3), (2, 3), (1, 2)]),
    (distance.prefix_normalized_distance, "abcd", "abxy", [
        (None, 0.5), (0, 1.0), (True, 0.5), (FloatLike(0.4), 1.0), (FloatLike(0.5), 0.5),
        (Index(1), 0.5), (np.float32(0.25), 1.0), (2**1023, 0.5), (Real(0.5), 0.5),
        (float("inf"), 0.5), (-(2**70), 1.0)]),
    (distance.prefix_normalized_similarity, "abc", "abx", [(0.7, 0.0), (0.6, 1.0 - 1 / 3),
                                                          (U64, 0.0)]),
]


def test_cutoff_values_accepted():
    for fn, a, b, cases in CUTOFFS_ACCEPTED:
        for cutoff, expected in cases:
            result = fn(a, b, score_cutoff=cutoff)
            assert type(result) is type(expected) and result == expected, (fn.__name__, cutoff)


# Only an exact TypeError gets the argument prefix (and keeps its __cause__); any other
# exception raised by a conversion passes unchanged.
RaisingNumpyBool = type("bool_", (Raising,), {"__module__": "numpy"})


def test_errors_raised_by_conversions():
    cause = KeyError("inner")
    for fn in [distance.prefix_normalized_distance, distance.prefix_distance] + OPTIONED:
        for option in [n for n, _ in options_of(fn)] + ["score_cutoff"]:
            raising = RaisingNumpyBool if option == "use_words" else Raising
            err = raises_exactly(TypeError, f"argument '{option}': bad", fn, *positional(fn),
                                 **{option: raising(caused(TypeError("bad"), cause))})
            assert err.__cause__ is cause
            for exc in (type("SubTypeError", (TypeError,), {})("sub"), ValueError("v"),
                        KeyboardInterrupt()):
                with pytest.raises(BaseException) as info:
                    fn(*positional(fn), **{option: raising(exc)})
                assert info.value is exc, fn.__name__
    err = raises_exactly(TypeError, "argument 'score_cutoff': ('a', 2)",
                         distance.postfix_normalized_similarity, "a", "b",
                         score_cutoff=Raising(TypeError("a", 2)))
    assert err.__cause__ is None


@pytest.mark.parametrize("fn", SAMPLE, ids=lambda f: f.__name__)
def test_conversion_order(fn):
    """s1, s2 (a batch's pairs: test_batch.py), the options in signature order, score_cutoff."""
    bad = {"use_words": 1, "ngram_size": 1.5}
    names = [name for name, _ in options_of(fn)] + ["score_cutoff"]
    texts = {"pairs": [("a", "b")]} if is_batch(fn) else {"s1": "a", "s2": "b"}
    cases = [] if is_batch(fn) else [({"s1": 1, "s2": 2, "score_cutoff": "x"}, "s1"),
                                     ({"score_cutoff": "x", "s2": 2, "s1": "a"}, "s2"),
                                     ({"s1": "a", "s2": 5, **{n: "x" for n in names}}, "s2")]
    for i, option in enumerate(names):
        kwargs = {later: bad.get(later, "x") for later in names[i:]}
        cases.append(({**dict(reversed(kwargs.items())), **texts}, option))
    for kwargs, culprit in cases:
        with pytest.raises(TypeError, match=f"^argument '{culprit}': "):
            fn(**kwargs)
    if not is_batch(fn):  # the encoding error of a text comes before any option
        raises_exactly(UnicodeEncodeError, None, fn, "a", "\udc00",
                       **{name: "x" for name in names})
