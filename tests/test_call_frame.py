"""Argument matching and conversion of the call frame, for every signature shape.

Acceptance of a value is shown either by a result or by passing a later argument that must fail
and checking that the error names the later one (arguments are converted in signature order).
"""

import ctypes
import types

import numpy
import pytest

from quorvalex import _quorvalex, distance, fuzz

# ---------------------------------------------------------------------------------------------
# The functions of the module and what their text signatures say about them.


def _all_functions():
    out = []
    for module in (distance, fuzz, _quorvalex):
        for name in module.__all__:
            obj = getattr(module, name)
            if not isinstance(obj, types.ModuleType):
                out.append(obj)
    return out


ALL = _all_functions()
assert len(ALL) == 112


def options_of(fn):
    """[(name, default text)] of the keyword-only options before score_cutoff."""
    sig = fn.__text_signature__
    inner = sig[sig.index("*, ") + 3 : sig.index("score_cutoff=None)")]
    return [tuple(part.split("=")) for part in inner.split(", ") if part]


def is_batch(fn):
    return fn.__name__.endswith("_batch")


def int_cutoff(fn):
    name = fn.__name__
    return fn.__module__ == "distance" and "normalized" not in name and "jaro" not in name


def positional(fn):
    return ([("ab", "ac")],) if is_batch(fn) else ("ab", "ac")


def positional_names(fn):
    return ["pairs"] if is_batch(fn) else ["s1", "s2"]


# Each shape: a few scalar functions and a batch function.
SHAPES = {
    "plain": [
        distance.prefix_similarity,
        distance.postfix_normalized_distance,
        distance.levenshtein_distance,
        distance.hamming_normalized_similarity,
        fuzz.ratio,
        _quorvalex.jaccard_similarity,
        distance.prefix_similarity_batch,
        fuzz.partial_ratio_batch,
        distance.lcs_str_similarity_batch,
    ],
    "prefix_weight": [
        distance.jaro_winkler_similarity,
        distance.jaro_winkler_normalized_distance,
        distance.jaro_winkler_distance_batch,
    ],
    "tversky": [
        _quorvalex.tversky_similarity,
        _quorvalex.tversky_distance,
        _quorvalex.tversky_similarity_batch,
    ],
    "alignment": [
        _quorvalex.smith_waterman_score,
        _quorvalex.needleman_wunsch_normalized_similarity,
        _quorvalex.needleman_wunsch_score_batch,
    ],
    "cosine": [
        _quorvalex.cosine_similarity,
        _quorvalex.cosine_distance,
        _quorvalex.cosine_similarity_batch,
    ],
    "threshold": [
        _quorvalex.soft_tfidf_similarity,
        _quorvalex.soft_tfidf_distance,
        _quorvalex.soft_tfidf_similarity_batch,
    ],
}
SAMPLE = [fn for fns in SHAPES.values() for fn in fns]
SAMPLE_IDS = [fn.__name__ for fn in SAMPLE]
OPTIONED = [fn for fn in SAMPLE if options_of(fn)]


def test_shape_table_matches_signatures():
    expected = {
        "plain": [],
        "prefix_weight": ["prefix_weight"],
        "tversky": ["alpha", "beta"],
        "alignment": ["match_score", "mismatch_score", "gap_cost"],
        "cosine": ["use_words", "ngram_size"],
        "threshold": ["threshold"],
    }
    for shape, fns in SHAPES.items():
        for fn in fns:
            assert [name for name, _ in options_of(fn)] == expected[shape], fn.__name__


# ---------------------------------------------------------------------------------------------
# Reference messages of the interpreter's own conversions, obtained from the C API itself.

_float_as_double = ctypes.pythonapi.PyFloat_AsDouble
_float_as_double.restype = ctypes.c_double
_float_as_double.argtypes = [ctypes.py_object]
_number_index = ctypes.pythonapi.PyNumber_Index
_number_index.restype = ctypes.py_object
_number_index.argtypes = [ctypes.py_object]


def interpreter_error(conversion, obj):
    try:
        conversion(obj)
    except Exception as exc:  # noqa: BLE001
        return type(exc), str(exc)
    raise AssertionError(f"{obj!r} converts")


def float_error(obj):
    return interpreter_error(_float_as_double, obj)


