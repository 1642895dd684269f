"""The extension's child module ``fuzz``, importable as ``quorvalex.fuzz``.

Importing the package already enters the child module under this name (``_child_modules``);
this file runs only if that entry has been removed, and puts the child module back. It also
gives tools that look for a module's source file something to find.
"""

import sys

from . import _quorvalex

sys.modules[__name__] = _quorvalex.fuzz
