"""The command line run as users run it (subprocesses on small files): outputs against a
brute-force loop of the scalar functions, file formats, stdin/stdout, every error path with its
exit status, the atomic write, and the demo's precision and recall."""

import csv
import io
import os
import re
import resource
import signal
import subprocess
import sys

import pytest

import quorvalex
from join_reference import components, meets
from quorvalex import distance, fuzz
from quorvalex.cli.demo_data import generate
from quorvalex.utils import default_process

DATA = generate(40, seed=5)
LEFT, RIGHT = DATA.queries, DATA.reference
HEADER = ["left_row", "left_value", "right_row", "right_value", "score"]
# The subprocesses import the quorvalex this test imported, whatever their working directory.
ENV = {**os.environ, "PYTHONPATH": os.path.dirname(os.path.dirname(quorvalex.__file__))}


def run(*args, stdin=None, cwd=None, preexec_fn=None):
    result = subprocess.run([sys.executable, "-P", "-m", "quorvalex", *map(str, args)], env=ENV,
                            input=stdin, capture_output=True, cwd=cwd, preexec_fn=preexec_fn,
                            timeout=300)
    result.out, result.err = result.stdout.decode("utf-8"), result.stderr.decode("utf-8")
    return result


def write_csv(path, header, rows, delimiter=",", bom=False, newline="\n"):
    text = io.StringIO()
    csv.writer(text, delimiter=delimiter, lineterminator=newline).writerows([header, *rows])
    path.write_bytes((b"\xef\xbb\xbf" if bom else b"") + text.getvalue().encode("utf-8"))
    return path


def read_csv(text, delimiter=","):
    return list(csv.reader(io.StringIO(text, newline=""), delimiter=delimiter))


def people_file(path, values, **kw):  # the chosen column sits between others, as in real exports
    return write_csv(path, ["id", "name", "city"],
                     [[f"x{i}", v, "Zürich, CH"] for i, v in enumerate(values)], **kw)


def expected_match(left, right, scorer, cutoff, top=1, processor=default_process):
    """Each left value's best `top` right values meeting the cutoff, by brute force."""
    lower = scorer.__name__.endswith("distance")
    prepare = processor or (lambda s: s)
    rows = [HEADER]
    for i, a in enumerate(left):
        found = []
        for j, b in enumerate(right):
            score = scorer(prepare(a), prepare(b), score_cutoff=cutoff) if a and b else None
            if meets(scorer, score, cutoff):
                found.append((score if lower else -score, j, score))
        rows += [[str(i), a, str(j), right[j], repr(score)] for _, j, score in sorted(found)[:top]]
    return rows


MATCH = ["match", "left.csv", "right.csv", "--left-column", "name", "--right-column", "name"]
MATCH_CASES = [  # options, scorer, cutoff, top, processor
    ("", fuzz.w_ratio, 85, 1, default_process),
    ("--scorer token_sort_ratio --cutoff 60 --top 3", fuzz.token_sort_ratio, 60, 3,
     default_process),
    ("--scorer fuzz.ratio --cutoff 70 --processor none --top 2", fuzz.ratio, 70, 2, None),
    ("--scorer levenshtein_distance --cutoff 4 --top 2", distance.levenshtein_distance, 4, 2,
     default_process),
    ("--scorer jaro_winkler_similarity --top 2", distance.jaro_winkler_similarity, 0.85, 2,
     default_process),
]


@pytest.mark.parametrize("options, scorer, cutoff, top, processor", MATCH_CASES)
def test_match_equals_brute_force(tmp_path, options, scorer, cutoff, top, processor):
    people_file(tmp_path / "left.csv", LEFT)
    people_file(tmp_path / "right.csv", RIGHT)
    result = run(*MATCH, "--workers", "2", *options.split(), cwd=tmp_path)
    assert result.returncode == 0, result.err
    rows = read_csv(result.out)
    assert rows == expected_match(LEFT, RIGHT, scorer, cutoff, top, processor)
    assert len(rows) > 3 and result.err == f"{len(rows) - 1} matches written\n"