def index_error(obj):
    return interpreter_error(_number_index, obj)


# Calls with an explicit keyword-name tuple (which Python syntax cannot repeat).
_vectorcall = ctypes.pythonapi.PyObject_Vectorcall
_vectorcall.restype = ctypes.py_object
_vectorcall.argtypes = [ctypes.py_object, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p]


def vectorcall(fn, args, kwnames=()):
    array = (ctypes.py_object * max(len(args), 1))(*args)
    kwnames = tuple(kwnames)
    return _vectorcall(
        fn,
        ctypes.cast(array, ctypes.c_void_p),
        len(args) - len(kwnames),
        id(kwnames) if kwnames else None,
    )


def raises_exactly(exc_type, message, fn, *args, **kwargs):
    with pytest.raises(BaseException) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc_type, (fn.__name__, info.value)
    assert str(info.value) == message, fn.__name__
    return info.value


# ---------------------------------------------------------------------------------------------
# Argument matching, on every function of the module.

MATCHING_CASES = [
    # (case id, builds (args, kwargs) from the function, expected message after "<name>()")
    (
        "one_too_many",
        lambda f: (positional(f) + ("x",), {}),
        lambda f: f" takes {len(positional(f))} positional arguments but "
        f"{len(positional(f)) + 1} were given",
    ),
    (
        "three_too_many",
        lambda f: (positional(f) + ("x", "y", "z"), {"score_cutoff": None}),
        lambda f: f" takes {len(positional(f))} positional arguments but "
        f"{len(positional(f)) + 3} were given",
    ),
    (
        "too_many_before_unexpected_keyword",
        lambda f: (positional(f) + ("x",), {"bogus": 1}),
        lambda f: f" takes {len(positional(f))} positional arguments but "
        f"{len(positional(f)) + 1} were given",
    ),
    (
        "unexpected_keyword",
        lambda f: (positional(f), {"cutoff": 1}),
        lambda f: " got an unexpected keyword argument 'cutoff'",
    ),
    (
        "keyword_case_matters",
        lambda f: (positional(f), {"Score_cutoff": 1}),
        lambda f: " got an unexpected keyword argument 'Score_cutoff'",
    ),
    (
        "keyword_prefix_is_not_a_match",
        lambda f: (positional(f), {"score": 1}),
        lambda f: " got an unexpected keyword argument 'score'",
    ),
    (
        "keyword_longer_than_a_name",
        lambda f: (positional(f), {"score_cutoffs": 1}),
        lambda f: " got an unexpected keyword argument 'score_cutoffs'",
    ),
    (
        "unencodable_keyword",
        lambda f: (positional(f), {"s\ud800": 1}),
        lambda f: " got an unexpected keyword argument 's\ud800'",
    ),
    (
        "positional_name_of_the_other_form",
        lambda f: (positional(f), {"s1": "a"} if is_batch(f) else {"pairs": []}),
        lambda f: " got an unexpected keyword argument " + ("'s1'" if is_batch(f) else "'pairs'"),
    ),
    (
        "option_of_another_shape",
        lambda f: (
            positional(f),
            {"alpha" if options_of(f) != [("alpha", "1.0"), ("beta", "1.0")] else "threshold": 1.0},
        ),
        lambda f: " got an unexpected keyword argument "
        + ("'alpha'" if options_of(f) != [("alpha", "1.0"), ("beta", "1.0")] else "'threshold'"),
    ),
    (
        "unexpected_before_missing",
        lambda f: ((), {"bogus": 1}),
        lambda f: " got an unexpected keyword argument 'bogus'",
    ),
    (
        "unexpected_before_conversion",
        lambda f: ((1,) * len(positional(f)), {"bogus": 1}),
        lambda f: " got an unexpected keyword argument 'bogus'",
    ),
    (
        "multiple_values_positional_then_keyword",
        lambda f: (positional(f), {positional_names(f)[0]: positional(f)[0]}),
        lambda f: f" got multiple values for argument '{positional_names(f)[0]}'",
    ),
    (
        "multiple_values_last_positional",
        lambda f: (positional(f), {positional_names(f)[-1]: "z"}),
        lambda f: f" got multiple values for argument '{positional_names(f)[-1]}'",
    ),
    (
        "multiple_values_before_a_later_unexpected_keyword",
        lambda f: (positional(f), {positional_names(f)[0]: "z", "bogus": 1}),
        lambda f: f" got multiple values for argument '{positional_names(f)[0]}'",
    ),
    (
        "unexpected_keyword_before_a_later_multiple_value",
        lambda f: (positional(f), {"bogus": 1, positional_names(f)[0]: "z"}),
        lambda f: " got an unexpected keyword argument 'bogus'",
    ),
    (
        "missing_all",
        lambda f: ((), {}),
        lambda f: (
            " missing 1 required positional argument: 'pairs'"
            if is_batch(f)
            else " missing 2 required positional arguments: 's1' and 's2'"
        ),
    ),
    (
        "missing_all_with_cutoff",
        lambda f: ((), {"score_cutoff": None}),
        lambda f: (
            " missing 1 required positional argument: 'pairs'"
            if is_batch(f)
            else " missing 2 required positional arguments: 's1' and 's2'"
        ),
    ),
    (
        "missing_after_keyword_s2",
        lambda f: ((), {"s2": "b"}),
        lambda f: (
            " got an unexpected keyword argument 's2'"
            if is_batch(f)
            else " missing 1 required positional argument: 's1'"
        ),
    ),
]


