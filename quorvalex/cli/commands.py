"""The compare, match and dedupe commands: argument checks, then one call into quorvalex.process."""

from __future__ import annotations

import inspect
import sys
from dataclasses import dataclass
from collections.abc import Sequence
from typing import Any, Callable

from . import table_io
from .errors import CliError
from .measures import Measure, all_measures, lookup, parse_options, resolve_cutoff, similarity_of
from .progress import Progress

MATCH_HEADER = ["left_row", "left_value", "right_row", "right_value", "score"]


def _needs_numpy() -> Any:
    try:
        import numpy
    except ImportError:
        raise CliError("matching needs numpy: pip install 'quorvalex[cli]'") from None
    return numpy


def processor_function(name: str) -> Callable[[str], str] | None:
    if name == "none":
        return None
    from quorvalex.utils import default_process
    return default_process


def _accepts(function: Callable[..., Any], option: str) -> bool:
    try:
        return option in inspect.signature(function).parameters
    except (TypeError, ValueError):
        return False


def _check_call(measure: Measure, options: dict[str, Any]) -> None:
    """Let the scorer itself check the options once, before any file is read."""
    try:
        measure.function("a", "b", **options)
    except (TypeError, ValueError) as error:
        raise CliError(f"{measure.name}: {error}") from None


def check_workers(workers: int) -> int:
    if workers == 0 or workers < -1:
        raise CliError(f"--workers {workers} is impossible: give a positive count, or -1 for "
                       f"every thread")
    return workers


# compare ---------------------------------------------------------------------------------------

def _format_value(value: Any) -> str:
    return "None" if value is None else repr(value)


def compare(s1: str, s2: str, measure_names: list[str] | None, processor_name: str,
            option_items: list[str] | None) -> list[tuple[str, str, str]]:
    """Rows (measure, value, normalized similarity or "") for two strings."""
    measures = ([lookup(name) for name in measure_names] if measure_names
                else list(all_measures().values()))
    options = parse_options(option_items)
    for option in options:
        if not any(_accepts(m.function, option) for m in measures):
            raise CliError(f"--option {option}: none of the chosen measures has this option")
    processor = processor_function(processor_name)
    if processor is not None:
        s1, s2 = processor(s1), processor(s2)
    rows = []
    for measure in measures:
        row = [measure.qualified]
        for shown in (measure, similarity_of(measure)):
            if shown is None:
                row.append("")
                continue
            own = {k: v for k, v in options.items() if _accepts(shown.function, k)}
            try:
                row.append(_format_value(shown.function(s1, s2, **own)))
            except (TypeError, ValueError) as error:
                raise CliError(f"{shown.name}: {error}") from None
        rows.append((row[0], row[1], row[2]))
    return rows


def print_compare(rows: list[tuple[str, str, str]]) -> None:
    header = ("measure", "value", "normalized similarity")
    widths = [max(len(r[i]) for r in [header, *rows]) for i in range(2)]
    for row in [header, *rows]:
        print(f"{row[0]:<{widths[0]}}  {row[1]:>{widths[1]}}  {row[2]}".rstrip())


# match and dedupe ------------------------------------------------------------------------------

@dataclass
class ScorerChoice:
    measure: Measure
    cutoff: float
    options: dict[str, Any]
    processor: Callable[[str], str] | None
    workers: int


def choose_scorer(scorer: str, cutoff: float | None, option_items: list[str] | None,
                  processor_name: str, workers: int) -> ScorerChoice:
    measure = lookup(scorer)
    options = parse_options(option_items)
    _check_call(measure, options)
    return ScorerChoice(measure, resolve_cutoff(measure, cutoff), options,
                        processor_function(processor_name), check_workers(workers))


def best_per_row(left_index: Any, right_index: Any, score: Any, top: int,
                 lower_is_better: bool) -> tuple[Any, Any, Any]:
    """Of the pairs found, the best ``top`` of each left row: best first, ties in right order."""
    np = _needs_numpy()
    key = score if lower_is_better else -score.astype(np.float64)
    order = np.lexsort((right_index, key, left_index))
    left_index, right_index, score = left_index[order], right_index[order], score[order]
    if len(left_index) == 0:
        return left_index, right_index, score
    starts = np.flatnonzero(np.r_[True, left_index[1:] != left_index[:-1]])
    lengths = np.diff(np.r_[starts, len(left_index)])
    rank = np.arange(len(left_index)) - np.repeat(starts, lengths)
    keep = rank < top
    return left_index[keep], right_index[keep], score[keep]


