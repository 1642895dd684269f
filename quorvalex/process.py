"""Search: one query against many choices, and many queries against many choices.

``extract_one``, ``extract`` and ``extract_iter`` find the best choices for one query;
``cdist`` scores every query against every choice into a numpy array, ``cpdist`` two equally
long sequences element by element. The scorer is any scalar function of the package (run on
its native kernel, with no Python call per pair) or any Python callable ``f(s1, s2, **options)``.
Every score is what ``scorer(processor(q), processor(c), score_cutoff=score_cutoff, **options)``
returns for the pair. Scores of ``*_distance`` functions are better when lower, all others when
higher; ties keep the order of the choices.
"""

import math
import operator
import sys
from collections.abc import Callable, Iterator, Mapping
from typing import Any

from . import _extra_modules, _quorvalex

__all__ = ["extract_one", "extract", "extract_iter", "cdist", "cpdist", "join", "dedupe"]


_native = _extra_modules.load("_process")

# id() of each scalar function -> (function, table row, integer result, lower is better);
# id() of each batch function -> its scalar function's name. The functions live as long as the
# extension, so their ids stay theirs.
_SCALAR: dict[int, tuple[Any, int, bool, bool]] = {}
_BATCH: dict[int, tuple[Any, str]] = {}
_MODULES = {0: _quorvalex.distance, 1: _quorvalex.fuzz, 2: _quorvalex}
for _row, (_name, _module, _is_batch, _integer) in enumerate(_native.rows()):
    _function = getattr(_MODULES[_module], _name)
    if _is_batch:
        _BATCH[id(_function)] = (_function, _name[: -len("_batch")])
    else:
        _SCALAR[id(_function)] = (_function, _row, _integer, _name.endswith("_distance"))
del _row, _name, _module, _is_batch, _integer, _function

_NUMPY_HINT = (
    "cdist and cpdist return numpy arrays: install numpy "
    "(pip install numpy, or pip install 'quorvalex[numpy]')"
)


def _numpy() -> Any:
    try:
        import numpy
    except ImportError as error:
        raise ImportError(_NUMPY_HINT) from error
    return numpy


def _pandas_na() -> Any:
    pandas = sys.modules.get("pandas")
    return getattr(pandas, "NA", None) if pandas is not None else None


def _is_missing(value: Any, na: Any) -> bool:
    if value is None or (na is not None and value is na):
        return True
    return isinstance(value, float) and math.isnan(value)


class _Scorer:
    """The scorer of one call: native (a table row) or generic (a Python callable)."""

    __slots__ = ("function", "row", "integer", "lower_is_better", "cutoff", "options")

    def __init__(self, scorer: Any, score_cutoff: Any, options: dict[str, Any]) -> None:
        self.function = scorer
        self.cutoff = score_cutoff
        self.options = options
        entry = _SCALAR.get(id(scorer))
        if entry is not None and entry[0] is scorer:
            _, self.row, self.integer, self.lower_is_better = entry
            # The scorer checks its options and cutoff itself, with its own messages.
            scorer("", "", score_cutoff=score_cutoff, **options)
            return
        batch = _BATCH.get(id(scorer))
        if batch is not None and batch[0] is scorer:
            raise TypeError(
                f"{scorer.__name__} scores a list of pairs and cannot be a scorer; "
                f"use {batch[1]} instead"
            )
        if not callable(scorer):
            raise TypeError(f"scorer must be callable, not {type(scorer).__name__}")
        self.row = None
        self.integer = False
        self.lower_is_better = str(getattr(scorer, "__name__", "")).endswith("_distance")

    def call(self, s1: str, s2: str) -> Any:
        if self.cutoff is None:
            return self.function(s1, s2, **self.options)
        return self.function(s1, s2, score_cutoff=self.cutoff, **self.options)

    def meets(self, score: Any) -> bool:
        if score is None or score != score:
            return False
        if self.cutoff is None:
            return True
        return bool(score <= self.cutoff if self.lower_is_better else score >= self.cutoff)


