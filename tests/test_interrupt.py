"""Signals during a batch: the waiting thread runs Python signal handlers every few milliseconds
while the pool scores. A handler that raises ends the batch within a fraction of a second with
that exception, the remaining ranges are abandoned, and the pool serves the next call; a handler
that returns lets the batch finish. Timing limits are generous (loaded or sanitized machines)."""

import math
import random
import resource
import signal
import threading
import time

import pytest

from frame_reference import HEAVY_SETUP, SANITIZED, heavy, run_python
from quorvalex import distance

FN, PAIR, EXPECTED, PER_PAIR = heavy(600 if SANITIZED else 1500)
CPUS = __import__("os").cpu_count() or 1
LONG = max(64, int(20.0 * CPUS / PER_PAIR))  # far longer than any test waits


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def pool_still_serves():
    assert FN([PAIR] * 5) == [EXPECTED] * 5
    pairs = [("abc" * i, "abd" * (i % 7)) for i in range(2000)]
    assert distance.prefix_similarity_batch(pairs) == [distance.prefix_similarity(*p) for p in pairs]


@pytest.fixture
def alarm():
    """install(handler), then arm(delay, interval) starts the timer; both undone afterwards."""
    previous = signal.getsignal(signal.SIGALRM)
    yield (lambda h: signal.signal(signal.SIGALRM, h),
           lambda delay, interval=0.0: signal.setitimer(signal.ITIMER_REAL, delay, interval))
    signal.setitimer(signal.ITIMER_REAL, 0)
    signal.signal(signal.SIGALRM, previous)


Interrupted = type("Interrupted", (Exception,), {})


@pytest.mark.parametrize("kind", [Interrupted, type("Custom", (BaseException,), {})])
def test_raising_handler_ends_the_batch_quickly(alarm, kind):
    install, arm = alarm
    calls = []

    def handler(signum, frame):
        calls.append(time.monotonic())
        raise kind("stop")

    install(handler)
    arm(0.3)
    start = time.monotonic()
    with pytest.raises(kind, match="stop"):
        FN([PAIR] * LONG)
    end = time.monotonic()
    assert len(calls) == 1 and calls[0] - start >= 0.25  # ran while the pool was scoring...
    assert end - calls[0] < 2.0  # ...and the batch gave up at once
    busy = cpu_seconds()  # the remaining ranges were abandoned: no worker keeps scoring
    time.sleep(0.5)
    assert cpu_seconds() - busy < 0.2
    pool_still_serves()


def test_returning_handler_lets_the_batch_finish(alarm):
    install, arm = alarm
    calls = []
    install(lambda signum, frame: calls.append(time.monotonic()))
    count = max(64, int(0.8 * CPUS / PER_PAIR))
    arm(0.05, 0.05)
    start = time.monotonic()
    result = FN([PAIR] * count)
    end = time.monotonic()
    signal.setitimer(signal.ITIMER_REAL, 0)
    assert result == [EXPECTED] * count
    assert [t for t in calls if start < t < end], "no handler ran during the batch"


@pytest.mark.slow
def test_second_signal_while_the_abandoned_batch_finishes(alarm):
    # Two pairs of about a second each. The kernels stop within a millisecond of the first
    # signal's exception, so the first handler asks for the second signal half a millisecond
    # later, to land while the abandoned batch finishes (or just after). Its handler must wait
    # for Python code to run again, not run while the first exception is pending.
    install, arm = alarm
    factor = math.ceil(math.sqrt(1.0 / PER_PAIR))
    big = (PAIR[0] * factor, PAIR[1] * factor)
    calls = []

    def handler(signum, frame):
        calls.append("start")
        if len(calls) == 1:
            arm(0.0005)
            raise Interrupted
        calls.append("end")

    install(handler)
    arm(0.2)
    with pytest.raises(Interrupted):
        FN([big, big])
    time.sleep(0.05)
    assert calls[:3] == ["start", "start", "end"]


def test_interrupt_of_one_batch_leaves_other_threads_batches_whole(alarm):
    install, arm = alarm
    others = []
    worker = threading.Thread(target=lambda: others.extend(
        FN([PAIR] * 8) == [EXPECTED] * 8 for _ in range(3)))

    def handler(signum, frame):
        raise Interrupted

    install(handler)
    arm(0.3)
    worker.start()
    with pytest.raises(Interrupted):
        FN([PAIR] * LONG)
    worker.join(timeout=120)
    assert not worker.is_alive() and others == [True, True, True]
    pool_still_serves()


# A real SIGINT from outside Python code: KeyboardInterrupt within a bound, the pool usable after.
SIGINT_SCRIPT = HEAVY_SETUP + """
import threading
fn, pair, expected, per_pair = heavy(600 if SANITIZED else 1500)
def kill_soon():
    time.sleep(0.3)
    print("sent", time.monotonic(), flush=True)
    os.kill(os.getpid(), 2)
threading.Thread(target=kill_soon).start()
try:
    fn([pair] * max(64, int(20.0 * CPUS / per_pair)))
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), flush=True)
assert fn([pair] * 6) == [expected] * 6
print("ok", flush=True)
"""


def test_real_sigint_raises_keyboard_interrupt():
    out = run_python(f"SANITIZED = {SANITIZED}\n" + SIGINT_SCRIPT)
    assert out.returncode == 0, out.stderr[-3000:]
    sent, interrupted, ok = out.stdout.split("\n")[:3]
    assert sent.split()[0] == "sent" and interrupted.split()[0] == "interrupted", out.stdout
    assert float(interrupted.split()[1]) - float(sent.split()[1]) < (2.0 if SANITIZED else 0.5)
    assert ok == "ok"


