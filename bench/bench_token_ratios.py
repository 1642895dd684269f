"""Token set ratio, partial token ratio and weighted ratio on short texts beside rapidfuzz.

Run:  PYTHONPATH=build/<name>/stage python -P bench/bench_token_ratios.py
Prints the time per pair and the ratio rapidfuzz time / our time (> 1 means we are faster).
Scalar = a Python loop of calls; batch = one call for all pairs (ours: the *_batch function;
rapidfuzz: process.cpdist with all workers). Texts: person names, street addresses and product
titles of 2 to 10 words, paired with a variant (reordered, abbreviated, with typos or extra
words) or with an unrelated text of the same kind.
"""

import random
import timeit

from quorvalex import fuzz as qf

try:
    from rapidfuzz import fuzz as rf
    from rapidfuzz import process as rf_process
except ImportError:  # pragma: no cover
    rf = rf_process = None

FIRST = ["john", "jon", "mary", "maria", "katherine", "catherine", "michael", "micheal", "anna",
         "stephen", "steven", "josé", "jürgen", "zoë", "li", "mohammed", "olivia", "william"]
MIDDLE = ["a.", "b.", "lee", "marie", "james", "j", "ann", "de", "van"]
LAST = ["smith", "smyth", "johnson", "jonson", "garcía", "garcia", "müller", "muller", "brown",
        "o'brien", "nguyen", "wang", "rodriguez", "rodrigues", "davies", "davis", "schmidt"]
STREET = ["main", "oak", "maple", "park", "washington", "lake", "hill", "elm", "sunset",
          "king", "queen", "church", "station", "mill", "bahnhof"]
KIND = [("street", "st"), ("avenue", "ave"), ("road", "rd"), ("boulevard", "blvd"),
        ("drive", "dr"), ("lane", "ln")]
CITY = ["springfield", "portland", "berlin", "paris", "austin", "denver", "münchen", "lyon",
        "new york", "san josé", "boston", "madrid"]
BRAND = ["apple", "samsung", "sony", "lg", "bosch", "dell", "hp", "lenovo", "philips", "canon"]
ITEM = ["iphone", "galaxy", "headphones", "monitor", "laptop", "drill", "camera", "tv", "tablet",
        "printer", "speaker", "charger"]
FEATURES = ["pro", "max", "ultra", "mini", "plus", "256gb", "128gb", "16gb", "4k", "oled", "wireless",
        "black", "silver", "graphite", "blue", '27"', "15.6", "2023", "gen", "usb-c"]


def person(rng):
    words = [rng.choice(FIRST)]
    if rng.random() < 0.4:
        words.append(rng.choice(MIDDLE))
    words.append(rng.choice(LAST))
    if rng.random() < 0.15:
        words.append(rng.choice(LAST))
    return words


def address(rng):
    kind = rng.choice(KIND)
    words = [str(rng.randint(1, 999)), rng.choice(STREET), kind[0]]
    if rng.random() < 0.4:
        words += ["apt", str(rng.randint(1, 40))]
    words += rng.choice(CITY).split() + [str(rng.randint(10000, 99999))]
    return words[:10]


def product(rng):
    words = [rng.choice(BRAND), rng.choice(ITEM)]
    words += rng.sample(FEATURES, rng.randint(1, 7))
    return words[:10]


ABBREV = {full: short for full, short in KIND}


def typo(rng, word):
    if len(word) < 3:
        return word
    s = list(word)
    k = rng.randrange(len(s) - 1)
    op = rng.randrange(3)
    if op == 0:
        s[k], s[k + 1] = s[k + 1], s[k]
    elif op == 1:
        s[k] = rng.choice("aeiourstn")
    else:
        del s[k]
    return "".join(s)


def variant(rng, words, make):
    r = rng.random()
    if r < 0.25:
        return make(rng)  # unrelated text of the same kind
    words = words[:]
    if r < 0.5:
        rng.shuffle(words)
    words = [ABBREV.get(w, w) if rng.random() < 0.7 else w for w in words]
    words = [typo(rng, w) if rng.random() < 0.2 else w for w in words]
    if rng.random() < 0.3 and len(words) > 2:
        del words[rng.randrange(len(words))]
    if rng.random() < 0.3:
        words.insert(rng.randrange(len(words) + 1), rng.choice(FEATURES + MIDDLE))
    if rng.random() < 0.15:
        words = words + make(rng)  # a much longer text: the partial branch of w_ratio
    return words


def pairs_of(make, count, seed):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = make(rng)
        pairs.append((" ".join(a), " ".join(variant(rng, a, make))))
    return pairs


def best_of(fn, repeat):
    return min(timeit.repeat(fn, number=1, repeat=repeat))


SCORERS = [
    ("token_set_ratio", qf.token_set_ratio, qf.token_set_ratio_batch, "token_set_ratio", None),
    ("partial_token_ratio", qf.partial_token_ratio, qf.partial_token_ratio_batch,
     "partial_token_ratio", None),
    ("w_ratio", qf.w_ratio, qf.w_ratio_batch, "WRatio", None),
    ("w_ratio cutoff=85", qf.w_ratio, qf.w_ratio_batch, "WRatio", 85.0),
]


def run(label, pairs, repeat):
    n = len(pairs)
    print(f"\n{label}: {n} pairs")
    print(f"{'scorer':22} {'ours us':>8} {'rf us':>8} {'ratio':>6} | "
          f"{'batch ns':>9} {'rf ns':>9} {'ratio':>6}")
    firsts = [a for a, _ in pairs]
    seconds = [b for _, b in pairs]
    for name, ours, ours_batch, rf_name, cutoff in SCORERS:
        t_ours = best_of(lambda: [ours(a, b, score_cutoff=cutoff) for a, b in pairs], repeat)
        t_batch = best_of(lambda: ours_batch(pairs, score_cutoff=cutoff), repeat)
        line = f"{name:22} {t_ours / n * 1e6:8.3f} "
        if rf is not None:
            peer = getattr(rf, rf_name)
            t_rf = best_of(lambda: [peer(a, b, score_cutoff=cutoff) for a, b in pairs], repeat)
            t_rf_batch = best_of(
                lambda: rf_process.cpdist(firsts, seconds, scorer=peer, score_cutoff=cutoff,
                                          workers=-1),
                repeat,
            )
            line += (f"{t_rf / n * 1e6:8.3f} {t_rf / t_ours:6.2f} | "
                     f"{t_batch / n * 1e9:9.1f} {t_rf_batch / n * 1e9:9.1f} "
                     f"{t_rf_batch / t_batch:6.2f}")
        else:
            line += f"{'-':>8} {'-':>6} | {t_batch / n * 1e9:9.1f}"
        print(line)


def main():
    for label, make, seed in (("person names", person, 1), ("addresses", address, 2),
                              ("product titles", product, 3)):
        run(label, pairs_of(make, 8000, seed), repeat=9)


if __name__ == "__main__":
    main()
