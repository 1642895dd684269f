"""Similarity join and deduplication: every pair of texts whose score meets a cutoff, exactly.

``join(left, right)`` finds every pair ``(i, j)`` with ``scorer(left[i], right[j])`` meeting
``score_cutoff``; ``join(left)`` every pair ``i < j`` of one list; ``dedupe(items)`` groups the
items into the connected components of those pairs. The scorers of this package run natively:
an index proposes the pairs that can meet the cutoff (a segment filter for edit distances and
the ratios read off the LCS, a prefix filter for the word and n-gram overlap measures, a length
filter for Jaro and Jaro-Winkler) and the scorer's own kernel decides every proposed pair, so
the result is exactly that of scoring every pair. Other scorers score every pair.
"""

from __future__ import annotations

import math
from typing import Any

from . import _extra_modules, _quorvalex
from ._quorvalex import distance as _distance, fuzz as _fuzz

_native = _extra_modules.load("_join_native")


def _numpy() -> Any:
    try:
        import numpy
    except ImportError:
        raise ImportError("quorvalex.process.join and dedupe return numpy arrays; install numpy "
                          "(pip install numpy)") from None
    return numpy


def _native_name(scorer: Any) -> str | None:
    """The name of a scalar function of this package, or None for any other callable."""
    name = getattr(scorer, "__name__", None)
    if not isinstance(name, str):
        return None
    for module in (_distance, _fuzz, _quorvalex):
        if getattr(module, name, None) is scorer:
            if name.endswith("_batch"):
                raise TypeError(f"{name} scores a list of pairs; pass the scalar function "
                                f"{name[:-len('_batch')]} as scorer")
            return name
    return None


def _is_missing(item: Any) -> bool:
    if item is None:
        return True
    if isinstance(item, float):
        return math.isnan(item)
    return type(item).__name__ == "NAType"


def _texts(items: Any, side: str, processor: Any) -> tuple[list[str], list[int]]:
    """The texts (after the processor) and positions of the items that are not missing."""
    if isinstance(items, str):
        raise TypeError(f"{side} must be a sequence of str, not a str")
    values = items.tolist() if hasattr(items, "tolist") else list(items)
    texts: list[str] = []
    positions: list[int] = []
    for i, item in enumerate(values):
        if _is_missing(item):
            continue
        if processor is not None:
            item = processor(item)
            if _is_missing(item):
                continue
        if not isinstance(item, str):
            what = "the processor's result for " if processor is not None else ""
            raise TypeError(f"{what}{side}[{i}] must be a str, not {type(item).__name__}")
        texts.append(item)
        positions.append(i)
    return texts, positions


def _max_workers(workers: Any) -> int:
    if isinstance(workers, bool) or not isinstance(workers, int):
        raise TypeError(f"workers must be an int, not {type(workers).__name__}")
    if workers == -1:
        return 0
    if workers < 1:
        raise ValueError("workers must be -1 (every thread of the pool) or at least 1")
    return workers


def _brute_force(scorer: Any, left: list[str], right: list[str] | None, score_cutoff: Any,
                 options: dict[str, Any]) -> tuple[list[int], list[int], list[Any]]:
    """Every pair scored by a Python callable."""
    lower = getattr(scorer, "__name__", "").endswith("_distance")
    li: list[int] = []
    ri: list[int] = []
    scores: list[Any] = []
    others = left if right is None else right
    for i, a in enumerate(left):
        for j in range(i + 1 if right is None else 0, len(others)):
            score = scorer(a, others[j], score_cutoff=score_cutoff, **options)
            if score is None:
                continue
            if (score <= score_cutoff) if lower else (score >= score_cutoff):
                li.append(i)
                ri.append(j)
                scores.append(score)
    return li, ri, scores