@pytest.mark.parametrize("case", MATCHING_CASES, ids=[c[0] for c in MATCHING_CASES])
def test_matching_errors_on_every_function(case):
    _, build, message = case
    for fn in ALL:
        args, kwargs = build(fn)
        raises_exactly(TypeError, fn.__name__ + "()" + message(fn), fn, *args, **kwargs)


@pytest.mark.parametrize(
    "args,kwargs", [(("a",), {}), ((), {"s1": "a"}), (("a",), {"score_cutoff": 1})]
)
def test_missing_second_text(args, kwargs):
    for fn in ALL:
        if not is_batch(fn):
            message = f"{fn.__name__}() missing 1 required positional argument: 's2'"
            raises_exactly(TypeError, message, fn, *args, **kwargs)


@pytest.mark.parametrize(
    "kwnames",
    [("s1", "s1"), ("s2", "s2"), ("score_cutoff", "score_cutoff"), ("s2", "score_cutoff", "s2")],
    ids=str,
)
@pytest.mark.parametrize("fn", SAMPLE, ids=SAMPLE_IDS)
def test_multiple_values_through_repeated_keyword(fn, kwnames):
    if is_batch(fn):
        kwnames = tuple("pairs" if k in ("s1", "s2") else k for k in kwnames)
    repeated = next(k for k in kwnames if kwnames.count(k) > 1)
    values = [
        [("a", "b")] if k == "pairs" else ("a" if k in ("s1", "s2") else None) for k in kwnames
    ]
    lead = () if is_batch(fn) or repeated == "s1" else ("a",)
    with pytest.raises(TypeError) as info:
        vectorcall(fn, lead + tuple(values), kwnames)
    assert str(info.value) == f"{fn.__name__}() got multiple values for argument '{repeated}'"


@pytest.mark.parametrize("fn", OPTIONED, ids=[f.__name__ for f in OPTIONED])
def test_repeated_option_keyword(fn):
    option = options_of(fn)[-1][0]
    with pytest.raises(TypeError) as info:
        vectorcall(fn, positional(fn) + (None, None), (option, option))
    assert str(info.value) == f"{fn.__name__}() got multiple values for argument '{option}'"


def test_positional_parameters_by_keyword():
    assert distance.prefix_similarity(s2="abx", s1="abc") == 2
    assert distance.postfix_distance(s1="xbc", s2="abc", score_cutoff=None) == 1
    assert distance.prefix_similarity("abc", s2="abd") == 2
    assert distance.prefix_similarity_batch(pairs=[("abc", "abd")]) == [2]
    assert distance.postfix_similarity_batch(score_cutoff=2, pairs=(("xbc", "abc"),)) == [2]
    # The keyword path matches names by their text too, not only by identity.
    name = "".join(["score_", "cutoff"])
    assert distance.prefix_similarity("abc", "abd", **{name: 3}) == 0

    class KeywordName(str):
        pass

    assert distance.prefix_similarity("abc", "abd", **{KeywordName("score_cutoff"): 3}) == 0
    assert distance.prefix_similarity(**{KeywordName("s1"): "abc", "s2": "abc"}) == 3
    # Keyword order does not matter, the slots do.
    assert vectorcall(distance.prefix_similarity, ("abc", 3, "abd"), ("score_cutoff", "s2")) == 0
    assert vectorcall(distance.prefix_similarity, ("abc", 2, "abd"), ("score_cutoff", "s2")) == 2