def test_match_ties_missing_values_and_formats(tmp_path):
    # Equal right values tie: best first, then in right-row order. Empty cells are missing.
    left = ["Acme Corp", "", "Globex", "acme corp."]
    right = ["ACME Corp", "Initech", "", "acme corp", "Globex Inc", "ACME corp"]
    write_csv(tmp_path / "left.tsv", ["name"], [[v] for v in left], delimiter="\t", bom=True)
    write_csv(tmp_path / "right.csv", ["n;x", "name"], [[f"{i};", v] for i, v in enumerate(right)],
              delimiter=";", newline="\r\n")
    result = run("match", "left.tsv", *MATCH[2:], "--top", "5", "--cutoff", "50", "-o", "out.csv",
                 cwd=tmp_path)
    assert result.returncode == 0, result.err
    rows = read_csv((tmp_path / "out.csv").read_text("utf-8"))
    assert rows == expected_match(left, right, fuzz.w_ratio, 50, 5)
    assert [r[2] for r in rows[1:4]] == ["0", "3", "5"]  # three 100.0 ties in row order
    for tab in ("tab", "\\t"):  # spelled out for a shell; both files must then be tab-separated
        again = run("match", "left.tsv", "left.tsv", *MATCH[3:], "--delimiter", tab, "--cutoff",
                    "100", cwd=tmp_path)
        assert again.returncode == 0, again.err
        assert read_csv(again.out) == expected_match(left, left, fuzz.w_ratio, 100)


def test_match_in_slices_equals_one_call():
    # On a terminal the left rows are matched in slices so that the bar advances.
    from quorvalex.cli import commands
    from quorvalex.cli.progress import Progress

    data = generate(3000, seed=2)
    hidden, shown = Progress(quiet=True), Progress(quiet=True)
    shown.visible = True
    for scorer, cutoff in (("ratio", 80), ("levenshtein_distance", 3)):
        choice = commands.choose_scorer(scorer, cutoff, None, "default", 2)
        whole = commands.match_values(data.queries, data.reference, choice, 2, hidden)
        sliced = commands.match_values(data.queries, data.reference, choice, 2, shown)
        assert len(data.queries) > 2000 and len(whole[0]) > 1000
        assert [a.tolist() for a in whole] == [b.tolist() for b in sliced]


# A file to a file, and stdin to stdout (--quiet: nothing on stderr) with a group column's name.
@pytest.mark.parametrize("scorer, cutoff, io, column", [
    (fuzz.token_sort_ratio, 80, ["names.csv", "-o", "grouped.csv"], "group"),
    (fuzz.w_ratio, 85, ["-", "--quiet", "--group-column", "cluster"], "cluster")])
def test_dedupe_groups_are_components(tmp_path, scorer, cutoff, io, column):
    values = LEFT + RIGHT + ["Jon Smith", "John Smith", ""]
    data = people_file(tmp_path / "names.csv", values, delimiter=";")
    result = run("dedupe", *io, "--column", "name", "--scorer", scorer.__name__, "--cutoff",
                 cutoff, cwd=tmp_path, stdin=data.read_bytes())
    assert result.returncode == 0, result.err
    p = [default_process(v) for v in values]
    labels = components(len(values), [
        (i, j) for i in range(len(p)) for j in range(i + 1, len(p))
        if values[i] and values[j] and scorer(p[i], p[j], score_cutoff=cutoff) >= cutoff])
    out = (tmp_path / "grouped.csv").read_text("utf-8") if "-o" in io else result.out
    assert read_csv(out, delimiter=";") == [["id", "name", "city", column]] + [
        [f"x{i}", v, "Zürich, CH", str(g)] for i, (v, g) in enumerate(zip(values, labels))]
    n, distinct = len(values), len(set(labels))
    assert distinct < n and labels[-3] == labels[-2] and labels[-1] == n - 1
    summary = f"{n} rows: {distinct} groups, {n - distinct} duplicates\n"
    assert result.err == ("" if "--quiet" in io else summary)


