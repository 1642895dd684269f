"""Stress: threads calling every function at once get single-threaded results (a fork during a
batch: test_interrupt.py); the pool's native checks (its size limits: test_batch.py)."""

import os
import pathlib
import random
import shutil
import subprocess
import threading

import pytest

from frame_reference import ALL, SANITIZED, is_batch, mixed_pairs, option_sets, same

def _jobs(rng, pool):
    """(function, args, kwargs, expected) of scalar and batch calls, computed single-threaded."""
    for fn in ALL:
        kwargs = option_sets(fn)[-1]
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