# ---------------------------------------------------------------------------------------------
# Text conversion.


def test_text_type_errors_name_the_type():
    class Thing:
        pass

    cases = [
        ((1, "b"), "s1", "int"),
        (("a", b"b"), "s2", "bytes"),
        ((None, "b"), "s1", "NoneType"),
        ((["a"], 2.5), "s1", "list"),
        (("a", Thing()), "s2", "test_text_type_errors_name_the_type.<locals>.Thing"),
        ((Thing, "b"), "s1", "type"),
    ]
    for fn in [f for f in ALL if not is_batch(f)]:
        for args, param, qualname in cases:
            raises_exactly(
                TypeError,
                f"argument '{param}': '{qualname}' object cannot be converted to 'PyString'",
                fn,
                *args,
            )


@pytest.mark.parametrize("fn", [f for f in SAMPLE if not is_batch(f)], ids=lambda f: f.__name__)
def test_lone_surrogates_raise_unicode_encode_error(fn):
    for args in [("\ud800", "b"), ("a", "x\udfff"), ("\ud800", 1)]:
        with pytest.raises(UnicodeEncodeError) as info:
            fn(*args)
        assert type(info.value) is UnicodeEncodeError
        assert "surrogate" in str(info.value)
    # s1 is converted first: its type error wins over s2's encoding error.
    raises_exactly(
        TypeError,
        "argument 's1': 'int' object cannot be converted to 'PyString'",
        fn,
        1,
        "\ud800",
    )


class Text(str):
    def __eq__(self, other):  # must not be consulted
        raise AssertionError

    __hash__ = str.__hash__


def test_str_subclass_is_text():
    assert distance.prefix_similarity(Text("abcd"), Text("abxd")) == 2
    assert distance.postfix_similarity(Text("abcd"), "abxd") == 1
    assert distance.prefix_normalized_similarity("", Text("")) == 1.0
    assert distance.prefix_similarity_batch([(Text("ab"), Text("ab"))]) == [2]


# ---------------------------------------------------------------------------------------------
# score_cutoff and option conversion errors.


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Float:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


def cutoff_error_cases(fn):
    """(value, exception type, message) for a bad score_cutoff of fn."""
    if int_cutoff(fn):
        cases = [(v, *index_error(v)) for v in (1.5, "1", b"1", [], 0.0)]
        cases = [(v, t, f"argument 'score_cutoff': {m}") for v, t, m in cases]
        cases += [(v, *interpreter_error(_unsigned, v)) for v in (-1, 2**64, 10**30, Index(-3))]
    else:
        cases = [(v, *float_error(v)) for v in ("0.5", b"", [], 1j, Float(1))]
        cases = [(v, t, f"argument 'score_cutoff': {m}") for v, t, m in cases]
        cases += [(v, *float_error(v)) for v in (10**400, -(2**1024))]
    return cases


_as_unsigned = ctypes.pythonapi.PyLong_AsUnsignedLongLong
_as_unsigned.restype = ctypes.c_ulonglong
_as_unsigned.argtypes = [ctypes.py_object]


def _unsigned(obj):
    return _as_unsigned(_number_index(obj))


@pytest.mark.parametrize("module", [distance, fuzz, _quorvalex], ids=lambda m: m.__name__)
def test_cutoff_conversion_errors(module):
    for fn in ALL:
        if fn.__self__ is not module:
            continue
        for value, exc_type, message in cutoff_error_cases(fn):
            if exc_type is TypeError:
                assert message.startswith("argument 'score_cutoff': ")
            else:
                assert exc_type is OverflowError
            raises_exactly(exc_type, message, fn, *positional(fn), score_cutoff=value)


def test_cutoff_error_kinds_follow_the_table():
    assert int_cutoff(distance.levenshtein_distance)
    assert int_cutoff(distance.hamming_distance_batch)
    assert not int_cutoff(distance.jaro_similarity)
    assert not int_cutoff(distance.levenshtein_normalized_distance_batch)
    assert not int_cutoff(fuzz.ratio)
    assert sum(map(int_cutoff, ALL)) == 28