def test_parquet_in_and_out(tmp_path):
    pa, pq = pytest.importorskip("pyarrow"), pytest.importorskip("pyarrow.parquet")
    values = ["Jon Smith", None, "John Smith", "Mary Jones"]
    pq.write_table(pa.table({"name": pa.array(values).dictionary_encode(), "n": [1, 2, 3, 4]}),
                   tmp_path / "in.bin")  # recognised by its leading bytes
    dedupe = ["dedupe", "--column", "name", "--scorer", "ratio", "--cutoff", "90"]
    assert run(*dedupe, "in.bin", "-o", "out.csv", cwd=tmp_path).returncode == 0
    assert read_csv((tmp_path / "out.csv").read_text("utf-8")) == [
        ["name", "n", "group"], ["Jon Smith", "1", "0"], ["", "2", "1"], ["John Smith", "3", "0"],
        ["Mary Jones", "4", "3"]]
    result = run("match", "in.bin", "out.csv", *MATCH[3:], "--scorer", "ratio", "--cutoff", "60",
                 "--top", "2", "-o", "m.parquet", cwd=tmp_path)
    assert result.returncode == 0, result.err
    table = pq.read_table(tmp_path / "m.parquet")
    got = [[str(v) if k != "score" else repr(v) for k, v in row.items()]
           for row in table.to_pylist()]
    assert [table.column_names, *got] == expected_match(values, values, fuzz.ratio, 60, 2)


COLUMNS = "--left-column name --right-column name"
M, D = f"match a.csv a.csv {COLUMNS}", "dedupe a.csv --column name"
ERROR_CASES = [  # arguments, a fragment of the one-line message
    (f"match nope.csv a.csv {COLUMNS}", "no such file: nope.csv"),
    ("match a.csv a.csv --left-column nom --right-column name",
     "a.csv has no column 'nom'; its columns are: 'id', 'name', 'city'"),
    (f"{M} --scorer levenstein", "unknown scorer 'levenstein'; valid scorers: levenshtein_"),
    (f"{M} --scorer ratio_batch", "unknown scorer 'ratio_batch'"),
    ("dedupe bad.csv --column name", "bad.csv: line 3 is not valid UTF-8 (byte 0xe9 at column 4)"),
    ("dedupe wide.csv --column a", "wide.csv: line 3 has 3 fields, the header has 2"),
    ("dedupe empty.csv --column a", "empty.csv is empty"),
    ("dedupe dir --column a", "dir is a directory"),
    (f"{D} --group-column city", "already has a column 'city'"),
    ("dedupe broken.parquet --column n", "broken.parquet: not a readable Parquet file"),
    ("dedupe ints.parquet --column n", "column 'n' of ints.parquet holds int64, not text"),
    (f"{M} --top 0", "--top 0 is impossible"),
    (f"{M} --cutoff 101", "--cutoff 101 is impossible for w_ratio: its values are between 0 and"),
    (f"{D} --scorer levenshtein_distance --cutoff 1.5", "its values are whole numbers"),
    (f"{D} --scorer levenshtein_distance", "give --cutoff"),
    (f"{D} --workers 0", "--workers 0 is impossible"),
    (f"{D} --delimiter ab", "--delimiter must be one character"),
    (f"{D} --option prefix_weight=0.2",  # the scorer's own words
     "w_ratio() got an unexpected keyword argument 'prefix_weight'"),
    (f"match - - {COLUMNS}", "only one of LEFT and RIGHT"),
    (f"{D} -o missing/out.csv", "cannot write missing/out.csv"),
    ("compare a b --measure ratio --option alpha=2", "--option alpha"),
    ("compare a b --option oops", "--option expects NAME=VALUE"),
    ("demo --size 3", "--size 3 is impossible"),
    ("frobnicate", "invalid choice: 'frobnicate'"),
]


@pytest.mark.parametrize("args, message", ERROR_CASES, ids=[m[:30] for _, m in ERROR_CASES])
def test_errors_are_one_line_with_status_2(tmp_path, args, message):
    people_file(tmp_path / "a.csv", LEFT)
    (tmp_path / "bad.csv").write_bytes(b"name\nJohn\nJos\xe9\nMary\n")
    (tmp_path / "wide.csv").write_bytes(b"a,b\n1,2\n3,4,5\n")
    (tmp_path / "empty.csv").write_bytes(b"")
    (tmp_path / "dir").mkdir()
    (tmp_path / "broken.parquet").write_bytes(b"PAR1 and then no table at all")
    pa, pq = pytest.importorskip("pyarrow"), pytest.importorskip("pyarrow.parquet")
    pq.write_table(pa.table({"n": [1, 2]}), tmp_path / "ints.parquet")
    result = run(*args.split(), cwd=tmp_path)
    assert (result.returncode, result.out) == (2, "") and message in result.err
    assert result.err.count("\n") == 1 and "Traceback" not in result.err
    assert not (tmp_path / "missing").exists()


