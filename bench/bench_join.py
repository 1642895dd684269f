"""Similarity join benchmark: self-joins of generated person names with controlled typos.

    PYTHONPATH=build/dev/stage python -P bench/bench_join.py [--sizes 10000,100000,1000000]
        [--check 20000] [--workers -1]

The generator draws first names, optional middle initials and surnames (common ones and
syllable-built ones, with Zipf-like weights), and makes a share of the records near-duplicates
of earlier ones with one or two typos (insertion, deletion, substitution or transposition of
neighbouring letters). For each size and scorer the script prints the time, the peak memory of
the process, the pairs found and the candidates the filter let through per pair found; with
--check it also compares the filtered join with scoring every pair on a sample.
"""

from __future__ import annotations

import argparse
import random
import resource
import time

import numpy as np

from quorvalex import distance, fuzz
from quorvalex import _join

FIRST = """james mary robert patricia john jennifer michael linda david elizabeth william barbara
richard susan joseph jessica thomas sarah charles karen christopher lisa daniel nancy matthew
betty anthony sandra mark margaret donald ashley steven kimberly andrew emily paul donna joshua
michelle kenneth carol kevin amanda brian melissa george deborah timothy stephanie ronald rebecca
jason sharon edward laura jeffrey cynthia ryan dorothy jacob amy gary kathleen nicholas angela
eric shirley jonathan emma stephen brenda larry pamela justin nicole scott anna brandon samantha
benjamin katherine samuel christine gregory debra alexander rachel patrick carolyn frank janet
raymond maria jack olivia dennis heather jerry helen tyler catherine aaron diane jose julie adam
victoria nathan joyce henry lauren zachary kelly douglas christina peter ruth kyle joan noah
virginia ethan judith jeremy evelyn walter hannah christian andrea keith megan roger cheryl terry
jacqueline austin martha sean madison gerald teresa carl kathryn harold sara dylan janice arthur
julia lawrence grace jordan judy jesse abigail bryan alice billy denise bruce amber gabriel
marilyn joe beverly logan danielle alan theresa juan sophia wayne marie elijah diana randy
brittany roy natalie vincent isabella ralph charlotte eugene rose russell alexis bobby kayla
mason lucia pierre jurgen francois anais bjorn sofia giulia mateo camille lukas""".split()

LAST = """smith johnson williams brown jones garcia miller davis rodriguez martinez hernandez
lopez gonzalez wilson anderson thomas taylor moore jackson martin lee perez thompson white harris
sanchez clark ramirez lewis robinson walker young allen king wright scott torres nguyen hill
flores green adams nelson baker hall rivera campbell mitchell carter roberts gomez phillips evans
turner diaz parker cruz edwards collins reyes stewart morris morales murphy cook rogers gutierrez
ortiz morgan cooper peterson bailey reed kelly howard ramos kim cox ward richardson watson brooks
chavez wood james bennett gray mendoza ruiz hughes price alvarez castillo sanders patel myers
long ross foster jimenez muller schmidt schneider fischer weber meyer wagner becker schulz dubois
lefebvre moreau laurent rossi russo ferrari esposito bianchi romano colombo""".split()

SYLLABLES = """an ber bach berg bro ca chen dal der don el en er fa ford gan gar hal han har
hof ing is ja kel ker la land lar ley lin lo man mar mer mon na ner ni no ol ott pe per ra ren
ri ro sa sen ser son ta ten ter ti to ur va ven vik wal war wen win""".split()


def _weights(n: int, flatten: int) -> list[float]:
    # Zipf-like with a flattened head: weight 1 / (k + flatten) for the k-th most common name.
    # With the values below the most common first name is about 1.7% of the records and the
    # most common surname about 0.6%, near what census tables show for the most common names.
    return [1.0 / (k + flatten) for k in range(n)]


