"""Progress bars on stderr (tqdm), shown only on a terminal, without --quiet, after one second."""

from __future__ import annotations

import contextlib
import sys
import threading
import time
from typing import Any, Iterator

from .errors import CliError

_DELAY = 1.0     # seconds before a bar appears: quick steps show nothing
_TICK = 0.5      # seconds between refreshes while one long library call runs


class _Hidden:
    def update(self, count: int = 1) -> None:
        pass


class Progress:
    def __init__(self, quiet: bool) -> None:
        self.visible = not quiet and sys.stderr.isatty()

    @contextlib.contextmanager
    def stage(self, description: str, total: int | None = None, unit: str = "rows") -> Iterator[Any]:
        """A bar for one step; while a single long call runs, its elapsed time keeps ticking."""
        if not self.visible:
            yield _Hidden()
            return
        try:
            from tqdm import tqdm  # type: ignore[import-untyped,unused-ignore]
        except ImportError:
            raise CliError("the progress bar needs tqdm: pip install 'quorvalex[cli]' "
                           "(or pass --quiet)") from None
        bar = tqdm(total=total, desc=description, unit=unit, delay=_DELAY,
                   file=sys.stderr, leave=False, dynamic_ncols=True)
        started = time.monotonic()
        stop = threading.Event()

        def tick() -> None:
            # The library releases the interpreter lock while it scores, so this thread runs.
            while not stop.wait(_TICK):
                if time.monotonic() - started >= _DELAY:
                    bar.refresh()

        ticker = threading.Thread(target=tick, daemon=True)
        ticker.start()
        try:
            yield bar
        finally:
            stop.set()
            ticker.join()
            bar.close()
