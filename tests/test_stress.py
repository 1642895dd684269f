"""Stress: many Python threads issuing scalar and batch calls of every function at once (the
batches overlap, since the interpreter lock is released while the pool scores), while the main
thread forks a child that runs batches of its own. Every result must equal the one computed
single-threaded beforehand; no call may hang."""

import os
import random
import threading
import time
import warnings

from frame_reference import ALL, SANITIZED, is_batch, mixed_pairs, same

OPTIONS = {"cosine": {"use_words": False, "ngram_size": 2}, "jaro_winkler": {"prefix_weight": 0.15},
           "smith": {"match_score": 2.0, "mismatch_score": -1.0, "gap_cost": 0.5},
           "needleman": {"match_score": 2.0, "mismatch_score": -1.0, "gap_cost": 0.5}}


def _jobs(seed):
    """(function, args, kwargs, expected) for scalar and batch calls, computed here."""
    rng, jobs = random.Random(seed), []
    pool = mixed_pairs(seed, 400)
    for fn in ALL:
        kwargs = next((v for k, v in OPTIONS.items() if fn.__name__.startswith(k)), {})
        calls = [(rng.sample(pool, rng.choice([2, 40, 300])),)] if is_batch(fn) else rng.sample(pool, 3)
        jobs += [(fn, args, kwargs, fn(*args, **kwargs)) for args in calls]
    rng.shuffle(jobs)
    return jobs


JOBS = _jobs(7)


def _fork_and_check():
    """Forks; the child runs every batch job and exits 0 when all results match."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)  # fork while threads run
        pid = os.fork()
    if pid == 0:
        try:
            ok = all(same(fn(*a, **k), e) for fn, a, k, e in JOBS if is_batch(fn))
            os._exit(0 if ok else 3)
        except BaseException:
            os._exit(4)
    deadline = time.monotonic() + (240 if SANITIZED else 60)
    while not (status := os.waitpid(pid, os.WNOHANG))[0]:
        if time.monotonic() > deadline:
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            return "hung"
        time.sleep(0.01)
    return os.waitstatus_to_exitcode(status[1])


def test_threads_and_fork_give_single_threaded_results():
    failures, started = [], threading.Barrier(9)

    def run(seed):
        rng = random.Random(seed)
        started.wait()
        for _ in range(3 if SANITIZED else 10):
            for fn, args, kwargs, expected in rng.sample(JOBS, len(JOBS)):
                try:
                    if not same(fn(*args, **kwargs), expected):
                        failures.append((fn.__name__, str(args)[:200]))
                except BaseException as exc:  # noqa: BLE001 - any exception is a failure here
                    failures.append((fn.__name__, repr(exc)))

    threads = [threading.Thread(target=run, args=(seed,)) for seed in range(8)]
    for t in threads:
        t.start()
    started.wait()
    # Fork twice while the threads are busy: the child builds a pool of its own. (Under
    # AddressSanitizer only once they are done: its allocator has no fork handlers.)
    children = []
    for _ in range(0 if SANITIZED else 2):
        time.sleep(0.05)
        children.append(_fork_and_check())
    for t in threads:
        t.join(timeout=600)
    children += [_fork_and_check() for _ in range(2 if SANITIZED else 0)]
    assert not any(t.is_alive() for t in threads)
    assert failures == [] and children == [0, 0]