def _check_processor(processor: Any) -> None:
    if processor is not None and not callable(processor):
        raise TypeError(f"processor must be callable or None, not {type(processor).__name__}")


def _items(items: Any, what: str) -> tuple[Any, Any]:
    """(values as a list or tuple, keys): keys None for sequences (the key is the index), a
    list for mappings, the index for a pandas Series."""
    if type(items) is list or type(items) is tuple:
        return items, None
    if isinstance(items, (list, tuple)):  # subclasses: read through their own protocol
        return list(items), None
    if isinstance(items, Mapping):
        pairs = list(items.items())
        return [v for _, v in pairs], [k for k, _ in pairs]
    pandas = sys.modules.get("pandas")
    if pandas is not None and isinstance(items, pandas.Series):
        return items.to_list(), items.index
    tolist = getattr(items, "tolist", None)
    numpy = sys.modules.get("numpy")
    if numpy is not None and isinstance(items, numpy.ndarray) and tolist is not None:
        if items.ndim != 1:
            raise ValueError(f"{what} must be one-dimensional")
        return tolist(), None
    if isinstance(items, (str, bytes)):
        raise TypeError(f"{what} must be a sequence or a mapping of str, not {type(items).__name__}")
    try:
        return list(items), None
    except TypeError:
        raise TypeError(
            f"{what} must be a sequence or a mapping of str, not {type(items).__name__}"
        ) from None


def _position(keys: Any, i: int, what: str) -> str:
    return f"the {what} at index {i}" if keys is None else f"the {what} with key {keys[i]!r}"


def _processed(values: Any, keys: Any, processor: Any, what: str, na: Any) -> Any:
    """The values with the processor applied once to each present one (non-str values raise
    the TypeError naming their position)."""
    if processor is None:
        return values
    out = []
    for i, value in enumerate(values):
        if isinstance(value, str):
            out.append(processor(value))
        elif _is_missing(value, na):
            out.append(None)
        else:
            raise TypeError(
                f"{_position(keys, i, what)} is {type(value).__name__}, not str "
                "(None, NaN and pandas.NA mark missing values)"
            )
    return out


def _query(query: Any, processor: Any, na: Any) -> Any:
    """The processed query, or None when it is missing."""
    if _is_missing(query, na):
        return None
    if not isinstance(query, str):
        raise TypeError(
            f"query is {type(query).__name__}, not str (None, NaN and pandas.NA mark missing values)"
        )
    if processor is None:
        return query
    processed = processor(query)
    if _is_missing(processed, na):
        return None
    if not isinstance(processed, str):
        raise TypeError(
            f"processor returned {type(processed).__name__} for the query; it must return str"
        )
    return processed


def _generic_hits(
    scorer: _Scorer, query: str, texts: Any, keys: Any, processed: bool, na: Any
) -> Iterator[tuple[int, Any]]:
    for i, text in enumerate(texts):
        if not isinstance(text, str):
            if _is_missing(text, na):
                continue
            if processed:
                raise TypeError(
                    f"processor returned {type(text).__name__} for "
                    f"{_position(keys, i, 'choice')}; it must return str"
                )
            raise TypeError(
                f"{_position(keys, i, 'choice')} is {type(text).__name__}, not str "
                "(None, NaN and pandas.NA mark missing values)"
            )
        score = scorer.call(query, text)
        if scorer.meets(score):
            yield i, score


def _hits(
    query: Any,
    choices: Any,
    scorer: Any,
    processor: Any,
    score_cutoff: Any,
    options: dict[str, Any],
    limit: int,
    in_choice_order: bool,
) -> tuple[Any, Any, Any]:
    """(hits as (index, score) pairs, choice values, keys); limit 0 keeps all."""
    prepared = _Scorer(scorer, score_cutoff, options)
    _check_processor(processor)
    values, keys = _items(choices, "choices")
    na = _pandas_na()
    q = _query(query, processor, na)
    if q is None:
        return [], values, keys
    texts = _processed(values, keys, processor, "choice", na)
    if prepared.row is not None:
        hits = _native.extract(
            prepared.row, options, score_cutoff, q, texts, limit, in_choice_order, na, keys,
            processor is not None,
        )
        return hits, values, keys
    found = _generic_hits(prepared, q, texts, keys, processor is not None, na)
    if in_choice_order:
        return found, values, keys
    ranked = sorted(found, key=lambda hit: hit[1], reverse=not prepared.lower_is_better)
    return (ranked[:limit] if limit else ranked), values, keys


