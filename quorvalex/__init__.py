"""Fast, exact string similarity measures.

Edit distances live in ``quorvalex.distance``, the 0-100 fuzzy ratios in
``quorvalex.fuzz``; the set, vector and alignment measures are available
directly on this package.
"""

from . import _quorvalex
from ._quorvalex import *  # noqa: F401,F403  (the 24 set, vector and alignment functions)
from ._quorvalex import distance, fuzz

__all__ = list(_quorvalex.__all__)
