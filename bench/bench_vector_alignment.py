"""Set, vector and alignment measures, scalar and batch, beside textdistance (if installed).

Run:  PYTHONPATH=build/<name>/stage python -P bench/bench_vector_alignment.py [--long-peers]
      [--counting-only] [--stringzilla-only]
Prints the time per pair, our batch speed-up over our scalar loop, and the ratio
peer time / our time (> 1 means we are faster). textdistance is pure Python, so at ~2,000
characters its alignments take seconds per pair: they are timed only with --long-peers.
rapidfuzz, jellyfish and Levenshtein offer none of these measures. textdistance's
Smith-Waterman reads the last matrix cell rather than the best one, so its values differ.

Alignment scores on DNA are also timed beside StringZilla (pip install stringzillas-cpus), whose
engines score every query against every candidate: its time per alignment is that of a square
cross product, on one core (beside our scalar loop) and on all cores (beside our batch).
"""

import random
import sys
import timeit

import quorvalex as q

try:
    import textdistance as td
except ImportError:  # pragma: no cover
    td = None

WORDS = ["new", "york", "mets", "meats", "yankees", "john", "jon", "smith", "smyth", "street",
         "st", "avenue", "ave", "the", "of", "and", "company", "co", "inc", "limited"]  # fmt: skip


def word_pairs(count, seed):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = [rng.choice(WORDS) for _ in range(rng.randint(2, 6))]
        b = [w if rng.random() < 0.6 else rng.choice(WORDS) for w in a]
        if rng.random() < 0.3:
            b.append(rng.choice(WORDS))
        rng.shuffle(b)
        pairs.append((" ".join(a), " ".join(b)))
    return pairs