# Ctrl-C inside long kernels: a batch of two pairs of 50,000 characters, a batch of one, and the
# scalar calls (a long pair is scored on a pool thread with the lock released while the calling
# thread runs signal handlers). Each kernel polls the batch's flag per row block, so the
# KeyboardInterrupt comes within milliseconds instead of after the pair (seconds).
LONG_KERNEL_SIGINT = """
import os, random, sys, threading, time
from quorvalex import _quorvalex, distance
rng = random.Random(5)
a, b = ("".join(rng.choices("abcd", k=50_000)) for _ in "ab")
wide = "".join(chr(0x4E00 + i % 700) for i in range(150_000))  # OSA blocks, seconds long
call = {
    "two_pairs": lambda: distance.damerau_levenshtein_distance_batch([(a, b), (b, a)]),
    "one_pair": lambda: distance.damerau_levenshtein_distance_batch([(a, b)]),
    "scalar": lambda: distance.damerau_levenshtein_distance(a, b),
    "osa_blocks": lambda: distance.osa_distance(wide, wide[::-1]),
    "smith_waterman": lambda: _quorvalex.smith_waterman_score(a, b),
    "needleman_wunsch_one_pair": lambda: _quorvalex.needleman_wunsch_score_batch([(a, b)]),
}[sys.argv[1]]
def interrupt_soon():
    time.sleep(0.3)
    print("sent", time.monotonic(), flush=True)
    os.kill(os.getpid(), 2)
threading.Thread(target=interrupt_soon).start()
try:
    call()
    print("finished", time.monotonic(), flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), flush=True)
print(distance.damerau_levenshtein_distance_batch([("abc", "acb")] * 3) == [1, 1, 1]
      and distance.damerau_levenshtein_distance("ab", "ba") == 1)
"""


@pytest.mark.parametrize("form", ["two_pairs", "one_pair", "scalar", "osa_blocks", "smith_waterman",
                                  "needleman_wunsch_one_pair"])
def test_sigint_stops_a_long_kernel(form):
    out = run_python(LONG_KERNEL_SIGINT, form, timeout=600)
    assert out.returncode == 0, out.stderr[-3000:]
    sent, interrupted, ok = out.stdout.split("\n")[:3]
    assert sent.split()[0] == "sent" and interrupted.split()[0] == "interrupted", out.stdout
    # Seconds before; milliseconds now (the bound leaves room for a loaded or sanitized machine).
    assert float(interrupted.split()[1]) - float(sent.split()[1]) < (3.0 if SANITIZED else 1.0)
    assert ok == "True"


def test_long_scalar_call_lets_other_threads_run():
    rng = random.Random(8)
    a, b = ("".join(rng.choices("abcd", k=6000 if SANITIZED else 12_000)) for _ in "ab")
    count, done = [0], threading.Event()

    def count_until_done():
        while not done.is_set():
            count[0] += 1

    counter = threading.Thread(target=count_until_done)
    counter.start()
    time.sleep(0.05)
    before = count[0]
    result = distance.damerau_levenshtein_distance(a, b)
    during = count[0] - before
    done.set()
    counter.join()
    assert result == distance.damerau_levenshtein_distance_batch([(a, b), (b, a)])[0]
    # Holding the lock, the call would leave the counter no turn at all.
    assert during > 1000


# A signal handler that forks while a batch runs: the child has none of the parent's workers.
# Its copy of the batch is scored again on the child's own pool (so a Ctrl-C sent to the child
# interrupts it as usual); the parent's batch is unaffected.
FORK_IN_HANDLER = HEAVY_SETUP + """
import signal, sys, threading, warnings
warnings.simplefilter("ignore", DeprecationWarning)   # fork while the pool's threads run
interrupt_child, timeout = sys.argv[1] == "interrupt", float(sys.argv[2])
fn, pair, expected, per_pair = heavy(600)
count = max(16, int(0.6 * CPUS / per_pair))   # about 0.6 s of work
child = []
def handler(signum, frame):
    pid = os.fork()
    child.append(pid)
    if pid and interrupt_child:
        threading.Timer(0.2, os.kill, (pid, signal.SIGINT)).start()
signal.signal(signal.SIGALRM, handler)
signal.setitimer(signal.ITIMER_REAL, 0.2)
try:
    result = fn([pair] * count)
except KeyboardInterrupt:
    os._exit(5 if child == [0] else 6)
if child == [0]:
    os._exit(0 if result == [expected] * count else 3)
assert result == [expected] * count and len(child) == 1
deadline = time.monotonic() + timeout
while not (status := os.waitpid(child[0], os.WNOHANG))[0]:
    if time.monotonic() > deadline:
        os.kill(child[0], signal.SIGKILL)
        sys.exit("child hung")
    time.sleep(0.01)
print(os.waitstatus_to_exitcode(status[1]))
"""


@pytest.mark.parametrize("case,threads,code", [("finish", "2", 0), ("finish", "16", 0),
                                               ("interrupt", "2", 5)])
def test_fork_in_a_signal_handler_during_a_batch(case, threads, code):
    if SANITIZED:
        pytest.skip("fork while other threads allocate is unsafe under AddressSanitizer")
    out = run_python(FORK_IN_HANDLER, case, 60, env={"RAYON_NUM_THREADS": threads}, timeout=120)
    assert out.returncode == 0, out.stdout + out.stderr
    assert out.stdout.split() == [str(code)]
