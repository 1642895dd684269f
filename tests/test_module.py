"""Module layout: the function table, text signatures, docstrings, __all__ and re-import."""

import importlib
import importlib.util
import json
import pathlib
import sys

import pytest

import quorvalex
from frame_reference import run_python
from quorvalex import _quorvalex

ROWS = json.loads((pathlib.Path(__file__).parent / "data" / "functions.json").read_text("utf-8"))
OWNER = {"distance": _quorvalex.distance, "fuzz": _quorvalex.fuzz, "top": _quorvalex}
MODULE_NAME = {"distance": "distance", "fuzz": "fuzz", "top": "quorvalex._quorvalex"}


def test_golden_table_shape():
    assert len(ROWS) == 112
    assert {key: sum(r["module"] == key for r in ROWS) for key in OWNER} == {
        "distance": 68, "fuzz": 20, "top": 24}
    assert sum(r["name"].endswith("_batch") for r in ROWS) == 42


@pytest.mark.parametrize("row", ROWS, ids=[r["name"] for r in ROWS])
def test_function_matches_table(row):
    fn = getattr(OWNER[row["module"]], row["name"])
    name, _, params = row["signature"].partition("(")
    assert name == fn.__name__ == fn.__qualname__ == row["name"]
    assert fn.__text_signature__ == "(" + params
    assert fn.__doc__ == row["doc"]
    assert fn.__module__ == MODULE_NAME[row["module"]]
    assert fn.__self__ is OWNER[row["module"]]
    assert type(fn).__name__ == "builtin_function_or_method"


@pytest.mark.parametrize("key", ["distance", "fuzz", "top"])
def test_all_lists_in_table_order_and_nothing_else(key):
    names = [r["name"] for r in ROWS if r["module"] == key]
    assert OWNER[key].__all__ == (["distance", "fuzz"] + names if key == "top" else names)
    assert type(OWNER[key].__all__) is list
    assert {n for n in vars(OWNER[key]) if not n.startswith("_")} == set(OWNER[key].__all__)


def test_module_names_and_reexports():
    assert _quorvalex.__name__ == "quorvalex._quorvalex"
    assert _quorvalex.__doc__ == "Quorvalex Python module"
    assert (_quorvalex.distance.__name__, _quorvalex.fuzz.__name__) == ("distance", "fuzz")
    from quorvalex import distance, fuzz  # noqa: PLC0415

    assert distance is _quorvalex.distance and fuzz is _quorvalex.fuzz
    assert quorvalex.cosine_similarity_batch is _quorvalex.cosine_similarity_batch
    assert quorvalex.__all__ == _quorvalex.__all__


def test_same_module_on_reimport():
    original = sys.modules["quorvalex._quorvalex"]
    original._reimport_marker = 7
    try:
        del sys.modules["quorvalex._quorvalex"]
        again = importlib.import_module("quorvalex._quorvalex")
        assert again is original and again._reimport_marker == 7
        found = importlib.util.spec_from_file_location("quorvalex._quorvalex", original.__file__)
        assert importlib.util.module_from_spec(found) is original
        assert importlib.reload(original) is original
    finally:
        sys.modules["quorvalex._quorvalex"] = original
        del original._reimport_marker
    assert original.distance.prefix_similarity("ab", "ac") == 1


def test_child_modules_not_importable_from_the_extension():
    # The package enters them as quorvalex.distance and quorvalex.fuzz (tests/test_package.py).
    for name in ("quorvalex._quorvalex.distance", "distance", "fuzz"):
        with pytest.raises(ModuleNotFoundError):
            importlib.import_module(name)
        assert name not in sys.modules
    from quorvalex._quorvalex import distance  # noqa: PLC0415

    assert distance.__all__[0] == "levenshtein_distance"


def test_refused_in_sub_interpreter():
    # A legacy (shared) sub-interpreter reaches the init function, which refuses it.
    out = run_python("""
        import sys
        try:
            import _testcapi
        except ImportError:
            print("no sub-interpreters"); sys.exit(0)
        import quorvalex
        code = "try:\\n import quorvalex._quorvalex\\nexcept ImportError as e:\\n print(repr(e))"
        sys.stdout.flush()
        _testcapi.run_in_subinterp(code)
        print(quorvalex.distance.prefix_similarity('ab', 'ab'))
        """, timeout=60)
    assert out.returncode == 0, out.stderr
    if out.stdout.strip() == "no sub-interpreters":
        pytest.skip("this interpreter has no _testcapi")
    first, second = out.stdout.splitlines()
    assert first.startswith("ImportError(") and "sub-interpreters" in first
    assert second == "2"
