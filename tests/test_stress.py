"""Stress: many Python threads issuing scalar and batch calls of many measures at once (the
batches overlap, since the interpreter lock is released while the pool scores), while the main
thread forks a child that runs batches of its own. Every result must equal the one computed
single-threaded beforehand; no call may hang.
"""

import math
import os
import random
import threading
import time
import types
import warnings

import pytest

from quorvalex import _quorvalex, distance, fuzz

SANITIZED = bool(os.environ.get("QUORVALEX_SANITIZED"))


def _functions():
    out = {}
    for module in (distance, fuzz, _quorvalex):
        for name in module.__all__:
            obj = getattr(module, name)
            if not isinstance(obj, types.ModuleType):
                out[name] = obj
    return out


FUNCTIONS = _functions()
BATCH = sorted(name for name in FUNCTIONS if name.endswith("_batch"))
SCALAR = sorted(name for name in FUNCTIONS if not name.endswith("_batch"))


def same(a, b):
    if isinstance(a, list):
        return isinstance(b, list) and len(a) == len(b) and all(map(same, a, b))
    if type(a) is not type(b):
        return False
    if isinstance(a, float) and math.isnan(a):
        return math.isnan(b)
    return a == b


def _pairs(rng, count):
    alphabets = ["abc ", "aé b", "a€b ", "a👍 b", "new york mets"]
    pairs = []
    for _ in range(count):
        alpha = rng.choice(alphabets)
        a = "".join(rng.choices(alpha, k=rng.choice([0, 3, 20, 64, 65, 130, 300])))
        b = list(a)
        for _ in range(rng.randrange(4)):
            if b:
                b[rng.randrange(len(b))] = rng.choice(alpha)
        if rng.random() < 0.3:
            b = rng.choices(alpha, k=rng.randrange(80))
        pairs.append((a, "".join(b)))
    return pairs


def _options(name):
    if name.startswith("cosine"):
        return {"use_words": False, "ngram_size": 2}
    if name.startswith(("smith", "needleman")):
        return {"match_score": 2.0, "mismatch_score": -1.0, "gap_cost": 0.5}
    if name.startswith("jaro_winkler"):
        return {"prefix_weight": 0.15}
    return {}


def _jobs(seed):
    """(function, args, kwargs, expected) for scalar and batch calls, computed here."""
    rng = random.Random(seed)
    jobs = []
    for name in BATCH:
        pairs = _pairs(rng, rng.choice([2, 40, 300]))
        kwargs = _options(name)
        jobs.append((FUNCTIONS[name], (pairs,), kwargs, FUNCTIONS[name](pairs, **kwargs)))
    for name in SCALAR:
        for a, b in _pairs(rng, 3):
            kwargs = _options(name)
            jobs.append((FUNCTIONS[name], (a, b), kwargs, FUNCTIONS[name](a, b, **kwargs)))
    rng.shuffle(jobs)
    return jobs


JOBS = _jobs(7)
ROUNDS = 3 if SANITIZED else 12


def _fork_and_check(jobs):
    """Forks; the child runs every batch job and exits 0 when all results match."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)  # fork while threads run
        pid = os.fork()
    if pid == 0:
        code = 0
        try:
            for fn, args, kwargs, expected in jobs:
                if fn.__name__.endswith("_batch") and not same(fn(*args, **kwargs), expected):
                    code = 3
        except BaseException:
            code = 4
        os._exit(code)
    deadline = time.monotonic() + (240 if SANITIZED else 60)
    while True:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(status)
        if time.monotonic() > deadline:
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            return "hung"
        time.sleep(0.01)


def test_threads_and_fork_give_single_threaded_results():
    failures = []
    started = threading.Barrier(9)

    def run(seed):
        rng = random.Random(seed)
        started.wait()
        for _ in range(ROUNDS):
            for fn, args, kwargs, expected in rng.sample(JOBS, len(JOBS)):
                try:
                    result = fn(*args, **kwargs)
                except BaseException as exc:  # noqa: BLE001 - any exception is a failure here
                    failures.append((fn.__name__, repr(exc)))
                    continue
                if not same(result, expected):
                    failures.append((fn.__name__, args if len(repr(args)) < 300 else "..."))

    threads = [threading.Thread(target=run, args=(seed,)) for seed in range(8)]
    for t in threads:
        t.start()
    started.wait()
    # Fork twice while the threads are busy: the child builds a pool of its own. (Under
    # AddressSanitizer only once they are done: its allocator has no fork handlers, so a child
    # forked while another thread allocates can wait forever for the allocator's lock.)
    children = []
    for _ in range(0 if SANITIZED else 2):
        time.sleep(0.05)
        children.append(_fork_and_check(JOBS))
    for t in threads:
        t.join(timeout=600)
    for _ in range(2 if SANITIZED else 0):
        children.append(_fork_and_check(JOBS))
    assert not any(t.is_alive() for t in threads)
    assert failures == []
    assert children == [0, 0]


@pytest.mark.parametrize("threads", [2, 16])
def test_same_batch_from_many_threads(threads):
    """One large batch issued by many threads at once: each gets the whole, ordered list."""
    rng = random.Random(threads)
    pairs = _pairs(rng, 1500)
    fn = distance.levenshtein_distance_batch
    expected = [distance.levenshtein_distance(a, b) for a, b in pairs]
    results = [None] * threads
    barrier = threading.Barrier(threads)

    def run(i):
        barrier.wait()
        results[i] = fn(pairs, score_cutoff=None)

    workers = [threading.Thread(target=run, args=(i,)) for i in range(threads)]
    for w in workers:
        w.start()
    for w in workers:
        w.join(timeout=300)
    assert all(r == expected for r in results)
