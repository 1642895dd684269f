"""A small program using the API, checked by mypy --strict and pyright (see .ci/run).

Each assert_type pins a result type of the stubs; the calls in rejected() must be refused, and
their ignore comments make both checkers fail if one is not (an ignore that silences nothing is
an error under mypy --strict and under reportUnnecessaryTypeIgnoreComment).
"""

from typing import assert_type

import quorvalex
from quorvalex import distance, fuzz
from quorvalex.distance import levenshtein_distance
from quorvalex.fuzz import ratio


def closest(query: str, choices: list[str]) -> tuple[str, float]:
    scores = fuzz.w_ratio_batch([(query, choice) for choice in choices], score_cutoff=50)
    best = max(range(len(choices)), key=scores.__getitem__)
    return choices[best], scores[best]


def lengths_match(s1: str, s2: str) -> bool:
    return distance.hamming_distance(s1, s2) is not None


assert_type(levenshtein_distance("kitten", "sitting"), int)
assert_type(distance.levenshtein_normalized_similarity("a", "b", score_cutoff=0.5), float)
assert_type(distance.osa_distance_batch([("ab", "ba")], score_cutoff=True), list[int])
assert_type(distance.hamming_distance("abc", "ab"), int | None)
assert_type(distance.hamming_normalized_similarity_batch([("ab", "ac")]), list[float | None])
assert_type(distance.jaro_winkler_similarity("martha", "marhta", prefix_weight=0.2), float)
assert_type(ratio("abc", "abd"), float)
assert_type(fuzz.token_set_ratio_batch((("a b", "b a"),)), list[float])
assert_type(quorvalex.cosine_similarity("ab", "ba", use_words=False, ngram_size=1), float)
assert_type(quorvalex.smith_waterman_score("abc", "abd", gap_cost=2), float)
assert_type(quorvalex.tversky_similarity_batch([("a b", "b")], alpha=0.5, beta=0.5), list[float])
assert_type(quorvalex.__version__, str)


def rejected() -> None:
    levenshtein_distance("a", 1)  # type: ignore[arg-type]
    distance.levenshtein_distance("a", "b", score_cutoff=0.5)  # type: ignore[arg-type]
    distance.levenshtein_distance("a", "b", 1)  # type: ignore[call-arg]
    fuzz.ratio("a", "b", cutoff=50)  # type: ignore[call-arg]
    fuzz.ratio_batch(["ab", "cd"])  # type: ignore[list-item]
    quorvalex.cosine_similarity("a b", "b", use_words=1)  # type: ignore[arg-type]
    distance.hamming_distance("ab", "ac") + 1  # type: ignore[operator]


if __name__ == "__main__":
    print(closest("new york mets", ["new york meats", "new jersey nets"]), lengths_match("ab", "a"))
