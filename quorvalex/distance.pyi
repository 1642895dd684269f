"""Edit distances, each as distance, similarity, normalized forms and batches."""

from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex, TypeAlias

# Float options and float cutoffs accept any object with __float__ or __index__.
_Real: TypeAlias = SupportsFloat | SupportsIndex
_Pairs: TypeAlias = Sequence[tuple[str, str]]

__all__ = [
    "levenshtein_distance", "levenshtein_similarity", "levenshtein_normalized_distance",
    "levenshtein_normalized_similarity", "levenshtein_distance_batch",
    "levenshtein_similarity_batch", "levenshtein_normalized_distance_batch",
    "levenshtein_normalized_similarity_batch", "damerau_levenshtein_distance",
    "damerau_levenshtein_similarity", "damerau_levenshtein_normalized_distance",
    "damerau_levenshtein_normalized_similarity", "damerau_levenshtein_distance_batch",
    "damerau_levenshtein_normalized_similarity_batch", "hamming_distance", "hamming_similarity",
    "hamming_normalized_distance", "hamming_normalized_similarity", "hamming_distance_batch",
    "hamming_normalized_similarity_batch", "jaro_similarity", "jaro_distance",
    "jaro_normalized_similarity", "jaro_normalized_distance", "jaro_similarity_batch",
    "jaro_distance_batch", "jaro_winkler_similarity", "jaro_winkler_distance",
    "jaro_winkler_normalized_similarity", "jaro_winkler_normalized_distance",
    "jaro_winkler_similarity_batch", "jaro_winkler_distance_batch", "indel_distance",
    "indel_similarity", "indel_normalized_distance", "indel_normalized_similarity",
    "indel_distance_batch", "indel_normalized_similarity_batch", "lcs_seq_distance",
    "lcs_seq_similarity", "lcs_seq_normalized_distance", "lcs_seq_normalized_similarity",
    "lcs_seq_distance_batch", "lcs_seq_normalized_similarity_batch", "lcs_str_similarity",
    "lcs_str_distance", "lcs_str_normalized_similarity", "lcs_str_normalized_distance",
    "lcs_str_similarity_batch", "lcs_str_normalized_similarity_batch", "osa_distance",
    "osa_similarity", "osa_normalized_distance", "osa_normalized_similarity",
    "osa_distance_batch", "osa_normalized_similarity_batch", "prefix_distance",
    "prefix_similarity", "prefix_normalized_distance", "prefix_normalized_similarity",
    "prefix_similarity_batch", "prefix_normalized_similarity_batch", "postfix_distance",
    "postfix_similarity", "postfix_normalized_distance", "postfix_normalized_similarity",
    "postfix_similarity_batch", "postfix_normalized_similarity_batch",
]