def test_failed_write_leaves_no_file_and_keeps_the_old_one(tmp_path):
    people_file(tmp_path / "names.csv", LEFT * 20)  # several kilobytes of output

    def small_files():  # writing past 4 KiB fails with EFBIG instead of killing the process
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

    for old in (None, "old\n"):
        if old:
            (tmp_path / "out.csv").write_text(old)
        result = run("dedupe", "names.csv", "--column", "name", "--scorer", "ratio", "--cutoff",
                     "95", "-o", "out.csv", cwd=tmp_path, preexec_fn=small_files)
        assert result.returncode == 2 and "cannot write out.csv: File too large" in result.err
        # No output, no temporary file; the old output is kept.
        assert sorted(os.listdir(tmp_path)) == ["names.csv"] + (["out.csv"] if old else [])
    assert (tmp_path / "out.csv").read_text() == "old\n"


def test_compare_every_measure_or_the_named_ones():
    pair = ("Jürgen Müller", "Juergen Mueller")
    lines = run("compare", *pair).out.splitlines()
    assert lines[0].split() == ["measure", "value", "normalized", "similarity"]
    rows = {line.split()[0]: line.split()[1:] for line in lines[1:]}
    assert len(rows) == 70 and rows["distance.levenshtein_distance"] == [
        "4", repr(distance.levenshtein_normalized_similarity(*pair))]
    for qualified, shown in rows.items():
        module, _, name = qualified.rpartition(".")
        function = getattr({"distance": distance, "fuzz": fuzz}.get(module, quorvalex), name)
        assert shown[0] == repr(function(*pair))
    result = run("compare", "MARTHA!", "marhta", "--measure", "jaro_winkler_distance", "--measure",
                 "fuzz.ratio", "--option", "prefix_weight=0.2", "--processor", "default")
    pair, jw = ("martha", "marhta"), {"prefix_weight": 0.2}
    assert [line.split() for line in result.out.splitlines()[1:]] == [
        ["distance.jaro_winkler_distance", repr(distance.jaro_winkler_distance(*pair, **jw)),
         repr(distance.jaro_winkler_normalized_similarity(*pair, **jw))],
        ["fuzz.ratio", repr(fuzz.ratio(*pair))]]


@pytest.mark.parametrize("args, pattern", [
    *[((command, "--help"), rf"example:\n  quorvalex {command}")
      for command in ["compare", "match", "dedupe", "demo"]],
    (("--help",), "quorvalex demo"), (("--version",), rf"^quorvalex {quorvalex.__version__}\n$")])
def test_help_examples_and_version(args, pattern):
    result = run(*args)
    assert result.returncode == 0 and re.search(pattern, result.out)


def test_demo_precision_and_recall(tmp_path):
    result = run("demo", "--size", "2000", "--workers", "2", "--save", "data", cwd=tmp_path)
    assert result.returncode == 0, result.err
    table = re.findall(r"^(\S+)\s+([\d.]+)\s+([\d,]+)\s+([\d.]+)\s+([\d.]+)\s+[\d.]+$",
                       result.out, re.MULTILINE)
    assert len(table) == 8
    # Worst measured at this size: match 0.95 precision, 0.63 recall; dedupe 0.87 and 0.53.
    for (precision, recall), rows in (((0.9, 0.55), table[:5]), ((0.8, 0.45), table[5:])):
        for name, cutoff, _, got_precision, got_recall in rows:
            assert float(got_precision) >= precision and float(got_recall) >= recall, rows
    saved = read_csv((tmp_path / "data" / "queries.csv").read_text("utf-8"))
    assert saved[0] == ["name", "true_reference_row"] and len(saved) == 1501
    assert generate(300, seed=9) == generate(300, seed=9) != generate(300, seed=10)


def test_progress_bar_only_on_a_terminal_and_not_for_quick_steps(monkeypatch):
    from quorvalex.cli import progress

    class Terminal(io.StringIO):
        def isatty(self):
            return True

    for quiet, terminal, shown in ((False, True, True), (True, True, False), (False, False, False)):
        monkeypatch.setattr(sys, "stderr", stderr := Terminal() if terminal else io.StringIO())
        for delay, name in ((1.0, "quick"), (0.0, "scoring")):  # 0.0: a step that lasts
            monkeypatch.setattr(progress, "_DELAY", delay)
            with progress.Progress(quiet).stage(name, total=10) as bar:
                bar.update(4)
        assert "quick" not in stderr.getvalue()
        assert ("scoring:" in stderr.getvalue()) == shown
