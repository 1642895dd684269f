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
import time

import pytest

import quorvalex
from join_reference import components
from quorvalex import distance, fuzz
from quorvalex.cli.demo_data import generate

DATA = generate(40, seed=5)
LEFT, RIGHT = DATA.queries, DATA.reference
HEADER = ["left_row", "left_value", "right_row", "right_value", "score"]
# The subprocesses import the quorvalex this test imported, whatever their working directory.
ENV = {**os.environ, "PYTHONPATH": os.path.dirname(os.path.dirname(quorvalex.__file__))}


def run(*args, stdin=None, cwd=None, preexec_fn=None):
    result = subprocess.run([sys.executable, "-P", "-m", "quorvalex", *map(str, args)],
                            input=stdin, capture_output=True, cwd=cwd, preexec_fn=preexec_fn, env=ENV,
                            timeout=300)
    result.out = result.stdout.decode("utf-8")
    result.err = result.stderr.decode("utf-8")
    return result


def write_csv(path, header, rows, delimiter=",", bom=False, newline="\n"):
    text = io.StringIO()
    csv.writer(text, delimiter=delimiter, lineterminator=newline).writerows([header, *rows])
    path.write_bytes((b"\xef\xbb\xbf" if bom else b"") + text.getvalue().encode("utf-8"))
    return path


def read_csv(text, delimiter=","):
    return list(csv.reader(io.StringIO(text, newline=""), delimiter=delimiter))


def people_file(path, values, **kw):
    """A file whose chosen column sits between others (ids, cities), as real exports have it."""
    return write_csv(path, ["id", "name", "city"],
                     [[f"x{i}", v, "Zürich, CH"] for i, v in enumerate(values)], **kw)


def default_process(s):
    from quorvalex.utils import default_process as process
    return process(s)


def expected_match(left, right, scorer, cutoff, top=1, processor=default_process):
    """Each left value's best `top` right values meeting the cutoff, by brute force."""
    lower = scorer.__name__.endswith("distance")
    prepare = processor or (lambda s: s)
    rows = []
    for i, a in enumerate(left):
        if not a:
            continue
        found = []
        for j, b in enumerate(right):
            if not b:
                continue
            score = scorer(prepare(a), prepare(b), score_cutoff=cutoff)
            if score is not None and (score <= cutoff if lower else score >= cutoff):
                found.append((score if lower else -score, j, score))
        found.sort()
        rows += [[str(i), a, str(j), right[j], repr(score)] for _, j, score in found[:top]]
    return [HEADER, *rows]


def groups(values, scorer, cutoff):
    """Group label (first row of the group) of every value, from brute-force pairs."""
    p = [default_process(v) for v in values]
    edges = [(i, j) for i in range(len(p)) for j in range(i + 1, len(p))
             if values[i] and values[j] and scorer(p[i], p[j], score_cutoff=cutoff) >= cutoff]
    return components(len(values), edges)


# match -----------------------------------------------------------------------------------------

MATCH_CASES = [  # options, scorer, cutoff, top, processor
    ([], fuzz.w_ratio, 85, 1, default_process),
    (["--scorer", "token_sort_ratio", "--cutoff", "60", "--top", "3"], fuzz.token_sort_ratio, 60, 3,
     default_process),
    (["--scorer", "fuzz.ratio", "--cutoff", "70", "--processor", "none", "--top", "2"], fuzz.ratio,
     70, 2, None),
    (["--scorer", "levenshtein_distance", "--cutoff", "4", "--top", "2"],
     distance.levenshtein_distance, 4, 2, default_process),
    (["--scorer", "jaro_winkler_similarity", "--top", "2"], distance.jaro_winkler_similarity, 0.85,
     2, default_process),
]


@pytest.mark.parametrize("options, scorer, cutoff, top, processor", MATCH_CASES)
def test_match_equals_brute_force(tmp_path, options, scorer, cutoff, top, processor):
    people_file(tmp_path / "left.csv", LEFT)
    people_file(tmp_path / "right.csv", RIGHT)
    result = run("match", "left.csv", "right.csv", "--left-column", "name", "--right-column",
                 "name", "--workers", "2", *options, cwd=tmp_path)
    assert result.returncode == 0, result.err
    assert read_csv(result.out) == expected_match(LEFT, RIGHT, scorer, cutoff, top, processor)
    assert len(read_csv(result.out)) > 3  # the cases are chosen so that matches exist
    assert result.err == f"{len(read_csv(result.out)) - 1} matches written\n"


