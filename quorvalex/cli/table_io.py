"""Reading and writing tables: CSV (UTF-8 with or without BOM) and Parquet, files or stdin/stdout.

Outputs go to a temporary file beside the target and are renamed over it at the end, so a
failure (a full disk, Ctrl-C) never leaves a half-written file behind.
"""

from __future__ import annotations

import contextlib
import csv
import io
import os
import sys
import tempfile
from dataclasses import dataclass
from operator import itemgetter
from typing import Any, Iterator, Sequence

from .errors import CliError

STDIO = "-"
_SNIFF_DELIMITERS = ",;\t|"
_PARQUET_MAGIC = b"PAR1"
_PARQUET_SUFFIXES = (".parquet", ".pq")


def _needs_pyarrow(what: str) -> Any:
    try:
        import pyarrow  # type: ignore[import-untyped,unused-ignore]  # noqa: F401
        import pyarrow.parquet as parquet  # type: ignore[import-untyped,unused-ignore]
    except ImportError:
        raise CliError(f"{what} needs pyarrow: pip install 'quorvalex[parquet]'") from None
    return parquet


@dataclass
class Table:
    """A table read from a file: CSV rows as lists of text, or a pyarrow table for Parquet."""

    source: str                      # the file name as given ("-" for stdin), for messages
    header: list[str]
    rows: list[list[str]] | None = None
    delimiter: str = ","
    arrow: Any = None

    def __len__(self) -> int:
        return len(self.rows) if self.rows is not None else self.arrow.num_rows

    def column(self, name: str) -> list[str | None]:
        """The values of a column; empty CSV cells and Parquet nulls are None (missing)."""
        if name not in self.header:
            existing = ", ".join(repr(h) for h in self.header)
            raise CliError(f"{self._label()} has no column {name!r}; its columns are: {existing}")
        if self.rows is not None:
            return [value or None for value in map(itemgetter(self.header.index(name)), self.rows)]
        import pyarrow as pa

        column = self.arrow.column(name)
        kind = column.type.value_type if pa.types.is_dictionary(column.type) else column.type
        if not (pa.types.is_string(kind) or pa.types.is_large_string(kind)):
            raise CliError(f"column {name!r} of {self._label()} holds {column.type}, not text")
        return column.to_pylist()

    def _label(self) -> str:
        return "stdin" if self.source == STDIO else self.source


def _read_bytes(path: str) -> bytes:
    if path == STDIO:
        return sys.stdin.buffer.read()
    try:
        with open(path, "rb") as stream:
            return stream.read()
    except FileNotFoundError:
        raise CliError(f"no such file: {path}") from None
    except IsADirectoryError:
        raise CliError(f"{path} is a directory, not a file") from None
    except OSError as error:
        raise CliError(f"cannot read {path}: {error.strerror}") from None


def _decode(data: bytes, label: str) -> str:
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        start = error.start
        line = data.count(b"\n", 0, start) + 1
        column = start - (data.rfind(b"\n", 0, start) + 1) + 1
        raise CliError(f"{label}: line {line} is not valid UTF-8 "
                       f"(byte 0x{data[start]:02x} at column {column})") from None


def sniff_delimiter(text: str) -> str:
    """The delimiter of a CSV text among , ; tab and |; a comma when nothing tells."""
    sample = text[:65536]
    if len(text) > len(sample) and "\n" in sample:
        sample = sample[: sample.rindex("\n")]
    try:
        return csv.Sniffer().sniff(sample, delimiters=_SNIFF_DELIMITERS).delimiter
    except csv.Error:
        return ","


def _even_rows(text: str, delimiter: str, width: int, label: str) -> list[list[str]]:
    """The rows again, when some are not as wide as the header: blank lines are skipped (as
    pandas skips them), short rows padded with empty cells, long ones an error."""
    reader = csv.reader(io.StringIO(text, newline=""), delimiter=delimiter)
    next(reader)
    rows = []
    for row in reader:
        if len(row) != width:
            if not row:
                continue
            if len(row) > width:
                raise CliError(f"{label}: line {reader.line_num} has {len(row)} fields, "
                               f"the header has {width}")
            row += [""] * (width - len(row))
        rows.append(row)
    return rows


