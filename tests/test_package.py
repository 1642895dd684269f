"""The package around the extension: child modules importable by dotted name, the version,
and type stubs whose result types are what the functions return."""

import ast
import importlib
import importlib.metadata
import pathlib
import re
import sys
import types

import pytest

import quorvalex
from frame_reference import ALL
from quorvalex import _quorvalex

CHILDREN = {"distance": _quorvalex.distance, "fuzz": _quorvalex.fuzz}
PACKAGE_DIR = pathlib.Path(quorvalex.__file__).parent


@pytest.mark.parametrize("name", CHILDREN)
def test_child_modules_import_by_dotted_name(name, monkeypatch):
    module = importlib.import_module(f"quorvalex.{name}")
    assert module is CHILDREN[name] is getattr(quorvalex, name) and name not in sys.modules
    # an entry removed from sys.modules and from the package comes back as the child module
    monkeypatch.delitem(sys.modules, f"quorvalex.{name}")
    monkeypatch.delattr(quorvalex, name)
    assert importlib.import_module(f"quorvalex.{name}") is module is getattr(quorvalex, name)
    assert sys.modules[f"quorvalex.{name}"] is module


def test_version_is_that_of_the_distribution():
    assert re.fullmatch(r"\d+\.\d+\.\d+((a|b|rc)\d+)?(\.dev\d+)?", quorvalex.__version__)
    try:
        dist = importlib.metadata.distribution("quorvalex")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("quorvalex is not installed (development stage)")
    if pathlib.Path(dist.locate_file("quorvalex/__init__.py")) != pathlib.Path(quorvalex.__file__):
        pytest.skip("the installed distribution is not the package under test")
    assert dist.version == quorvalex.__version__


def stub_functions():
    """(module, FunctionDef) of every function in the package's stubs."""
    stubs = {"distance.pyi": CHILDREN["distance"], "fuzz.pyi": CHILDREN["fuzz"],
             "__init__.pyi": _quorvalex}
    assert (PACKAGE_DIR / "py.typed").is_file()
    for file, module in stubs.items():
        tree = ast.parse((PACKAGE_DIR / file).read_text("utf-8"))
        yield from ((module, node) for node in tree.body if isinstance(node, ast.FunctionDef))


def conforms(value, hint):  # hint: an evaluated annotation (int, float, X | None, list[X])
    if isinstance(hint, types.UnionType):
        return any(conforms(value, h) for h in hint.__args__)
    if isinstance(hint, types.GenericAlias):
        return type(value) is list and all(conforms(v, *hint.__args__) for v in value)
    return type(value) is hint


def test_stubs_cover_every_function_with_its_result_type():
    pairs = [("ab", "ac"), ("", ""), ("ab", "a"), ("new york", "york new")]  # Hamming: one None
    seen = []
    for module, node in stub_functions():
        fn = getattr(module, node.name)
        results = [fn(pairs)] if node.name.endswith("_batch") else [fn(*p) for p in pairs]
        hint = eval(ast.unparse(node.returns))  # noqa: S307 - the package's own stubs
        assert all(conforms(r, hint) for r in results), (node.name, results)
        flat = [x for r in results for x in (r if type(r) is list else [r])]
        assert ("None" in ast.unparse(node.returns)) == (None in flat), node.name
        doc = ast.get_docstring(node)
        assert doc and "\n" not in doc, node.name
        seen.append(fn)
    assert sorted(f.__name__ for f in seen) == sorted(f.__name__ for f in ALL)