def levenshtein_distance(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """Levenshtein distance: fewest insertions, deletions and substitutions turning s1 into s2."""

def levenshtein_similarity(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """max(len(s1), len(s2)) minus the Levenshtein distance."""

def levenshtein_normalized_distance(
    s1: str, s2: str, *, score_cutoff: _Real | None = None
) -> float:
    """Levenshtein distance divided by max(len(s1), len(s2)), from 0.0 to 1.0."""

def levenshtein_normalized_similarity(
    s1: str, s2: str, *, score_cutoff: _Real | None = None
) -> float:
    """1.0 minus the normalized Levenshtein distance."""

def levenshtein_distance_batch(
    pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None
) -> list[int]:
    """levenshtein_distance of every pair, in the order of pairs."""

def levenshtein_similarity_batch(
    pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None
) -> list[int]:
    """levenshtein_similarity of every pair, in the order of pairs."""

def levenshtein_normalized_distance_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """levenshtein_normalized_distance of every pair, in the order of pairs."""

def levenshtein_normalized_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """levenshtein_normalized_similarity of every pair, in the order of pairs."""

def damerau_levenshtein_distance(
    s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None
) -> int:
    """Damerau-Levenshtein distance: Levenshtein edits plus swaps of adjacent characters."""

def damerau_levenshtein_similarity(
    s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None
) -> int:
    """max(len(s1), len(s2)) minus the Damerau-Levenshtein distance."""

def damerau_levenshtein_normalized_distance(
    s1: str, s2: str, *, score_cutoff: _Real | None = None
) -> float:
    """Damerau-Levenshtein distance divided by max(len(s1), len(s2)), from 0.0 to 1.0."""

def damerau_levenshtein_normalized_similarity(
    s1: str, s2: str, *, score_cutoff: _Real | None = None
) -> float:
    """1.0 minus the normalized Damerau-Levenshtein distance."""

def damerau_levenshtein_distance_batch(
    pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None
) -> list[int]:
    """damerau_levenshtein_distance of every pair, in the order of pairs."""

def damerau_levenshtein_normalized_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """damerau_levenshtein_normalized_similarity of every pair, in the order of pairs."""

def hamming_distance(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int | None:
    """Number of positions at which s1 and s2 differ; None when their lengths differ."""

def hamming_similarity(
    s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None
) -> int | None:
    """Number of positions at which s1 and s2 agree; None when their lengths differ."""

def hamming_normalized_distance(
    s1: str, s2: str, *, score_cutoff: _Real | None = None
) -> float | None:
    """Hamming distance divided by the length, from 0.0 to 1.0; None when the lengths differ."""

def hamming_normalized_similarity(
    s1: str, s2: str, *, score_cutoff: _Real | None = None
) -> float | None:
    """1.0 minus the normalized Hamming distance; None when the lengths differ."""

def hamming_distance_batch(
    pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None
) -> list[int | None]:
    """hamming_distance of every pair, in the order of pairs."""

def hamming_normalized_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float | None]:
    """hamming_normalized_similarity of every pair, in the order of pairs."""

def jaro_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Jaro similarity, from 0.0 to 1.0."""

def jaro_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the Jaro similarity."""

def jaro_normalized_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """The Jaro similarity (it is already normalized)."""

def jaro_normalized_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the Jaro similarity (it is already normalized)."""

def jaro_similarity_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """jaro_similarity of every pair, in the order of pairs."""

def jaro_distance_batch(pairs: _Pairs, *, score_cutoff: _Real | None = None) -> list[float]:
    """jaro_distance of every pair, in the order of pairs."""

def jaro_winkler_similarity(
    s1: str, s2: str, *, prefix_weight: _Real = 0.1, score_cutoff: _Real | None = None
) -> float:
    """Jaro similarity raised by prefix_weight per character of a common prefix (up to 4)."""

def jaro_winkler_distance(
    s1: str, s2: str, *, prefix_weight: _Real = 0.1, score_cutoff: _Real | None = None
) -> float:
    """1.0 minus the Jaro-Winkler similarity."""

def jaro_winkler_normalized_similarity(
    s1: str, s2: str, *, prefix_weight: _Real = 0.1, score_cutoff: _Real | None = None
) -> float:
    """The Jaro-Winkler similarity (it is already normalized)."""

def jaro_winkler_normalized_distance(
    s1: str, s2: str, *, prefix_weight: _Real = 0.1, score_cutoff: _Real | None = None
) -> float:
    """1.0 minus the Jaro-Winkler similarity (it is already normalized)."""

def jaro_winkler_similarity_batch(
    pairs: _Pairs, *, prefix_weight: _Real = 0.1, score_cutoff: _Real | None = None
) -> list[float]:
    """jaro_winkler_similarity of every pair, in the order of pairs."""

def jaro_winkler_distance_batch(
    pairs: _Pairs, *, prefix_weight: _Real = 0.1, score_cutoff: _Real | None = None
) -> list[float]:
    """jaro_winkler_distance of every pair, in the order of pairs."""

def indel_distance(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """Indel distance: insertions and deletions turning s1 into s2 (len1 + len2 - 2 * LCS)."""

def indel_similarity(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """len(s1) + len(s2) minus the Indel distance: twice the longest common subsequence."""

def indel_normalized_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Indel distance divided by len(s1) + len(s2), from 0.0 to 1.0."""

def indel_normalized_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the normalized Indel distance."""

def indel_distance_batch(pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None) -> list[int]:
    """indel_distance of every pair, in the order of pairs."""

def indel_normalized_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """indel_normalized_similarity of every pair, in the order of pairs."""

def lcs_seq_distance(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """max(len(s1), len(s2)) minus the length of the longest common subsequence."""

def lcs_seq_similarity(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """Length of the longest common subsequence."""

def lcs_seq_normalized_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """lcs_seq_distance divided by max(len(s1), len(s2)), from 0.0 to 1.0."""

def lcs_seq_normalized_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the normalized LCS-sequence distance."""

def lcs_seq_distance_batch(
    pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None
) -> list[int]:
    """lcs_seq_distance of every pair, in the order of pairs."""

def lcs_seq_normalized_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """lcs_seq_normalized_similarity of every pair, in the order of pairs."""

def lcs_str_similarity(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """Length of the longest common substring."""

def lcs_str_distance(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """max(len(s1), len(s2)) minus the length of the longest common substring."""

def lcs_str_normalized_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """Length of the longest common substring divided by max(len(s1), len(s2)), from 0.0 to 1.0."""

def lcs_str_normalized_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the normalized longest-common-substring similarity."""

def lcs_str_similarity_batch(
    pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None
) -> list[int]:
    """lcs_str_similarity of every pair, in the order of pairs."""

def lcs_str_normalized_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """lcs_str_normalized_similarity of every pair, in the order of pairs."""

def osa_distance(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """OSA distance: Levenshtein edits and adjacent swaps, no substring edited twice."""

def osa_similarity(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """max(len(s1), len(s2)) minus the optimal string alignment distance."""

def osa_normalized_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """optimal string alignment distance divided by max(len(s1), len(s2)), from 0.0 to 1.0."""

def osa_normalized_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the normalized optimal string alignment distance."""

def osa_distance_batch(pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None) -> list[int]:
    """osa_distance of every pair, in the order of pairs."""

def osa_normalized_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """osa_normalized_similarity of every pair, in the order of pairs."""

def prefix_distance(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """max(len(s1), len(s2)) minus the length of the common prefix."""

def prefix_similarity(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """Length of the common prefix."""

def prefix_normalized_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """prefix_distance divided by max(len(s1), len(s2)), from 0.0 to 1.0."""

def prefix_normalized_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the normalized prefix distance."""

def prefix_similarity_batch(
    pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None
) -> list[int]:
    """prefix_similarity of every pair, in the order of pairs."""

def prefix_normalized_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """prefix_normalized_similarity of every pair, in the order of pairs."""

def postfix_distance(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """max(len(s1), len(s2)) minus the length of the common suffix."""

def postfix_similarity(s1: str, s2: str, *, score_cutoff: SupportsIndex | None = None) -> int:
    """Length of the common suffix."""

def postfix_normalized_distance(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """postfix_distance divided by max(len(s1), len(s2)), from 0.0 to 1.0."""

def postfix_normalized_similarity(s1: str, s2: str, *, score_cutoff: _Real | None = None) -> float:
    """1.0 minus the normalized postfix distance."""

def postfix_similarity_batch(
    pairs: _Pairs, *, score_cutoff: SupportsIndex | None = None
) -> list[int]:
    """postfix_similarity of every pair, in the order of pairs."""

def postfix_normalized_similarity_batch(
    pairs: _Pairs, *, score_cutoff: _Real | None = None
) -> list[float]:
    """postfix_normalized_similarity of every pair, in the order of pairs."""