def read_table(path: str, delimiter: str | None = None) -> Table:
    """Read a CSV or Parquet file (Parquet recognised by its leading magic bytes)."""
    data = _read_bytes(path)
    label = "stdin" if path == STDIO else path
    if data[:4] == _PARQUET_MAGIC:
        parquet = _needs_pyarrow(f"reading the Parquet file {label}")
        try:
            # One thread: pyarrow's reader pool can abort the interpreter at exit now and
            # then ("terminate called without an active exception"), after all output is
            # written; a file the command line reads is small next to the matching anyway.
            arrow = parquet.read_table(io.BytesIO(data), use_threads=False)
        except Exception as error:  # pyarrow raises several types for damaged files
            raise CliError(f"{label}: not a readable Parquet file ({error})") from None
        return Table(path, list(arrow.column_names), arrow=arrow)
    text = _decode(data, label)
    del data
    if delimiter is None:
        delimiter = sniff_delimiter(text)
    reader = csv.reader(io.StringIO(text, newline=""), delimiter=delimiter)
    try:
        header = next(reader, None)
        if not header:
            raise CliError(f"{label} is empty: expected a header line naming the columns")
        rows = list(reader)
    except csv.Error as error:
        raise CliError(f"{label}: line {reader.line_num}: {error}") from None
    width = len(header)
    if set(map(len, rows)) - {width}:
        rows = _even_rows(text, delimiter, width, label)
    return Table(path, header, rows=rows, delimiter=delimiter)


def is_parquet_name(path: str) -> bool:
    return path != STDIO and path.lower().endswith(_PARQUET_SUFFIXES)


@contextlib.contextmanager
def atomic_output(path: str) -> Iterator[Any]:
    """A binary stream for ``path`` that replaces it only when the block ends without error."""
    if path == STDIO:
        yield sys.stdout.buffer
        sys.stdout.buffer.flush()
        return
    directory = os.path.dirname(os.path.abspath(path))
    try:
        handle, temporary = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".",
                                             suffix=".part", dir=directory)
    except OSError as error:
        raise CliError(f"cannot write {path}: {error.strerror}") from None
    try:
        try:
            mode = os.stat(path).st_mode & 0o7777
        except OSError:
            umask = os.umask(0)
            os.umask(umask)
            mode = 0o666 & ~umask
        os.chmod(temporary, mode)
        with os.fdopen(handle, "wb") as stream:
            yield stream
        os.replace(temporary, path)
    except BaseException as error:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        if isinstance(error, OSError):
            raise CliError(f"cannot write {path}: {error.strerror or error}") from None
        raise


def write_csv(path: str, header: Sequence[str], rows: Any, delimiter: str = ",") -> None:
    """Write a header and rows (an iterable of sequences) as CSV, atomically."""
    with atomic_output(path) as binary:
        text = io.TextIOWrapper(binary, encoding="utf-8", newline="", write_through=False)
        writer = csv.writer(text, delimiter=delimiter, lineterminator="\n")
        writer.writerow(header)
        writer.writerows(rows)
        text.flush()
        text.detach()


def write_columns(path: str, columns: dict[str, list[Any]], delimiter: str = ",") -> None:
    """Write named columns as CSV, or as Parquet when the file name ends in .parquet or .pq."""
    if is_parquet_name(path):
        parquet = _needs_pyarrow(f"writing the Parquet file {path}")
        import pyarrow as pa

        table = pa.table(columns)
        with atomic_output(path) as binary:
            parquet.write_table(table, binary)
        return
    write_csv(path, list(columns), zip(*columns.values()), delimiter)


def write_with_column(path: str, table: Table, name: str, values: list[Any]) -> None:
    """Write a table back (same format and delimiter) with one more column at the end."""
    if is_parquet_name(path):
        parquet = _needs_pyarrow(f"writing the Parquet file {path}")
        import pyarrow as pa

        if table.arrow is not None:
            arrow = table.arrow.append_column(name, pa.array(values))
        else:
            arrow = pa.table({**{h: [row[i] for row in table.rows or ()]
                                 for i, h in enumerate(table.header)}, name: values})
        with atomic_output(path) as binary:
            parquet.write_table(arrow, binary)
        return
    if table.rows is not None:
        rows: Any = (row + [value] for row, value in zip(table.rows, values))
    else:
        rows = zip(*(table.arrow.column(h).to_pylist() for h in table.header), values)
    write_csv(path, table.header + [name], rows, table.delimiter)
