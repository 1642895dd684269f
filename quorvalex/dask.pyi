"""Similarity join of Dask collections."""

from collections.abc import Callable
from typing import Any

__all__ = ["join"]

BROADCAST_BYTES: int

def join(
    left: Any,
    right: Any = None,
    *,
    scorer: Callable[..., Any] = ...,
    score_cutoff: Any,
    processor: Callable[[Any], Any] | None = None,
    left_on: str | None = None,
    right_on: str | None = None,
    broadcast: bool | None = None,
    **options: Any,
) -> Any:
    """Every pair meeting ``score_cutoff``, as a Dask DataFrame (``left``, ``right``, ``score``)."""