def match_values(left: Sequence[str | None], right: Sequence[str | None], choice: ScorerChoice,
                 top: int, progress: Progress, label: str = "matching") -> tuple[Any, Any, Any]:
    """Every left value's best ``top`` right values meeting the cutoff, from process.join."""
    np = _needs_numpy()
    from quorvalex import process

    lower = choice.measure.is_distance

    def join(part: Sequence[str | None], processor: Callable[[str], str] | None,
             others: Sequence[str | None]) -> tuple[Any, Any, Any]:
        return process.join(part, others, scorer=choice.measure.function,
                            score_cutoff=choice.cutoff, processor=processor,
                            workers=choice.workers, **choice.options)

    if not progress.visible:
        # One call: the join sees both sides at once (its index is built once).
        with progress.stage(label, total=len(left)) as bar:
            found = best_per_row(*join(left, choice.processor, right), top, lower)
            bar.update(len(left))
        return found
    # On a terminal, slices of the left rows let the bar advance; the right side is
    # processed once here instead of once per slice.
    others = right if choice.processor is None else [
        None if value is None else choice.processor(value) for value in right]
    step = max(2000, -(-len(left) // 50))
    pieces = []
    with progress.stage(label, total=len(left)) as bar:
        for start in range(0, len(left), step):
            part = left[start:start + step]
            if choice.processor is not None:
                part = [None if value is None else choice.processor(value) for value in part]
            li, ri, sc = best_per_row(*join(part, None, others), top, lower)
            pieces.append((li + start, ri, sc))
            bar.update(len(part))
    if not pieces:
        empty = np.empty(0, dtype=np.int64)
        return empty, empty, np.empty(0, dtype=np.float64)
    return tuple(np.concatenate(p) for p in zip(*pieces))  # type: ignore[return-value]


def run_match(left_path: str, right_path: str, left_column: str, right_column: str,
              choice: ScorerChoice, top: int, delimiter: str | None, output: str,
              progress: Progress) -> int:
    if top < 1:
        raise CliError(f"--top {top} is impossible: give at least 1")
    if left_path == table_io.STDIO and right_path == table_io.STDIO:
        raise CliError("only one of LEFT and RIGHT can be - (stdin)")
    left = table_io.read_table(left_path, delimiter)
    right = table_io.read_table(right_path, delimiter)
    left_values = left.column(left_column)
    right_values = right.column(right_column)
    left_index, right_index, score = match_values(left_values, right_values, choice, top, progress)
    rows_left = left_index.tolist()
    rows_right = right_index.tolist()
    columns = {
        "left_row": rows_left,
        "left_value": [left_values[i] for i in rows_left],
        "right_row": rows_right,
        "right_value": [right_values[i] for i in rows_right],
        "score": score.tolist(),
    }
    with progress.stage("writing", total=len(rows_left)):
        table_io.write_columns(output, columns)
    return len(rows_left)


def run_dedupe(path: str, column: str, group_column: str, choice: ScorerChoice,
               delimiter: str | None, output: str, progress: Progress) -> tuple[int, int, int]:
    """Writes the table with the group column; returns (rows, groups, duplicates)."""
    _needs_numpy()
    from quorvalex import process

    table = table_io.read_table(path, delimiter)
    values = table.column(column)
    if group_column in table.header:
        raise CliError(f"{path} already has a column {group_column!r}; name the new one with "
                       f"--group-column")
    with progress.stage("deduplicating", total=len(values)) as bar:
        labels = process.dedupe(values, scorer=choice.measure.function, score_cutoff=choice.cutoff,
                                processor=choice.processor, workers=choice.workers,
                                **choice.options)
        bar.update(len(values))
    groups = labels.tolist()
    table_io.write_with_column(output, table, group_column, groups)
    distinct = len(set(groups))
    return len(groups), distinct, len(groups) - distinct


def say(message: str, quiet: bool) -> None:
    if not quiet:
        print(message, file=sys.stderr)
