"""Helpers for the search layer (``quorvalex.process``)."""

import re

__all__ = ["default_process"]

# Python's \W for str patterns is "not alphanumeric (str.isalnum) and not '_'".
_NOT_ALNUM = re.compile(r"[\W_]")


def default_process(s: str) -> str:
    """Every character that is not alphanumeric (str.isalnum) becomes a space, the text is
    lower-cased (str.lower), and leading and trailing whitespace is removed."""
    if not isinstance(s, str):
        raise TypeError(f"default_process() expects str, not {type(s).__name__}")
    return _NOT_ALNUM.sub(" ", s).lower().strip()
