"""Module layout: the function table, text signatures, docstrings, __all__ and re-import."""

import importlib
import importlib.util
import json
import pathlib
import subprocess
import sys

import pytest

import quorvalex
from quorvalex import _quorvalex

ROWS = json.loads((pathlib.Path(__file__).parent / "data" / "functions.json").read_text("utf-8"))
OWNER = {"distance": _quorvalex.distance, "fuzz": _quorvalex.fuzz, "top": _quorvalex}
MODULE_NAME = {"distance": "distance", "fuzz": "fuzz", "top": "quorvalex._quorvalex"}


def test_golden_table_shape():
    assert len(ROWS) == 112
    counts = {key: sum(r["module"] == key for r in ROWS) for key in OWNER}
    assert counts == {"distance": 68, "fuzz": 20, "top": 24}
    assert sum(r["name"].endswith("_batch") for r in ROWS) == 42


@pytest.mark.parametrize("row", ROWS, ids=[r["name"] for r in ROWS])
def test_function_matches_table(row):
    fn = getattr(OWNER[row["module"]], row["name"])
    name, _, params = row["signature"].partition("(")
    assert name == row["name"]
    assert fn.__name__ == row["name"]
    assert fn.__qualname__ == row["name"]
    assert fn.__text_signature__ == "(" + params
    assert fn.__doc__ == row["doc"]
    assert fn.__module__ == MODULE_NAME[row["module"]]
    assert fn.__self__ is OWNER[row["module"]]
    assert type(fn).__name__ == "builtin_function_or_method"


@pytest.mark.parametrize("key", ["distance", "fuzz", "top"])
def test_all_lists_in_table_order(key):
    names = [r["name"] for r in ROWS if r["module"] == key]
    if key == "top":
        names = ["distance", "fuzz"] + names
    assert OWNER[key].__all__ == names
    assert type(OWNER[key].__all__) is list


def test_no_other_public_attributes():
    for key, module in OWNER.items():
        public = {n for n in vars(module) if not n.startswith("_")}
        assert public == set(module.__all__), key


def test_module_names_and_docstring():
    assert _quorvalex.__name__ == "quorvalex._quorvalex"
    assert _quorvalex.__doc__ == "Quorvalex Python module"
    assert _quorvalex.distance.__name__ == "distance"
    assert _quorvalex.fuzz.__name__ == "fuzz"
    assert "distance" in dir(_quorvalex) and "fuzz" in dir(_quorvalex)


def test_same_module_on_reimport():
    original = sys.modules["quorvalex._quorvalex"]
    original._reimport_marker = 7
    try:
        del sys.modules["quorvalex._quorvalex"]
        again = importlib.import_module("quorvalex._quorvalex")
        assert again is original
        assert again._reimport_marker == 7  # attributes a caller set survive
        del sys.modules["quorvalex._quorvalex"]
        import quorvalex._quorvalex as third  # noqa: PLC0415

        assert third is original
        found = importlib.util.spec_from_file_location("quorvalex._quorvalex", original.__file__)
        assert importlib.util.module_from_spec(found) is original
        assert importlib.reload(original) is original
    finally:
        sys.modules["quorvalex._quorvalex"] = original
        del original._reimport_marker
    assert original.distance.prefix_similarity("ab", "ac") == 1


def test_package_reexports():
    from quorvalex import distance, fuzz  # noqa: PLC0415

    assert distance is _quorvalex.distance and fuzz is _quorvalex.fuzz
    assert quorvalex.jaccard_similarity is _quorvalex.jaccard_similarity
    assert quorvalex.cosine_similarity_batch is _quorvalex.cosine_similarity_batch
    assert quorvalex.__all__ == _quorvalex.__all__
    assert quorvalex.distance.prefix_distance("abc", "abd") == 1


@pytest.mark.parametrize(
    "name", ["quorvalex._quorvalex.distance", "quorvalex._quorvalex.fuzz", "quorvalex.distance"]
)
def test_child_modules_not_importable(name):
    with pytest.raises(ModuleNotFoundError):
        importlib.import_module(name)
    assert name not in sys.modules


def test_from_import_of_child_module():
    from quorvalex._quorvalex import distance  # noqa: PLC0415

    assert distance.__all__[0] == "levenshtein_distance"


def test_refused_in_sub_interpreter():
    # A shared (non-isolated) sub-interpreter reaches the init function, which refuses it.
    code = (
        "import _xxsubinterpreters as I\n"
        "import quorvalex\n"
        "i = I.create(isolated=False)\n"
        "try:\n"
        "    I.run_string(i, 'import quorvalex._quorvalex')\n"
        "except I.RunFailedError as e:\n"
        "    print(e)\n"
        "I.destroy(i)\n"
        "print(quorvalex.distance.prefix_similarity('ab', 'ab'))\n"
    )
    out = subprocess.run(
        [sys.executable, "-P", "-c", code], capture_output=True, text=True, timeout=60
    )
    assert out.returncode == 0, out.stderr
    first, second = out.stdout.splitlines()
    assert first.startswith("<class 'ImportError'>")
    assert "sub-interpreters" in first
    assert second == "2"
