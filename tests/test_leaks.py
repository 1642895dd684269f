"""Leaks: every function's successful calls and error paths, many times over, keep the reference
counts of their arguments, the interpreter's block count and the C heap (glibc's statistics)."""

import gc
import json
import os
import sys

import pytest

from frame_reference import (ALL, MALLINFO, SANITIZED, FloatLike, Index, Raising, Sequence, caused,
                             int_cutoff, is_batch, options_of, run_python)

ALLOWED = (TypeError, ValueError, OverflowError, UnicodeEncodeError, KeyError, RuntimeError)


def fresh(text):  # a new str object, not interned
    return "".join(list(text))


GOOD = {"prefix_weight": FloatLike(0.1), "alpha": 0.5, "beta": Index(2), "match_score": 2.0,
        "mismatch_score": -1, "gap_cost": FloatLike(0.5), "use_words": False,
        "ngram_size": Index(2), "threshold": 0.5}


def calls_for(fn):  # (args, kwargs) of successful and failing calls
    batch = is_batch(fn)
    a, b = fresh("new york mets é"), fresh("new york meats 👍")
    options = {k: GOOD[k] for k, _ in options_of(fn)}
    args = [[(a, b), (fresh("é€"), fresh("")), (b, a)]] if batch else [a, b]
    cutoff = Index(2) if int_cutoff(fn) else FloatLike(0.5)
    bad_index = Raising(lambda: caused(TypeError("no index"), KeyError("cause")))  # wrapped
    calls = [(args, {}), (args, dict(options, score_cutoff=cutoff)), ([], {}), (args + [a], {}),
             (args, {"bogus": a}), (args[:1], {"pairs" if batch else "s1": a}),
             *[(args, {"score_cutoff": bad}) for bad in
               (bad_index, fresh("x"), -1 if int_cutoff(fn) else 10**400)],
             *[(args, {key: bad}) for key in options for bad in (bad_index, None)]]
    if "use_words" in options:
        calls += [(args, {"use_words": False, "ngram_size": 0}), (args, {"use_words": 1})]
    if batch:
        calls += [([p], {}) for p in (a, {(a, b)}, [[a, b]], [(a,)], [(a, 1)],
                                      [(a, b), (b, fresh("\ud800"))], (p for p in [(a, b)]),
                                      *[Sequence([(a, b), kind], RuntimeError)  # new each time
                                        for kind in (TypeError, KeyError)])]
    else:
        calls += [([[a], b], {}), ([a, fresh("\udfff")], {}), ([a, b"b"], {})]
    return calls


def run_calls(calls, fn, rounds):
    for _ in range(rounds):
        for args, kwargs in calls:
            try:
                fn(*args, **kwargs)
            except ALLOWED:
                pass


@pytest.mark.parametrize("fn", ALL, ids=lambda f: f.__name__)
def test_no_reference_or_block_leaks(fn):
    calls = calls_for(fn)
    run_calls(calls, fn, 3)  # first calls create the pool, caches and interned names
    objects = [o for args, kwargs in calls for o in [*args, *kwargs.values()]]
    objects += [i for o in objects if isinstance(o, (list, tuple)) for i in o]
    objects += [x for o in objects if isinstance(o, tuple) for x in o]
    gc.collect()
    refcounts, blocks = [sys.getrefcount(o) for o in objects], sys.getallocatedblocks()
    run_calls(calls, fn, 25 if SANITIZED else 60)
    gc.collect()
    after = [sys.getrefcount(o) for o in objects]
    assert [(repr(o)[:40], r0, r1) for o, r0, r1 in zip(objects, refcounts, after) if r0 != r1] == []
    assert sys.getallocatedblocks() - blocks < 40  # a leaked object per call: hundreds of blocks


# In a fresh interpreter with one malloc arena, so that glibc's statistics also count what the
# pool's worker threads allocate.
HEAP_SCRIPT = MALLINFO + r"""
import gc, json, sys
sys.path.insert(0, sys.argv[1])
import test_leaks as t
big = t.fresh("abcé" * 75)  # 300 symbols: past every inline buffer
plan = [(fn, t.calls_for(fn) + ([(([(big, big[::-1])] * 4,), {})] if t.is_batch(fn)
                                 else [((big[:700], big), {})])) for fn in t.ALL]
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
    out = run_python(HEAP_SCRIPT, os.path.dirname(__file__), 150, env={"MALLOC_ARENA_MAX": "1"},
                     timeout=600)
    assert out.returncode == 0, out.stderr[-3000:]
    growth = json.loads(out.stdout)
    # A leak of even a few bytes per call adds a 32-byte chunk per round or more; the pool's
    # task queue may keep a few more or fewer 528-byte blocks from one batch to the next.
    assert len(growth) == 112 and {n: g for n, g in growth.items() if g > 4096} == {}
