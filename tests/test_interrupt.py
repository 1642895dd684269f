"""Signals and other threads during long calls: a raising handler abandons the work (judged by
processor time, which a loaded machine does not stretch), a returning one lets it finish."""

import random
import resource
import signal
import threading
import time

import pytest

from frame_reference import HEAVY_SETUP, SANITIZED, heavy, run_python
from quorvalex import distance

FN, PAIR, EXPECTED, _ = heavy(600 if SANITIZED else 1500)
_start = time.process_time()
distance.damerau_levenshtein_distance(*PAIR)
LONG = max(64, int(60.0 / max(time.process_time() - _start, 1e-4)))  # a processor-minute of work
CPU_AFTER_SIGNAL = 3.0 if SANITIZED else 1.0  # processor seconds a stopped call may still use
Interrupted = type("Interrupted", (Exception,), {})


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


@pytest.fixture
def alarm():  # alarm(handler, delay, interval=0.0): SIGALRM's handler and timer, reset after
    previous = signal.getsignal(signal.SIGALRM)
    yield lambda handler, *times: (signal.signal(signal.SIGALRM, handler),
                                   signal.setitimer(signal.ITIMER_REAL, *times))
    signal.setitimer(signal.ITIMER_REAL, 0)
    signal.signal(signal.SIGALRM, previous)


@pytest.mark.parametrize("kind", [Interrupted, type("Custom", (BaseException,), {})])
def test_raising_handler_abandons_the_batch(alarm, kind):
    calls, others = [], []

    def handler(signum, frame):
        calls.append(cpu_seconds())
        raise kind("stop")

    # Another thread's batches, running meanwhile, are not interrupted.
    other = threading.Thread(target=lambda: others.extend(
        FN([PAIR] * 8) == [EXPECTED] * 8 for _ in range(3)))
    alarm(handler, 0.3)
    other.start()
    with pytest.raises(kind, match="stop"):
        FN([PAIR] * LONG)
    assert len(calls) == 1 and cpu_seconds() - calls[0] < CPU_AFTER_SIGNAL
    other.join(timeout=120)
    assert not other.is_alive() and others == [True, True, True]
    busy = cpu_seconds()  # no worker keeps scoring the abandoned ranges
    time.sleep(0.5)
    assert cpu_seconds() - busy < 0.2
    assert FN([PAIR] * 5) == [EXPECTED] * 5  # the pool still serves
    pairs = [("abc" * i, "abd" * (i % 7)) for i in range(2000)]
    assert distance.prefix_similarity_batch(pairs) == [distance.prefix_similarity(*p)
                                                       for p in pairs]


# A real Ctrl-C stops ten processor seconds of work, inside one long pair too (kernels poll per
# row block; a lone pair is scored on a pool thread while the calling thread runs handlers), and
# searches and joins on the pool (a soft TF-IDF pair is polled as its words pair).
SIGINT_SCRIPT = HEAVY_SETUP + """
import sys, threading
from quorvalex import _join, _quorvalex, fuzz
from quorvalex.process import cdist
rng = random.Random(5)
text = lambda k, letters="abcd": "".join(rng.choices(letters, k=k))
a, b, a2, b2 = text(50_000), text(50_000), text(200_000), text(200_000)
wide = "".join(chr(0x4E00 + i % 700) for i in range(400_000))  # OSA blocks
texts = [text(400, "ab") for _ in range(3000)]
words = " ".join(f"w{i}x" for i in range(20000))  # 4 * 10^8 word pairs per text pair
call = compile(sys.argv[1], "call", "eval")  # eval of a string marks the exit as interrupted
namespace = {**vars(distance), **vars(_quorvalex), **globals()}
def interrupt_soon():
    time.sleep(0.3)
    print("sent", time.process_time(), flush=True)
    os.kill(os.getpid(), 2)
threading.Thread(target=interrupt_soon).start()
try:
    eval(call, namespace)
    print("finished", time.process_time(), flush=True)
except KeyboardInterrupt:
    print("interrupted", time.process_time(), flush=True)
print(distance.damerau_levenshtein_distance_batch([("abc", "acb")] * 3) == [1, 1, 1]
      and distance.damerau_levenshtein_distance("ab", "ba") == 1)
"""


