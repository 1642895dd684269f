"""Randomized calls of all 112 functions: argument shapes, types, keywords and values.

A small model of the call frame predicts, for every call, either the exception (its type, and
its exact message wherever the frame writes the message itself) or success; a successful call
must return a value of the documented kind, equal to the call with plain positional texts and
plain converted options, and a batch must equal its scalar function pair by pair. No call may
crash or raise anything but TypeError, ValueError, OverflowError or UnicodeEncodeError.
"""

import math
import operator
import os
import types

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from quorvalex import _quorvalex, distance, fuzz

SANITIZED = bool(os.environ.get("QUORVALEX_SANITIZED"))
EXAMPLES = 60 if SANITIZED else 200

ALLOWED = (TypeError, ValueError, OverflowError, UnicodeEncodeError)
U64 = 2**64


def _functions():
    out = []
    for module in (distance, fuzz, _quorvalex):
        for name in module.__all__:
            obj = getattr(module, name)
            if not isinstance(obj, types.ModuleType):
                out.append(obj)
    return out


FUNCTIONS = _functions()
assert len(FUNCTIONS) == 112


class Signature:
    """Parameters of one function, read from its __text_signature__."""

    def __init__(self, fn):
        sig = fn.__text_signature__
        assert sig.startswith("(") and sig.endswith(")"), sig
        positional, keywords = sig[1:-1].split(", *, ")
        self.positional = positional.split(", ")
        self.keywords = [part.split("=") for part in keywords.split(", ")]
        self.keyword_names = [k for k, _ in self.keywords]
        assert self.keyword_names[-1] == "score_cutoff"
        self.batch = fn.__name__.endswith("_batch")
        self.name = fn.__name__
        scalar = self.name[: -len("_batch")] if self.batch else self.name
        self.int_result = fn.__module__ == "distance" and not (
            "normalized" in scalar or "jaro" in scalar
        )
        self.optional_result = scalar.startswith("hamming_")


SIGNATURES = {fn.__name__: Signature(fn) for fn in FUNCTIONS}
FLOAT_OPTIONS = {"prefix_weight", "alpha", "beta", "match_score", "mismatch_score", "gap_cost"}
FLOAT_OPTIONS |= {"threshold"}


# ---------------------------------------------------------------------------------------------
# Values of every kind the frame may meet.


class Text(str):
    pass


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


class FloatLike:
    def __init__(self, v):
        self.v = v

    def __float__(self):
        return self.v


