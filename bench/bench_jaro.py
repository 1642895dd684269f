"""Jaro-Winkler similarity on short names beside rapidfuzz and jellyfish (if installed).

Run:  PYTHONPATH=build/<name>/stage python -P bench/bench_jaro.py
Prints the time per pair and the ratio peer time / our time (> 1 means we are faster).
Scalar = a Python loop of calls; batch = one call for all pairs (ours:
jaro_winkler_similarity_batch; rapidfuzz: process.cpdist with all workers; jellyfish has
no batch form). Extra rows: names with é (Latin-1: one byte per symbol) and with ā (two
bytes per symbol), and longer texts for the 65..128 and block forms.
"""

import random
import timeit

from quorvalex import distance as qd

try:
    from rapidfuzz import process as rf_process
    from rapidfuzz.distance import JaroWinkler as rf_jw
except ImportError:  # pragma: no cover
    rf_jw = rf_process = None

try:
    import jellyfish
except ImportError:  # pragma: no cover
    jellyfish = None

FIRST = ["martha", "marhta", "dixon", "dickson", "john", "jon", "jonathan", "anna", "hannah",
         "katherine", "catherine", "kathryn", "michael", "micheal", "stephen", "steven"]
LAST = ["smith", "smyth", "johnson", "jonson", "williams", "willaims", "brown", "braun",
        "garcia", "garsia", "miller", "muller", "davis", "davies", "rodriguez", "rodrigues"]


def typo(rng, s):
    s = list(s)
    k = rng.randrange(len(s))
    op = rng.randrange(3)
    if op == 0 and k + 1 < len(s):
        s[k], s[k + 1] = s[k + 1], s[k]
    elif op == 1:
        s[k] = rng.choice("abcdefghijklmnopqrstuvwxyz")
    else:
        del s[k]
    return "".join(s)


def name_pairs(count, seed):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = f"{rng.choice(FIRST)} {rng.choice(LAST)}"
        b = typo(rng, a) if rng.random() < 0.6 else f"{rng.choice(FIRST)} {rng.choice(LAST)}"
        pairs.append((a, b))
    return pairs


def text_pairs(length, count, seed):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = "".join(rng.choice("abcdefgh ") for _ in range(length))
        b = a
        for _ in range(max(1, length // 10)):
            b = typo(rng, b)
        pairs.append((a, b))
    return pairs


def best_of(fn, repeat):
    return min(timeit.repeat(fn, number=1, repeat=repeat))


def run(label, pairs, repeat):
    n = len(pairs)
    ours = qd.jaro_winkler_similarity
    t_ours = best_of(lambda: [ours(a, b) for a, b in pairs], repeat)
    t_ours_batch = best_of(lambda: qd.jaro_winkler_similarity_batch(pairs), repeat)
    row = [f"{label:<14}", f"ours {t_ours / n * 1e9:7.0f} ns",
           f"ours batch {t_ours_batch / n * 1e9:6.0f} ns"]
    if rf_jw is not None:
        rf = rf_jw.similarity
        t_rf = best_of(lambda: [rf(a, b) for a, b in pairs], repeat)
        firsts, seconds = [a for a, _ in pairs], [b for _, b in pairs]
        t_rf_batch = best_of(
            lambda: rf_process.cpdist(firsts, seconds, scorer=rf, workers=-1), repeat)
        row.append(f"rapidfuzz scalar x{t_rf / t_ours:4.2f}")
        row.append(f"rapidfuzz batch x{t_rf_batch / t_ours_batch:4.2f}")
        same = sum(ours(a, b) == rf(a, b) for a, b in pairs)
        row.append(f"(equal values {same}/{n})")
    if jellyfish is not None:
        jf = jellyfish.jaro_winkler_similarity
        t_jf = best_of(lambda: [jf(a, b) for a, b in pairs], repeat)
        row.append(f"jellyfish scalar x{t_jf / t_ours:4.2f}")
    print("  ".join(row))


def main():
    print("ratios are peer time / our time (> 1: we are faster)")
    names = name_pairs(20000, 1)
    run("names", names, 5)
    run("names Latin-1", [(a.replace("e", "é"), b.replace("e", "é")) for a, b in names], 5)
    run("names U+0101", [(a.replace("a", "ā"), b.replace("a", "ā")) for a, b in names], 5)
    run("text 100", text_pairs(100, 3000, 2), 3)
    run("text 300", text_pairs(300, 1000, 3), 3)


if __name__ == "__main__":
    main()