SIGINT_CALLS = {"two_pairs": "damerau_levenshtein_distance_batch([(a, b), (b, a)])",
               "one_pair": "damerau_levenshtein_distance_batch([(a, b)])",
               "scalar": "damerau_levenshtein_distance(a, b)",
               "osa_blocks": "osa_distance(wide, wide[::-1])",
               "smith_waterman": "smith_waterman_score(a2, b2)",
               "needleman_wunsch_one_pair": "needleman_wunsch_score_batch([(a2, b2)])",
               "cdist": "cdist(texts, texts, scorer=fuzz.partial_ratio, workers=-1)",
               "join": "_join.join(texts, scorer=fuzz.partial_ratio, score_cutoff=99, workers=-1)",
               "soft_tfidf": "soft_tfidf_similarity_batch([(words, words.replace(' ', 'y '))] * 8)"}


@pytest.mark.parametrize("form", SIGINT_CALLS)
def test_sigint_stops_a_long_call(form):
    out = run_python(SIGINT_SCRIPT, SIGINT_CALLS[form], timeout=600)
    assert out.returncode == 0, out.stderr[-3000:]
    sent, interrupted, ok = out.stdout.split("\n")[:3]
    assert sent.split()[0] == "sent" and interrupted.split()[0] == "interrupted", out.stdout
    assert float(interrupted.split()[1]) - float(sent.split()[1]) < CPU_AFTER_SIGNAL, out.stdout
    assert ok == "True"


# A long call, scalar or batch, releases the interpreter lock: another thread runs Python code
# and its own one-pair batch (scored on its thread) finishes first. A signal handler that
# returns runs during the call and lets it finish.
@pytest.mark.parametrize("n,copies", [(12_000, 0), (3000, 16)], ids=["scalar", "batch"])
def test_long_call_lets_threads_and_returning_handlers_run(alarm, n, copies):
    rng = random.Random(8)
    a, b = ("".join(rng.choices("abcd", k=n // (1 + SANITIZED))) for _ in "ab")
    count, other, handled, started, done = [0], [], [], threading.Event(), threading.Event()

    def count_until_done():
        started.wait()
        time.sleep(0.05)
        other.append(distance.prefix_similarity_batch([("ab", "ac")]) == [1] and not done.is_set())
        while not done.is_set():
            count[0] += 1

    counter = threading.Thread(target=count_until_done)
    counter.start()
    alarm(lambda signum, frame: handled.append(time.monotonic()), 0.05, 0.05)
    started.set()
    start = time.monotonic()
    if copies:
        result = distance.damerau_levenshtein_distance_batch([(a, b)] * copies)
    else:
        result = [distance.damerau_levenshtein_distance(a, b)]
    end = time.monotonic()
    done.set()
    signal.setitimer(signal.ITIMER_REAL, 0)
    counter.join()
    assert result == [distance.damerau_levenshtein_distance(b, a)] * max(copies, 1)
    assert other == [True] and count[0] > 1000  # holding the lock: no turn before the end
    assert [t for t in handled if start < t < end], "no handler ran during the call"


# A handler that forks during a batch: the child scores its copy again on a pool of its own (a
# Ctrl-C sent to it interrupts it as usual); the parent's batch is unaffected.
FORK_IN_HANDLER = HEAVY_SETUP + """
import signal, sys, threading, warnings
warnings.simplefilter("ignore", DeprecationWarning)   # fork while the pool's threads run
interrupt_child, timeout = sys.argv[1] == "interrupt", float(sys.argv[2])
fn, pair, expected, per_pair = heavy(600)
# 0.6 s of work, or enough that a child to interrupt is still at work on a loaded machine.
count = max(16, int((4.0 if interrupt_child else 0.6) * CPUS / per_pair))
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