def option_error_cases(kind):
    """(value, exception type, message without the argument prefix, wrapped?)"""
    if kind == "use_words":
        cases = [
            (v, TypeError, f"'{type(v).__name__}' object cannot be converted to 'PyBool'")
            for v in (1, 0, None, "True", 1.0, numpy.int64(1))
        ]
        return [(v, t, m, True) for v, t, m in cases]
    if kind == "ngram_size":
        cases = [(v, *index_error(v), True) for v in (None, 2.0, "2", numpy.float64(2))]
        cases += [(v, *interpreter_error(_unsigned, v), False) for v in (-1, 2**64, Index(-1))]
        return cases
    cases = [(v, *float_error(v), True) for v in (None, "0.5", [], 1j)]
    cases += [(v, *float_error(v), False) for v in (10**400,)]
    return cases


OPTION_PARAMS = [(fn, name) for fn in OPTIONED for name, _ in options_of(fn)]


@pytest.mark.parametrize(
    "fn,option", OPTION_PARAMS, ids=[f"{f.__name__}-{o}" for f, o in OPTION_PARAMS]
)
def test_option_conversion_errors(fn, option):
    kind = option if option in ("use_words", "ngram_size") else "float"
    for value, exc_type, message, wrapped in option_error_cases(kind):
        expected = f"argument '{option}': {message}" if wrapped else message
        raises_exactly(exc_type, expected, fn, *positional(fn), **{option: value})


# ---------------------------------------------------------------------------------------------
# Accepted values.


def test_int_cutoff_values():
    sim, dist = distance.prefix_similarity, distance.prefix_distance
    table = [
        (sim, ("ab", "ax"), True, 1),
        (sim, ("ab", "xx"), True, 0),
        (sim, ("abc", "abd"), None, 2),
        (sim, ("abc", "abd"), Index(2), 2),
        (sim, ("abc", "abd"), Index(3), 0),
        (sim, ("abc", "abd"), numpy.uint8(3), 0),
        (sim, ("abc", "abc"), 2**64 - 1, 0),
        (sim, ("abc", "abd"), type("Big", (int,), {})(2), 2),
        (dist, ("abc", "xyz"), True, 2),
        (dist, ("abc", "xyz"), False, 1),
        (dist, ("abc", "xyz"), 2**64 - 1, 3),
        (dist, ("abc", "xyz"), None, 3),
        (dist, ("abcd", "xbcd"), 1, 2),
    ]
    for fn, args, cutoff, expected in table:
        result = fn(*args, score_cutoff=cutoff)
        assert type(result) is int and result == expected, (fn.__name__, args, cutoff)
        if cutoff is None:
            assert fn(*args) == expected


def test_float_cutoff_values():
    nd, ns = distance.prefix_normalized_distance, distance.prefix_normalized_similarity
    table = [
        (nd, ("abcd", "abxy"), None, 0.5),
        (nd, ("abcd", "abxy"), 0, 1.0),
        (nd, ("abcd", "abxy"), 1, 0.5),
        (nd, ("abcd", "abxy"), True, 0.5),
        (nd, ("abcd", "abxy"), False, 1.0),
        (nd, ("abcd", "abxy"), Float(0.4), 1.0),
        (nd, ("abcd", "abxy"), Float(0.5), 0.5),
        (nd, ("abcd", "abxy"), Index(1), 0.5),
        (nd, ("abcd", "abxy"), numpy.float32(0.25), 1.0),
        (nd, ("abcd", "abxy"), type("F", (float,), {})(0.5), 0.5),
        (nd, ("abcd", "abxy"), 2**1023, 0.5),
        (nd, ("abcd", "abxy"), float("inf"), 0.5),
        (nd, ("abcd", "abxy"), float("-inf"), 1.0),
        (nd, ("abcd", "abxy"), -(2**70), 1.0),
        (ns, ("abc", "abx"), 0.7, 0.0),
        (ns, ("abc", "abx"), 0.6, 1.0 - 1 / 3),
        (ns, ("abc", "abx"), 2**64, 0.0),
        (ns, ("abc", "abx"), Float(0.5), 1.0 - 1 / 3),
    ]
    for fn, args, cutoff, expected in table:
        result = fn(*args, score_cutoff=cutoff)
        assert type(result) is float and result == expected, (fn.__name__, args, cutoff)