def test_match_ties_missing_values_and_formats(tmp_path):
    # Equal right values tie: best first, then in right-row order. Empty cells are missing.
    left = ["Acme Corp", "", "Globex", "acme corp."]
    right = ["ACME Corp", "Initech", "", "acme corp", "Globex Inc", "ACME corp"]
    write_csv(tmp_path / "left.tsv", ["name"], [[v] for v in left], delimiter="\t", bom=True)
    write_csv(tmp_path / "right.csv", ["n;x", "name"], [[f"{i};", v] for i, v in enumerate(right)],
              delimiter=";", newline="\r\n")
    result = run("match", "left.tsv", "right.csv", "--left-column", "name", "--right-column",
                 "name", "--top", "5", "--cutoff", "50", "-o", "out.csv", cwd=tmp_path)
    assert result.returncode == 0, result.err
    for tab in ("tab", "\\t"):  # spelled out for a shell; both files must then be tab-separated
        again = run("match", "left.tsv", "left.tsv", "--left-column", "name", "--right-column",
                    "name", "--delimiter", tab, cwd=tmp_path)
        assert again.returncode == 0 and again.out.startswith("left_row,") and "Acme" in again.out
    assert result.returncode == 0, result.err
    rows = read_csv((tmp_path / "out.csv").read_text("utf-8"))
    assert rows == expected_match(left, right, fuzz.w_ratio, 50, 5)
    assert [r[2] for r in rows[1:4]] == ["0", "3", "5"]  # three 100.0 ties in row order


def test_match_stdin_and_given_delimiter(tmp_path):
    people_file(tmp_path / "right.csv", RIGHT, delimiter="|")
    left = people_file(tmp_path / "left.csv", LEFT, delimiter="|").read_bytes()
    result = run("match", "-", "right.csv", "--left-column", "name", "--right-column", "name",
                 "--delimiter", "|", "--cutoff", "80", stdin=left, cwd=tmp_path)
    assert result.returncode == 0, result.err
    assert read_csv(result.out) == expected_match(LEFT, RIGHT, fuzz.w_ratio, 80)


def test_match_parquet_in_and_out(tmp_path):
    pa = pytest.importorskip("pyarrow")
    import pyarrow.parquet as pq

    pq.write_table(pa.table({"name": LEFT, "n": list(range(len(LEFT)))}), tmp_path / "left.bin")
    people_file(tmp_path / "right.csv", RIGHT)
    result = run("match", "left.bin", "right.csv", "--left-column", "name", "--right-column",
                 "name", "--scorer", "ratio", "--cutoff", "60", "-o", "out.parquet", cwd=tmp_path)
    assert result.returncode == 0, result.err
    table = pq.read_table(tmp_path / "out.parquet")
    assert table.column_names == HEADER
    got = [[str(v) if k != "score" else repr(v) for k, v in row.items()] for row in table.to_pylist()]
    assert [HEADER, *got] == expected_match(LEFT, RIGHT, fuzz.ratio, 60)


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


# dedupe ----------------------------------------------------------------------------------------

@pytest.mark.parametrize("scorer, cutoff", [(fuzz.token_sort_ratio, 80), (fuzz.w_ratio, 85)])
def test_dedupe_groups_are_components(tmp_path, scorer, cutoff):
    values = LEFT + RIGHT
    people_file(tmp_path / "names.csv", values, delimiter=";")
    result = run("dedupe", "names.csv", "--column", "name", "--scorer", scorer.__name__,
                 "--cutoff", cutoff, "-o", "grouped.csv", cwd=tmp_path)
    assert result.returncode == 0, result.err
    rows = read_csv((tmp_path / "grouped.csv").read_text("utf-8"), delimiter=";")
    labels = groups(values, scorer, cutoff)
    assert rows == [["id", "name", "city", "group"]] + [
        [f"x{i}", v, "Zürich, CH", str(g)] for i, (v, g) in enumerate(zip(values, labels))]
    distinct = len(set(labels))
    assert distinct < len(values)
    assert result.err == f"{len(values)} rows: {distinct} groups, {len(values) - distinct} duplicates\n"


