"""Levenshtein distance timings beside rapidfuzz and python-Levenshtein (if installed).

Run:  PYTHONPATH=build/<name>/stage python -P bench/bench_levenshtein.py
Prints, per text length, the time per pair and the ratio peer time / our time (> 1 means we
are faster). Scalar = a Python loop of calls; batch = one call for all pairs (ours:
levenshtein_distance_batch; rapidfuzz: process.cpdist with all workers). Then long texts
(1,000 and 2,000 symbols) in three alphabets, unrelated, edited and substituted.
"""

import random
import string
import time

from quorvalex import distance as qd

try:
    from rapidfuzz.distance import Levenshtein as rf_lev
    from rapidfuzz import process as rf_process
except ImportError:  # pragma: no cover
    rf_lev = rf_process = None

try:
    import Levenshtein as py_lev
except ImportError:  # pragma: no cover
    py_lev = None

ALPHABET = string.ascii_lowercase + "    "


def make_pairs(length, count, seed):
    """Random texts and copies with about a quarter of the positions edited."""
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = [rng.choice(ALPHABET) for _ in range(length)]
        b = list(a)
        for _ in range(max(1, length // 4)):
            op = rng.randrange(3)
            i = rng.randrange(len(b) + (op == 1))
            if op == 0 and b:
                b[i] = rng.choice(ALPHABET)
            elif op == 1:
                b.insert(i, rng.choice(ALPHABET))
            elif b:
                del b[i]
        pairs.append(("".join(a), "".join(b)))
    return pairs


def loop(f, pairs):
    return lambda: [f(a, b) for a, b in pairs]


def best_times(contenders, repeat, clock):
    """Best time of each contender; the contenders take turns so load changes hit all alike."""
    best = {name: float("inf") for name in contenders}
    for _ in range(repeat):
        for name, fn in contenders.items():
            t0 = clock()
            fn()
            best[name] = min(best[name], clock() - t0)
    return best


def main():
    cases = [(10, 20000, 7), (100, 4000, 7), (2000, 60, 5)]
    rows = []
    for length, count, repeat in cases:
        pairs = make_pairs(length, count, length)
        ours = [qd.levenshtein_distance(a, b) for a, b in pairs]
        if rf_lev is not None:
            assert ours == [rf_lev.distance(a, b) for a, b in pairs]
        if py_lev is not None:
            assert ours == [py_lev.distance(a, b) for a, b in pairs]
        assert qd.levenshtein_distance_batch(pairs) == ours

        # Scalar loops run on this thread only: CPU time of the thread.
        scalar = {"ours": loop(qd.levenshtein_distance, pairs)}
        if rf_lev is not None:
            scalar["rf"] = loop(rf_lev.distance, pairs)
        if py_lev is not None:
            scalar["py"] = loop(py_lev.distance, pairs)
        ts = best_times(scalar, repeat, time.thread_time)
        # Batches use worker threads: wall-clock time.
        batch = {"ours": lambda: qd.levenshtein_distance_batch(pairs)}
        if rf_lev is not None:
            q = [a for a, _ in pairs]
            c = [b for _, b in pairs]
            batch["rf"] = lambda: rf_process.cpdist(q, c, scorer=rf_lev.distance, workers=-1)
        tb = best_times(batch, repeat, time.perf_counter)

        def per_pair(times, name):
            return times[name] / count if name in times else None

        rows.append(
            (length, count, per_pair(ts, "ours"), per_pair(ts, "rf"), per_pair(ts, "py"),
             per_pair(tb, "ours"), per_pair(tb, "rf"))
        )

    def us(t):
        return "-" if t is None else f"{t * 1e6:9.3f}"

    def ratio(peer, ours):
        return "-" if peer is None else f"{peer / ours:6.2f}x"

    print("levenshtein_distance, microseconds per pair; ratio = peer time / our time")
    print("scalar: loop of calls, best thread CPU time; batch: one call, best wall time")
    header = (
        f"{'len':>5} {'pairs':>6} | {'ours':>9} {'rapidfuzz':>9} {'ratio':>7} "
        f"{'Levensh.':>9} {'ratio':>7} | {'ours bat':>9} {'rf cpdist':>9} {'ratio':>7}"
    )
    print(header)
    print("-" * len(header))
    for length, count, t_o, t_rf, t_py, t_ob, t_rfb in rows:
        print(
            f"{length:>5} {count:>6} | {us(t_o)} {us(t_rf)} {ratio(t_rf, t_o):>7} "
            f"{us(t_py)} {ratio(t_py, t_o):>7} | {us(t_ob)} {us(t_rfb)} {ratio(t_rfb, t_ob):>7}"
        )


# Long texts in three alphabets: unrelated texts (no band), a quarter of the positions edited
# (insertions and deletions: the aligned bound is loose), a tenth substituted (a narrow band
# from the aligned bound), and the edited texts again under a cutoff of a twentieth of the length.
LONG_ALPHABETS = {
    "ascii": ALPHABET,
    "cyrillic": "абвгдежзийклмнопрстуфхцчшщъыьэюя ",
    "cjk": "".join(chr(0x4E00 + 37 * i) for i in range(300)),
}


def long_pairs(alphabet, length, kind, count, seed):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = [rng.choice(alphabet) for _ in range(length)]
        if kind == "unrelated":
            b = [rng.choice(alphabet) for _ in range(length)]
        elif kind == "substituted":
            b = list(a)
            for _ in range(length // 10):
                b[rng.randrange(length)] = rng.choice(alphabet)
        else:
            b = list(a)
            for _ in range(length // 4):
                op, i = rng.randrange(3), rng.randrange(len(b))
                if op == 0:
                    b[i] = rng.choice(alphabet)
                elif op == 1:
                    b.insert(i, rng.choice(alphabet))
                else:
                    del b[i]
        pairs.append(("".join(a), "".join(b)))
    return pairs


def long_texts():
    if rf_lev is None:
        return
    print()
    print("long texts, scalar: our time / rapidfuzz time (below 1: we are faster), "
          "our microseconds per pair in brackets")
    kinds = ["unrelated", "edited", "substituted", "edited+cutoff"]
    print(f"{'text':>9} {'len':>5} | " + " | ".join(f"{k:>16}" for k in kinds))
    for name, alphabet in LONG_ALPHABETS.items():
        for length in (1000, 2000):
            cells = []
            for kind in kinds:
                pairs = long_pairs(alphabet, length, kind.split("+")[0], 10, length)
                cut = length // 20 if kind.endswith("cutoff") else None
                ours = lambda: [qd.levenshtein_distance(a, b, score_cutoff=cut) for a, b in pairs]
                theirs = lambda: [rf_lev.distance(a, b, score_cutoff=cut) for a, b in pairs]
                assert ours() == theirs()
                t = best_times({"ours": ours, "rf": theirs}, 7, time.thread_time)
                cells.append(f"{t['ours'] / t['rf']:5.2f} ({t['ours'] / 10 * 1e6:7.1f})")
            print(f"{name:>9} {length:>5} | " + " | ".join(f"{c:>16}" for c in cells), flush=True)


if __name__ == "__main__":
    main()
    long_texts()
