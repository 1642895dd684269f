"""Batch functions: extraction of pairs, option errors, the worker pool and its size,
batch == scalar for every batch function, threads, fork and interruption."""

import math
import os
import random
import subprocess
import sys
import textwrap
import threading
import time
import types

import pytest

from quorvalex import _quorvalex, distance, fuzz

SANITIZED = bool(os.environ.get("QUORVALEX_SANITIZED"))

psim = distance.prefix_similarity_batch
pnsim = distance.prefix_normalized_similarity_batch


def _functions():
    out = []
    for module in (distance, fuzz, _quorvalex):
        for name in module.__all__:
            obj = getattr(module, name)
            if not isinstance(obj, types.ModuleType):
                out.append(obj)
    return out


ALL = _functions()
BATCH = [f for f in ALL if f.__name__.endswith("_batch")]
assert len(BATCH) == 42


def scalar_of(batch_fn):
    return getattr(batch_fn.__self__, batch_fn.__name__[: -len("_batch")])


def options_of(fn):
    sig = fn.__text_signature__
    inner = sig[sig.index("*, ") + 3 : sig.index("score_cutoff=None)")]
    return [part.split("=")[0] for part in inner.split(", ") if part]


def int_cutoff(fn):
    name = fn.__name__
    return fn.__module__ == "distance" and "normalized" not in name and "jaro" not in name


def same(a, b):
    if type(a) is not type(b):
        return False
    if isinstance(a, float) and math.isnan(a):
        return math.isnan(b)
    return a == b


