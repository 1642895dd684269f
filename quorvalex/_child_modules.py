"""The extension's child modules as submodules of the package, and pickling of their functions.

The extension builds its child modules (``distance``, ``fuzz``, and any added later) as plain
module objects under their short names, and their functions carry those short names as
``__module__``. ``register`` enters every child into ``sys.modules`` under its dotted name
(``quorvalex.fuzz``), so ``import quorvalex.fuzz`` and ``from quorvalex.fuzz import ratio``
give the very objects of the extension; nothing is entered under a short name, which would
shadow a user's own module called ``distance`` or ``fuzz``. A child therefore needs no file of
its own; ``distance.py`` and ``fuzz.py`` only restore a removed entry and give tools that look
for source files something to find, and its types go in a stub beside them (``fuzz.pyi``).

Pickle stores a built-in function as ``__module__`` + ``__qualname__`` and would look for a
module called ``fuzz``. A reducer for the built-in function type therefore stores a function
of a child module as ``getattr(importlib.import_module("quorvalex.fuzz"), "ratio")``, which
loads as the same object in any process, and hands every other built-in function or method
to the reduction it would have had anyway.
"""

import copyreg
import importlib
import sys
import types
from typing import Any

_BuiltinFunction = types.BuiltinFunctionType

# id() of each registered child module -> its dotted name. The children live as long as the
# extension module, which is never freed, so their ids stay theirs.
_dotted_names: dict[int, str] = {}
_reducer_before = copyreg.dispatch_table.get(_BuiltinFunction)


class _ImportedModule:
    """Stands for a module inside a reduction: pickles as ``importlib.import_module(name)``."""

    __slots__ = ("name",)

    def __init__(self, name: str) -> None:
        self.name = name

    def __reduce__(self) -> tuple[object, tuple[str]]:
        return importlib.import_module, (self.name,)


def _reduce_builtin_function(function: types.BuiltinFunctionType) -> str | tuple[Any, ...]:
    dotted = _dotted_names.get(id(function.__self__))
    if dotted is not None:
        return getattr, (_ImportedModule(dotted), function.__name__)
    if _reducer_before is not None:
        return _reducer_before(function)
    return function.__reduce__()


def register(extension: types.ModuleType, package_name: str) -> None:
    """Makes every child module of ``extension`` a submodule of the package ``package_name``."""
    package = sys.modules[package_name]
    for name, child in vars(extension).items():
        if isinstance(child, types.ModuleType):
            dotted = f"{package_name}.{name}"
            sys.modules[dotted] = child
            setattr(package, name, child)
            _dotted_names[id(child)] = dotted
    copyreg.pickle(_BuiltinFunction, _reduce_builtin_function)
