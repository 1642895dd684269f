"""Similarity join of Dask collections: ``quorvalex.dask.join``.

Needs Dask (``pip install 'quorvalex[dask]'``). Each task runs ``quorvalex.process.join`` on one
partition of ``left`` against one partition of ``right`` (or the whole of ``right`` when it is
broadcast), so the pairs found are exactly those of the local join; their positions are turned
into the partitions' index labels.
"""

from __future__ import annotations

from typing import Any

from . import _join
from ._quorvalex import distance as _distance

try:
    import dask
    import dask.dataframe as dd
    import pandas as pd
except ImportError as error:  # pragma: no cover - depends on the environment
    raise ImportError("quorvalex.dask needs Dask and pandas: pip install 'quorvalex[dask]'") \
        from error

__all__ = ["join"]

# A right side whose texts take less than this is broadcast to every task.
BROADCAST_BYTES = 64 << 20


def _column(data: Any, on: str | None, side: str) -> Any:
    if isinstance(data, dd.DataFrame):
        if on is None:
            raise TypeError(f"{side} is a DataFrame: name its column with {side}_on=")
        return data[on]
    if isinstance(data, dd.Series):
        return data
    raise TypeError(f"{side} must be a Dask Series or DataFrame, not {type(data).__name__}")


def _pairs(left: Any, right: Any, arguments: dict[str, Any]) -> Any:
    """The join of two pandas Series (right None: of left with itself), with index labels."""
    li, ri, scores = _join.join(left, right, **arguments)
    other = left if right is None else right
    # The labels keep the index's own type (a string index stays of its string type).
    return pd.DataFrame({"left": left.index.take(li).array, "right": other.index.take(ri).array,
                         "score": scores})


def join(left: Any, right: Any = None, *, scorer: Any = _distance.levenshtein_distance,
         score_cutoff: Any, processor: Any = None, left_on: str | None = None,
         right_on: str | None = None, broadcast: bool | None = None, **options: Any) -> Any:
    """Every pair of ``left`` and ``right`` (Dask Series, or DataFrames with ``left_on`` and
    ``right_on`` naming the columns) whose score meets ``score_cutoff``, as a Dask DataFrame
    with columns ``left`` and ``right`` (index labels) and ``score``.

    ``right=None`` joins ``left`` with itself and gives each unordered pair once: within a
    partition with the smaller position first, across partitions with the earlier partition's
    label first. ``broadcast=None`` sends the whole of ``right`` to every task when its texts
    take less than 64 MiB, and joins every partition of ``left`` with every partition of
    ``right`` otherwise; ``True`` or ``False`` decide it. Every other argument is that of
    ``quorvalex.process.join``; ``workers`` is the thread count inside each task.
    """
    arguments = dict(scorer=scorer, score_cutoff=score_cutoff, processor=processor, **options)
    # Errors of the arguments come here, before any task runs.
    _join.join([], None, **arguments)
    left_series = _column(left, left_on, "left")
    # The score's type: what the scorer gives for one pair.
    sample = _join.join(["a"], ["a"], scorer=scorer, score_cutoff=score_cutoff, **options)[2]
    meta = pd.DataFrame({"left": pd.Series([], dtype=left_series.index.dtype),
                         "right": pd.Series([], dtype=left_series.index.dtype),
                         "score": pd.Series([], dtype=sample.dtype)})
    left_parts = left_series.to_delayed()
    pairs = dask.delayed(_pairs, pure=True)
    tasks = []
    if right is None:
        for i, a in enumerate(left_parts):
            tasks.append(pairs(a, None, arguments))
            for b in left_parts[i + 1:]:
                tasks.append(pairs(a, b, arguments))
    else:
        right_series = _column(right, right_on, "right")
        meta["right"] = pd.Series([], dtype=right_series.index.dtype)
        if broadcast is None:
            size = right_series.map_partitions(
                lambda part: pd.Series([part.memory_usage(deep=True)]), meta=(None, "i8")
            ).sum().compute()
            broadcast = size < BROADCAST_BYTES
        if broadcast:
            right_parts = [right_series.repartition(npartitions=1).to_delayed()[0]]
        else:
            right_parts = right_series.to_delayed()
        for a in left_parts:
            for b in right_parts:
                tasks.append(pairs(a, b, arguments))
    return dd.from_delayed(tasks, meta=meta, verify_meta=False)
