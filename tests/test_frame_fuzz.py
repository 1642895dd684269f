"""Randomized calls of all 112 functions: argument shapes, types, keywords and values. A small
model of the call frame predicts for every call the exception (its type, and its exact message
wherever the frame writes it) or success; a successful call must return a value of the documented
kind, equal to the call with plain texts and plain converted options, and a batch must equal its
scalar pair by pair. No call may raise anything but the predicted exception."""

import operator

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from frame_reference import (ALL, SANITIZED, FloatLike, Index, Sequence, Text, int_cutoff, is_batch,
                             options_of, same, scalar_of)

ALLOWED = (TypeError, ValueError, OverflowError, UnicodeEncodeError)
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


class Expected(Exception):
    """The model's prediction: an exception type and, where the frame writes it, a message."""

    def __init__(self, kind, message=None):
        super().__init__(kind, message)
        self.kind, self.message = kind, message


def cannot(param, x, target):
    raise Expected(TypeError, f"argument '{param}': '{type(x).__qualname__}' object cannot be "
                   f"converted to '{target}'")


def convert_text(param, x):
    if not isinstance(x, str):
        cannot(param, x, "PyString")
    try:
        x.encode("utf-8")
    except UnicodeEncodeError:
        raise Expected(UnicodeEncodeError) from None
    return str(x)


def convert_float(param, x):
    kind = type(x)
    try:
        if hasattr(kind, "__float__"):
            return float(x)
        if hasattr(kind, "__index__"):
            return float(operator.index(x))
    except OverflowError:
        raise Expected(OverflowError) from None
    raise Expected(TypeError, f"argument '{param}': must be real number, not {kind.__name__}")


def convert_uint(param, x):
    try:
        v = operator.index(x)
    except TypeError as exc:
        raise Expected(TypeError, f"argument '{param}': {exc}") from None
    if not 0 <= v < U64:
        raise Expected(OverflowError)
    return v


def convert_bool(param, x):
    if x is True or x is False:
        return x
    if type(x).__module__ == "numpy" and type(x).__name__ in ("bool_", "bool"):
        return bool(x)
    cannot(param, x, "PyBool")


def extract_pairs(x):
    if isinstance(x, str):
        raise Expected(TypeError, "argument 'pairs': Can't extract `str` to `Vec`")
    if isinstance(x, dict) or not hasattr(type(x), "__getitem__"):
        cannot("pairs", x, "Sequence")
    out = []
    for item in x:
        if not isinstance(item, tuple):
            cannot("pairs", item, "PyTuple")
        if len(item) != 2:
            raise Expected(ValueError, f"expected tuple of length 2, but got tuple of length {len(item)}")
        out.append(tuple(convert_text("pairs", t) for t in item))
    return out


def model(fn, args, kwargs):
    """Returns (texts or pairs, options dict, cutoff) or raises Expected."""
    name, names = fn.__name__, ["pairs"] if is_batch(fn) else ["s1", "s2"]
    keywords = options_of(fn) + [("score_cutoff", "None")]
    if len(args) > len(names):
        raise Expected(TypeError, f"{name}() takes {len(names)} positional arguments but {len(args)} were given")
    slots = dict(zip(names, args))
    for key, value in kwargs.items():
        if key not in names and key not in dict(keywords):
            raise Expected(TypeError, f"{name}() got an unexpected keyword argument '{key}'")
        if key in slots:
            raise Expected(TypeError, f"{name}() got multiple values for argument '{key}'")
        slots[key] = value
    missing = [p for p in names if p not in slots]
    if missing:
        n = len(missing)
        raise Expected(TypeError, f"{name}() missing {n} required positional argument{'s' * (n > 1)}: "
                       + " and ".join(f"'{p}'" for p in missing))
    texts = (extract_pairs(slots["pairs"]) if is_batch(fn) else
             (convert_text("s1", slots["s1"]), convert_text("s2", slots["s2"])))
    options = {}
    for key, default in keywords[:-1]:
        convert = {"ngram_size": convert_uint, "use_words": convert_bool}.get(key, convert_float)
        options[key] = convert(key, slots.get(key, eval(default)))
    cutoff = slots.get("score_cutoff")
    if cutoff is not None:
        cutoff = (convert_uint if int_cutoff(fn) else convert_float)("score_cutoff", cutoff)
    if options.get("use_words") is False and options.get("ngram_size") == 0:
        raise Expected(ValueError)
    return texts, options, cutoff


def check_kind(fn, value):
    if value is None:
        assert fn.__name__.startswith("hamming_"), fn.__name__
    else:
        assert type(value) is (int if int_cutoff(fn) else float), (fn.__name__, value)


def run_call(fn, args, kwargs):
    try:
        predicted, expected = model(fn, args, kwargs), None
    except Expected as exc:
        predicted, expected = None, exc
    try:
        result = fn(*args, **kwargs)
    except ALLOWED as exc:
        assert expected is not None and type(exc) is expected.kind, (fn.__name__, args, kwargs, exc)
        assert expected.message in (None, str(exc)), (fn.__name__, args, kwargs)
        return
    assert expected is None, (fn.__name__, args, kwargs, expected.kind, result)
    texts, options, cutoff = predicted
    if is_batch(fn):
        assert type(result) is list and len(result) == len(texts)
        for value, (a, b) in zip(result, texts):
            check_kind(fn, value)
            assert same(value, scalar_of(fn)(a, b, **options, score_cutoff=cutoff)), (fn.__name__, a, b)
    else:
        check_kind(fn, result)
        assert same(result, fn(*texts, **options, score_cutoff=cutoff)), (fn.__name__, args, kwargs)


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
