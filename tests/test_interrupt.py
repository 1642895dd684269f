"""Signals during a batch: the waiting thread runs Python signal handlers every few
milliseconds while the pool scores. A handler that raises ends the batch within a fraction of a
second with that exception, the remaining ranges are abandoned (the process goes idle at
once), and the pool serves the next call; a handler that returns lets the batch finish with
every result. Timing limits are generous (a loaded or sanitized machine still passes).
"""

import os
import resource
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

from quorvalex import distance

SANITIZED = bool(os.environ.get("QUORVALEX_SANITIZED"))
CPUS = os.cpu_count() or 1


class Interrupted(Exception):
    pass


def _workload():
    """A pair whose Damerau-Levenshtein distance takes a few milliseconds, and its cost."""
    import random

    rng = random.Random(11)
    n = 600 if SANITIZED else 1500
    pair = ("".join(rng.choices("abcd", k=n)), "".join(rng.choices("abcd", k=n)))
    fn = distance.damerau_levenshtein_distance_batch
    fn([pair] * 2)
    start = time.perf_counter()
    expected = distance.damerau_levenshtein_distance(*pair)
    per_pair = max(time.perf_counter() - start, 1e-4)
    return fn, pair, expected, per_pair


WORKLOAD = _workload()


def _long_batch_size(seconds):
    """Pairs for a batch of at least `seconds` on all processors."""
    _, _, _, per_pair = WORKLOAD
    return max(64, int(seconds * CPUS / per_pair))


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def _pool_still_serves():
    fn, pair, expected, _ = WORKLOAD
    assert fn([pair] * 5) == [expected] * 5
    pairs = [("abc" * i, "abd" * (i % 7)) for i in range(2000)]
    assert distance.prefix_similarity_batch(pairs) == [
        distance.prefix_similarity(a, b) for a, b in pairs
    ]


@pytest.fixture
def alarm():
    """Installs a SIGALRM handler for one test; `arm(delay)` starts the timer."""
    calls = []
    previous = signal.getsignal(signal.SIGALRM)

    def install(handler):
        signal.signal(signal.SIGALRM, handler)

    def arm(delay, interval=0.0):
        signal.setitimer(signal.ITIMER_REAL, delay, interval)

    yield install, arm, calls
    signal.setitimer(signal.ITIMER_REAL, 0)
    signal.signal(signal.SIGALRM, previous)


def test_raising_handler_ends_the_batch_quickly(alarm):
    install, arm, calls = alarm
    fn, pair, _, _ = WORKLOAD

    def handler(signum, frame):
        calls.append(time.monotonic())
        raise Interrupted

    install(handler)
    pairs = [pair] * _long_batch_size(20.0)  # far longer than the test waits
    arm(0.3)
    start = time.monotonic()
    with pytest.raises(Interrupted):
        fn(pairs)
    end = time.monotonic()
    assert len(calls) == 1
    assert calls[0] - start >= 0.25  # the handler ran while the pool was scoring...
    assert end - calls[0] < 2.0  # ...and the batch gave up at once

    # The remaining ranges were abandoned: no worker keeps scoring after the call returned.
    busy = cpu_seconds()
    time.sleep(0.5)
    assert cpu_seconds() - busy < 0.2
    _pool_still_serves()


def test_returning_handler_lets_the_batch_finish(alarm):
    install, arm, calls = alarm
    fn, pair, expected, _ = WORKLOAD

    install(lambda signum, frame: calls.append(time.monotonic()))
    count = _long_batch_size(0.8)
    arm(0.05, 0.05)  # a signal every 50 ms while the batch runs
    start = time.monotonic()
    result = fn([pair] * count)
    end = time.monotonic()
    signal.setitimer(signal.ITIMER_REAL, 0)
    assert result == [expected] * count
    during = [t for t in calls if start < t < end]
    assert during, "no handler ran during the batch"


def test_handler_exception_of_any_kind_propagates(alarm):
    install, arm, _ = alarm
    fn, pair, _, _ = WORKLOAD

    class Custom(BaseException):
        pass

    def handler(signum, frame):
        raise Custom("stop")

    install(handler)
    arm(0.2)
    with pytest.raises(Custom, match="stop"):
        fn([pair] * _long_batch_size(20.0))
    _pool_still_serves()


def test_interrupt_of_one_batch_leaves_other_threads_batches_whole(alarm):
    install, arm, _ = alarm
    fn, pair, expected, _ = WORKLOAD
    other_results = []

    def other():
        # Batches from another Python thread share the pool with the interrupted one.
        for _ in range(3):
            other_results.append(fn([pair] * 8) == [expected] * 8)

    def handler(signum, frame):
        raise Interrupted

    install(handler)
    worker = threading.Thread(target=other)
    arm(0.3)
    worker.start()
    with pytest.raises(Interrupted):
        fn([pair] * _long_batch_size(20.0))
    worker.join(timeout=120)
    assert not worker.is_alive()
    assert other_results == [True, True, True]
    _pool_still_serves()


SIGINT_SCRIPT = """
import os, sys, threading, time
from quorvalex import distance
pair = ("ab" * 700, "ba" * 700)
fn = distance.damerau_levenshtein_distance_batch
expected = distance.damerau_levenshtein_distance(*pair)
start = time.perf_counter(); fn([pair] * 4); per_pair = (time.perf_counter() - start) / 4
count = max(64, int(20.0 * (os.cpu_count() or 1) / per_pair))
def kill_soon():
    time.sleep(0.3)
    print("sent", time.monotonic(), flush=True)
    os.kill(os.getpid(), 2)
threading.Thread(target=kill_soon).start()
try:
    fn([pair] * count)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), flush=True)
assert fn([pair] * 6) == [expected] * 6
print("ok", flush=True)
"""


def test_real_sigint_raises_keyboard_interrupt():
    out = subprocess.run(
        [sys.executable, "-P", "-c", textwrap.dedent(SIGINT_SCRIPT)],
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert out.returncode == 0, out.stderr[-3000:]
    lines = out.stdout.split("\n")
    sent, interrupted, ok = lines[0].split(), lines[1].split(), lines[2]
    assert sent[0] == "sent" and interrupted[0] == "interrupted", out.stdout
    assert float(interrupted[1]) - float(sent[1]) < 2.0
    assert ok == "ok"
