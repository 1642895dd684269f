"""The ``quorvalex`` command line: a thin shell over ``quorvalex.process``."""

from .main import main

__all__ = ["main"]
