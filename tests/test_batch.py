"""Batch functions: extraction of pairs and its errors, batch == scalar, the pool's size and its
limits, interpreter exit (the interpreter lock: test_interrupt.py)."""

import os
import sys

import pytest

from frame_reference import (BATCH, HEAVY_SETUP, SANITIZED, Sequence, Text, caused, check_error,
                             int_cutoff, mixed_pairs, option_sets, options_of, run_python, same,
                             scalar_of)
from quorvalex import _quorvalex, distance

psim, pnsim = distance.prefix_similarity_batch, distance.prefix_normalized_similarity_batch

ACCEPTED = [
    ("empty_list", [], []), ("empty_tuple", (), []), ("single", [("abcd", "abxd")], [2]),
    ("tuple_of_tuples", (("ab", "ab"), ("", "x"), ("xa", "xb")), [2, 0, 1]),
    ("list_subclass", type("L", (list,), {})([("ab", "ab"), ("éa", "éb")]), [2, 1]),
    ("tuple_subclass_items", [type("T", (tuple,), {})(("ab", "ac"))], [1]),
    ("str_subclass_items", [(Text("ab"), Text("ab"))], [2]),
    ("custom_sequence", Sequence([("ab", "ab"), ("a", "b"), ("x", "x")]), [2, 0, 1]),
    # a __len__ that lies or fails is only a hint: no abort, no short or long result
    ("length_too_long", Sequence([("ab", "ab")], length=5), [2]),
    ("length_raises", Sequence([("ab", "ab")], length=RuntimeError("no len")), [2]),
    ("huge_length", Sequence([("ab", "ab"), ("a", "a")], length=sys.maxsize), [2, 1]),
    ("same_tuple_repeated", [("abc", "abd")] * 5, [2] * 5),
]


@pytest.mark.parametrize("pairs,expected", [c[1:] for c in ACCEPTED], ids=[c[0] for c in ACCEPTED])
def test_accepted_pairs(pairs, expected):
    assert psim(pairs) == expected and type(psim(pairs)) is list
    assert pnsim(pairs, score_cutoff=0.5) == [
        distance.prefix_normalized_similarity(a, b, score_cutoff=0.5)
        for a, b in (pairs[i] for i in range(len(expected)))]


NotIterable = type("NotIterable", (Sequence,), {"__iter__": None})
# Pairs values the batches refuse; the first bad item decides (messages: the call frame's model).
REFUSED = ["ab", "", Text("ab"), (x for x in []), {("a", "b")}, {("a", "b"): 1}, None, 3,
           iter([("a", "b")]), b"ab", [["a", "b"]], [("a", "b"), None], ["ab"], [object()],
           [("a", "b", "c")], [()], Sequence([("a", "b"), ("a",)]), [(1, "a")],
           [("a", "b"), ("a", b"a")], [("a", "b"), ["x"], ("a",)], [("a",), ["x"]], [(1, "\ud800")],
           [("a", "b"), ("\ud800", 1)], [("a", "b"), ("a", "\udfff")]]
SHAPE_BATCHES = list({(tuple(options_of(f)), int_cutoff(f)): f for f in BATCH[::-1]}.values())
# Long lists and tuples are scored while extracted: a bad item far down gives the same error
# (options that run Python code, like "x", keep the whole extraction first).
VALID = [("ab", "ac"), ("é" * 300, "€"), ("a👍", "")] * 1000


@pytest.mark.parametrize("pairs", REFUSED, ids=range(len(REFUSED)))
def test_extraction_errors(pairs):
    for fn in SHAPE_BATCHES:
        bad = {name: "x" for name, _ in options_of(fn)}
        check_error(fn, (pairs,), {**bad, "score_cutoff": "not converted"})
        if type(pairs) is list:
            for container, cutoff in [(list, -1), (tuple, None)]:
                check_error(fn, (container(VALID + pairs),), {"score_cutoff": cutoff})


AB = ("a", "b")


