"""``quorvalex demo``: match and dedupe the built-in names with a few scorers, checked against
the true matches."""

from __future__ import annotations

import os
import time
from collections import Counter
from typing import Sequence

from . import commands, table_io
from .demo_data import DemoData, generate
from .errors import CliError
from .progress import Progress

DEFAULT_SIZE = 12000  # reference names; with the queries 21,000 names in all

# (scorer, cutoff) pairs run by the demo; every one goes through the same path as `match`.
# Scorers the join can filter by an index, so that tens of thousands of names take seconds;
# w_ratio (match's default) has no such filter and is left to `match` on the user's own files.
MATCH_SCORERS = (("token_sort_ratio", 85.0), ("token_sort_ratio", 90.0), ("ratio", 85.0),
                 ("levenshtein_normalized_similarity", 0.85),
                 ("levenshtein_normalized_similarity", 0.8))
DEDUPE_SCORERS = (("token_sort_ratio", 90.0), ("ratio", 90.0),
                  ("levenshtein_normalized_similarity", 0.9))
WIDTH = 44  # the longest qualified scorer name above and two spaces


def match_quality(found_left: Sequence[int], found_right: Sequence[int],
                  truth: Sequence[int]) -> tuple[float, float]:
    """Precision and recall of (query, reference) pairs against the true pairs."""
    correct = sum(truth[q] == r for q, r in zip(found_left, found_right))
    expected = sum(t >= 0 for t in truth)
    precision = correct / len(found_left) if len(found_left) else 1.0
    return precision, correct / expected if expected else 1.0


def _pairs(sizes: Counter[int] | Counter[tuple[int, int]]) -> int:
    return sum(n * (n - 1) // 2 for n in sizes.values())


def group_quality(found: Sequence[int], truth: Sequence[int]) -> tuple[float, float]:
    """Precision and recall over the pairs of names put into one group."""
    together = _pairs(Counter(zip(found, truth)))
    found_pairs, true_pairs = _pairs(Counter(found)), _pairs(Counter(truth))
    return (together / found_pairs if found_pairs else 1.0,
            together / true_pairs if true_pairs else 1.0)


def _save(data: DemoData, directory: str) -> None:
    try:
        os.makedirs(directory, exist_ok=True)
    except OSError as error:
        raise CliError(f"cannot create {directory}: {error.strerror}") from None
    table_io.write_columns(os.path.join(directory, "reference.csv"), {"name": data.reference})
    table_io.write_columns(os.path.join(directory, "queries.csv"), {
        "name": data.queries, "true_reference_row": ["" if t < 0 else t for t in data.truth]})


def run_demo(size: int | None, seed: int, workers: int, save: str | None,
             progress: Progress) -> int:
    size = DEFAULT_SIZE if size is None else size
    if size < 10:
        raise CliError(f"--size {size} is impossible: give at least 10")
    commands.check_workers(workers)
    from quorvalex import process

    started = time.perf_counter()
    data = generate(size, seed)
    built = time.perf_counter() - started
    matched = sum(t >= 0 for t in data.truth)
    print(f"Data: {len(data.reference):,} reference names ({data.people:,} people, "
          f"{len(data.reference) - data.people:,} companies; Latin, Cyrillic, Greek and Chinese "
          f"script), {len(data.queries):,} queries ({matched:,} variants of a reference name: "
          f"typos, abbreviations, reordered words, dropped accents and legal forms; "
          f"{len(data.queries) - matched:,} with no counterpart); built in {built:.2f} s, seed {seed}.")
    if save:
        _save(data, save)
        print(f"Saved as {os.path.join(save, 'reference.csv')} and "
              f"{os.path.join(save, 'queries.csv')}; the same match on them:\n"
              f"  quorvalex match {os.path.join(save, 'queries.csv')} "
              f"{os.path.join(save, 'reference.csv')} --left-column name --right-column name")
    print(f"\nmatch: best reference name for each query (top 1), default processor, "
          f"workers={workers}")
    print(f"{'scorer':<{WIDTH}}{'cutoff':>8}{'found':>8}{'precision':>11}{'recall':>9}{'seconds':>9}")
    for name, cutoff in MATCH_SCORERS:
        choice = commands.choose_scorer(name, cutoff, None, "default", workers)
        began = time.perf_counter()
        left, right, _ = commands.match_values(data.queries, data.reference, choice, 1, progress,
                                               f"match {name} {cutoff:g}")
        seconds = time.perf_counter() - began
        precision, recall = match_quality(left.tolist(), right.tolist(), data.truth)
        print(f"{choice.measure.qualified:<{WIDTH}}{cutoff:>8g}{len(left):>8,}{precision:>11.3f}"
              f"{recall:>9.3f}{seconds:>9.2f}")
    names = data.reference + data.queries
    truth = data.groups()
    print(f"\ndedupe: reference names and queries together ({len(names):,} names); "
          f"precision and recall over pairs of names grouped together")
    print(f"{'scorer':<{WIDTH}}{'cutoff':>8}{'groups':>8}{'precision':>11}{'recall':>9}{'seconds':>9}")
    for name, cutoff in DEDUPE_SCORERS:
        choice = commands.choose_scorer(name, cutoff, None, "default", workers)
        began = time.perf_counter()
        with progress.stage(f"dedupe {name} {cutoff:g}", total=len(names)) as bar:
            labels = process.dedupe(names, scorer=choice.measure.function,
                                    score_cutoff=choice.cutoff, processor=choice.processor,
                                    workers=choice.workers)
            bar.update(len(names))
        seconds = time.perf_counter() - began
        found = labels.tolist()
        precision, recall = group_quality(found, truth)
        print(f"{choice.measure.qualified:<{WIDTH}}{cutoff:>8g}{len(set(found)):>8,}{precision:>11.3f}"
              f"{recall:>9.3f}{seconds:>9.2f}")
    print("\nYour own files: quorvalex match LEFT.csv RIGHT.csv --left-column COL "
          "--right-column COL -o matches.csv   (quorvalex match --help)")
    return 0
