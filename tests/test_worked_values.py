"""Worked values (tests/data/worked_values.jsonl): each function and its reference give the value
written down, on both argument orders; with no cutoff given, cutoffs around the value agree
with the reference too."""

import json
import pathlib

import pytest

import quorvalex as q
import reference as ref
from quorvalex import distance, fuzz

ROWS = [json.loads(line) for line in
        (pathlib.Path(__file__).parent / "data" / "worked_values.jsonl").read_text().splitlines()]
CASES = [(row, name) for row in ROWS for name in row["values"]]


def function(name):
    return next(getattr(m, name) for m in (distance, fuzz, q) if hasattr(m, name))


@pytest.mark.parametrize("row, name", CASES, ids=[f"{n}-{i}" for i, (r, n) in enumerate(CASES)])
def test_worked_value(row, name):
    fn, want, cutoff = function(name), row["values"][name], row.get("cutoff")
    options = {k: float(v) if v == "nan" else v for k, v in row.get("options", {}).items()}
    orders = [(row["s1"], row["s2"])] + [(row["s2"], row["s1"])] * row.get("swap", True)
    for s1, s2 in orders:
        assert ref.same(fn(s1, s2, score_cutoff=cutoff, **options), want), (s1, s2)
        assert ref.same(ref.call(name, s1, s2, cutoff, **options), want), (s1, s2)
    if cutoff is None:
        ref.check(fn, row["s1"], row["s2"], symmetric=row.get("swap", True), **options)
