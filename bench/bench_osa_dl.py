"""OSA and Damerau-Levenshtein timings beside rapidfuzz and jellyfish (if installed).

Run:  PYTHONPATH=build/<name>/stage python -P bench/bench_osa_dl.py
Prints, per measure and text length, the time per pair and the ratio peer time / our time
(> 1 means we are faster). Scalar = a Python loop of calls; batch = one call for all pairs
(ours: the *_distance_batch function; rapidfuzz: process.cpdist with all workers).
"""

import random
import string
import time

from quorvalex import distance as qd

try:
    from rapidfuzz import process as rf_process
    from rapidfuzz.distance import OSA as rf_osa
    from rapidfuzz.distance import DamerauLevenshtein as rf_dl
except ImportError:  # pragma: no cover
    rf_process = rf_osa = rf_dl = None

try:
    import jellyfish
except ImportError:  # pragma: no cover
    jellyfish = None

ASCII = string.ascii_lowercase + "    "
# Cyrillic: characters above U+00FF, so OSA takes its dynamic programme.
WIDE = "абвгдежзийклмнопрстуфхцчшщ    "


def make_pairs(length, count, seed, alphabet):
    """Random texts and copies with about a quarter of the positions edited, swaps included."""
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = [rng.choice(alphabet) for _ in range(length)]
        b = list(a)
        for _ in range(max(1, length // 4)):
            op = rng.randrange(4)
            i = rng.randrange(len(b) + (op == 1))
            if op == 0 and i < len(b):
                b[i] = rng.choice(alphabet)
            elif op == 1:
                b.insert(i, rng.choice(alphabet))
            elif op == 2 and i < len(b):
                del b[i]
            elif op == 3 and i + 1 < len(b):
                b[i], b[i + 1] = b[i + 1], b[i]
        pairs.append(("".join(a), "".join(b)))
    return pairs


def loop(f, pairs):
    return lambda: [f(a, b) for a, b in pairs]


def best_times(contenders, repeat):
    """Best wall time of each callable; rounds interleave the contenders so that a burst of
    load on the machine hits all of them alike."""
    best = [float("inf")] * len(contenders)
    for _ in range(repeat):
        for i, fn in enumerate(contenders):
            t0 = time.perf_counter()
            fn()
            best[i] = min(best[i], time.perf_counter() - t0)
    return best


def measure(ours, ours_batch, rf_scorer, jf, pairs, repeat):
    """Per-pair seconds: ours, rapidfuzz, jellyfish, ours batch, rapidfuzz cpdist."""
    count = len(pairs)
    expected = [ours(a, b) for a, b in pairs]
    assert ours_batch(pairs) == expected
    if rf_scorer is not None:
        assert expected == [rf_scorer(a, b) for a, b in pairs]
    if jf is not None:
        assert expected == [jf(a, b) for a, b in pairs]
    q, c = [a for a, _ in pairs], [b for _, b in pairs]
    named = {"ours": loop(ours, pairs), "ours_batch": lambda: ours_batch(pairs)}
    if rf_scorer is not None:
        named["rf"] = loop(rf_scorer, pairs)
        named["rf_batch"] = lambda: rf_process.cpdist(q, c, scorer=rf_scorer, workers=-1)
    if jf is not None:
        named["jf"] = loop(jf, pairs)
    times = dict(zip(named, best_times(list(named.values()), repeat)))
    per_pair = {k: v / count for k, v in times.items()}
    return (
        per_pair["ours"],
        per_pair.get("rf"),
        per_pair.get("jf"),
        per_pair["ours_batch"],
        per_pair.get("rf_batch"),
    )


def main():
    jf_dl = jellyfish.damerau_levenshtein_distance if jellyfish is not None else None
    measures = [
        ("osa", qd.osa_distance, qd.osa_distance_batch, rf_osa and rf_osa.distance, None),
        (
            "damerau_lev",
            qd.damerau_levenshtein_distance,
            qd.damerau_levenshtein_distance_batch,
            rf_dl and rf_dl.distance,
            jf_dl,
        ),
    ]
    cases = [
        ("ascii", 10, 10000, 7),
        ("ascii", 100, 1000, 7),
        ("wide", 10, 10000, 7),
        ("wide", 100, 500, 7),
    ]

    def us(t):
        return "        -" if t is None else f"{t * 1e6:9.3f}"

    def ratio(peer, ours):
        return "      -" if peer is None else f"{peer / ours:6.2f}x"

    print("distance, microseconds per pair; ratio = peer time / our time (> 1: we are faster)")
    header = (
        f"{'measure':<12} {'text':<5} {'len':>4} | {'ours':>9} {'rapidfuzz':>9} {'ratio':>7} "
        f"{'jellyfish':>9} {'ratio':>7} | {'ours bat':>9} {'rf cpdist':>9} {'ratio':>7}"
    )
    print(header)
    print("-" * len(header))
    for name, ours, ours_batch, rf_scorer, jf in measures:
        for kind, length, count, repeat in cases:
            alphabet = ASCII if kind == "ascii" else WIDE
            pairs = make_pairs(length, count, length, alphabet)
            t_o, t_rf, t_jf, t_ob, t_rfb = measure(ours, ours_batch, rf_scorer, jf, pairs, repeat)
            print(
                f"{name:<12} {kind:<5} {length:>4} | {us(t_o)} {us(t_rf)} {ratio(t_rf, t_o)} "
                f"{us(t_jf)} {ratio(t_jf, t_o)} | {us(t_ob)} {us(t_rfb)} {ratio(t_rfb, t_ob)}"
            )


if __name__ == "__main__":
    main()
