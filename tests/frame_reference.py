"""Shared by the module, call-frame, batch and robustness tests: the functions and what their
signatures say, small argument types, a model of the call frame, texts and subprocess helpers."""

import math
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
U64 = 2**64


def is_batch(fn):
    return fn.__name__.endswith("_batch")


def scalar_of(batch_fn):
    return getattr(batch_fn.__self__, batch_fn.__name__[: -len("_batch")])


def options_of(fn):
    """[(name, default text)] of the keyword-only options before score_cutoff."""
    sig = fn.__text_signature__
    inner = sig[sig.index("*, ") + 3 : sig.index("score_cutoff=None)")]
    return [tuple(part.split("=")) for part in inner.split(", ") if part]


# Non-default options per option name.
OTHER_OPTIONS = {"prefix_weight": 0.2, "alpha": 0.5, "beta": 2.0, "match_score": 2.0,
                 "mismatch_score": -1.0, "gap_cost": 0.5, "use_words": False, "ngram_size": 3,
                 "threshold": 0.6}


def option_sets(fn):
    """The default options, and if fn has options, non-default values of all of them."""
    names = [name for name, _ in options_of(fn)]
    return [{}] + ([{n: OTHER_OPTIONS[n] for n in names}] if names else [])


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
    """Not a list: read by iteration, __len__ may lie or raise, an exception item is raised."""

    def __init__(self, items, length=None):
        self.items, self.length, self.last = items, len(items) if length is None else length, None

    def __len__(self):
        if isinstance(self.length, (BaseException, type)):
            raise self.length
        return self.length

    def __getitem__(self, i):
        self.last = i
        if isinstance(self.items[i], (BaseException, type)):
            raise self.items[i]
        return self.items[i]


class Raising:
    """Raises its exception (or a new one from a callable) on conversion to a number or bool."""

    def __init__(self, exc):
        self.exc = exc

    def __float__(self):
        raise self.exc() if callable(self.exc) else self.exc

    __index__ = __bool__ = __float__


def caused(exc, cause):
    exc.__cause__ = cause
    return exc


# The call frame's model: the error a call raises before any option is converted, with its
# exact message wherever the frame writes it.
class Expected(Exception):
    """args: the exception type and its message (None: not written by the frame)."""


def cannot(param, x, target):
    raise Expected(TypeError, f"argument '{param}': '{type(x).__qualname__}' object cannot be "
                   f"converted to '{target}'")


def convert_text(param, x):
    if not isinstance(x, str):
        cannot(param, x, "PyString")
    try:
        x.encode("utf-8")
    except UnicodeEncodeError:
        raise Expected(UnicodeEncodeError, None) from None


def extract_pairs(x):
    if isinstance(x, str):
        raise Expected(TypeError, "argument 'pairs': Can't extract `str` to `Vec`")
    if isinstance(x, dict) or not hasattr(type(x), "__getitem__"):
        cannot("pairs", x, "Sequence")
    for item in x:
        if not isinstance(item, tuple):
            cannot("pairs", item, "PyTuple")
        if len(item) != 2:
            raise Expected(ValueError, "expected tuple of length 2, but got tuple of length "
                           f"{len(item)}")
        for text in item:
            convert_text("pairs", text)


def model(fn, args, kwargs):
    name, names = fn.__name__, ["pairs"] if is_batch(fn) else ["s1", "s2"]
    keywords = [n for n, _ in options_of(fn)] + ["score_cutoff"]
    if len(args) > len(names):
        raise Expected(TypeError, f"{name}() takes {len(names)} positional arguments but "
                       f"{len(args)} were given")
    slots = dict(zip(names, args))
    for key, value in kwargs.items():
        if key not in names + keywords:
            raise Expected(TypeError, f"{name}() got an unexpected keyword argument '{key}'")
        if key in slots:
            raise Expected(TypeError, f"{name}() got multiple values for argument '{key}'")
        slots[key] = value
    if missing := [p for p in names if p not in slots]:
        raise Expected(TypeError, f"{name}() missing {len(missing)} required positional argument"
                       + "s" * (len(missing) > 1) + ": " + " and ".join(f"'{p}'" for p in missing))
    for param in names:
        (extract_pairs if is_batch(fn) else lambda x: convert_text(param, x))(slots[param])
    raise AssertionError(f"{name}{args, kwargs} passes matching and text conversion")


def check_error(fn, args, kwargs):
    """Calls fn, which must raise the error the model predicts; returns it."""
    try:
        model(fn, args, kwargs)
    except Expected as exc:
        kind, message = exc.args
    try:
        fn(*args, **kwargs)
    except (TypeError, ValueError, UnicodeEncodeError) as exc:
        assert type(exc) is kind, (fn.__name__, args, kwargs, exc)
        assert message in (None, str(exc)), (fn.__name__, args, kwargs)
        return exc
    raise AssertionError(f"{fn.__name__}{args, kwargs} raised nothing")


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
