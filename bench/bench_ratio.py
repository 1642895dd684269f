"""ratio and partial_ratio timings beside rapidfuzz.

Run:  PYTHONPATH=build/<name>/stage python -P bench/bench_ratio.py
Prints, per case, the time per pair and the ratio rapidfuzz time / our time (> 1 means we
are faster). Scalar = a Python loop of calls; batch = one call for all pairs (ours: the
*_batch function; rapidfuzz: process.cpdist with all workers).

Cases: "ratio" pairs are a random text and a copy with about a quarter of its positions
edited. "partial" pairs are a needle of the given length and a haystack three times as long
holding an edited copy of the needle; "partial=" pairs are edited copies of equal length.
Cases marked "é" use the same texts with 'e' and 'o' replaced by 'é' and 'ö' (Latin-1), cases
marked "ж" the texts with every letter replaced by a Cyrillic one (every symbol above U+00FF):
texts are compared as code points, bit-parallel over the mask map whatever their width.
"""

import random
import string
import timeit

from quorvalex import fuzz

try:
    from rapidfuzz import fuzz as rf_fuzz
    from rapidfuzz import process as rf_process
except ImportError:  # pragma: no cover
    rf_fuzz = rf_process = None

ALPHABET = string.ascii_lowercase + "    "


def edited(rng, text):
    b = list(text)
    for _ in range(max(1, len(text) // 4)):
        op = rng.randrange(3)
        i = rng.randrange(len(b) + (op == 1))
        if op == 0 and b:
            b[i] = rng.choice(ALPHABET)
        elif op == 1:
            b.insert(i, rng.choice(ALPHABET))
        elif b:
            del b[i]
    return "".join(b)


def random_text(rng, n):
    return "".join(rng.choice(ALPHABET) for _ in range(n))


def make_pairs(kind, length, count, seed):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = random_text(rng, length)
        if kind == "partial":
            k = rng.randint(0, 2 * length)
            noise = random_text(rng, 2 * length)
            b = noise[:k] + edited(rng, a) + noise[k:]
            pairs.append((a, b))
        else:
            pairs.append((a, edited(rng, a)))
    return pairs


def best_of(fn, repeat):
    return min(timeit.repeat(fn, number=1, repeat=repeat))


def loop(f, pairs):
    return lambda: [f(a, b) for a, b in pairs]


def main():
    cases = [
        ("ratio", 10, 20000, 5),
        ("ratio", 100, 5000, 5),
        ("ratio", 1500, 200, 3),
        ("partial", 10, 20000, 5),
        ("partial", 100, 2000, 3),
        ("partial", 1000, 40, 3),
        ("partial=", 10, 20000, 5),
        ("partial=", 100, 2000, 3),
        ("partial=", 1200, 100, 3),
        ("ratio é", 10, 20000, 5),
        ("ratio é", 100, 5000, 5),
        ("ratio é", 1500, 200, 3),
        ("ratio ж", 100, 5000, 5),
        ("partial é", 10, 20000, 5),
        ("partial é", 100, 2000, 3),
        ("partial é", 1000, 40, 3),
        ("partial ж", 100, 2000, 3),
        ("partial= é", 100, 2000, 3),
    ]
    scripts = {
        "é": str.maketrans({"e": "é", "o": "ö"}),
        "ж": str.maketrans({chr(ord("a") + i): chr(0x430 + i) for i in range(26)}),
    }
    rows = []
    for kind, length, count, repeat in cases:
        shape = kind.split()[0]
        pairs = make_pairs("ratio" if shape == "partial=" else shape, length, count, length)
        if kind[-1] in scripts:
            table = scripts[kind[-1]]
            pairs = [(a.translate(table), b.translate(table)) for a, b in pairs]
        ours_f = fuzz.ratio if shape == "ratio" else fuzz.partial_ratio
        ours_b = fuzz.ratio_batch if shape == "ratio" else fuzz.partial_ratio_batch
        ours = [ours_f(a, b) for a, b in pairs]
        assert ours_b(pairs) == ours
        t_ours = best_of(loop(ours_f, pairs), repeat) / count
        t_ours_b = best_of(lambda: ours_b(pairs), repeat) / count
        t_rf = t_rf_b = None
        differ = "-"
        if rf_fuzz is not None:
            rf_f = rf_fuzz.ratio if shape == "ratio" else rf_fuzz.partial_ratio
            theirs = [rf_f(a, b) for a, b in pairs]
            differ = sum(abs(x - y) > 1e-9 for x, y in zip(ours, theirs))
            t_rf = best_of(loop(rf_f, pairs), repeat) / count
            q = [a for a, _ in pairs]
            c = [b for _, b in pairs]
            t_rf_b = best_of(lambda: rf_process.cpdist(q, c, scorer=rf_f, workers=-1), repeat)
            t_rf_b /= count
        rows.append((kind, length, count, t_ours, t_rf, t_ours_b, t_rf_b, differ))

    def us(t):
        return "-" if t is None else f"{t * 1e6:9.3f}"

    def ratio(peer, ours):
        return "-" if peer is None else f"{peer / ours:6.2f}x"

    print("microseconds per pair; ratio = rapidfuzz time / our time; differ = pairs whose")
    print("scores differ from rapidfuzz's by more than 1e-9 (rapidfuzz rounds differently in")
    print("the last bits, and its partial ratio window rules are not quite the same)")
    header = (
        f"{'case':>10} {'len':>5} {'pairs':>6} | {'ours':>9} {'rapidfuzz':>9} {'ratio':>7} | "
        f"{'ours bat':>9} {'rf cpdist':>9} {'ratio':>7} | {'differ':>6}"
    )
    print(header)
    print("-" * len(header))
    for kind, length, count, t_o, t_rf, t_ob, t_rfb, differ in rows:
        print(
            f"{kind:>10} {length:>5} {count:>6} | {us(t_o)} {us(t_rf)} {ratio(t_rf, t_o):>7} | "
            f"{us(t_ob)} {us(t_rfb)} {ratio(t_rfb, t_ob):>7} | {differ:>6}"
        )


if __name__ == "__main__":
    main()
