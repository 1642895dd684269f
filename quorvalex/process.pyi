"""Search: one query against many choices, and many queries against many choices."""

from collections.abc import Callable, Iterator, Mapping, Sequence
from typing import Any, TypeAlias

import numpy.typing as npt

__all__ = ["extract_one", "extract", "extract_iter", "cdist", "cpdist"]

# A choice may be a str or a missing value (None, NaN, pandas.NA); containers may be sequences,
# mappings, pandas Series or numpy arrays of str.
_Container: TypeAlias = Sequence[Any] | Mapping[Any, Any] | Any
_AnyScorer: TypeAlias = Callable[..., Any]
_Processor: TypeAlias = Callable[[str], Any]

def extract_one(
    query: Any,
    choices: _Container,
    *,
    scorer: _AnyScorer = ...,
    processor: _Processor | None = None,
    score_cutoff: Any = None,
    **options: Any,
) -> tuple[Any, Any, Any] | None:
    """The best choice as (choice, score, key), or None when no choice meets the cutoff."""

def extract(
    query: Any,
    choices: _Container,
    *,
    scorer: _AnyScorer = ...,
    processor: _Processor | None = None,
    limit: int | None = 5,
    score_cutoff: Any = None,
    **options: Any,
) -> list[tuple[Any, Any, Any]]:
    """The best `limit` choices (all that meet the cutoff for None) as (choice, score, key),
    best first."""

def extract_iter(
    query: Any,
    choices: _Container,
    *,
    scorer: _AnyScorer = ...,
    processor: _Processor | None = None,
    score_cutoff: Any = None,
    **options: Any,
) -> Iterator[tuple[Any, Any, Any]]:
    """Every choice that meets the cutoff as (choice, score, key), in the order of choices."""

def cdist(
    queries: _Container,
    choices: _Container,
    *,
    scorer: _AnyScorer = ...,
    processor: _Processor | None = None,
    score_cutoff: Any = None,
    dtype: npt.DTypeLike | None = None,
    workers: int = 1,
    **options: Any,
) -> npt.NDArray[Any]:
    """Scores of every query against every choice: an array of shape (len(queries), len(choices))."""

def cpdist(
    queries: _Container,
    choices: _Container,
    *,
    scorer: _AnyScorer = ...,
    processor: _Processor | None = None,
    score_cutoff: Any = None,
    dtype: npt.DTypeLike | None = None,
    workers: int = 1,
    **options: Any,
) -> npt.NDArray[Any]:
    """Scores of queries[i] against choices[i]: an array of shape (len(queries),)."""
