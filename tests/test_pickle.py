"""Pickling: each function comes back as itself (every protocol, cloudpickle), here and in a fresh
interpreter beside a user's own distance and fuzz modules; other built-ins pickle as before."""

import copyreg
import math
import operator
import pickle
import sys
import types

import cloudpickle
import pytest

import quorvalex
from frame_reference import ALL, run_python
from quorvalex import distance, fuzz

DUMPERS = {f"protocol {p}": (lambda obj, p=p: pickle.dumps(obj, protocol=p)) for p in range(6)}
DUMPERS["cloudpickle"] = cloudpickle.dumps
# Built-in functions and methods that are not ours, and one of ours that never needed help.
OTHER_BUILTINS = [len, math.sqrt, operator.add, [1, 2].append, "-".join, dict.fromkeys,
                  quorvalex.cosine_similarity]


@pytest.mark.parametrize("dumps", DUMPERS.values(), ids=DUMPERS.keys())
def test_functions_come_back_as_themselves_and_other_builtins_as_before(dumps, monkeypatch):
    assert [f for f in ALL if pickle.loads(dumps(f)) is not f] == []
    assert "distance" not in sys.modules and "fuzz" not in sys.modules
    with_reducer = [dumps(obj) for obj in OTHER_BUILTINS]
    monkeypatch.delitem(copyreg.dispatch_table, types.BuiltinFunctionType)
    assert [dumps(obj) for obj in OTHER_BUILTINS] == with_reducer
    with pytest.raises(pickle.PicklingError, match="fuzz"):
        dumps(fuzz.ratio)


def test_pickles_load_in_a_fresh_interpreter(tmp_path):
    for name in ("distance", "fuzz"):
        (tmp_path / f"{name}.py").write_text("MINE = True\n")
    blobs = [(f.__module__, f.__name__, dumps(f)) for f in ALL
             for dumps in (DUMPERS["protocol 0"], DUMPERS["protocol 5"], cloudpickle.dumps)]
    # as people write it for a process pool or a cluster: `fuzz` carried along by value
    score = cloudpickle.dumps(lambda pairs: fuzz.ratio_batch(pairs))
    (tmp_path / "blobs").write_bytes(pickle.dumps((blobs, score)))
    out = run_python("""
        import pickle, sys
        sys.path.insert(0, sys.argv[1])
        import distance, fuzz  # the user's own modules
        blobs, score = pickle.loads(open(sys.argv[2], "rb").read())
        loaded = [pickle.loads(blob) for _, _, blob in blobs]  # imports quorvalex on the way
        import quorvalex
        owner = {"distance": quorvalex.distance, "fuzz": quorvalex.fuzz,
                 "quorvalex._quorvalex": quorvalex._quorvalex}
        wrong = [name for (module, name, _), f in zip(blobs, loaded)
                 if f is not getattr(owner[module], name)]
        print(len(loaded), wrong, distance.MINE, fuzz.MINE, pickle.loads(score)([("ab", "ac")]))
        """, tmp_path, tmp_path / "blobs", timeout=60)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split() == [str(3 * len(ALL)), "[]", "True", "True", "[50.0]"]