def test_dedupe_stdin_to_stdout_keeps_other_columns(tmp_path):
    data = people_file(tmp_path / "n.csv", ["Jon Smith", "John Smith", "Mary Jones", ""]).read_bytes()
    result = run("dedupe", "-", "--column", "name", "--scorer", "ratio", "--cutoff", "90",
                 "--group-column", "cluster", "--quiet", stdin=data)
    assert result.returncode == 0 and result.err == ""
    assert read_csv(result.out)[0] == ["id", "name", "city", "cluster"]
    groups = [row[3] for row in read_csv(result.out)[1:]]
    assert groups[:3] == ["0", "0", "2"]


def test_dedupe_between_csv_and_parquet(tmp_path):
    pa = pytest.importorskip("pyarrow")
    import pyarrow.parquet as pq

    values = ["Jon Smith", None, "John Smith", "Mary Jones"]
    pq.write_table(pa.table({"name": pa.array(values).dictionary_encode(), "n": [1, 2, 3, 4]}),
                   tmp_path / "in.parquet")
    assert run("dedupe", "in.parquet", "--column", "name", "--scorer", "ratio", "--cutoff", "90",
               "-o", "out.csv", cwd=tmp_path).returncode == 0
    assert read_csv((tmp_path / "out.csv").read_text("utf-8")) == [
        ["name", "n", "group"], ["Jon Smith", "1", "0"], ["", "2", "1"], ["John Smith", "3", "0"],
        ["Mary Jones", "4", "3"]]
    assert run("dedupe", "out.csv", "--column", "name", "--scorer", "ratio", "--cutoff", "90",
               "--group-column", "again", "-o", "back.pq", cwd=tmp_path).returncode == 0
    assert pq.read_table(tmp_path / "back.pq").to_pydict() == {
        "name": ["Jon Smith", "", "John Smith", "Mary Jones"], "n": ["1", "2", "3", "4"],
        "group": ["0", "1", "0", "3"], "again": [0, 1, 0, 3]}


# errors ----------------------------------------------------------------------------------------

def _files(tmp_path):
    people_file(tmp_path / "a.csv", LEFT)
    (tmp_path / "bad.csv").write_bytes(b"name\nJohn\nJos\xe9\nMary\n")
    (tmp_path / "wide.csv").write_bytes(b"a,b\n1,2\n3,4,5\n")
    (tmp_path / "empty.csv").write_bytes(b"")
    (tmp_path / "dir").mkdir()
    (tmp_path / "broken.parquet").write_bytes(b"PAR1 and then no table at all")
    pa = pytest.importorskip("pyarrow")
    import pyarrow.parquet as pq
    pq.write_table(pa.table({"n": [1, 2]}), tmp_path / "ints.parquet")