@pytest.mark.parametrize("pairs,exc_type,message", [
    (NotIterable([]), TypeError, "argument 'pairs': 'NotIterable' object is not iterable"),
    (Sequence([AB, caused(TypeError("bad item"), KeyError("k")), AB]), TypeError,
     "argument 'pairs': bad item"),
    (Sequence([AB, AB, RuntimeError("boom")]), RuntimeError, "boom"),
    (Sequence([UnicodeError("uni"), AB, AB]), UnicodeError, "uni"),
])
def test_errors_of_the_sequence_itself(pairs, exc_type, message):
    """Only an exact TypeError gets the prefix (and keeps its cause); the first one stops."""
    for fn in SHAPE_BATCHES:
        with pytest.raises(BaseException) as info:
            fn(pairs, score_cutoff="not converted")
        assert type(info.value) is exc_type and str(info.value) == message, fn.__name__
        for at, item in enumerate(pairs.items):
            if isinstance(item, BaseException):
                assert pairs.last == at and info.value.__cause__ is item.__cause__
                break


@pytest.mark.parametrize("fn,kwargs", [
    (psim, {"score_cutoff": -1}), (pnsim, {"score_cutoff": "x"}),
    (_quorvalex.tversky_similarity_batch, {"alpha": 1, "beta": "x"}),
    (_quorvalex.cosine_similarity_batch, {"use_words": 1}),
    (_quorvalex.cosine_similarity_batch, {"use_words": False, "ngram_size": 0})])
def test_option_errors_after_valid_pairs(fn, kwargs):
    """Any valid pairs, even long lists scored while they are extracted, give the option's error
    of a one-pair call (its message: test_call_frame.py)."""
    errors = []
    for pairs in ([("a", "b")], [], Sequence([("a", "b")] * 3), VALID, tuple(VALID)):
        with pytest.raises((TypeError, ValueError, OverflowError)) as info:
            fn(pairs, **kwargs)
        errors.append((type(info.value), str(info.value)))
    assert errors == errors[:1] * 5


# Batch == scalar for every batch function of the module (other test files rely on this one).
MIXED = mixed_pairs(20240, 600 if SANITIZED else 2000)


@pytest.mark.parametrize("batch_fn", BATCH, ids=lambda f: f.__name__)
def test_batch_equals_scalar(batch_fn):
    scalar, sets = scalar_of(batch_fn), option_sets(batch_fn)
    cutoffs = ([None, 0, 2, 5] if int_cutoff(scalar) else
               [None, 50.0, 85.0] if scalar.__module__ == "fuzz" else [None, 0.3, 0.75])
    sets += [{"use_words": False, "ngram_size": 1}] if "use_words" in sets[-1] else []
    for options in sets:
        for cutoff in cutoffs:
            expected = [scalar(a, b, **options, score_cutoff=cutoff) for a, b in MIXED]
            result = batch_fn(MIXED, **options, score_cutoff=cutoff)
            bad = [i for i, (r, e) in enumerate(zip(result, expected)) if not same(r, e)]
            assert type(result) is list and len(result) == len(MIXED)
            assert not bad, (options, cutoff, MIXED[bad[0]], result[bad[0]], expected[bad[0]])
    # Long enough to be scored while it is extracted.
    copies = 3000 // len(MIXED) + 1
    for pairs in (MIXED * copies, tuple(MIXED) * copies):
        assert same(batch_fn(pairs), [scalar(a, b) for a, b in MIXED] * copies)