def run_python(code, env_update=None, timeout=120):
    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    env.update(env_update or {})
    return subprocess.run(
        [sys.executable, "-P", "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=timeout,
        env=env,
    )


# ---------------------------------------------------------------------------------------------
# Shapes of `pairs` that are accepted.


class PairList(list):
    pass


class PairTuple(tuple):
    pass


class Text(str):
    pass


class Sequence:
    """A sequence that is not a list: read through the iteration protocol."""

    def __init__(self, items, length=None):
        self.items = items
        self.length = len(items) if length is None else length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        return self.items[i]


ACCEPTED = [
    ("empty_list", [], []),
    ("empty_tuple", (), []),
    ("single_pair", [("abcd", "abxd")], [2]),
    ("tuple_of_tuples", (("ab", "ab"), ("", "x"), ("xa", "xb")), [2, 0, 1]),
    ("list_subclass", PairList([("ab", "ab"), ("éa", "éb")]), [2, 1]),
    ("tuple_subclass_items", [PairTuple(("ab", "ac"))], [1]),
    ("str_subclass_items", [(Text("ab"), Text("ab"))], [2]),
    ("custom_sequence", Sequence([("ab", "ab"), ("a", "b"), ("x", "x")]), [2, 0, 1]),
    ("range_like_length_wrong", Sequence([("ab", "ab")], length=5), [2]),
    ("length_raises", Sequence([("ab", "ab")], length=RuntimeError("no len")), [2]),
    ("huge_length_hint", Sequence([("ab", "ab"), ("a", "a")], length=sys.maxsize), [2, 1]),
    ("large_length_hint", Sequence([("ab", "ab")], length=10**12), [2]),
    ("same_tuple_repeated", [("abc", "abd")] * 5, [2] * 5),
]


@pytest.mark.parametrize("pairs,expected", [c[1:] for c in ACCEPTED], ids=[c[0] for c in ACCEPTED])
def test_accepted_pairs(pairs, expected):
    result = psim(pairs)
    assert type(result) is list
    assert result == expected
    assert pnsim(pairs) == [
        distance.prefix_normalized_similarity(a, b) for a, b in pairs[: len(expected)]
    ]


def test_pairs_by_keyword_and_cutoff():
    assert psim(pairs=[("abc", "abd")], score_cutoff=3) == [0]
    assert psim([("abc", "abd")], score_cutoff=2) == [2]
    assert pnsim([("abc", "abx")], score_cutoff=0.7) == [0.0]


# ---------------------------------------------------------------------------------------------
# Extraction errors, in their exact form and order.


class NotIterable:
    __iter__ = None

    def __len__(self):
        return 1

    def __getitem__(self, i):
        return ("a", "b")


class FailingSequence:
    def __init__(self, exc, at):
        self.exc, self.at = exc, at

    def __len__(self):
        return 3

    def __getitem__(self, i):
        if i == self.at:
            raise self.exc
        return ("a", "b")


def _gen():
    yield ("a", "b")


def _nested_item_class():
    class Item:
        pass

    return Item()


CAUSE = KeyError("cause")


def _type_error_with_cause():
    try:
        raise TypeError("broken item") from CAUSE
    except TypeError as exc:
        return exc


EXTRACTION_ERRORS = [
    # (id, pairs, exception type, message)
    ("str", "ab", TypeError, "argument 'pairs': Can't extract `str` to `Vec`"),
    ("empty_str", "", TypeError, "argument 'pairs': Can't extract `str` to `Vec`"),
    ("str_subclass", Text("ab"), TypeError, "argument 'pairs': Can't extract `str` to `Vec`"),
    (
        "generator",
        (x for x in []),
        TypeError,
        "argument 'pairs': 'generator' object cannot be converted to 'Sequence'",
    ),
    (
        "generator_fn",
        _gen(),
        TypeError,
        "argument 'pairs': 'generator' object cannot be converted to 'Sequence'",
    ),
    (
        "set",
        {("a", "b")},
        TypeError,
        "argument 'pairs': 'set' object cannot be converted to 'Sequence'",
    ),
    (
        "dict",
        {("a", "b"): 1},
        TypeError,
        "argument 'pairs': 'dict' object cannot be converted to 'Sequence'",
    ),
    (
        "none",
        None,
        TypeError,
        "argument 'pairs': 'NoneType' object cannot be converted to 'Sequence'",
    ),
    ("int", 3, TypeError, "argument 'pairs': 'int' object cannot be converted to 'Sequence'"),
    (
        "iterator",
        iter([("a", "b")]),
        TypeError,
        "argument 'pairs': 'list_iterator' object cannot be converted to 'Sequence'",
    ),
    (
        "bytes_items_are_ints",
        b"ab",
        TypeError,
        "argument 'pairs': 'int' object cannot be converted to 'PyTuple'",
    ),
    (
        "list_item",
        [["a", "b"]],
        TypeError,
        "argument 'pairs': 'list' object cannot be converted to 'PyTuple'",
    ),
    (
        "none_item",
        [("a", "b"), None],
        TypeError,
        "argument 'pairs': 'NoneType' object cannot be converted to 'PyTuple'",
    ),
    (
        "str_item",
        ["ab"],
        TypeError,
        "argument 'pairs': 'str' object cannot be converted to 'PyTuple'",
    ),
    (
        "nested_class_item",
        [_nested_item_class()],
        TypeError,
        "argument 'pairs': '_nested_item_class.<locals>.Item' object cannot be converted to 'PyTuple'",
    ),
    (
        "tuple_of_3",
        [("a", "b", "c")],
        ValueError,
        "expected tuple of length 2, but got tuple of length 3",
    ),
    ("tuple_of_1", [("a",)], ValueError, "expected tuple of length 2, but got tuple of length 1"),
    ("tuple_of_0", [()], ValueError, "expected tuple of length 2, but got tuple of length 0"),
    (
        "tuple_of_0_in_custom",
        Sequence([("a", "b"), ()]),
        ValueError,
        "expected tuple of length 2, but got tuple of length 0",
    ),
    (
        "int_first",
        [(1, "a")],
        TypeError,
        "argument 'pairs': 'int' object cannot be converted to 'PyString'",
    ),
    (
        "bytes_second",
        [("a", b"a")],
        TypeError,
        "argument 'pairs': 'bytes' object cannot be converted to 'PyString'",
    ),
    (
        "none_second",
        [("a", "b"), ("a", None)],
        TypeError,
        "argument 'pairs': 'NoneType' object cannot be converted to 'PyString'",
    ),
    # the first bad item decides, whatever comes after it
    (
        "type_before_length",
        [("a", "b"), ["x"], ("a",)],
        TypeError,
        "argument 'pairs': 'list' object cannot be converted to 'PyTuple'",
    ),
    (
        "length_before_type",
        [("a",), ["x"]],
        ValueError,
        "expected tuple of length 2, but got tuple of length 1",
    ),
    # within a pair: the first text is checked and converted before the second is looked at
    (
        "first_type_before_second_encoding",
        [(1, "\ud800")],
        TypeError,
        "argument 'pairs': 'int' object cannot be converted to 'PyString'",
    ),
    (
        "not_iterable",
        NotIterable(),
        TypeError,
        "argument 'pairs': 'NotIterable' object is not iterable",
    ),
    (
        "item_raises_type_error",
        FailingSequence(TypeError("bad item"), 1),
        TypeError,
        "argument 'pairs': bad item",
    ),
    ("item_raises_runtime_error", FailingSequence(RuntimeError("boom"), 2), RuntimeError, "boom"),
    (
        "item_raises_type_error_subclass",
        FailingSequence(UnicodeError("uni"), 0),
        UnicodeError,
        "uni",
    ),
]


@pytest.mark.parametrize(
    "pairs,exc_type,message",
    [c[1:] for c in EXTRACTION_ERRORS],
    ids=[c[0] for c in EXTRACTION_ERRORS],
)
@pytest.mark.parametrize(
    "fn",
    [
        psim,
        distance.levenshtein_distance_batch,
        fuzz.ratio_batch,
        _quorvalex.cosine_similarity_batch,
    ],
    ids=lambda f: f.__name__,
)
def test_extraction_errors(fn, pairs, exc_type, message):
    with pytest.raises(BaseException) as info:
        fn(pairs, score_cutoff="not converted")
    assert type(info.value) is exc_type
    assert str(info.value) == message


@pytest.mark.parametrize("pairs", [[("\ud800", 1)], [("a", "b"), ("a", "\udfff")]])
def test_lone_surrogate_in_pairs(pairs):
    with pytest.raises(UnicodeEncodeError) as info:
        psim(pairs, score_cutoff="not converted")
    assert type(info.value) is UnicodeEncodeError


def test_iteration_error_keeps_its_cause():
    with pytest.raises(TypeError) as info:
        psim(FailingSequence(_type_error_with_cause(), 1))
    assert str(info.value) == "argument 'pairs': broken item"
    assert info.value.__cause__ is CAUSE


def test_extraction_stops_at_the_first_bad_item():
    seen = []

    class Watched:
        def __len__(self):
            return 4

        def __getitem__(self, i):
            seen.append(i)
            if i >= 4:
                raise IndexError
            return ("a", "b") if i != 1 else ("a",)

    with pytest.raises(ValueError):
        psim(Watched())
    assert seen == [0, 1]


def test_unchanged_pairs_and_no_partial_result():
    pairs = [("abc", "abd"), ("x", "y")]
    copy = list(pairs)
    assert psim(pairs) == [2, 0]
    assert pairs == copy


# ---------------------------------------------------------------------------------------------
# Option errors after a valid `pairs`.

OPTION_ERRORS = [
    (
        psim,
        {"score_cutoff": 1.5},
        TypeError,
        "argument 'score_cutoff': 'float' object cannot be interpreted as an integer",
    ),
    (psim, {"score_cutoff": -1}, OverflowError, "can't convert negative int to unsigned"),
    (
        pnsim,
        {"score_cutoff": "x"},
        TypeError,
        "argument 'score_cutoff': must be real number, not str",
    ),
    (pnsim, {"score_cutoff": 10**400}, OverflowError, "int too large to convert to float"),
    (
        distance.jaro_winkler_similarity_batch,
        {"prefix_weight": None},
        TypeError,
        "argument 'prefix_weight': must be real number, not NoneType",
    ),
    (
        _quorvalex.tversky_similarity_batch,
        {"alpha": 1, "beta": "x"},
        TypeError,
        "argument 'beta': must be real number, not str",
    ),
    (
        _quorvalex.smith_waterman_score_batch,
        {"gap_cost": [], "match_score": "x"},
        TypeError,
        "argument 'match_score': must be real number, not str",
    ),
    (
        _quorvalex.cosine_similarity_batch,
        {"use_words": 1},
        TypeError,
        "argument 'use_words': 'int' object cannot be converted to 'PyBool'",
    ),
    (
        _quorvalex.cosine_similarity_batch,
        {"ngram_size": -2},
        OverflowError,
        "can't convert negative int to unsigned",
    ),
    (
        _quorvalex.soft_tfidf_similarity_batch,
        {"threshold": "0.5"},
        TypeError,
        "argument 'threshold': must be real number, not str",
    ),
    (
        fuzz.w_ratio_batch,
        {"score_cutoff": []},
        TypeError,
        "argument 'score_cutoff': must be real number, not list",
    ),
    (
        distance.hamming_distance_batch,
        {"score_cutoff": 0.0},
        TypeError,
        "argument 'score_cutoff': 'float' object cannot be interpreted as an integer",
    ),
]


@pytest.mark.parametrize(
    "fn,kwargs,exc_type,message", OPTION_ERRORS, ids=lambda v: getattr(v, "__name__", None)
)
@pytest.mark.parametrize(
    "pairs", [[], [("a", "b")], Sequence([("a", "b")] * 3)], ids=["empty", "one", "custom"]
)
def test_option_errors_after_valid_pairs(fn, kwargs, exc_type, message, pairs):
    with pytest.raises(BaseException) as info:
        fn(pairs, **kwargs)
    assert type(info.value) is exc_type
    assert str(info.value) == message


# ---------------------------------------------------------------------------------------------
# Batch == scalar for every batch function of the module.


def _mixed_pairs(seed, count):
    rng = random.Random(seed)
    alphabets = ["ab", "abc ", "aé b", "é€ a", "€ab", "👍a b", "a\U0001f44e👍", "xyz  \t", "Ǆǅ ǆa"]
    words = ["new", "york", "mets", "meats", "é", "café", "€uro", "👍", "a", "ab", ""]
    pairs = [("", ""), ("", "a"), ("a", ""), (" ", " "), ("  ", ""), ("\t\n", " "), ("👍", "👍")]
    while len(pairs) < count:
        kind = rng.randrange(5)
        if kind == 0:
            alpha = rng.choice(alphabets)
            pairs.append(
                tuple("".join(rng.choice(alpha) for _ in range(rng.randrange(16))) for _ in "xy")
            )
        elif kind == 1:
            pairs.append(
                tuple(" ".join(rng.choice(words) for _ in range(rng.randrange(6))) for _ in "xy")
            )
        elif kind == 2:
            alpha = rng.choice(alphabets)
            s = "".join(
                rng.choice(alpha)
                for _ in range(rng.choice([62, 63, 64, 65, 66, rng.randrange(140)]))
            )
            t = list(s)
            for _ in range(rng.randrange(4)):
                if t:
                    t[rng.randrange(len(t))] = rng.choice(alpha)
            pairs.append((s, "".join(t)))
        elif kind == 3:
            s = "".join(rng.choice("abcé€👍 ") for _ in range(rng.randrange(10)))
            pairs.append((s, s))
        else:
            pairs.append(
                (
                    "".join(rng.choice(" \t\u3000\n") for _ in range(rng.randrange(4))),
                    "".join(rng.choice("a ") for _ in range(rng.randrange(6))),
                )
            )
    return pairs


MIXED = _mixed_pairs(20240, 800 if SANITIZED else 2500)

OPTION_SETS = {
    "prefix_weight": [{}, {"prefix_weight": 0.2}],
    "alpha": [{}, {"alpha": 0.5, "beta": 2.0}],
    "match_score": [{}, {"match_score": 2.0, "mismatch_score": -1.0, "gap_cost": 0.5}],
    "use_words": [{}, {"use_words": False, "ngram_size": 3}, {"use_words": False, "ngram_size": 1}],
    "threshold": [{}, {"threshold": 0.5}],
}


def cutoffs(fn):
    if int_cutoff(fn):
        return [None, 0, 2, 5]
    if fn.__module__ == "fuzz":
        return [None, 50.0, 85.0]
    return [None, 0.3, 0.75]


@pytest.mark.parametrize("batch_fn", BATCH, ids=lambda f: f.__name__)
def test_batch_equals_scalar(batch_fn):
    scalar = scalar_of(batch_fn)
    assert options_of(scalar) == options_of(batch_fn)
    opts = options_of(scalar)
    option_sets = OPTION_SETS[opts[0]] if opts else [{}]
    for options in option_sets:
        for cutoff in cutoffs(scalar):
            expected = [scalar(a, b, **options, score_cutoff=cutoff) for a, b in MIXED]
            result = batch_fn(MIXED, **options, score_cutoff=cutoff)
            assert type(result) is list and len(result) == len(MIXED)
            bad = [i for i, (r, e) in enumerate(zip(result, expected)) if not same(r, e)]
            assert not bad, (options, cutoff, MIXED[bad[0]], result[bad[0]], expected[bad[0]])
    # the same pairs through the iteration path
    assert all(map(same, batch_fn(Sequence(MIXED[:50])), [scalar(a, b) for a, b in MIXED[:50]]))


# ---------------------------------------------------------------------------------------------
# A workload whose scoring dominates its extraction: the slowest measure on long
# texts (quadratic measures first), used by the thread, fork and interrupt tests.

HEAVY_CANDIDATES = [
    "smith_waterman_score_batch",
    "needleman_wunsch_score_batch",
    "damerau_levenshtein_distance_batch",
    "lcs_str_similarity_batch",
    "osa_distance_batch",
    "levenshtein_distance_batch",
    "indel_distance_batch",
    "partial_ratio_batch",
]

HEAVY_SETUP = "CANDIDATES = " + repr(HEAVY_CANDIDATES) + """
import random, time
from quorvalex import _quorvalex, distance, fuzz

def heavy_workload(length=3000):
    rng = random.Random(5)
    a = "".join(rng.choice("abcd") for _ in range(length))
    b = "".join(rng.choice("abcd") for _ in range(length))
    best = None
    for name in CANDIDATES:
        for module in (distance, fuzz, _quorvalex):
            fn = getattr(module, name, None)
            if fn is None:
                continue
            scalar = getattr(module, name[:-6])
            per_pair = float("inf")
            for _ in range(3):  # the least of three: a busy machine only adds time
                start = time.perf_counter()
                scalar(a, b)
                per_pair = min(per_pair, time.perf_counter() - start)
            if best is None or per_pair > best[1]:
                best = (fn, per_pair)
    return best, (a, b)
"""


def heavy_workload():
    scope = {}
    exec(HEAVY_SETUP, scope)
    best, pair = scope["heavy_workload"]()
    if best is None or best[1] < 2e-4:
        pytest.skip("no measure is slow enough for a long batch")
    return best[0], best[1], pair


def cpu_count():
    return os.cpu_count() or 1


# ---------------------------------------------------------------------------------------------
# The worker pool: its size from the environment, observed as the process's thread count.

THREAD_PROBE = """
import os
def threads():
    return len(os.listdir("/proc/self/task"))
from quorvalex import distance
before = threads()
distance.prefix_similarity("ab", "ab")
scalar = threads() - before
distance.prefix_similarity_batch([])     # the first batch creates the pool, even an empty one
first = threads() - before
os.environ["RAYON_NUM_THREADS"] = "7"    # read once: later changes have no effect
assert distance.prefix_similarity_batch([("ab", "ab")] * 1000) == [2] * 1000
second = threads() - before
print(scalar, first, second)
"""

POOL_SIZES = [
    ({}, None),
    ({"RAYON_NUM_THREADS": "1"}, 1),
    ({"RAYON_NUM_THREADS": "3"}, 3),
    ({"RAYON_NUM_THREADS": "+3"}, 3),
    ({"RAYON_NUM_THREADS": "03"}, 3),
    ({"RAYON_NUM_THREADS": "0"}, None),
    ({"RAYON_NUM_THREADS": "-1"}, None),
    ({"RAYON_NUM_THREADS": "abc"}, None),
    ({"RAYON_NUM_THREADS": ""}, None),
    ({"RAYON_NUM_THREADS": " 2"}, None),
    ({"RAYON_NUM_THREADS": "2 "}, None),
    ({"RAYON_NUM_THREADS": "++2"}, None),
    ({"RAYON_NUM_THREADS": "+"}, None),
    ({"RAYON_NUM_THREADS": "2.0"}, None),
    ({"RAYON_RS_NUM_CPUS": "3"}, 3),
    ({"RAYON_RS_NUM_CPUS": "+5"}, 5),
    ({"RAYON_RS_NUM_CPUS": "0"}, None),
    ({"RAYON_RS_NUM_CPUS": "x"}, None),
    ({"RAYON_NUM_THREADS": "abc", "RAYON_RS_NUM_CPUS": "3"}, 3),
    ({"RAYON_NUM_THREADS": "-4", "RAYON_RS_NUM_CPUS": "4"}, 4),
    ({"RAYON_NUM_THREADS": "2", "RAYON_RS_NUM_CPUS": "5"}, 2),
    # 0 means one thread per processor; it does not fall back to RAYON_RS_NUM_CPUS
    ({"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": "5"}, None),
]


@pytest.mark.parametrize("env,expected", POOL_SIZES, ids=[str(e) for e, _ in POOL_SIZES])
def test_pool_size_from_environment(env, expected):
    out = run_python(THREAD_PROBE, env)
    assert out.returncode == 0, out.stderr
    scalar, first, second = map(int, out.stdout.split())
    assert scalar == 0
    assert first == (cpu_count() if expected is None else expected)
    assert second == first


RESULTS_PROBE = """
import json, sys
from quorvalex import distance
pairs = [tuple(p) for p in json.loads(sys.stdin.read())]
print(json.dumps([distance.prefix_normalized_similarity_batch(pairs, score_cutoff=c)
                  for c in (None, 0.5)] + [distance.postfix_similarity_batch(pairs)]))
"""


@pytest.mark.parametrize("threads", ["1", "2", "5"])
def test_results_do_not_depend_on_pool_size(threads):
    import json

    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    env["RAYON_NUM_THREADS"] = threads
    out = subprocess.run(
        [sys.executable, "-P", "-c", RESULTS_PROBE],
        input=json.dumps(MIXED),
        capture_output=True,
        text=True,
        timeout=120,
        env=env,
    )
    assert out.returncode == 0, out.stderr
    expected = [
        pnsim(MIXED),
        pnsim(MIXED, score_cutoff=0.5),
        distance.postfix_similarity_batch(MIXED),
    ]
    assert json.loads(out.stdout) == expected


# ---------------------------------------------------------------------------------------------
# Threads.


@pytest.mark.slow
def test_other_python_thread_runs_during_a_long_batch():
    fn, per_pair, pair = heavy_workload()
    count = max(4, int(0.6 * cpu_count() / per_pair))
    ticks = []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(time.perf_counter())

    worker = threading.Thread(target=ticker)
    worker.start()
    try:
        time.sleep(0.02)
        start = time.perf_counter()
        result = fn([pair] * count)
        end = time.perf_counter()
    finally:
        stop.set()
        worker.join()
    assert len(set(result)) == 1 and len(result) == count
    inside = [t for t in ticks if start < t < end]
    # Tick coverage of the batch window, in 10 ms buckets.
    buckets = {int((t - start) / 0.01) for t in inside}
    window = max(1, int((end - start) / 0.01))
    assert end - start > 0.2
    assert len(buckets) / window > 0.3, (len(buckets), window)


def test_concurrent_batches_from_several_threads():
    jobs = []
    for i in range(6):
        pairs = _mixed_pairs(i, 3000)
        cutoff = [None, 0.5, 0.25][i % 3]
        fn = [pnsim, distance.postfix_normalized_similarity_batch][i % 2]
        scalar = scalar_of(fn)
        jobs.append((fn, pairs, cutoff, [scalar(a, b, score_cutoff=cutoff) for a, b in pairs]))
    failures = []
    barrier = threading.Barrier(len(jobs))

    def run(job):
        fn, pairs, cutoff, expected = job
        barrier.wait()
        for _ in range(15):
            if fn(pairs, score_cutoff=cutoff) != expected:
                failures.append(fn.__name__)

    threads = [threading.Thread(target=run, args=(job,)) for job in jobs]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    assert not any(t.is_alive() for t in threads)
    assert failures == []


@pytest.mark.slow
def test_batches_from_other_threads_run_while_a_long_batch_runs():
    fn, per_pair, pair = heavy_workload()
    count = max(8, int(1.0 * cpu_count() / per_pair))
    expected = fn([pair])[0]
    others = {}

    def other(k):
        time.sleep(0.1)  # the main thread is inside its batch by then
        begin = time.perf_counter()
        result = fn([pair] * k)
        others[k] = (begin, time.perf_counter(), result == [expected] * k)

    threads = [threading.Thread(target=other, args=(k,)) for k in (1, 3)]
    for t in threads:
        t.start()
    start = time.perf_counter()
    result = fn([pair] * count)
    duration = time.perf_counter() - start
    for t in threads:
        t.join(timeout=300)
    assert result == [expected] * count
    assert duration > 0.4
    assert all(ok for _, _, ok in others.values())
    # Both other calls began early in the long batch instead of waiting for it to return, and
    # the one-pair batch (scored on its own calling thread) also finished well before it.
    assert all(begin - start < 0.5 * duration for begin, _, _ in others.values())
    assert others[1][1] - start < 0.75 * duration


DAEMON_SCRIPT = HEAVY_SETUP + """
import sys, threading
best, pair = heavy_workload(800)
fn, per_pair = best
count = max(8, int(20.0 / per_pair))
started = threading.Event()
def run():
    started.set()
    fn([pair] * count)
    print("daemon finished", flush=True)
threading.Thread(target=run, daemon=True).start()
started.wait()
time.sleep(0.3)
# The last exit function holds the lock for a while without running bytecode, so the daemon
# thread is sure to be waiting for the lock when the interpreter starts finalizing.
import atexit
atexit.register(sum, range(3 * 10**7))
print("main exits", flush=True)
"""


def test_interpreter_exit_while_a_daemon_thread_runs_a_batch():
    # The interpreter ends the daemon thread when it next asks for the lock; the batch's
    # memory must outlive the ranges still being scored.
    heavy_workload()
    out = run_python(DAEMON_SCRIPT, timeout=180)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split("\n")[0] == "main exits"
    assert "daemon finished" not in out.stdout
    assert "Sanitizer" not in out.stderr


# ---------------------------------------------------------------------------------------------
# fork: the child gets a pool of its own, even if the parent's pool was busy at fork time.

FORK_SCRIPT = HEAVY_SETUP + """
import os, sys, threading, warnings
warnings.simplefilter("ignore", DeprecationWarning)   # fork with threads running
MODE = sys.argv[1]
pairs = [("abc" * i, "abd" * (i % 7)) for i in range(4000)]
expected = [distance.prefix_similarity(a, b) for a, b in pairs]
if MODE != "no_pool":
    assert distance.prefix_similarity_batch(pairs) == expected

busy = threading.Event()
def keep_pool_busy():
    best, pair = heavy_workload(1500)
    fn, per_pair = best if best else (distance.prefix_similarity_batch, 1e-6)
    count = max(4, int(0.5 / per_pair))
    busy.set()
    fn([pair] * count)
if MODE == "busy_pool":
    t = threading.Thread(target=keep_pool_busy)
    t.start()
    busy.wait()
    time.sleep(0.05)

pid = os.fork()
if pid == 0:
    ok = distance.prefix_similarity_batch(pairs) == expected
    ok = ok and distance.prefix_similarity_batch(list(reversed(pairs))) == expected[::-1]
    os._exit(0 if ok else 3)

deadline = time.monotonic() + CHILD_TIMEOUT
while True:
    done, status = os.waitpid(pid, os.WNOHANG)
    if done:
        break
    if time.monotonic() > deadline:
        os.kill(pid, 9)
        os.waitpid(pid, 0)
        print("child hung")
        sys.exit(1)
    time.sleep(0.01)
if MODE == "busy_pool":
    t.join()
assert distance.prefix_similarity_batch(pairs) == expected
print(os.waitstatus_to_exitcode(status))
""".replace("CHILD_TIMEOUT", "60" if SANITIZED else "20")


@pytest.mark.parametrize("mode", ["no_pool", "idle_pool", "busy_pool"])
def test_batch_in_forked_child(mode):
    if mode == "busy_pool" and SANITIZED:
        # AddressSanitizer's allocator is not fork-safe: a child forked while workers allocate
        # can wait forever on the allocator's lock (glibc's malloc resets its locks).
        pytest.skip("fork while other threads allocate is unsafe under AddressSanitizer")
    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    out = subprocess.run(
        [sys.executable, "-P", "-c", FORK_SCRIPT, mode],
        capture_output=True,
        text=True,
        timeout=180,
        env=env,
    )
    assert out.returncode == 0, out.stdout + out.stderr
    assert out.stdout.split() == ["0"]


# ---------------------------------------------------------------------------------------------
# Ctrl-C: a real SIGINT interrupts a long batch quickly; the pool works afterwards.

ANNOUNCE = """
import threading
def announce_scoring():
    # Runs only once the main thread has released the interpreter lock, i.e. while the pool
    # scores (extraction and conversion hold the lock).
    def run():
        time.sleep(0.1)
        print("scoring", flush=True)
    threading.Thread(target=run).start()
"""

INTERRUPT_SCRIPT = HEAVY_SETUP + ANNOUNCE + """
# Short pairs: a pair that has started is finished before the batch gives up.
best, pair = heavy_workload(800)
fn, per_pair = best
count = max(8, int(LONG_SECONDS / per_pair))          # far longer than the test waits
expected = fn([pair])[0]
announce_scoring()
start = time.monotonic()
try:
    fn([pair] * count)
    print("finished", time.monotonic() - start, flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), flush=True)
assert fn([pair] * 6) == [expected] * 6
pairs = [("abc" * i, "abd" * (i % 5)) for i in range(3000)]
assert distance.prefix_similarity_batch(pairs) == [distance.prefix_similarity(a, b) for a, b in pairs]
print("ok", flush=True)
"""

SECOND_SIGNAL_SCRIPT = HEAVY_SETUP + ANNOUNCE + """
import math, signal
best, pair = heavy_workload()
fn, per_pair = best
# Two pairs of about 1.5 s each (the measure is quadratic): a pair that has started is not
# stopped, so the second signal arrives while the cancelled batch is still finishing.
factor = math.ceil(math.sqrt(1.5 / per_pair))
big = (pair[0] * factor, pair[1] * factor)
calls = []
def handler(signum, frame):
    calls.append("start")
    if len(calls) == 1:
        raise KeyboardInterrupt
    # A handler must not run while the first KeyboardInterrupt is still pending: a loop that
    # ends normally would then end with that exception.
    for _ in [1, 2]:
        pass
    calls.append("end")
signal.signal(signal.SIGINT, handler)
announce_scoring()
try:
    fn([big, big])
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
except BaseException as exc:
    print("wrong", type(exc).__name__, exc, flush=True)
time.sleep(0.5)
print("calls", *calls, flush=True)
"""


def _run_and_interrupt(script, signals):
    """Starts script, sends one SIGINT per entry of `signals` (delays) once it scores."""
    import signal

    proc = subprocess.Popen(
        [sys.executable, "-P", "-c", script],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        env={k: v for k, v in os.environ.items() if not k.startswith("RAYON_")},
    )
    try:
        first = proc.stdout.readline().strip()
        sent = []
        if first == "scoring":
            for delay in signals:
                time.sleep(delay)
                sent.append(time.monotonic())
                proc.send_signal(signal.SIGINT)
        rest, err = proc.communicate(timeout=300)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    return sent, [first] + rest.splitlines(), err, proc.returncode


@pytest.mark.slow
def test_sigint_interrupts_a_long_batch():
    heavy_workload()  # skips when no measure is heavy enough
    script = INTERRUPT_SCRIPT.replace("LONG_SECONDS", str(30.0 * cpu_count()))
    sent, lines, err, code = _run_and_interrupt(script, [0.0])
    assert code == 0, err
    assert lines[0] == "scoring" and len(sent) == 1, lines
    kind, value = lines[1].split()
    assert kind == "interrupted", lines
    assert float(value) - sent[0] < 0.3
    assert lines[2:] == ["ok"]


@pytest.mark.slow
def test_second_sigint_while_a_cancelled_batch_finishes():
    _, per_pair, _ = heavy_workload()
    if per_pair < 0.005:
        pytest.skip("needs a quadratic measure")
    script = SECOND_SIGNAL_SCRIPT
    sent, lines, err, code = _run_and_interrupt(script, [0.0, 0.3])
    assert code == 0, err
    assert lines == ["scoring", "interrupted", "calls start start end"]
