"""The extension's further modules (search, join), which live in the shared object of
``_quorvalex`` and share its worker pool and kernels."""

import importlib
import importlib.machinery
import importlib.util
import sys
from typing import Any


def load(name: str) -> Any:
    """Module ``quorvalex.<name>`` from the shared object of ``_quorvalex``, loaded once."""
    package = __name__.rpartition(".")[0]
    qualified = f"{package}.{name}"
    module = sys.modules.get(qualified)
    if module is None:
        path = importlib.import_module(f"{package}._quorvalex").__file__
        assert path is not None
        loader = importlib.machinery.ExtensionFileLoader(qualified, path)
        found = importlib.util.spec_from_file_location(qualified, path, loader=loader)
        assert found is not None
        module = importlib.util.module_from_spec(found)
        loader.exec_module(module)
        sys.modules[qualified] = module
    return module