class Pairs:
    """A sequence that is neither a list nor a tuple."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


texts = st.one_of(
    st.text(alphabet="ab é€👍\t", max_size=10),
    st.sampled_from(["", " ", "new york", "é", "👍a", "a\ud800", "\udfff"]),
    st.builds(Text, st.text(alphabet="abé", max_size=5)),
)
junk = st.sampled_from([None, 1, 1.5, b"ab", ["a"], ("a", "b"), object(), True])
numbers = st.one_of(
    st.floats(allow_nan=True, allow_infinity=True),
    st.integers(min_value=-3, max_value=300),
    st.sampled_from([10**400, -(10**400), U64 - 1, U64, 2**63, -1, 0]),
    st.booleans(),
    st.builds(Index, st.sampled_from([0, 3, -1, U64])),
    st.builds(FloatLike, st.sampled_from([0.5, -1.0, float("nan"), 80.0])),
    st.sampled_from(
        [np.float64(0.5), np.bool_(True), np.bool_(False), np.int64(2), np.float32(0.25)]
    ),
    st.sampled_from([None, "0.5", [], b"1"]),
)
pair_items = st.one_of(
    st.tuples(texts, texts),
    st.sampled_from([("a",), ("a", "b", "c"), (), ["a", "b"], "ab", None, (1, "a"), ("a", b"b")]),
    st.builds(lambda a, b: type("PairTuple", (tuple,), {})((a, b)), texts, texts),
)
pairs_values = st.one_of(
    st.lists(st.tuples(texts, texts), max_size=6),
    st.lists(pair_items, max_size=4),
    st.builds(Pairs, st.lists(st.tuples(texts, texts), max_size=4)),
    st.builds(tuple, st.lists(st.tuples(texts, texts), max_size=3)),
    st.sampled_from(["ab", "", {("a", "b")}, {"a": "b"}, None, 3, b"ab", b"", iter([("a", "b")])]),
    st.builds(lambda n: (p for p in [("a", "b")] * n), st.integers(0, 2)),
)


# ---------------------------------------------------------------------------------------------
# The model of the frame.


class Expected(Exception):
    """What the model predicts: an exception type and, where the frame writes it, a message."""

    def __init__(self, kind, message=None):
        super().__init__(kind, message)
        self.kind = kind
        self.message = message


def qualname(x):
    return type(x).__qualname__


def wrapped(param, exc):
    raise Expected(TypeError, f"argument '{param}': {exc}")


def encode(text):
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        raise Expected(UnicodeEncodeError)


def convert_text(param, x):
    if not isinstance(x, str):
        raise Expected(TypeError, f"argument '{param}': '{qualname(x)}' object cannot be converted to 'PyString'")
    encode(x)
    return str(x)


def convert_float(param, x):
    if type(x) is float:
        return x
    kind = type(x)
    try:
        if hasattr(kind, "__float__"):
            return float(x)
        if hasattr(kind, "__index__"):
            return float(operator.index(x))
    except OverflowError:
        raise Expected(OverflowError)
    wrapped(param, f"must be real number, not {kind.__name__}")


def convert_uint(param, x):
    if isinstance(x, int):
        v = int(x)
    else:
        try:
            v = operator.index(x)
        except TypeError as exc:
            wrapped(param, exc)
    if v < 0 or v >= U64:
        raise Expected(OverflowError)
    return v


def convert_bool(param, x):
    if x is True or x is False:
        return x
    if type(x).__module__ == "numpy" and type(x).__name__ in ("bool_", "bool"):
        return bool(x)
    raise Expected(TypeError, f"argument '{param}': '{qualname(x)}' object cannot be converted to 'PyBool'")


def is_sequence(x):
    if isinstance(x, dict):
        return False
    return hasattr(type(x), "__getitem__")


def extract_pairs(x):
    if isinstance(x, str):
        raise Expected(TypeError, "argument 'pairs': Can't extract `str` to `Vec`")
    if not is_sequence(x):
        raise Expected(TypeError, f"argument 'pairs': '{qualname(x)}' object cannot be converted to 'Sequence'")
    out = []
    for item in x:
        if not isinstance(item, tuple):
            raise Expected(TypeError, f"argument 'pairs': '{qualname(item)}' object cannot be converted to 'PyTuple'")
        if len(item) != 2:
            raise Expected(ValueError, f"expected tuple of length 2, but got tuple of length {len(item)}")
        pair = []
        for t in item:
            if not isinstance(t, str):
                raise Expected(TypeError, f"argument 'pairs': '{qualname(t)}' object cannot be converted to 'PyString'")
            encode(t)
            pair.append(str(t))
        out.append(tuple(pair))
    return out


def model(sig, args, kwargs):
    """Returns (texts or pairs, options dict, cutoff) or raises Expected."""
    name, positional, keyword_names = sig.name, sig.positional, sig.keyword_names
    P = len(positional)
    slots = {}
    if len(args) > P:
        raise Expected(TypeError, f"{name}() takes {P} positional arguments but {len(args)} were given")
    for param, value in zip(positional, args):
        slots[param] = value
    for key, value in kwargs.items():
        if key not in keyword_names and key not in positional:
            raise Expected(TypeError, f"{name}() got an unexpected keyword argument '{key}'")
        if key in slots:
            raise Expected(TypeError, f"{name}() got multiple values for argument '{key}'")
        slots[key] = value
    missing = [p for p in positional if p not in slots]
    if len(missing) == 1:
        raise Expected(TypeError, f"{name}() missing 1 required positional argument: '{missing[0]}'")
    if len(missing) == 2:
        raise Expected(TypeError, f"{name}() missing 2 required positional arguments: '{missing[0]}' and '{missing[1]}'")

    if sig.batch:
        texts = extract_pairs(slots["pairs"])
    else:
        texts = (convert_text("s1", slots["s1"]), convert_text("s2", slots["s2"]))
    options = {}
    for key, default in sig.keywords[:-1]:
        value = slots.get(key, eval(default))
        if key in FLOAT_OPTIONS:
            options[key] = convert_float(key, value)
        elif key == "ngram_size":
            options[key] = convert_uint(key, value)
        else:
            options[key] = convert_bool(key, value)
    cutoff = slots.get("score_cutoff")
    if cutoff is not None:
        cutoff = (convert_uint if sig.int_result else convert_float)("score_cutoff", cutoff)
    if options.get("use_words") is False and options.get("ngram_size") == 0:
        raise Expected(ValueError)
    return texts, options, cutoff


# ---------------------------------------------------------------------------------------------
# The calls.


def same(a, b):
    if type(a) is not type(b):
        return False
    if isinstance(a, float) and math.isnan(a):
        return math.isnan(b)
    return a == b


def check_kind(sig, value):
    kind = int if sig.int_result else float
    if value is None:
        assert sig.optional_result, sig.name
        return
    assert type(value) is kind, (sig.name, value)


def run_call(fn, args, kwargs):
    sig = SIGNATURES[fn.__name__]
    try:
        predicted = model(sig, args, kwargs)
        expected_error = None
    except Expected as exc:
        predicted, expected_error = None, exc

    try:
        result = fn(*args, **kwargs)
    except ALLOWED as exc:
        assert expected_error is not None, (fn.__name__, args, kwargs, exc)
        assert type(exc) is expected_error.kind, (fn.__name__, args, kwargs, exc)
        if expected_error.message is not None:
            assert str(exc) == expected_error.message, (fn.__name__, args, kwargs)
        return
    assert expected_error is None, (fn.__name__, args, kwargs, expected_error.kind, result)

    texts, options, cutoff = predicted
    if sig.batch:
        assert type(result) is list and len(result) == len(texts)
        scalar = getattr(fn.__self__, fn.__name__[: -len("_batch")])
        for value, (a, b) in zip(result, texts):
            check_kind(sig, value)
            assert same(value, scalar(a, b, **options, score_cutoff=cutoff)), (fn.__name__, a, b)
    else:
        check_kind(sig, result)
        plain = fn(*texts, **options, score_cutoff=cutoff)
        assert same(result, plain), (fn.__name__, args, kwargs, result, plain)


@st.composite
def call_shapes(draw, fn):
    """Positional and keyword arguments of every shape, mostly close to a valid call."""
    sig = SIGNATURES[fn.__name__]
    P = len(sig.positional)
    first = pairs_values if sig.batch else texts
    values = {p: draw(st.one_of(first, junk) if draw(st.integers(0, 9)) == 0 else first)
              for p in sig.positional}
    n_positional = draw(st.sampled_from([P, P, P, P, 0, max(P - 1, 0), P + 1]))
    args = [values[p] for p in sig.positional[:n_positional]]
    args += [draw(texts) for _ in range(n_positional - P)]
    kwargs = {}
    for p in sig.positional[n_positional:]:
        if draw(st.integers(0, 7)):
            kwargs[p] = values[p]
    for p in sig.positional[:n_positional]:
        if draw(st.integers(0, 15)) == 0:
            kwargs[p] = values[p]  # given twice
    for key in sig.keyword_names:
        if draw(st.booleans()):
            kwargs[key] = draw(numbers)
    if draw(st.integers(0, 9)) == 0:
        kwargs[draw(st.sampled_from(["cutoff", "s3", "pair", "weight", "S1"]))] = 1
    items = list(kwargs.items())
    order = draw(st.permutations(range(len(items))))
    return args, dict(items[i] for i in order)


@pytest.mark.parametrize("fn", FUNCTIONS, ids=lambda f: f.__name__)
@settings(
    max_examples=EXAMPLES // 10,
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.filter_too_much],
)
@given(data=st.data())
def test_every_function(fn, data):
    args, kwargs = data.draw(call_shapes(fn))
    run_call(fn, args, kwargs)


@settings(max_examples=EXAMPLES * 4, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(data=st.data())
def test_random_functions(data):
    fn = data.draw(st.sampled_from(FUNCTIONS))
    args, kwargs = data.draw(call_shapes(fn))
    run_call(fn, args, kwargs)


# Examples the model must get right, whatever hypothesis draws.
FIXED = [
    (distance.levenshtein_distance, ("a", "b", 3), {}),
    (distance.levenshtein_distance, ("a",), {"s1": "b"}),
    (distance.levenshtein_distance, (), {"s2": "b", "s1": "a"}),
    (distance.levenshtein_distance, ("a", "b"), {"cutoff": 1, "s1": "x"}),
    (distance.levenshtein_distance, (), {}),
    (distance.levenshtein_distance, ("a", b"b"), {"score_cutoff": "bad"}),
    (distance.levenshtein_distance, ("a", "b"), {"score_cutoff": Index(2)}),
    (distance.levenshtein_distance, ("a", "b"), {"score_cutoff": np.int64(0)}),
    (distance.levenshtein_distance, ("a", "b"), {"score_cutoff": np.float64(1.0)}),
    (distance.hamming_distance, ("ab", "abc"), {"score_cutoff": U64 - 1}),
    (distance.hamming_distance_batch, ([("ab", "abc"), ("a", "b")],), {"score_cutoff": True}),
    (distance.jaro_winkler_similarity, ("a", "b"), {"prefix_weight": None}),
    (distance.jaro_winkler_similarity, ("ab", "ab"), {"prefix_weight": FloatLike(0.2)}),
    (_quorvalex.cosine_similarity, ("a", "b"), {"use_words": 1}),
    (_quorvalex.cosine_similarity, ("ab", "ab"), {"use_words": np.bool_(False), "ngram_size": Index(1)}),
    (_quorvalex.cosine_similarity, ("a", "b"), {"use_words": False, "ngram_size": 0}),
    (_quorvalex.cosine_similarity_batch, ([],), {"use_words": False, "ngram_size": 0}),
    (_quorvalex.cosine_similarity_batch, ("ab",), {"use_words": False, "ngram_size": 0}),
    (_quorvalex.tversky_similarity, ("a", "b"), {"beta": "x", "alpha": None}),
    (_quorvalex.smith_waterman_score, ("ab", "b"), {"gap_cost": 10**400}),
    (fuzz.ratio_batch, ([("a", "b")], 1), {}),
    (fuzz.ratio_batch, (), {"pairs": Pairs([("a", "\ud800")])}),
    (fuzz.ratio_batch, ([("a", "b"), ("a",)],), {"score_cutoff": "late"}),
    (fuzz.w_ratio, (Text("new york"), "york new"), {"score_cutoff": FloatLike(90.0)}),
]


@pytest.mark.parametrize("fn,args,kwargs", FIXED, ids=[f"{f.__name__}-{i}" for i, (f, _, _) in enumerate(FIXED)])
def test_fixed_calls(fn, args, kwargs):
    run_call(fn, args, kwargs)