def generate_names(n: int, seed: int = 12345, typo_share: float = 0.3) -> list[str]:
    """n person names, `typo_share` of them near-duplicates of earlier ones."""
    rng = random.Random(seed)
    built_first = {"".join(rng.choice(SYLLABLES) for _ in range(rng.randint(2, 3)))
                   for _ in range(3000)}
    firsts = FIRST + sorted(built_first)
    built_last = {"".join(rng.choice(SYLLABLES) for _ in range(rng.randint(2, 4)))
                  for _ in range(max(20000, n // 5))}
    lasts = LAST + sorted(built_last)
    first_w = _weights(len(firsts), 10)
    last_w = _weights(len(lasts), 20)
    letters = "abcdefghijklmnopqrstuvwxyz"
    names: list[str] = []
    draws_first = rng.choices(firsts, first_w, k=n)
    draws_last = rng.choices(lasts, last_w, k=n)
    for k in range(n):
        if names and rng.random() < typo_share:
            s = list(rng.choice(names))
            for _ in range(rng.choice((1, 1, 2))):
                op = rng.randrange(4)
                p = rng.randrange(len(s))
                if op == 0:
                    s.insert(p, rng.choice(letters))
                elif op == 1 and len(s) > 1:
                    del s[p]
                elif op == 2:
                    s[p] = rng.choice(letters)
                elif p + 1 < len(s):
                    s[p], s[p + 1] = s[p + 1], s[p]
            names.append("".join(s))
            continue
        middle = f" {rng.choice(letters)}" if rng.random() < 0.3 else ""
        names.append(f"{draws_first[k]}{middle} {draws_last[k]}")
    return names


def peak_mib() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def run(names: list[str], scorer, cutoff, workers: int, use_filter: bool = True):
    t0 = time.perf_counter()
    c0 = time.process_time()
    li, ri, scores, stats = _join._join(names, None, scorer, cutoff, None, workers, {},
                                        use_filter)
    run.cpu = time.process_time() - c0
    return time.perf_counter() - t0, li, ri, scores, stats


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--sizes", default="10000,100000,1000000")
    parser.add_argument("--check", type=int, default=20000,
                        help="sample size compared with scoring every pair (0: skip)")
    parser.add_argument("--workers", type=int, default=-1)
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--peer", type=int, default=0,
                        help="also time RapidFuzz's process.cdist on this many names, side by side")
    parser.add_argument("--families", type=int, default=0,
                        help="also join this many names with one scorer of each filter family")
    args = parser.parse_args()
    if args.peer:
        from rapidfuzz import distance as rf_distance, fuzz as rf_fuzz, process as rf_process
        names = generate_names(args.peer)
        for ours, theirs, cutoff, dtype in [
                (distance.levenshtein_distance, rf_distance.Levenshtein.distance, 2, np.uint8),
                (fuzz.ratio, rf_fuzz.ratio, 90, np.float32)]:
            best_ours = best_theirs = float("inf")
            for _ in range(max(1, args.repeat)):
                t, li, _, _, _ = run(names, ours, cutoff, args.workers)
                best_ours = min(best_ours, t)
                t0 = time.perf_counter()
                matrix = rf_process.cdist(names, names, scorer=theirs, score_cutoff=cutoff,
                                          dtype=dtype, workers=args.workers)
                upper = np.triu(matrix <= cutoff if dtype == np.uint8 else matrix >= cutoff, 1)
                found = int(upper.sum())
                best_theirs = min(best_theirs, time.perf_counter() - t0)
                del matrix, upper
            print(f"side by side on {args.peer} names, {ours.__name__} {cutoff}: join "
                  f"{best_ours:.2f} s ({len(li)} pairs), RapidFuzz cdist + filter "
                  f"{best_theirs:.2f} s ({found} pairs): {best_theirs / best_ours:.0f}x",
                  flush=True)
    if args.families:
        names = generate_names(args.families)
        import quorvalex
        table = [(distance.levenshtein_normalized_similarity, 0.85),
                 (distance.osa_distance, 2), (distance.damerau_levenshtein_distance, 1),
                 (distance.indel_distance, 3), (distance.lcs_seq_normalized_similarity, 0.9),
                 (fuzz.token_sort_ratio, 90), (quorvalex.jaccard_similarity, 0.6),
                 (quorvalex.sorensen_dice_similarity, 0.7), (quorvalex.cosine_similarity, 0.7),
                 (quorvalex.overlap_similarity, 0.9), (distance.jaro_winkler_similarity, 0.95)]
        for scorer, cutoff in table:
            t, li, _, _, (filt, candidates, pairs) = run(names, scorer, cutoff, args.workers)
            every = args.families * (args.families - 1) // 2
            print(f"n={args.families} {scorer.__name__:>38} {cutoff:>5}: {t:6.2f} s "
                  f"(cpu {run.cpu:6.2f} s), {pairs} pairs, {candidates} candidates "
                  f"({filt}: {candidates / max(pairs, 1):.1f} per pair, "
                  f"{candidates / every:.2%} of all pairs)", flush=True)
    scorers = [(distance.levenshtein_distance, 2), (fuzz.ratio, 90)]
    if args.check:
        names = generate_names(args.check)
        for scorer, cutoff in scorers:
            tf, *filtered, _ = run(names, scorer, cutoff, args.workers)
            tb, *every, _ = run(names, scorer, cutoff, args.workers, use_filter=False)
            same = all(np.array_equal(a, b) for a, b in zip(filtered, every))
            print(f"check {scorer.__name__} {cutoff} on {args.check}: same pairs as scoring "
                  f"every pair: {same} ({len(filtered[0])} pairs); filtered {tf:.2f} s, "
                  f"every pair {tb:.2f} s, ratio {tb / tf:.1f}x")
    for n in map(int, args.sizes.split(",")):
        names = generate_names(n)
        for scorer, cutoff in scorers:
            best = None
            for _ in range(args.repeat):
                t, li, _, _, stats = run(names, scorer, cutoff, args.workers)
                if best is None or t < best:
                    best, cpu = t, run.cpu
            filt, candidates, pairs = stats
            print(f"n={n:>8} {scorer.__name__:>22} cutoff {cutoff:>3}: {best:7.2f} s "
                  f"(cpu {cpu:7.2f} s), "
                  f"peak {peak_mib():7.0f} MiB, {pairs} pairs, {candidates} candidates "
                  f"({filt}: {candidates / max(pairs, 1):.1f} per pair)", flush=True)


if __name__ == "__main__":
    main()
