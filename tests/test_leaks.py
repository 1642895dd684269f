"""Leaks: every function, through its successful calls and every error path (wrong types, bad
keywords, bad pairs items, bad options, conversion errors with a cause), called many times.
The reference counts of the argument objects must not change, the interpreter must hold no more
blocks than before, and the C heap (glibc's allocator statistics) must stop growing.
"""

import gc
import json
import os
import subprocess
import sys
import types

import pytest

from quorvalex import _quorvalex, distance, fuzz

SANITIZED = bool(os.environ.get("QUORVALEX_SANITIZED"))
ALLOWED = (TypeError, ValueError, OverflowError, UnicodeEncodeError, KeyError, RuntimeError)


def _functions():
    out = []
    for module in (distance, fuzz, _quorvalex):
        for name in module.__all__:
            obj = getattr(module, name)
            if not isinstance(obj, types.ModuleType):
                out.append(obj)
    return out


FUNCTIONS = _functions()


def fresh(text):
    """A new, non-interned str object."""
    return "".join(list(text))


class Index:
    def __index__(self):
        return 2


class FloatLike:
    def __float__(self):
        return 0.5


class BadIndex:
    """Conversion fails with a TypeError that has a cause (the frame re-raises it wrapped)."""

    def __index__(self):
        raise TypeError("no index") from KeyError("cause")

    def __float__(self):
        raise TypeError("no float") from KeyError("cause")


class FailingSequence:
    def __init__(self, kind):
        self.kind = kind

    def __len__(self):
        raise RuntimeError("no length")

    def __getitem__(self, i):
        if i == 1:
            raise self.kind("bad item")  # a new exception each time (a re-raised one grows)
        return (fresh("ab"), fresh("ac"))


def options_of(fn):
    sig = fn.__text_signature__
    inner = sig[sig.index("*, ") + 3 : sig.index("score_cutoff=None)")]
    return [part.split("=")[0] for part in inner.split(", ") if part]


def int_cutoff(fn):
    name = fn.__name__
    return fn.__module__ == "distance" and "normalized" not in name and "jaro" not in name


GOOD_OPTIONS = {
    "prefix_weight": FloatLike(),
    "alpha": 0.5,
    "beta": Index(),
    "match_score": 2.0,
    "mismatch_score": -1,
    "gap_cost": FloatLike(),
    "use_words": False,
    "ngram_size": Index(),
    "threshold": 0.5,
}


def calls_for(fn):
    """(args, kwargs) of successful and failing calls, with objects whose counts are checked."""
    batch = fn.__name__.endswith("_batch")
    a, b = fresh("new york mets é"), fresh("new york meats 👍")
    options = {k: GOOD_OPTIONS[k] for k in options_of(fn)}
    good_cutoff = Index() if int_cutoff(fn) else FloatLike()
    first = [(a, b), (fresh("é€"), fresh("")), (b, a)] if batch else [a, b]
    calls = [
        (first, {}),
        (first, dict(options, score_cutoff=good_cutoff)),
        ([], {}),  # missing arguments
        (first + [a], {}),  # too many positional arguments
        (first, {"bogus": a}),
        (first[:1], {"s1" if not batch else "pairs": a}),
        (first, {"score_cutoff": BadIndex()}),
        (first, {"score_cutoff": fresh("x")}),
        (first, {"score_cutoff": -1 if int_cutoff(fn) else 10**400}),
    ]
    for key in options:
        calls.append((first, {key: BadIndex()}))
        calls.append((first, {key: None}))
    if "use_words" in options:
        calls.append((first, {"use_words": False, "ngram_size": 0}))
        calls.append((first, {"use_words": 1}))
    if batch:
        for pairs in (
            a,
            {(a, b)},
            [[a, b]],
            [(a,)],
            [(a, 1)],
            [(a, b), (b, fresh("\ud800"))],
            FailingSequence(TypeError),
            FailingSequence(KeyError),
            (p for p in [(a, b)]),
        ):
            calls.append(([pairs], {}))
    else:
        calls += [([1, b], {}), ([a, fresh("\udfff")], {}), ([a, b"b"], {})]
    return calls


def run_calls(calls, fn, rounds):
    for _ in range(rounds):
        for args, kwargs in calls:
            try:
                fn(*args, **kwargs)
            except ALLOWED:
                pass


def tracked_objects(calls):
    out = []
    for args, kwargs in calls:
        for obj in list(args) + list(kwargs.values()):
            out.append(obj)
            if isinstance(obj, (list, tuple)):
                out.extend(obj)
                for item in obj:
                    if isinstance(item, tuple):
                        out.extend(item)
    return out


@pytest.mark.parametrize("fn", FUNCTIONS, ids=lambda f: f.__name__)
def test_no_reference_or_block_leaks(fn):
    calls = calls_for(fn)
    run_calls(calls, fn, 3)  # first calls create the pool, caches and interned names
    objects = tracked_objects(calls)
    gc.collect()
    refcounts = [sys.getrefcount(o) for o in objects]
    blocks = sys.getallocatedblocks()
    run_calls(calls, fn, 25 if SANITIZED else 60)
    gc.collect()
    after = [sys.getrefcount(o) for o in objects]
    changed = [(repr(o)[:40], r0, r1) for o, r0, r1 in zip(objects, refcounts, after) if r0 != r1]
    assert changed == []
    # a leaked object per call would show as hundreds of blocks
    assert sys.getallocatedblocks() - blocks < 40


# Run in a fresh interpreter with one malloc arena, so that glibc's statistics also count what
# the pool's worker threads allocate.
HEAP_SCRIPT = r"""
import ctypes, gc, json, sys
sys.path.insert(0, sys.argv[1])
import test_leaks as t

class MallInfo(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]

libc = ctypes.CDLL(None)
libc.mallinfo2.restype = MallInfo

def in_use():
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd

big = t.fresh("abcé" * 75)  # 300 symbols: past every inline buffer
plan = []
for fn in t.FUNCTIONS:
    calls = t.calls_for(fn)
    if fn.__name__.endswith("_batch"):
        calls.append((([(big, big[::-1])] * 4,), {}))
    else:
        calls.append(((big[:700], big), {}))
    plan.append((fn, calls))
for fn, calls in plan:
    t.run_calls(calls, fn, 5)  # steady state: the pool and its queue, per-thread rows, caches
growth = {}
for fn, calls in plan:
    gc.collect()
    before = in_use()
    t.run_calls(calls, fn, int(sys.argv[2]))
    gc.collect()
    growth[fn.__name__] = in_use() - before
print(json.dumps(growth))
"""


@pytest.mark.skipif(SANITIZED, reason="allocator statistics come from glibc's malloc")
def test_c_heap_stops_growing():
    rounds = 150
    env = dict(os.environ, MALLOC_ARENA_MAX="1")
    out = subprocess.run(
        [sys.executable, "-P", "-c", HEAP_SCRIPT, os.path.dirname(__file__), str(rounds)],
        capture_output=True,
        text=True,
        timeout=600,
        env=env,
    )
    assert out.returncode == 0, out.stderr[-3000:]
    growth = json.loads(out.stdout)
    assert len(growth) == 112
    # A leak of even a few bytes per call adds a 32-byte chunk per round or more; the pool's
    # task queue may keep a few more or fewer 528-byte blocks from one batch to the next.
    grown = {name: g for name, g in growth.items() if g > 4096}
    assert grown == {}
