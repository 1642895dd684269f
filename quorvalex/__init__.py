"""Fast, exact string similarity measures.

Edit distances live in ``quorvalex.distance``, the 0-100 fuzzy ratios in
``quorvalex.fuzz``; the set, vector and alignment measures are available
directly on this package.
"""

__version__ = "0.1.0"

from . import _quorvalex
from ._child_modules import register as _register
# distance, fuzz and the 24 set, vector and alignment functions:
from ._quorvalex import *  # noqa: F401,F403

_register(_quorvalex, __name__)
__all__ = list(_quorvalex.__all__)
