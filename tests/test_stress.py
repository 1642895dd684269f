"""Stress: threads calling every function at once get single-threaded results (a fork during a
batch: test_interrupt.py); the pool's size limits and its native checks."""

import os
import pathlib
import random
import shutil
import subprocess
import threading

import pytest

from frame_reference import ALL, SANITIZED, is_batch, mixed_pairs, run_python, same

OPTIONS = {"cosine": {"use_words": False, "ngram_size": 2}, "jaro_winkler": {"prefix_weight": 0.15},
           "smith": {"match_score": 2.0, "mismatch_score": -1.0, "gap_cost": 0.5},
           "needleman": {"match_score": 2.0, "mismatch_score": -1.0, "gap_cost": 0.5}}


def _jobs(rng, pool):
    """(function, args, kwargs, expected) of scalar and batch calls, computed single-threaded."""
    for fn in ALL:
        kwargs = next((v for k, v in OPTIONS.items() if fn.__name__.startswith(k)), {})
        for args in ([(rng.sample(pool, rng.choice([2, 40, 300])),)] if is_batch(fn)
                     else rng.sample(pool, 3)):
            yield fn, args, kwargs, fn(*args, **kwargs)


JOBS = list(_jobs(random.Random(7), mixed_pairs(7, 400)))
random.Random(7).shuffle(JOBS)


def test_threads_give_single_threaded_results():
    failures, started = [], threading.Barrier(8)

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
    for t in threads:
        t.join(timeout=600)
    assert not any(t.is_alive() for t in threads) and failures == []


# A larger pool than 1,024 threads warns once, in the thread whose batch created it (an error
# there when warnings are errors; the pool still serves). Threads the system refuses to start
# (no address space for their stacks) leave a smaller pool that scores every pair, and warn.
LIMITS_PROBE = """
import os, resource, sys, warnings
from quorvalex import distance
warnings.simplefilter(sys.argv[1])
pairs = [("abc" * (i % 9), "abd" * (i % 7)) for i in range(5000)]
expected = [distance.prefix_similarity(a, b) for a, b in pairs]
if sys.argv[2] == "short":
    with open("/proc/self/status") as status:
        size = next(int(line.split()[1]) for line in status if line.startswith("VmSize"))
    resource.setrlimit(resource.RLIMIT_AS, ((size + 24 * 1024) * 1024, resource.RLIM_INFINITY))
try:
    print("no exception" if distance.prefix_similarity_batch(pairs) == expected else "wrong")
except RuntimeWarning as e:
    print("raised", e)
with warnings.catch_warnings(record=True) as caught:
    warnings.simplefilter("always")
    assert distance.prefix_similarity_batch(pairs) == expected
assert caught == []
print(len(os.listdir("/proc/self/task")) - 1)
"""
HUGE = "18446744073709551615"
LIMITS = [({"RAYON_NUM_THREADS": HUGE}, f"RAYON_NUM_THREADS={HUGE}"),
          ({"RAYON_NUM_THREADS": "1025"}, "RAYON_NUM_THREADS=1025"),
          ({"RAYON_RS_NUM_CPUS": "5000"}, "RAYON_RS_NUM_CPUS=5000"),
          ({"RAYON_NUM_THREADS": "1024"}, None), ({"RAYON_NUM_THREADS": "64"}, "short")]


@pytest.mark.parametrize("env,asked", LIMITS, ids=[str(e) for e, _ in LIMITS])
@pytest.mark.parametrize("action", ["error", "default"])
def test_pool_size_limits(env, asked, action):
    if asked == "short" and SANITIZED:
        pytest.skip("AddressSanitizer needs more address space than the limit leaves")
    out = run_python(LIMITS_PROBE, action, asked, env=env)
    assert out.returncode == 0, out.stderr
    first, threads = out.stdout.splitlines()
    if asked == "short":
        assert 0 < int(threads) < 64
        message = f"only {threads} of 64 worker threads could be started"
    else:
        assert threads == "1024"
        message = f"{asked} is above the worker pool's limit of 1024 threads; the pool has 1024"
    if asked and action == "error":
        assert first == f"raised {message}"
    else:
        assert first == "no exception"
        assert (f"RuntimeWarning: {message}" in out.stderr) == bool(asked), out.stderr


# The pool's own interface, as the search layer uses it (a limit on the workers of a run), in a
# small native program: plain, and under ThreadSanitizer.
@pytest.mark.parametrize("flags", [["-O2"], ["-O1", "-g", "-fsanitize=thread"]],
                         ids=["plain", "thread-sanitizer"])
def test_native_pool_checks(tmp_path, flags):
    compiler = shutil.which(os.environ.get("CXX", "g++"))
    if not compiler:
        pytest.skip("no C++ compiler")
    root = pathlib.Path(__file__).resolve().parent.parent
    program = tmp_path / "pool_check"
    subprocess.run([compiler, "-std=c++20", "-pthread", *flags, f"-I{root / 'src'}",
                    root / "src" / "worker_pool.cpp", root / "tests" / "pool_check.cpp",
                    "-o", program], check=True, timeout=600)
    # Not the sanitizer runtime preloaded into the interpreter of a sanitized test run.
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("RAYON_", "LD_PRELOAD", "ASAN_", "UBSAN_"))}
    for threads in ["1", "2", "7", "64"]:
        out = subprocess.run([program], env={**env, "RAYON_NUM_THREADS": threads},
                             capture_output=True, text=True, timeout=600)
        assert (out.returncode, out.stdout) == (0, "ok\n"), (threads, out.stderr[-3000:])