def _join(left: Any, right: Any, scorer: Any, score_cutoff: Any, processor: Any, workers: Any,
          options: dict[str, Any], use_filter: bool = True) -> tuple[Any, Any, Any, Any]:
    np = _numpy()
    if score_cutoff is None:
        raise TypeError("score_cutoff is required: the join keeps the pairs that meet it")
    if not callable(scorer):
        raise TypeError(f"scorer must be callable, not {type(scorer).__name__}")
    name = _native_name(scorer)
    max_workers = _max_workers(workers)
    # The scorer checks its options and cutoff itself: its own messages, before any work.
    scorer("", "", score_cutoff=score_cutoff, **options)
    left_texts, left_pos = _texts(left, "left", processor)
    if right is None:
        right_texts, right_pos = None, left_pos
    else:
        right_texts, right_pos = _texts(right, "right", processor)
    stats: Any = None
    if name is not None:
        li_b, ri_b, sc_b, integer, stats = _native.join(
            tuple(left_texts), None if right_texts is None else tuple(right_texts), name,
            options, score_cutoff, max_workers, use_filter)
        li = np.frombuffer(li_b, dtype=np.uint32)
        ri = np.frombuffer(ri_b, dtype=np.uint32)
        scores = np.frombuffer(sc_b, dtype=np.int64 if integer else np.float64)
    else:
        li_l, ri_l, sc_l = _brute_force(scorer, left_texts, right_texts, score_cutoff, options)
        li = np.asarray(li_l, dtype=np.intp)
        ri = np.asarray(ri_l, dtype=np.intp)
        integer = all(isinstance(s, int) for s in sc_l) and bool(sc_l)
        scores = np.asarray(sc_l, dtype=np.int64 if integer else np.float64)
    left_index = np.asarray(left_pos, dtype=np.intp)[li]
    right_index = np.asarray(right_pos, dtype=np.intp)[ri]
    return left_index, right_index, scores, stats


def join(left: Any, right: Any = None, *, scorer: Any = _distance.levenshtein_distance,
         score_cutoff: Any, processor: Any = None, workers: int = 1,
         **options: Any) -> tuple[Any, Any, Any]:
    """Every pair of ``left`` and ``right`` whose score meets ``score_cutoff``.

    Returns three numpy arrays ``(left_index, right_index, score)`` sorted by
    ``(left_index, right_index)``: positions in ``left`` and ``right`` and the score
    ``scorer(processor(left[i]), processor(right[j]), score_cutoff=score_cutoff, **options)``
    of each pair that meets the cutoff (at or below it for ``*_distance`` scorers, at or above
    it for the others). ``right=None`` joins ``left`` with itself and gives each unordered pair
    once, with ``left_index < right_index``. Missing values (None, NaN, ``pandas.NA``) are
    skipped. Scores are int64 for integer scorers and float64 for the others. ``workers=-1``
    uses every thread of the pool, ``n`` at most n; the result never depends on it.

    The package's scalar functions run natively behind an index that proposes only pairs that
    can meet the cutoff. Any other callable ``f(s1, s2, *, score_cutoff, **options)`` is called
    for every pair (lower is better when its ``__name__`` ends in ``_distance``; a result of
    None is no score).
    """
    li, ri, scores, _ = _join(left, right, scorer, score_cutoff, processor, workers, options)
    return li, ri, scores


def components(count: int, left_index: Any, right_index: Any) -> Any:
    """Labels of the connected components of a graph on ``count`` nodes: the smallest node of
    each component."""
    np = _numpy()
    parent = np.arange(count, dtype=np.intp)
    a = np.asarray(left_index, dtype=np.intp)
    b = np.asarray(right_index, dtype=np.intp)
    # Every pointer goes to a smaller node, so the roots are the smallest nodes of their trees;
    # hooking the larger root of each edge under the smaller one merges the two trees.
    while True:
        ra, rb = parent[a], parent[b]
        differ = ra != rb
        if not differ.any():
            return parent
        lo = np.minimum(ra[differ], rb[differ])
        hi = np.maximum(ra[differ], rb[differ])
        np.minimum.at(parent, hi, lo)
        while True:  # point every node at its root
            grand = parent[parent]
            if (grand == parent).all():
                break
            parent = grand


def dedupe(items: Any, *, scorer: Any = _distance.levenshtein_distance, score_cutoff: Any,
           processor: Any = None, workers: int = 1, **options: Any) -> Any:
    """Group labels, one per item: items are in one group when a chain of pairs meeting
    ``score_cutoff`` links them (the connected components of ``join(items)``). The label of a
    group is its smallest index; a missing value is a group of its own."""
    if not hasattr(items, "__len__"):
        items = list(items)  # an iterator is read once
    li, ri, _, _ = _join(items, None, scorer, score_cutoff, processor, workers, options)
    return components(len(items), li, ri)
