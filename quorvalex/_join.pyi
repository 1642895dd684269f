"""Similarity join and deduplication (re-exported by ``quorvalex.process``)."""

from collections.abc import Callable, Iterable
from typing import Any

import numpy as np
import numpy.typing as npt

def join(
    left: Iterable[Any],
    right: Iterable[Any] | None = None,
    *,
    scorer: Callable[..., Any] = ...,
    score_cutoff: Any,
    processor: Callable[[Any], Any] | None = None,
    workers: int = 1,
    **options: Any,
) -> tuple[npt.NDArray[np.intp], npt.NDArray[np.intp], npt.NDArray[Any]]:
    """Every pair of ``left`` and ``right`` whose score meets ``score_cutoff``."""

def dedupe(
    items: Iterable[Any],
    *,
    scorer: Callable[..., Any] = ...,
    score_cutoff: Any,
    processor: Callable[[Any], Any] | None = None,
    workers: int = 1,
    **options: Any,
) -> npt.NDArray[np.intp]:
    """Group labels, one per item: the smallest index of each connected component."""

def components(count: int, left_index: Any, right_index: Any) -> npt.NDArray[np.intp]:
    """Labels of the connected components of a graph on ``count`` nodes."""