def _result(values: Any, keys: Any, index: int, score: Any) -> tuple[Any, Any, Any]:
    return values[index], score, index if keys is None else keys[index]


def extract_one(
    query: Any,
    choices: Any,
    *,
    scorer: Callable[..., Any] = _quorvalex.fuzz.w_ratio,
    processor: Callable[[str], Any] | None = None,
    score_cutoff: Any = None,
    **options: Any,
) -> tuple[Any, Any, Any] | None:
    """The best choice as (choice, score, key), or None when no choice meets the cutoff."""
    hits, values, keys = _hits(query, choices, scorer, processor, score_cutoff, options, 1, False)
    for index, score in hits:
        return _result(values, keys, index, score)
    return None


def extract(
    query: Any,
    choices: Any,
    *,
    scorer: Callable[..., Any] = _quorvalex.fuzz.w_ratio,
    processor: Callable[[str], Any] | None = None,
    limit: int | None = 5,
    score_cutoff: Any = None,
    **options: Any,
) -> list[tuple[Any, Any, Any]]:
    """The best `limit` choices (all that meet the cutoff for None) as (choice, score, key),
    best first."""
    if limit is None:
        count = 0
    else:
        count = operator.index(limit)
        if count < 0:
            raise ValueError(f"limit must be None or at least 0, not {count}")
        if count == 0:
            _Scorer(scorer, score_cutoff, options)
            return []
    hits, values, keys = _hits(query, choices, scorer, processor, score_cutoff, options, count, False)
    return [_result(values, keys, index, score) for index, score in hits]


def extract_iter(
    query: Any,
    choices: Any,
    *,
    scorer: Callable[..., Any] = _quorvalex.fuzz.w_ratio,
    processor: Callable[[str], Any] | None = None,
    score_cutoff: Any = None,
    **options: Any,
) -> Iterator[tuple[Any, Any, Any]]:
    """Every choice that meets the cutoff as (choice, score, key), in the order of choices."""
    hits, values, keys = _hits(query, choices, scorer, processor, score_cutoff, options, 0, True)
    return (_result(values, keys, index, score) for index, score in hits)


_CELL_CODES = {"f4", "f8", "i1", "i2", "i4", "i8", "u1", "u2", "u4", "u8"}


def _workers(workers: Any) -> int:
    n = operator.index(workers)
    if n == -1:
        return 0
    if n < 1:
        raise ValueError(f"workers must be -1 (every thread of the pool) or at least 1, not {n}")
    return n


def _store_generic(numpy: Any, out: Any, index: Any, score: Any) -> None:
    """One cell of the generic path, under the rules of the native cell writer."""
    kind = out.dtype.kind
    if kind == "f":
        out[index] = math.nan if score is None else score
        return
    if score is None:
        if kind == "u":
            raise ValueError(
                f"a missing score cannot be stored in {out.dtype} (missing scores are NaN in "
                "float and -1 in signed integer dtypes)"
            )
        out[index] = -1
        return
    value = float(score)
    if value != value:
        raise ValueError(f"the score {score!r} does not fit in {out.dtype}")
    rounded = math.copysign(math.floor(abs(value) + 0.5), value)
    info = numpy.iinfo(out.dtype)
    if not info.min <= rounded <= info.max:
        raise ValueError(f"the score {score!r} does not fit in {out.dtype}")
    out[index] = int(rounded)


