"""The scalar measures by name, their scales, and the parsing of measure options.

The command line names a scorer by its function name (``w_ratio``) or with its module
(``fuzz.w_ratio``); the scale decides what a sensible cutoff is and whether lower is better.
"""

from __future__ import annotations

import ast
import math
from dataclasses import dataclass
from typing import Any, Callable

from .errors import CliError

# Scales of a measure's value.
RATIO = "ratio"                  # 0-100, higher is better (the fuzz functions)
UNIT_SIMILARITY = "unit similarity"  # 0-1, higher is better
UNIT_DISTANCE = "unit distance"      # 0-1, lower is better
RAW_SIMILARITY = "raw similarity"    # a count or score without upper bound, higher is better
RAW_DISTANCE = "raw distance"        # a count without upper bound, lower is better

# Families whose plain similarity and distance already lie in [0, 1].
_UNIT_FAMILIES = ("jaro", "jaccard", "sorensen_dice", "tversky", "overlap", "cosine", "soft_tfidf")

DEFAULT_CUTOFF = {RATIO: 85.0, UNIT_SIMILARITY: 0.85, UNIT_DISTANCE: 0.15}


@dataclass(frozen=True)
class Measure:
    name: str            # the function's own name, e.g. "w_ratio"
    qualified: str       # with its module, e.g. "fuzz.w_ratio"
    function: Callable[..., Any]
    scale: str
    integer: bool        # returns an int (edit counts); its cutoff is a whole number

    @property
    def is_distance(self) -> bool:
        return self.scale in (UNIT_DISTANCE, RAW_DISTANCE)

    @property
    def upper_bound(self) -> float | None:
        return {RATIO: 100.0, UNIT_SIMILARITY: 1.0, UNIT_DISTANCE: 1.0}.get(self.scale)


def _scale(module: str, name: str) -> str:
    if module == "fuzz":
        return RATIO
    unit = "normalized" in name or name.startswith(_UNIT_FAMILIES)
    if name.endswith("_distance"):
        return UNIT_DISTANCE if unit else RAW_DISTANCE
    return UNIT_SIMILARITY if unit else RAW_SIMILARITY


def _collect() -> dict[str, Measure]:
    import quorvalex
    from quorvalex import distance, fuzz

    found: dict[str, Measure] = {}
    for module_name, module in (("distance", distance), ("fuzz", fuzz), ("", quorvalex)):
        for name in module.__all__:
            function = getattr(module, name)
            if name.endswith("_batch") or not callable(function) or name in ("distance", "fuzz"):
                continue
            qualified = f"{module_name}.{name}" if module_name else name
            integer = module_name == "distance" and "normalized" not in name and "jaro" not in name
            found[name] = Measure(name, qualified, function, _scale(module_name, name), integer)
    return found


_MEASURES: dict[str, Measure] | None = None


def all_measures() -> dict[str, Measure]:
    """Every scalar measure of the package by its function name, in the package's order."""
    global _MEASURES
    if _MEASURES is None:
        _MEASURES = _collect()
    return _MEASURES


def lookup(name: str) -> Measure:
    measures = all_measures()
    short = name.rpartition(".")[2]
    measure = measures.get(short)
    if measure is None or (name != short and name != measure.qualified):
        raise CliError(f"unknown scorer {name!r}; valid scorers: {', '.join(measures)}")
    return measure


def similarity_of(measure: Measure) -> Measure | None:
    """The normalized similarity of a distance's family (what ``compare`` shows beside a distance)."""
    if not measure.is_distance:
        return None
    measures = all_measures()
    base = measure.name.removesuffix("_distance").removesuffix("_normalized")
    for candidate in (base + "_normalized_similarity", base + "_similarity"):
        found = measures.get(candidate)
        if found is not None and found.scale == UNIT_SIMILARITY:
            return found
    return None


def parse_options(items: list[str] | None) -> dict[str, Any]:
    """``NAME=VALUE`` pairs of --option; values are Python literals (0.2, 3, True) or else text."""
    options: dict[str, Any] = {}
    for item in items or ():
        name, sep, text = item.partition("=")
        if not sep or not name.isidentifier():
            raise CliError(f"--option expects NAME=VALUE, got {item!r}")
        try:
            value = ast.literal_eval(text)
        except (ValueError, SyntaxError):
            value = text
        options[name] = value
    return options


def resolve_cutoff(measure: Measure, cutoff: float | None) -> float:
    """The cutoff to use: the given one, checked against the scale, or the scale's default."""
    if cutoff is None:
        if measure.scale not in DEFAULT_CUTOFF:
            raise CliError(f"scorer {measure.name} has no natural scale; give --cutoff "
                           f"(the {'largest' if measure.is_distance else 'smallest'} "
                           f"{measure.scale.split()[1]} to keep)")
        return DEFAULT_CUTOFF[measure.scale]
    upper = measure.upper_bound
    if not math.isfinite(cutoff) or cutoff < 0 or (upper is not None and cutoff > upper):
        bound = f"between 0 and {upper:g}" if upper is not None else "at least 0"
        raise CliError(f"--cutoff {cutoff:g} is impossible for {measure.name}: its values are {bound}")
    if measure.integer:
        if cutoff != int(cutoff):
            raise CliError(f"--cutoff {cutoff:g} is impossible for {measure.name}: its values are "
                           f"whole numbers")
        return int(cutoff)
    return cutoff
