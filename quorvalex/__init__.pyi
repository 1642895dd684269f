"""Fast, exact string similarity measures.

Edit distances live in ``quorvalex.distance``, the 0-100 fuzzy ratios in ``quorvalex.fuzz``;
the set, vector and alignment measures are available directly on this package.
"""

from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex, TypeAlias

from . import distance as distance, fuzz as fuzz

# Float options and float cutoffs accept any object with __float__ or __index__.
_Real: TypeAlias = SupportsFloat | SupportsIndex
_Pairs: TypeAlias = Sequence[tuple[str, str]]

__version__: str
__all__ = [
    "distance", "fuzz", "jaccard_similarity", "jaccard_distance", "jaccard_similarity_batch",
    "sorensen_dice_similarity", "sorensen_dice_distance", "sorensen_dice_similarity_batch",
    "tversky_similarity", "tversky_distance", "tversky_similarity_batch", "overlap_similarity",
    "overlap_distance", "overlap_similarity_batch", "smith_waterman_score",
    "smith_waterman_normalized_similarity", "smith_waterman_score_batch",
    "needleman_wunsch_score", "needleman_wunsch_normalized_similarity",
    "needleman_wunsch_score_batch", "cosine_similarity", "cosine_distance",
    "cosine_similarity_batch", "soft_tfidf_similarity", "soft_tfidf_distance",
    "soft_tfidf_similarity_batch",
]

def jaccard_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Jaccard similarity of the word multisets: shared words over all words, repeats counted."""

def jaccard_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the Jaccard similarity."""

def jaccard_similarity_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """jaccard_similarity of every pair, in the order of pairs."""

def sorensen_dice_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Sørensen-Dice coefficient of the word multisets: twice the shared words over all words."""

def sorensen_dice_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the Sørensen-Dice coefficient."""

def sorensen_dice_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """sorensen_dice_similarity of every pair, in the order of pairs."""

def tversky_similarity(
    s1: str, s2: str, *, alpha: _Real = 1.0, beta: _Real = 1.0, score_cutoff: _Real | None = None
) -> float:
    """Tversky index of the word multisets; alpha, beta weigh the words only s1, only s2 has."""

def tversky_distance(
    s1: str, s2: str, *, alpha: _Real = 1.0, beta: _Real = 1.0, score_cutoff: _Real | None = None
) -> float:
    """1.0 minus the Tversky index."""

def tversky_similarity_batch(
    pairs: _Pairs, *, alpha: _Real = 1.0, beta: _Real = 1.0, score_cutoff: _Real | None = None
) -> list[float]:
    """tversky_similarity of every pair, in the order of pairs."""

def overlap_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Overlap coefficient of the word multisets: shared words over the smaller word count."""

def overlap_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the overlap coefficient."""

def overlap_similarity_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """overlap_similarity of every pair, in the order of pairs."""

def smith_waterman_score(
    s1: str,
    s2: str,
    *,
    match_score: _Real = 1.0,
    mismatch_score: _Real = 0.0,
    gap_cost: _Real = 1.0,
    score_cutoff: _Real | None = None,
) -> float:
    """Best local alignment score of s1 and s2 (Smith-Waterman, linear gap cost)."""

def smith_waterman_normalized_similarity(
    s1: str,
    s2: str,
    *,
    match_score: _Real = 1.0,
    mismatch_score: _Real = 0.0,
    gap_cost: _Real = 1.0,
    score_cutoff: _Real | None = None,
) -> float:
    """Smith-Waterman score divided by the shorter text's length."""

def smith_waterman_score_batch(
    pairs: _Pairs,
    *,
    match_score: _Real = 1.0,
    mismatch_score: _Real = 0.0,
    gap_cost: _Real = 1.0,
    score_cutoff: _Real | None = None,
) -> list[float]:
    """smith_waterman_score of every pair, in the order of pairs."""

def needleman_wunsch_score(
    s1: str,
    s2: str,
    *,
    match_score: _Real = 1.0,
    mismatch_score: _Real = 0.0,
    gap_cost: _Real = 1.0,
    score_cutoff: _Real | None = None,
) -> float:
    """Global alignment score of s1 and s2 (Needleman-Wunsch, linear gap cost)."""

def needleman_wunsch_normalized_similarity(
    s1: str,
    s2: str,
    *,
    match_score: _Real = 1.0,
    mismatch_score: _Real = 0.0,
    gap_cost: _Real = 1.0,
    score_cutoff: _Real | None = None,
) -> float:
    """Needleman-Wunsch score scaled to 0.0-1.0 between the lowest and highest possible scores."""

def needleman_wunsch_score_batch(
    pairs: _Pairs,
    *,
    match_score: _Real = 1.0,
    mismatch_score: _Real = 0.0,
    gap_cost: _Real = 1.0,
    score_cutoff: _Real | None = None,
) -> list[float]:
    """needleman_wunsch_score of every pair, in the order of pairs."""

def cosine_similarity(
    s1: str,
    s2: str,
    *,
    use_words: bool = True,
    ngram_size: SupportsIndex = 2,
    score_cutoff: _Real | None = None,
) -> float:
    """Cosine similarity of the word counts, or of character n-grams when use_words is False."""

def cosine_distance(
    s1: str,
    s2: str,
    *,
    use_words: bool = True,
    ngram_size: SupportsIndex = 2,
    score_cutoff: _Real | None = None,
) -> float:
    """1.0 minus the cosine similarity."""

def cosine_similarity_batch(
    pairs: _Pairs,
    *,
    use_words: bool = True,
    ngram_size: SupportsIndex = 2,
    score_cutoff: _Real | None = None,
) -> list[float]:
    """cosine_similarity of every pair, in the order of pairs."""

def soft_tfidf_similarity(
    s1: str, s2: str, *, threshold: _Real = 0.8, score_cutoff: _Real | None = None
) -> float:
    """Soft TF-IDF similarity: TF-IDF weighted words, matched at Jaro-Winkler >= threshold."""

def soft_tfidf_distance(
    s1: str, s2: str, *, threshold: _Real = 0.8, score_cutoff: _Real | None = None
) -> float:
    """1.0 minus the soft TF-IDF similarity."""

def soft_tfidf_similarity_batch(
    pairs: _Pairs, *, threshold: _Real = 0.8, score_cutoff: _Real | None = None
) -> list[float]:
    """soft_tfidf_similarity of every pair, in the order of pairs."""