def text_pairs(length, count, seed):
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = "".join(rng.choice("abcdefgh ") for _ in range(length))
        b = list(a)
        for _ in range(max(1, length // 10)):
            b[rng.randrange(len(b))] = rng.choice("abcdefgh ")
        pairs.append((a, "".join(b)))
    return pairs


def long_word_pairs(length, count, seed, alphabet="abcdefghijklmnopqrstuvwxyz"):
    """Texts of about `length` characters: words of 2 to 9 letters drawn from a vocabulary of
    300, the second text sharing about 60 % of the first's words in another order."""
    rng = random.Random(seed)
    vocab = ["".join(rng.choice(alphabet) for _ in range(rng.randint(2, 9))) for _ in range(300)]

    def text():
        out, n = [], 0
        while n < length:
            out.append(rng.choice(vocab))
            n += len(out[-1]) + 1
        return out

    pairs = []
    for _ in range(count):
        a = text()
        b = [w if rng.random() < 0.6 else rng.choice(vocab) for w in a]
        rng.shuffle(b)
        pairs.append((" ".join(a), " ".join(b)))
    return pairs


def best_of(fn, repeat):
    return min(timeit.repeat(fn, number=1, repeat=repeat))


def peer(name):
    """textdistance objects configured as the same measure as ours, or None."""
    if td is None:
        return None
    return {
        "jaccard": lambda: td.Jaccard(qval=None).similarity,
        "cosine words": lambda: td.Cosine(qval=None).similarity,
        "cosine bigrams": lambda: td.Cosine(qval=2).similarity,
        "sorensen-dice": lambda: td.Sorensen(qval=None).similarity,
        "overlap": lambda: td.Overlap(qval=None).similarity,
        "needleman-wunsch": lambda: td.NeedlemanWunsch(gap_cost=1.0).similarity,
        "smith-waterman": lambda: td.SmithWaterman(gap_cost=1.0).similarity,
    }.get(name, lambda: None)()


def run(name, scalar, batch, pairs, repeat, with_peer=True, peer_pairs=200):
    n = len(pairs)
    t_ours = best_of(lambda: [scalar(a, b) for a, b in pairs], repeat)
    t_batch = best_of(lambda: batch(pairs), repeat)
    row = [f"{name:<17}", f"{len(pairs[0][0]):>5} ch", f"ours {t_ours / n * 1e9:10.0f} ns",
           f"batch {t_batch / n * 1e9:10.0f} ns (x{t_ours / t_batch:4.2f})"]  # fmt: skip
    other = peer(name) if with_peer else None
    if other is not None:
        subset = pairs[: max(1, min(n, peer_pairs))]
        k = len(subset)
        t_ours_subset = best_of(lambda: [scalar(a, b) for a, b in subset], repeat)
        t_peer = best_of(lambda: [other(a, b) for a, b in subset], 1)
        same = sum(scalar(a, b) == other(a, b) for a, b in subset)
        row.append(f"textdistance x{t_peer / t_ours_subset:8.1f} (equal values {same}/{k})")
    print("  ".join(row), flush=True)


def counting(repeat=5):
    """Word and n-gram counting on longer texts: time per input character (both texts) of a
    scalar call, and textdistance's time over ours."""
    print("\nword and n-gram counting: ns per input character (scalar calls), textdistance / ours")
    measures = [
        ("jaccard", q.jaccard_similarity),
        ("sorensen-dice", q.sorensen_dice_similarity),
        ("overlap", q.overlap_similarity),
        ("cosine words", q.cosine_similarity),
        ("cosine bigrams", lambda a, b: q.cosine_similarity(a, b, use_words=False)),
        ("soft tf-idf", q.soft_tfidf_similarity),
    ]
    for label, alphabet in (("ascii", "abcdefghijklmnopqrstuvwxyz"),
                            ("cyrillic", "абвгдежзийклмнопрстуфхцчшщъыьэюя")):
        for length, count in ((100, 2000), (1000, 200)):
            pairs = long_word_pairs(length, count, length, alphabet)
            chars = sum(len(a) + len(b) for a, b in pairs)
            for name, ours in measures:
                t_ours = best_of(lambda: [ours(a, b) for a, b in pairs], repeat)
                row = f"{label:9} {length:5} ch  {name:15} {t_ours / chars * 1e9:7.2f} ns/char"
                other = peer(name)
                if other is not None:
                    subset = pairs[:50]
                    t_sub = best_of(lambda: [ours(a, b) for a, b in subset], repeat)
                    t_peer = best_of(lambda: [other(a, b) for a, b in subset], 3)
                    same = sum(abs(ours(a, b) - other(a, b)) < 1e-12 for a, b in subset)
                    row += f"  textdistance x{t_peer / t_sub:7.1f} (equal {same}/{len(subset)})"
                print(row, flush=True)


def dna_pairs(length, count, seed):
    """Random DNA and a copy with about one symbol in ten replaced."""
    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        a = "".join(rng.choices("ACGT", k=length))
        b = list(a)
        for _ in range(length // 10):
            b[rng.randrange(length)] = rng.choice("ACGT")
        pairs.append((a, "".join(b)))
    return pairs


def stringzilla_alignment(repeat=15):
    """Needleman-Wunsch and Smith-Waterman with match 1, mismatch 0, gap 1 (integers: our
    integer lanes) beside StringZilla's engines with the same costs over byte classes; and our
    double recurrence (match_score=1.5: same work, other values) for comparison."""
    try:
        import numpy as np
        import stringzilla as sz
        import stringzillas as szs
    except ImportError:
        print("\nstringzillas-cpus not installed (pip install stringzillas-cpus): skipped")
        return
    print("\nDNA alignment beside StringZilla: us per alignment; ratios StringZilla / ours "
          "(> 1: we are faster)")  # fmt: skip
    classes = (np.arange(256) % 32).astype(np.uint8)  # A, C, G, T fall in four classes
    costs = np.zeros((32, 32), dtype=np.int8)
    np.fill_diagonal(costs, 1)
    one, every = szs.DeviceScope(cpu_cores=1), szs.DeviceScope()
    engines = {
        "needleman-wunsch": (q.needleman_wunsch_score, q.needleman_wunsch_score_batch,
                             szs.NeedlemanWunschScores),
        "smith-waterman": (q.smith_waterman_score, q.smith_waterman_score_batch,
                           szs.SmithWatermanScores),
    }  # fmt: skip
    for length, count in ((100, 1024), (1000, 64)):
        pairs = dna_pairs(length, count, length)
        side = int(count**0.5)
        queries = sz.Strs([a for a, _ in pairs[:side]])
        candidates = sz.Strs([b for _, b in pairs[:side]])
        for name, (scalar, batch, engine) in engines.items():
            on_one = engine(classes, costs, -1, -1, one)
            on_every = engine(classes, costs, -1, -1, every)
            t_scalar = best_of(lambda: [scalar(a, b) for a, b in pairs], repeat) / count
            t_batch = best_of(lambda: batch(pairs), repeat) / count
            t_double = best_of(lambda: batch(pairs, match_score=1.5), repeat) / count
            t_sz1 = best_of(lambda: on_one(queries, candidates, device=one), repeat) / side**2
            t_sz = best_of(lambda: on_every(queries, candidates, device=every), repeat) / side**2
            grid = on_every(queries, candidates, device=every)
            ours = batch([(a, b) for a, _ in pairs[:side] for _, b in pairs[:side]])
            same = sum(float(v) == w for v, w in zip(grid.ravel(), ours))
            print(f"{name:<17} {length:>5} ch  scalar {t_scalar * 1e6:8.2f}  batch "
                  f"{t_batch * 1e6:8.2f}  doubles batch {t_double * 1e6:8.2f} | StringZilla "
                  f"1 core {t_sz1 * 1e6:8.2f} x{t_sz1 / t_scalar:4.2f}  all cores "
                  f"{t_sz * 1e6:8.2f} x{t_sz / t_batch:4.2f} | doubles / integers "
                  f"x{t_double / t_batch:4.2f}  (equal {same}/{side**2})", flush=True)  # fmt: skip


def main():
    if "--stringzilla-only" in sys.argv:
        stringzilla_alignment()
        return
    long_peers = "--long-peers" in sys.argv
    print("ratios are peer time / our time (> 1: we are faster); batch ratio is scalar / batch")
    if td is None:
        print("textdistance not installed: peer columns skipped")
    words = word_pairs(20000, 1)
    run("jaccard", q.jaccard_similarity, q.jaccard_similarity_batch, words, 5)
    run("cosine words", q.cosine_similarity, q.cosine_similarity_batch, words, 5)

    def bigram(a, b):
        return q.cosine_similarity(a, b, use_words=False)

    def bigram_batch(pairs):
        return q.cosine_similarity_batch(pairs, use_words=False)

    run("cosine bigrams", bigram, bigram_batch, words, 5)
    run("soft tf-idf", q.soft_tfidf_similarity, q.soft_tfidf_similarity_batch, words, 5)

    counting()
    if "--counting-only" in sys.argv:
        return

    for length, count, repeat in [(100, 2000, 3), (2000, 20, 2)]:
        pairs = text_pairs(length, count, length)
        with_peer = length <= 100 or long_peers
        peer_pairs = 50 if length <= 100 else 1
        run("needleman-wunsch", q.needleman_wunsch_score, q.needleman_wunsch_score_batch, pairs,
            repeat, with_peer, peer_pairs)  # fmt: skip
        run("smith-waterman", q.smith_waterman_score, q.smith_waterman_score_batch, pairs, repeat,
            with_peer, peer_pairs)  # fmt: skip
    stringzilla_alignment()


if __name__ == "__main__":
    main()
