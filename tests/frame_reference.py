"""Shared by the module, call-frame, batch and robustness tests: the functions of the module and
what their signatures say, small argument types, a model of the call frame (the exception, with
its exact message wherever the frame writes it, or the converted arguments of any call), a text
generator and subprocess helpers."""

import math
import operator
import os
import random
import subprocess
import sys
import textwrap
import types

from quorvalex import _quorvalex, distance, fuzz

SANITIZED = bool(os.environ.get("QUORVALEX_SANITIZED"))
ALL = [getattr(m, n) for m in (distance, fuzz, _quorvalex) for n in m.__all__
       if not isinstance(getattr(m, n), types.ModuleType)]
BATCH = [f for f in ALL if f.__name__.endswith("_batch")]
assert len(ALL) == 112 and len(BATCH) == 42


def is_batch(fn):
    return fn.__name__.endswith("_batch")


def scalar_of(batch_fn):
    return getattr(batch_fn.__self__, batch_fn.__name__[: -len("_batch")])


def options_of(fn):
    """[(name, default text)] of the keyword-only options before score_cutoff."""
    sig = fn.__text_signature__
    inner = sig[sig.index("*, ") + 3 : sig.index("score_cutoff=None)")]
    return [tuple(part.split("=")) for part in inner.split(", ") if part]


def int_cutoff(fn):
    name = fn.__name__
    return fn.__module__ == "distance" and "normalized" not in name and "jaro" not in name


def positional(fn):
    return ([("ab", "ac")],) if is_batch(fn) else ("ab", "ac")


def same(a, b):
    if isinstance(a, list):
        return isinstance(b, list) and len(a) == len(b) and all(map(same, a, b))
    if type(a) is not type(b):
        return False
    return math.isnan(b) if isinstance(a, float) and math.isnan(a) else a == b


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class FloatLike:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Text(str):
    pass


class Sequence:
    """A sequence that is not a list, read through the iteration protocol; its __len__ may lie."""

    def __init__(self, items, length=None):
        self.items, self.length = items, len(items) if length is None else length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        return self.items[i]


# ---------------------------------------------------------------------------------------------
# The call frame's model.

ALLOWED = (TypeError, ValueError, OverflowError, UnicodeEncodeError)
U64 = 2**64


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
    """Calls fn; the exception it raises (returned) or its result must be the model's."""
    try:
        predicted, expected = model(fn, args, kwargs), None
    except Expected as exc:
        predicted, expected = None, exc
    try:
        result = fn(*args, **kwargs)
    except ALLOWED as exc:
        assert expected is not None and type(exc) is expected.kind, (fn.__name__, args, kwargs, exc)
        assert expected.message in (None, str(exc)), (fn.__name__, args, kwargs)
        return exc
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


def mixed_pairs(seed, count):
    """Pairs of every kind: empty, whitespace, words, ASCII/Latin-1/BMP/astral, lengths near 64."""
    rng = random.Random(seed)
    alphabets = ["ab", "abc ", "aé b", "é€ a", "€ab", "👍a b", "a\U0001f44e👍", "xyz  \t", "Ǆǅ ǆa"]
    words = ["new", "york", "mets", "meats", "é", "café", "€uro", "👍", "a", "ab", ""]
    pairs = [("", ""), ("", "a"), ("a", ""), (" ", " "), ("  ", ""), ("\t\n", " "), ("👍", "👍")]
    while len(pairs) < count:
        kind, alpha = rng.randrange(4), rng.choice(alphabets)
        if kind == 0:
            pairs.append(tuple("".join(rng.choices(alpha, k=rng.randrange(16))) for _ in "xy"))
        elif kind == 1:
            pairs.append(tuple(" ".join(rng.choices(words, k=rng.randrange(6))) for _ in "xy"))
        elif kind == 2:
            s = rng.choices(alpha, k=rng.choice([63, 64, 65, 127, 128, 129, rng.randrange(200)]))
            t = list(s)
            for _ in range(rng.randrange(4) if t else 0):
                t[rng.randrange(len(t))] = rng.choice(alpha)
            pairs.append(("".join(s), "".join(t)))
        else:
            s = "".join(rng.choices("abcé€👍 \t\u3000", k=rng.randrange(10)))
            pairs.append((s, s if rng.random() < 0.5 else s[::-1]))
    return pairs


def run_python(code, *args, env=None, timeout=300, stdin=None):
    """Runs code in a fresh interpreter with the pool size left to the environment given."""
    full = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    full.update(env or {})
    return subprocess.run([sys.executable, "-P", "-c", textwrap.dedent(code), *map(str, args)],
                          capture_output=True, text=True, timeout=timeout, env=full, input=stdin)


# A pair whose Damerau-Levenshtein distance takes milliseconds (quadratic), for long batches.
HEAVY_SETUP = """
import os, random, time
from quorvalex import distance
CPUS = os.cpu_count() or 1
def heavy(n=1500):
    rng = random.Random(11)
    pair = ("".join(rng.choices("abcd", k=n)), "".join(rng.choices("abcd", k=n)))
    fn = distance.damerau_levenshtein_distance_batch
    fn([pair] * 2)
    start = time.perf_counter()
    expected = distance.damerau_levenshtein_distance(*pair)
    return fn, pair, expected, max(time.perf_counter() - start, 1e-4)
"""

# glibc's count of bytes in use (run with MALLOC_ARENA_MAX=1 to include the workers' heap).
MALLINFO = """
import ctypes
class MallInfo(ctypes.Structure):
    _fields_ = [(n, ctypes.c_size_t) for n in
                "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]
libc = ctypes.CDLL(None)
libc.mallinfo2.restype = MallInfo
def in_use():
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd
"""

exec(HEAVY_SETUP, _scope := {})
heavy = _scope["heavy"]