ERROR_CASES = [  # arguments, a fragment of the one-line message
    (["match", "nope.csv", "a.csv", "--left-column", "name", "--right-column", "name"],
     "no such file: nope.csv"),
    (["match", "a.csv", "a.csv", "--left-column", "nom", "--right-column", "name"],
     "a.csv has no column 'nom'; its columns are: 'id', 'name', 'city'"),
    (["match", "a.csv", "a.csv", "--left-column", "name", "--right-column", "name", "--scorer",
      "levenstein"], "unknown scorer 'levenstein'; valid scorers: levenshtein_distance, "),
    (["match", "a.csv", "a.csv", "--left-column", "name", "--right-column", "name", "--scorer",
      "ratio_batch"], "unknown scorer 'ratio_batch'"),
    (["dedupe", "bad.csv", "--column", "name"],
     "bad.csv: line 3 is not valid UTF-8 (byte 0xe9 at column 4)"),
    (["dedupe", "wide.csv", "--column", "a"], "wide.csv: line 3 has 3 fields, the header has 2"),
    (["dedupe", "empty.csv", "--column", "a"], "empty.csv is empty"),
    (["dedupe", "dir", "--column", "a"], "dir is a directory"),
    (["dedupe", "a.csv", "--column", "name", "--group-column", "city"], "already has a column 'city'"),
    (["dedupe", "broken.parquet", "--column", "n"], "broken.parquet: not a readable Parquet file"),
    (["dedupe", "ints.parquet", "--column", "n"], "column 'n' of ints.parquet holds int64, not text"),
    (["match", "a.csv", "a.csv", "--left-column", "name", "--right-column", "name", "--top", "0"],
     "--top 0 is impossible"),
    (["match", "a.csv", "a.csv", "--left-column", "name", "--right-column", "name", "--cutoff",
      "101"], "--cutoff 101 is impossible for w_ratio: its values are between 0 and 100"),
    (["dedupe", "a.csv", "--column", "name", "--scorer", "levenshtein_distance", "--cutoff", "1.5"],
     "its values are whole numbers"),
    (["dedupe", "a.csv", "--column", "name", "--scorer", "levenshtein_distance"], "give --cutoff"),
    (["dedupe", "a.csv", "--column", "name", "--workers", "0"], "--workers 0 is impossible"),
    (["dedupe", "a.csv", "--column", "name", "--delimiter", "ab"], "--delimiter must be one character"),
    (["dedupe", "a.csv", "--column", "name", "--option", "prefix_weight=0.2"],
     "w_ratio() got an unexpected keyword argument 'prefix_weight'"),  # the scorer's own words
    (["dedupe", "a.csv", "--column", "name", "--scorer", "jaro_winkler_similarity", "--option",
      "prefix_weight=much"], "argument 'prefix_weight': must be real number, not str"),
    (["dedupe", "a.csv", "--column", "name", "--scorer", "cosine_similarity", "--option",
      "use_words=False", "--option", "ngram_size=0"], "ngram_size must be at least 1"),
    (["match", "-", "-", "--left-column", "name", "--right-column", "name"],
     "only one of LEFT and RIGHT"),
    (["dedupe", "a.csv", "--column", "name", "-o", "missing/out.csv"], "cannot write missing/out.csv"),
    (["compare", "a", "b", "--measure", "ratio", "--option", "alpha=2"], "--option alpha"),
    (["compare", "a", "b", "--option", "oops"], "--option expects NAME=VALUE"),
    (["demo", "--size", "3"], "--size 3 is impossible"),
    (["match", "a.csv", "--left-column", "name"], "error: the following arguments are required"),
    (["dedupe", "a.csv", "--column", "name", "--cutoff", "high"], "invalid float value: 'high'"),
    (["frobnicate"], "invalid choice: 'frobnicate'"),
]


@pytest.mark.parametrize("args, message", ERROR_CASES, ids=[m[:30] for _, m in ERROR_CASES])
def test_errors_are_one_line_with_status_2(tmp_path, args, message):
    _files(tmp_path)
    result = run(*args, cwd=tmp_path)
    assert result.returncode == 2
    assert result.out == ""
    assert message in result.err
    assert result.err.count("\n") == 1 and "Traceback" not in result.err
    assert not (tmp_path / "missing").exists()


def test_failed_write_leaves_no_file_and_keeps_the_old_one(tmp_path):
    values = LEFT * 20  # several kilobytes of output
    people_file(tmp_path / "names.csv", values)

    def small_files():  # writing past 4 KiB fails with EFBIG instead of killing the process
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

    result = run("dedupe", "names.csv", "--column", "name", "--scorer", "ratio", "--cutoff", "95",
                 "-o", "out.csv", cwd=tmp_path, preexec_fn=small_files)
    assert result.returncode == 2 and "cannot write out.csv: File too large" in result.err
    assert sorted(os.listdir(tmp_path)) == ["names.csv"]  # no output, no temporary file
    (tmp_path / "out.csv").write_text("old\n")
    result = run("dedupe", "names.csv", "--column", "name", "--scorer", "ratio", "--cutoff", "95",
                 "-o", "out.csv", cwd=tmp_path, preexec_fn=small_files)
    assert result.returncode == 2
    assert sorted(os.listdir(tmp_path)) == ["names.csv", "out.csv"]
    assert (tmp_path / "out.csv").read_text() == "old\n"


# compare, help, version ------------------------------------------------------------------------

def test_compare_every_measure(tmp_path):
    result = run("compare", "Jürgen Müller", "Juergen Mueller", cwd=tmp_path)
    assert result.returncode == 0, result.err
    lines = result.out.splitlines()
    assert lines[0].split() == ["measure", "value", "normalized", "similarity"]
    rows = {line.split()[0]: line.split()[1:] for line in lines[1:]}
    assert len(rows) == 70
    for qualified, shown in rows.items():
        module, _, name = qualified.rpartition(".")
        function = getattr({"distance": distance, "fuzz": fuzz}.get(module, quorvalex), name)
        assert shown[0] == repr(function("Jürgen Müller", "Juergen Mueller"))
        if name.endswith("distance") and "hamming" not in name:
            assert len(shown) == 2 and 0 <= float(shown[1]) <= 1
    family = distance.levenshtein_normalized_similarity("Jürgen Müller", "Juergen Mueller")
    assert rows["distance.levenshtein_distance"] == ["4", repr(family)]
    assert rows["fuzz.ratio"] == [repr(fuzz.ratio("Jürgen Müller", "Juergen Mueller"))]


