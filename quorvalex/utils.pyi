"""Helpers for the search layer (``quorvalex.process``)."""

__all__ = ["default_process"]

def default_process(s: str) -> str:
    """Every character that is not alphanumeric (str.isalnum) becomes a space, the text is
    lower-cased (str.lower), and leading and trailing whitespace is removed."""