class CauseFloat:
    def __init__(self, cause):
        self.cause = cause

    def __float__(self):
        raise TypeError("bad float") from self.cause


class CauseIndex:
    def __init__(self, cause):
        self.cause = cause

    def __index__(self):
        raise TypeError("bad index") from self.cause


def test_wrapped_error_keeps_the_cause():
    cause = KeyError("inner")
    err = raises_exactly(
        TypeError,
        "argument 'score_cutoff': bad float",
        distance.prefix_normalized_distance,
        "a",
        "b",
        score_cutoff=CauseFloat(cause),
    )
    assert err.__cause__ is cause
    err = raises_exactly(
        TypeError,
        "argument 'score_cutoff': bad index",
        distance.prefix_distance,
        "a",
        "b",
        score_cutoff=CauseIndex(cause),
    )
    assert err.__cause__ is cause
    # Options too, on functions of every option kind.
    for fn in OPTIONED:
        option = next(name for name, default in options_of(fn) if name != "use_words")
        probe = CauseIndex(cause) if option == "ngram_size" else CauseFloat(cause)
        text = "bad index" if option == "ngram_size" else "bad float"
        err = raises_exactly(
            TypeError, f"argument '{option}': {text}", fn, *positional(fn), **{option: probe}
        )
        assert err.__cause__ is cause


def test_wrapped_error_without_cause_and_with_several_args():
    class TwoArgs:
        def __float__(self):
            raise TypeError("a", 2)

    err = raises_exactly(
        TypeError,
        "argument 'score_cutoff': ('a', 2)",
        distance.postfix_normalized_similarity,
        "a",
        "b",
        score_cutoff=TwoArgs(),
    )
    assert err.__cause__ is None
    wrong = Float(1)  # __float__ returning an int
    raises_exactly(
        TypeError,
        "argument 'score_cutoff': " + float_error(wrong)[1],
        distance.prefix_normalized_distance,
        "a",
        "b",
        score_cutoff=wrong,
    )


def test_other_exceptions_from_conversions_pass_unchanged():
    class SubTypeError(TypeError):
        pass

    raised = SubTypeError("sub")

    class Raises:
        def __init__(self, exc):
            self.exc = exc

        def __float__(self):
            raise self.exc

        def __index__(self):
            raise self.exc

    for exc in (raised, ValueError("value"), ZeroDivisionError("zero"), KeyboardInterrupt()):
        for fn, kwargs in [
            (distance.prefix_normalized_distance, {"score_cutoff": Raises(exc)}),
            (distance.prefix_distance, {"score_cutoff": Raises(exc)}),
            (distance.jaro_winkler_similarity, {"prefix_weight": Raises(exc)}),
            (_quorvalex.cosine_similarity, {"ngram_size": Raises(exc)}),
            (_quorvalex.tversky_similarity_batch, {"beta": Raises(exc)}),
        ]:
            with pytest.raises(BaseException) as info:
                fn(*positional(fn), **kwargs)
            assert info.value is exc, fn.__name__


# numpy's boolean scalar type is recognised by its module and name.
FakeNumpyBool = type("bool_", (), {"__module__": "numpy"})
TruthyNumpyBool = type("bool", (), {"__module__": "numpy", "__bool__": lambda self: True})
NotNumpyBool = type("bool_", (), {"__module__": "numpyx", "__bool__": lambda self: True})


class RaisingNumpyBool:
    __module__ = "numpy"

    def __init__(self, exc):
        self.exc = exc

    def __bool__(self):
        raise self.exc


RaisingNumpyBool.__name__ = "bool_"