def _matrix(
    queries: Any,
    choices: Any,
    scorer: Any,
    processor: Any,
    score_cutoff: Any,
    dtype: Any,
    workers: Any,
    options: dict[str, Any],
    pairs: bool,
) -> Any:
    numpy = _numpy()
    prepared = _Scorer(scorer, score_cutoff, options)
    _check_processor(processor)
    n_workers = _workers(workers)
    query_values, query_keys = _items(queries, "queries")
    choice_values, choice_keys = _items(choices, "choices")
    if pairs and len(query_values) != len(choice_values):
        raise ValueError(
            f"queries and choices must have the same length ({len(query_values)} != "
            f"{len(choice_values)})"
        )
    if dtype is None:
        dtype = numpy.int32 if prepared.integer else numpy.float64
    wanted = numpy.dtype(dtype)
    cell = numpy.dtype(wanted).newbyteorder("=")
    code = f"{cell.kind}{cell.itemsize}"
    if code not in _CELL_CODES:
        raise ValueError(f"dtype must be a float or integer type, not {wanted}")
    na = _pandas_na()
    q_texts = _processed(query_values, query_keys, processor, "query", na)
    c_texts = _processed(choice_values, choice_keys, processor, "choice", na)
    shape = (len(query_values),) if pairs else (len(query_values), len(choice_values))
    out = numpy.empty(shape, dtype=cell)
    if prepared.row is not None:
        function = _native.cpdist if pairs else _native.cdist
        function(
            prepared.row, options, score_cutoff, q_texts, c_texts, out, code, str(wanted),
            n_workers, na, query_keys, choice_keys, processor is not None,
        )
    else:
        _generic_matrix(numpy, prepared, q_texts, c_texts, query_keys, choice_keys,
                        processor is not None, na, out, pairs)
    return out if cell == wanted else out.astype(wanted)


def _generic_matrix(
    numpy: Any, scorer: _Scorer, q_texts: Any, c_texts: Any, query_keys: Any, choice_keys: Any,
    processed: bool, na: Any, out: Any, pairs: bool,
) -> None:
    def checked(texts: Any, keys: Any, what: str) -> list[Any]:
        result = []
        for i, text in enumerate(texts):
            if isinstance(text, str):
                result.append(text)
            elif _is_missing(text, na):
                result.append(None)
            elif processed:
                raise TypeError(
                    f"processor returned {type(text).__name__} for {_position(keys, i, what)}; "
                    "it must return str"
                )
            else:
                raise TypeError(
                    f"{_position(keys, i, what)} is {type(text).__name__}, not str "
                    "(None, NaN and pandas.NA mark missing values)"
                )
        return result

    queries = checked(q_texts, query_keys, "query")
    choices = checked(c_texts, choice_keys, "choice")
    if pairs:
        for i, (q, c) in enumerate(zip(queries, choices)):
            score = None if q is None or c is None else scorer.call(q, c)
            _store_generic(numpy, out, i, score)
        return
    for i, q in enumerate(queries):
        for j, c in enumerate(choices):
            score = None if q is None or c is None else scorer.call(q, c)
            _store_generic(numpy, out, (i, j), score)


def cdist(
    queries: Any,
    choices: Any,
    *,
    scorer: Callable[..., Any] = _quorvalex.fuzz.ratio,
    processor: Callable[[str], Any] | None = None,
    score_cutoff: Any = None,
    dtype: Any = None,
    workers: int = 1,
    **options: Any,
) -> Any:
    """Scores of every query against every choice: an array of shape (len(queries), len(choices))."""
    return _matrix(queries, choices, scorer, processor, score_cutoff, dtype, workers, options, False)


def cpdist(
    queries: Any,
    choices: Any,
    *,
    scorer: Callable[..., Any] = _quorvalex.fuzz.ratio,
    processor: Callable[[str], Any] | None = None,
    score_cutoff: Any = None,
    dtype: Any = None,
    workers: int = 1,
    **options: Any,
) -> Any:
    """Scores of queries[i] against choices[i]: an array of shape (len(queries),)."""
    return _matrix(queries, choices, scorer, processor, score_cutoff, dtype, workers, options, True)


# The similarity join and deduplication (index-filtered, exact) live in their own module.
from ._join import dedupe, join  # noqa: E402