def test_compare_named_measures_with_options_and_processor(tmp_path):
    result = run("compare", "MARTHA!", "marhta", "--measure", "jaro_winkler_distance", "--measure",
                 "fuzz.ratio", "--option", "prefix_weight=0.2", "--processor", "default", cwd=tmp_path)
    assert result.returncode == 0, result.err
    rows = [line.split() for line in result.out.splitlines()[1:]]
    assert rows == [
        ["distance.jaro_winkler_distance",
         repr(distance.jaro_winkler_distance("martha", "marhta", prefix_weight=0.2)),
         repr(distance.jaro_winkler_normalized_similarity("martha", "marhta", prefix_weight=0.2))],
        ["fuzz.ratio", repr(fuzz.ratio("martha", "marhta"))]]


@pytest.mark.parametrize("command", ["compare", "match", "dedupe", "demo"])
def test_help_has_an_example(command):
    result = run(command, "--help")
    assert result.returncode == 0
    assert re.search(rf"example:\n  quorvalex {command}", result.out)


def test_version_and_main_help():
    assert run("--version").out == f"quorvalex {quorvalex.__version__}\n"
    result = run("--help")
    assert result.returncode == 0 and "quorvalex demo" in result.out


# demo ------------------------------------------------------------------------------------------

def test_demo_precision_and_recall(tmp_path):
    result = run("demo", "--size", "2000", "--workers", "2", "--save", "data", cwd=tmp_path)
    assert result.returncode == 0, result.err
    table = re.findall(r"^(\S+)\s+([\d.]+)\s+([\d,]+)\s+([\d.]+)\s+([\d.]+)\s+[\d.]+$",
                       result.out, re.MULTILINE)
    assert len(table) == 8
    # Worst measured at this size: match 0.95 precision, 0.63 recall; dedupe 0.87 and 0.53.
    bars = {"match": (0.9, 0.55), "dedupe": (0.8, 0.45)}
    for kind, rows in (("match", table[:5]), ("dedupe", table[5:])):
        for name, cutoff, _, precision, recall in rows:
            assert float(precision) >= bars[kind][0], (kind, name, cutoff, precision)
            assert float(recall) >= bars[kind][1], (kind, name, cutoff, recall)
    saved = read_csv((tmp_path / "data" / "queries.csv").read_text("utf-8"))
    assert saved[0] == ["name", "true_reference_row"] and len(saved) == 1501


def test_progress_bar_only_on_a_terminal_and_after_a_second(monkeypatch):
    from quorvalex.cli.progress import Progress

    class Terminal(io.StringIO):
        def isatty(self):
            return True

    for quiet, terminal, shown in ((False, True, True), (True, True, False), (False, False, False)):
        stderr = Terminal() if terminal else io.StringIO()
        monkeypatch.setattr(sys, "stderr", stderr)
        progress = Progress(quiet)
        with progress.stage("scoring", total=10) as bar:
            bar.update(4)
            time.sleep(1.6)  # a long library call: the bar appears and keeps its time running
        assert ("scoring:  40%" in stderr.getvalue()) == shown
        with progress.stage("quick", total=10) as bar:
            bar.update(10)
        assert "quick" not in stderr.getvalue()


def test_demo_data_is_deterministic_and_varied():
    data, again, other = generate(3000, seed=9), generate(3000, seed=9), generate(3000, seed=10)
    assert (data.reference, data.queries, data.truth) == (again.reference, again.queries, again.truth)
    assert data.queries != other.queries
    assert len(set(data.reference)) == 3000
    assert all(q != data.reference[t] for q, t in zip(data.queries, data.truth) if t >= 0)
    text = "".join(data.reference + data.queries)
    for first, last in (("А", "я"), ("Α", "ω"), ("一", "鿿")):  # Cyrillic, Greek, CJK
        assert sum(first <= c <= last for c in text) > 100