@pytest.mark.parametrize("fn", SHAPES["cosine"], ids=[f.__name__ for f in SHAPES["cosine"]])
def test_use_words_is_a_strict_bool(fn):
    later_failure = "argument 'ngram_size': " + index_error(1.5)[1]
    # Accepted values: the next option is then converted and fails.
    for accepted in (True, False, numpy.True_, numpy.False_, numpy.bool_(1), TruthyNumpyBool()):
        raises_exactly(
            TypeError, later_failure, fn, *positional(fn), use_words=accepted, ngram_size=1.5
        )
    raises_exactly(
        TypeError,
        "argument 'use_words': object of type 'bool_' does not define a '__bool__' conversion",
        fn,
        *positional(fn),
        use_words=FakeNumpyBool(),
    )
    raises_exactly(
        TypeError,
        "argument 'use_words': 'bool_' object cannot be converted to 'PyBool'",
        fn,
        *positional(fn),
        use_words=NotNumpyBool(),
    )
    cause = KeyError("k")
    try:
        raise TypeError("no truth") from cause
    except TypeError as exc:
        err = raises_exactly(
            TypeError,
            "argument 'use_words': no truth",
            fn,
            *positional(fn),
            use_words=RaisingNumpyBool(exc),
        )
        assert err.__cause__ is cause
    value_error = ValueError("v")
    with pytest.raises(ValueError) as info:
        fn(*positional(fn), use_words=RaisingNumpyBool(value_error))
    assert info.value is value_error


@pytest.mark.parametrize("fn", OPTIONED, ids=[f.__name__ for f in OPTIONED])
def test_accepted_option_values(fn):
    """Each accepted option value lets conversion go on to a failing score_cutoff."""
    bad_cutoff = "bad"
    expected = "argument 'score_cutoff': " + (
        index_error(bad_cutoff)[1] if int_cutoff(fn) else float_error(bad_cutoff)[1]
    )
    for option, _ in options_of(fn):
        if option == "use_words":
            values = (True, False, numpy.True_)
        elif option == "ngram_size":
            values = (0, 1, True, 2**64 - 1, Index(3), numpy.int8(4), numpy.uint64(2**64 - 1))
        else:
            values = (
                0.5,
                -1.0,
                0,
                3,
                True,
                Float(0.25),
                Index(2),
                numpy.float32(0.5),
                float("nan"),
                2**1023,
                type("F", (float,), {})(1.0),
            )
        for value in values:
            raises_exactly(
                TypeError, expected, fn, *positional(fn), **{option: value}, score_cutoff=bad_cutoff
            )


# ---------------------------------------------------------------------------------------------
# Conversion order: s1, s2, options in signature order, score_cutoff; pairs first in batches.


def order_cases(fn):
    """(kwargs with several bad arguments, the argument expected in the error)"""
    texts = {} if is_batch(fn) else {"s1": "a", "s2": "b"}
    bad_option = {"use_words": 1, "ngram_size": 1.5}
    options = [name for name, _ in options_of(fn)]
    cases = []
    if not is_batch(fn):
        cases.append(({"s1": 1, "s2": 2, "score_cutoff": "x"}, "s1"))
        cases.append(({"score_cutoff": "x", "s2": 2, "s1": "a"}, "s2"))
    for i, option in enumerate(options):
        kwargs = dict(texts)
        for later in options[i:]:
            kwargs[later] = bad_option.get(later, "x")
        kwargs["score_cutoff"] = "x"
        cases.append((dict(reversed(list(kwargs.items()))), option))
        if not is_batch(fn):
            cases.append(({**kwargs, "s2": 5}, "s2"))
    return cases


@pytest.mark.parametrize("fn", SAMPLE, ids=SAMPLE_IDS)
def test_conversion_order(fn):
    for kwargs, culprit in order_cases(fn):
        if is_batch(fn):
            kwargs = {"pairs": [("a", "b")], **kwargs}
        with pytest.raises(TypeError) as info:
            fn(**kwargs)
        assert str(info.value).startswith(f"argument '{culprit}': "), (kwargs, str(info.value))
    if is_batch(fn):
        # pairs is extracted before any option is converted
        bad = {name: "x" for name, _ in options_of(fn)}
        raises_exactly(
            TypeError,
            "argument 'pairs': Can't extract `str` to `Vec`",
            fn,
            "ab",
            **bad,
            score_cutoff="x",
        )
        with pytest.raises(ValueError):
            fn([("a",)], **bad, score_cutoff="x")
        with pytest.raises(UnicodeEncodeError):
            fn([("a", "\udc00")], score_cutoff="x")
    else:
        # texts are converted before the options: the encoding error wins
        with pytest.raises(UnicodeEncodeError):
            fn("a", "\udc00", **{name: "x" for name, _ in options_of(fn)}, score_cutoff="x")
