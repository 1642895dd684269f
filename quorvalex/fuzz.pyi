"""Fuzzy ratios from 0 to 100 and their batch forms."""

from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex, TypeAlias

# Float options and float cutoffs accept any object with __float__ or __index__.
_Real: TypeAlias = SupportsFloat | SupportsIndex
_Pairs: TypeAlias = Sequence[tuple[str, str]]

__all__ = [
    "ratio", "ratio_batch", "partial_ratio", "partial_ratio_batch", "token_sort_ratio",
    "token_set_ratio", "token_ratio", "token_sort_ratio_batch", "token_set_ratio_batch",
    "token_ratio_batch", "partial_token_sort_ratio", "partial_token_set_ratio",
    "partial_token_ratio", "partial_token_sort_ratio_batch", "partial_token_set_ratio_batch",
    "partial_token_ratio_batch", "w_ratio", "q_ratio", "w_ratio_batch", "q_ratio_batch",
]

def ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Normalized Indel similarity on a 0-100 scale: 100 * 2 * LCS length / (len(s1) + len(s2))."""

def ratio_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """ratio of every pair, in the order of pairs."""

def partial_ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Best ratio of the shorter text against the windows of the longer one, from 0 to 100."""

def partial_ratio_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """partial_ratio of every pair, in the order of pairs."""

def token_sort_ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """ratio of the texts with their words sorted, from 0 to 100."""

def token_set_ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Ratio of the words the texts share against the words each has alone, from 0 to 100."""

def token_ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """The larger of token_sort_ratio and token_set_ratio, from 0 to 100."""

def token_sort_ratio_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """token_sort_ratio of every pair, in the order of pairs."""

def token_set_ratio_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """token_set_ratio of every pair, in the order of pairs."""

def token_ratio_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """token_ratio of every pair, in the order of pairs."""

def partial_token_sort_ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """partial_ratio of the texts with their words sorted, from 0 to 100."""

def partial_token_set_ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """partial_ratio of the words each text has alone; 100.0 when the texts share a word."""

def partial_token_ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """The larger of partial_token_sort_ratio and partial_token_set_ratio, from 0 to 100."""

def partial_token_sort_ratio_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """partial_token_sort_ratio of every pair, in the order of pairs."""

def partial_token_set_ratio_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """partial_token_set_ratio of every pair, in the order of pairs."""

def partial_token_ratio_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """partial_token_ratio of every pair, in the order of pairs."""

def w_ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Weighted ratio: best of plain, token and partial ratios, weighed by length ratio, 0-100."""

def q_ratio(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """ratio, but 0.0 when either text is empty."""

def w_ratio_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """w_ratio of every pair, in the order of pairs."""

def q_ratio_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """q_ratio of every pair, in the order of pairs."""
