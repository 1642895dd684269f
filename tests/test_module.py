"""Module layout: the function table (text signatures, docstrings, __all__), re-import,
sub-interpreters and the failure paths of initialisation."""

import importlib
import importlib.util
import json
import pathlib
import sys

import pytest

import quorvalex
from frame_reference import MALLINFO, SANITIZED, run_python
from quorvalex import _quorvalex

GOLDEN = pathlib.Path(__file__).parent / "data" / "functions.jsonl"


def golden_table():
    """The rows of GOLDEN in order, a function's batch form ("batch": true, or its docstring)
    after the next row that says "batches_follow"."""
    rows, pending = [], []
    for line in GOLDEN.open(encoding="utf-8"):
        rows.append(row := json.loads(line))
        if batch := row.pop("batch", None):
            pending.append({"name": row["name"] + "_batch", "module": row["module"],
                            "signature": row["signature"].replace("(s1, s2, ", "_batch(pairs, "),
                            "doc": None if batch is True else batch})
        if row.pop("batches_follow", False):
            rows, pending = rows + pending, []
    assert not pending and len(rows) == 112
    return rows


ROWS = golden_table()
OWNER = {"distance": _quorvalex.distance, "fuzz": _quorvalex.fuzz, "top": _quorvalex}
MODULE_NAME = {"distance": "distance", "fuzz": "fuzz", "top": "quorvalex._quorvalex"}


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
    assert quorvalex.cosine_similarity_batch is _quorvalex.cosine_similarity_batch
    assert quorvalex.__all__ == _quorvalex.__all__
    # The package enters the child modules as quorvalex.distance and quorvalex.fuzz only.
    for name in ("quorvalex._quorvalex.distance", "distance", "fuzz"):
        with pytest.raises(ModuleNotFoundError):
            importlib.import_module(name)
        assert name not in sys.modules


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


# Initialisation's failure paths (test hook QUORVALEX_FAIL_INIT_AT=N: the N-th fallible step
# runs out of memory) leave no module, no owner and no memory behind (the method definitions
# are built once and reused); the next initialisation succeeds.
INIT_FAILURES = """
import gc, os, sys
steps = growth = 0
while True:  # each step fails four times; the growth from the second to the fourth counts
    os.environ["QUORVALEX_FAIL_INIT_AT"] = str(steps + 1)
    sizes = []
    for _ in range(4):
        try:
            import quorvalex._quorvalex
        except MemoryError:
            assert not [m for m in sys.modules if m.startswith("quorvalex")]
            gc.collect()  # the partial modules are reference cycles
            sizes.append(in_use())
    if not sizes:
        break
    assert len(sizes) == 4, steps
    growth, steps = growth + sizes[3] - sizes[1], steps + 1
import quorvalex
assert quorvalex.distance.levenshtein_distance("kitten", "sitting") == 3
assert len(quorvalex._quorvalex.__all__) == 26
print(steps, growth)
"""


def test_every_init_failure_path():
    if SANITIZED:  # LeakSanitizer reports any block allocated by the module and lost
        env = {"ASAN_OPTIONS": "detect_leaks=1:exitcode=0:abort_on_error=0"}
        out = run_python("in_use = lambda: 0\n" + INIT_FAILURES, env=env)
    else:
        out = run_python(MALLINFO + INIT_FAILURES, env={"MALLOC_ARENA_MAX": "1"})
    assert out.returncode == 0 and "_quorvalex" not in out.stderr, out.stderr[-3000:]
    steps, growth = map(int, out.stdout.split())
    assert steps > 2 * 112  # at least the function objects and their additions to the modules
    assert growth < 64 * 1024  # a lost method definition per failure: megabytes


# A failed import in a sub-interpreter leaves no owner; then a legacy (shared) one reaches the
# init function, which refuses it. Isolated ones refuse it (3.12 runs the init function first).
SUB_INTERPRETERS = """
import os, sys
def legacy(code):
    import _testcapi
    sys.stdout.flush()
    return _testcapi.run_in_subinterp(code)
if sys.argv[1] == "legacy":
    os.environ["QUORVALEX_FAIL_INIT_AT"] = "1"
    print(legacy("import sys\\ntry:\\n import quorvalex\\nexcept MemoryError:\\n"
                 " sys.stdout.write('failed')"))
    del os.environ["QUORVALEX_FAIL_INIT_AT"]
else:
    try:
        import _interpreters as interpreters
    except ImportError:
        import _xxsubinterpreters as interpreters
    interp = interpreters.create()
    try:
        failure = interpreters.run_string(interp, "import quorvalex")
    except interpreters.RunFailedError as e:   # 3.12 raises, 3.13 returns the failure
        failure = e
    interpreters.destroy(interp)
    refused = "ImportError: module _quorvalex does not support loading in subinterpreters"
    print("failed" if refused in str(failure).replace("'>", "") else repr(failure))
import quorvalex
print(quorvalex.distance.prefix_similarity("ab", "ab"))
if sys.argv[1] == "legacy":
    legacy("try:\\n import quorvalex._quorvalex\\nexcept ImportError as e:\\n print(repr(e))")
"""


@pytest.mark.parametrize("kind", ["legacy", "isolated"])
def test_sub_interpreters(kind):
    if kind == "isolated" and sys.version_info < (3, 12):
        pytest.skip("isolated sub-interpreters start with Python 3.12")
    if importlib.util.find_spec("_testcapi") is None:
        pytest.skip("this interpreter has no _testcapi")
    out = run_python(SUB_INTERPRETERS, kind, timeout=60)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.splitlines()
    assert lines[:2] == ["failed0" if kind == "legacy" else "failed", "2"]
    if kind == "legacy":
        assert lines[2].startswith("ImportError(") and "sub-interpreters" in lines[2]