# The pool's size from the environment, read once; the results do not depend on it (a fresh
# streamed list's arena holds 64 bytes a pair: later short texts are read in place). A pool over
# 1,024 threads warns once, in the thread whose batch created it (an error there when warnings
# are errors); threads the system refuses to start (no address space for their stacks) leave a
# smaller pool that scores every pair, and warn.
THREAD_PROBE = """
import os, random, resource, sys, warnings
from quorvalex import distance, fuzz
warnings.simplefilter(sys.argv[1])
threads = lambda: len(os.listdir("/proc/self/task"))
before = threads()
distance.prefix_similarity("ab", "ab")
scalar = threads() - before
rng = random.Random(4)
pairs = [tuple("".join(rng.choices(a, k=rng.randrange(150, 250))) for _ in "xy")
         for a in ["abc", "aé", "a€", "a👍"] for _ in range(800)]
if sys.argv[2] == "short":
    with open("/proc/self/status") as status:
        size = next(int(line.split()[1]) for line in status if line.startswith("VmSize"))
    resource.setrlimit(resource.RLIMIT_AS, ((size + 24 * 1024) * 1024, resource.RLIM_INFINITY))
try:
    distance.prefix_similarity_batch([])  # the first batch creates the pool, even an empty one
    print("no exception")
except RuntimeWarning as e:
    print("raised", e)
first = threads() - before
os.environ["RAYON_NUM_THREADS"] = "7"    # read once: later changes have no effect
with warnings.catch_warnings(record=True) as caught:
    warnings.simplefilter("always")
    for f in [distance.levenshtein_distance, fuzz.ratio, distance.postfix_normalized_similarity]:
        assert getattr(f.__self__, f.__name__ + "_batch")(pairs) == [f(*p) for p in pairs], f
assert caught == []
print(scalar, first, threads() - before)
"""
N, C = "RAYON_NUM_THREADS", "RAYON_RS_NUM_CPUS"
POOL_SIZES = [  # one case per rule; a refused value is never 2 (the processors here)
    ({}, None), ({N: "1"}, 1), ({N: "+03"}, 3), ({N: "0"}, None), ({N: "-1"}, None),
    ({N: ""}, None), ({N: " 3"}, None), ({N: "3 "}, None), ({N: "3.0"}, None), ({C: "+5"}, 5),
    ({C: "0"}, None), ({C: "x"}, None), ({N: "abc", C: "3"}, 3), ({N: "2", C: "5"}, 2),
    ({N: "0", C: "5"}, None),  # 0 means one per processor; no fallback to RAYON_RS_NUM_CPUS
    ({N: "1024"}, 1024)]
WARNING = [({N: "18446744073709551615"}, 1024), ({N: "1025"}, 1024), ({C: "5000"}, 1024),
           ({N: "64"}, "short")]
CASES = [(*case, "default") for case in POOL_SIZES + WARNING] + [(*c, "error") for c in WARNING]


@pytest.mark.parametrize("env,expected,action", CASES, ids=[f"{e}-{a}" for e, _, a in CASES])
def test_pool_size_from_environment(env, expected, action):
    if expected == "short" and SANITIZED:
        pytest.skip("AddressSanitizer needs more address space than the limit leaves")
    out = run_python(THREAD_PROBE, action, expected, env=env)
    assert out.returncode == 0, out.stderr
    first, counts = out.stdout.splitlines()
    scalar, pool, later = counts.split()
    if expected == "short":
        assert scalar == "0" and 0 < int(pool) < 64 and later == pool
        message = f"only {pool} of 64 worker threads could be started"
    else:
        assert [scalar, pool, later] == ["0"] + [str(expected or os.cpu_count() or 1)] * 2
        message = "{}={} is above the worker pool's limit of 1024 threads; the pool has 1024"
        message = message.format(*next(iter(env.items()), ("", "")))
    warns = (env, expected) in WARNING
    if warns and action == "error":
        assert first == f"raised {message}"
    else:
        assert first == "no exception"
        assert (f"RuntimeWarning: {message}" in out.stderr) == warns, out.stderr


# A daemon thread ends when it next asks for the lock: its batch's memory outlives the scoring.
DAEMON_SCRIPT = HEAVY_SETUP + """
import threading, atexit
fn, pair, expected, per_pair = heavy(800)
started = threading.Event()
def run():
    started.set()
    fn([pair] * max(8, int(20.0 / per_pair)))
    print("daemon finished", flush=True)
threading.Thread(target=run, daemon=True).start()
started.wait()
time.sleep(0.3)
# The last exit function holds the lock without running bytecode, so the daemon thread is
# waiting for the lock when the interpreter starts finalizing.
atexit.register(sum, range(3 * 10**7))
print("main exits", flush=True)
"""


def test_interpreter_exit_while_a_daemon_thread_runs_a_batch():
    out = run_python(DAEMON_SCRIPT)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split("\n")[0] == "main exits" and "daemon finished" not in out.stdout
    assert "Sanitizer" not in out.stderr
