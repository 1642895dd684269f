#!/usr/bin/env python3
"""Plant known faults one at a time and record which tests catch them.

The faults live in tools/planted_faults.json: each replaces one exact snippet of one source file
(the snippet must occur exactly once). For every fault the runner

  1. applies it to the source tree of this checkout,
  2. rebuilds incrementally (tools/dev_build.sh dev) and saves the staged package
     (extension and Python files) under STORE/<id>/, so that another test suite can later be
     run against exactly the same faulted build without rebuilding,
  3. runs the test files whose names contain one of the fault's keywords (pytest -x); only
     when they all pass, the rest of the suite (also -x),
  4. reverts the fault (the source tree must be clean again) and, when the next fault lies in
     another C++ file, rebuilds the clean extension and checks it is byte-identical to the
     clean build the suite passed on.

Both runs use -m "not slow". A suite is a tests/ directory inside a tree (a checkout): the tree
is the working directory of pytest, and tests that compile C++ sources of their tree see the
fault too (it is applied to the tree while its suite runs).

  tools/planted_faults.py check                       # every fault applies once
  tools/planted_faults.py clean --suite old           # build the clean stage, run the whole suite
  tools/planted_faults.py plant --suite old           # build, save and test every fault
  tools/planted_faults.py replay --suite new --tree T # test the saved stages with T/tests
  tools/planted_faults.py table > tools/planted_faults_results.md
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
FAULTS = ROOT / "tools" / "planted_faults.json"
STORE = pathlib.Path(os.environ.get("PLANTED_FAULTS_STORE", "/work/faultstore"))
PYTHON = os.environ.get("PYTHON", sys.executable)
STAGE = ROOT / "build" / "dev" / "stage"
TIMEOUT_RELATED = 900
TIMEOUT_REST = 1500
MARKER = "not slow"


def load_faults() -> list[dict]:
    return json.loads(FAULTS.read_text(encoding="utf-8"))


def is_native(fault: dict) -> bool:
    return fault["file"].startswith("src/")


def apply(tree: pathlib.Path, fault: dict) -> None:
    path = tree / fault["file"]
    text = path.read_text(encoding="utf-8")
    count = text.count(fault["old"])
    if count != 1:
        raise SystemExit(f"{fault['id']}: snippet found {count} times in {path}")
    path.write_text(text.replace(fault["old"], fault["new"], 1), encoding="utf-8")


def revert(tree: pathlib.Path, fault: dict) -> None:
    """Restore the file from git: it held nothing but the fault."""
    subprocess.run(["git", "-C", str(tree), "checkout", "--", fault["file"]], check=True)


def tree_is_clean(tree: pathlib.Path) -> bool:
    out = subprocess.run(["git", "-C", str(tree), "status", "--porcelain", "--", "src", "quorvalex"],
                         capture_output=True, text=True, check=True).stdout
    return out.strip() == ""


class BuildFailed(Exception):
    pass


def build() -> None:
    env = dict(os.environ, PYTHON=PYTHON)
    proc = subprocess.run(["tools/dev_build.sh", "dev"], cwd=ROOT, env=env, capture_output=True,
                          text=True)
    if proc.returncode != 0:
        sys.stderr.write(proc.stdout[-4000:] + proc.stderr[-4000:])
        raise BuildFailed()


def extension(stage: pathlib.Path) -> pathlib.Path:
    found = sorted((stage / "quorvalex").glob("_quorvalex*.so"))
    if len(found) != 1:
        raise SystemExit(f"no single extension in {stage}")
    return found[0]


def digest(path: pathlib.Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def save_stage(target: pathlib.Path) -> None:
    if target.exists():
        shutil.rmtree(target)
    shutil.copytree(STAGE, target, ignore=shutil.ignore_patterns("__pycache__"))


def test_files(tree: pathlib.Path) -> list[pathlib.Path]:
    return sorted((tree / "tests").glob("test_*.py"))


FAIL_LINE = re.compile(r"^(FAILED|ERROR) (.+?)(?: - .*)?$")


def pytest(tree: pathlib.Path, stage: pathlib.Path, files: list[pathlib.Path], timeout: int,
           log: pathlib.Path, deselect: list[str] = (), node: str | None = None
           ) -> tuple[str, str | None]:
    """('pass' | 'fail' | 'timeout', first failing test)."""
    if not files and node is None:
        return "pass", None
    targets = [node] if node else [str(f.relative_to(tree)) for f in files]
    cmd = [PYTHON, "-P", "-m", "pytest", "-q", "-x", "-p", "no:cacheprovider", "-m", MARKER,
           *[f"--deselect={d}" for d in deselect], *targets]
    env = dict(os.environ, PYTHONPATH=str(stage), PYTHONDONTWRITEBYTECODE="1")
    log.parent.mkdir(parents=True, exist_ok=True)
    with open(log, "w", encoding="utf-8") as out:
        proc = subprocess.Popen(cmd, cwd=tree, env=env, stdout=out, stderr=subprocess.STDOUT,
                                start_new_session=True)
        try:
            rc = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            return "timeout", f"timeout after {timeout} s"
    text = log.read_text(encoding="utf-8", errors="replace")
    if rc in (0, 5):  # 5: nothing collected under the marker
        return "pass", None
    if rc == 4 and node:
        return "error", None
    for line in text.splitlines():
        m = FAIL_LINE.match(line)
        if m:
            return "fail", m.group(2)
    tail = [line for line in text.splitlines() if line.strip()][-1:]
    return "fail", f"exit status {rc}: {tail[0][:160] if tail else ''}"


def run_phase(tree: pathlib.Path, stage: pathlib.Path, files: list[pathlib.Path], timeout: int,
              log: pathlib.Path, flaky: list[str], toggle) -> tuple[str, str | None]:
    """One phase. A failing test is run again on its own, on the faulted stage and on the clean
    one (the fault taken out of the tree meanwhile); unless it fails with the fault and passes
    without, it is load- or timing-sensitive: recorded as flaky, deselected, and the phase goes
    on."""
    while True:
        outcome, by = pytest(tree, stage, files, timeout, log, flaky)
        if outcome != "fail" or not by or "::" not in by or by in flaky:
            return outcome, by
        faulted = pytest(tree, stage, [], timeout, log.with_suffix(".again.txt"), node=by)[0]
        if faulted == "error":  # the node id cannot be selected again: keep the catch
            return outcome, by
        toggle(False)
        try:
            clean = pytest(tree, STORE / "clean", [], timeout, log.with_suffix(".clean.txt"),
                           node=by)[0]
        finally:
            toggle(True)
        if faulted == "fail" and clean == "pass":
            return outcome, by
        flaky.append(by)
        # Files before the failing one passed (they run in the order given): go on from it.
        failing = tree / by.split("::")[0]
        if failing in files:
            files = files[files.index(failing):]


def run_suite(fault: dict, tree: pathlib.Path, stage: pathlib.Path, suite: str, toggle) -> dict:
    files = test_files(tree)
    keys = fault["keywords"]
    related = [f for f in files if any(k in f.stem for k in keys)]
    rest = [f for f in files if f not in related]
    logs = STORE / "logs" / suite
    start = time.monotonic()
    flaky: list[str] = []
    outcome, by = run_phase(tree, stage, related, TIMEOUT_RELATED,
                            logs / f"{fault['id']}-related.txt", flaky, toggle)
    phase = "related"
    if outcome == "pass":
        outcome, by = run_phase(tree, stage, rest, TIMEOUT_REST, logs / f"{fault['id']}-rest.txt",
                                flaky, toggle)
        phase = "rest"
    return {"caught": outcome != "pass", "by": by, "phase": phase, "flaky": flaky,
            "related": [f.name for f in related], "seconds": round(time.monotonic() - start, 1)}


def results_path(suite: str) -> pathlib.Path:
    return STORE / f"results-{suite}.json"


def load_results(suite: str) -> dict:
    path = results_path(suite)
    return json.loads(path.read_text()) if path.exists() else {}


def store_results(suite: str, results: dict) -> None:
    tmp = results_path(suite).with_suffix(".tmp")
    tmp.write_text(json.dumps(results, indent=1))
    tmp.replace(results_path(suite))


def selected(args: argparse.Namespace) -> list[dict]:
    faults = load_faults()
    if args.only:
        wanted = set(args.only.split(","))
        faults = [f for f in faults if f["id"] in wanted]
    return faults


def cmd_check(args: argparse.Namespace) -> None:
    tree = pathlib.Path(args.tree) if args.tree else ROOT
    ids = set()
    for f in load_faults():
        assert f["id"] not in ids, f["id"]
        ids.add(f["id"])
        text = (tree / f["file"]).read_text(encoding="utf-8")
        n = text.count(f["old"])
        print(f"{'ok ' if n == 1 else 'BAD'} {f['id']:28} {f['file']} ({n})")


def cmd_clean(args: argparse.Namespace) -> None:
    if not tree_is_clean(ROOT):
        raise SystemExit("source tree not clean")
    build()
    save_stage(STORE / "clean")
    (STORE / "clean.sha256").write_text(digest(extension(STORE / "clean")) + "\n")
    tree = pathlib.Path(args.tree) if args.tree else ROOT
    start = time.monotonic()
    outcome, by = pytest(tree, STORE / "clean", test_files(tree), 3600,
                         STORE / "logs" / args.suite / "clean.txt")
    print(f"clean build, {args.suite} suite: {outcome} {by or ''} "
          f"({time.monotonic() - start:.0f} s)")


def cmd_plant(args: argparse.Namespace) -> None:
    clean_sha = (STORE / "clean.sha256").read_text().strip()
    results = load_results(args.suite)
    faults = selected(args)
    for k, fault in enumerate(faults):
        fid = fault["id"]
        if fid in results and not args.force:
            continue
        if not tree_is_clean(ROOT):
            raise SystemExit("source tree not clean before " + fid)
        t0 = time.monotonic()
        apply(ROOT, fault)
        try:
            build()
            save_stage(STORE / fid)
            built = time.monotonic() - t0
            entry = run_suite(fault, ROOT, STORE / fid, args.suite,
                              lambda on: apply(ROOT, fault) if on else revert(ROOT, fault))
        except BuildFailed:
            print(f"{fid}: does not build; skipped", flush=True)
            continue
        finally:
            revert(ROOT, fault)
        if not tree_is_clean(ROOT):
            raise SystemExit("revert left the tree dirty after " + fid)
        entry["build_seconds"] = round(built, 1)
        following = faults[k + 1] if k + 1 < len(faults) else None
        if is_native(fault) and (following is None or following["file"] != fault["file"]):
            build()
            same = digest(extension(STAGE)) == clean_sha
            entry["clean_rebuild_identical"] = same
            if not same:
                raise SystemExit(f"clean rebuild after {fid} differs from the clean build")
        results[fid] = entry
        store_results(args.suite, results)
        print(f"{fid:28} {'CAUGHT' if entry['caught'] else 'missed':6} {entry['by'] or '':70} "
              f"{entry['seconds']:6.0f} s", flush=True)


def cmd_replay(args: argparse.Namespace) -> None:
    tree = pathlib.Path(args.tree)
    results = load_results(args.suite)
    faults = selected(args)
    # Faults the old suite caught first (the comparison that matters), then the ones it missed.
    old = load_results("old")
    faults = [f for f in faults if f["id"] in old]
    faults.sort(key=lambda f: not old[f["id"]]["caught"])
    for fault in faults:
        fid = fault["id"]
        if fid in results and not args.force:
            continue
        stage = STORE / fid
        if not stage.exists():
            print(f"{fid}: no saved stage", flush=True)
            continue
        # The fault goes into the tree as well, for tests that compile its C++ sources.
        in_tree = (tree / fault["file"]).read_text(encoding="utf-8").count(fault["old"]) == 1
        if in_tree:
            apply(tree, fault)
        try:
            entry = run_suite(fault, tree, stage, args.suite,
                              lambda on: (apply(tree, fault) if on else revert_plain(tree, fault))
                              if in_tree else None)
        finally:
            if in_tree:
                revert_plain(tree, fault)
        entry["fault_in_tree"] = in_tree
        results[fid] = entry
        store_results(args.suite, results)
        print(f"{fid:28} {'CAUGHT' if entry['caught'] else 'missed':6} {entry['by'] or '':70} "
              f"{entry['seconds']:6.0f} s", flush=True)


def revert_plain(tree: pathlib.Path, fault: dict) -> None:
    """Revert in a tree that is not a git checkout of this branch: from a pristine copy."""
    pristine = tree.parent / (tree.name + ".pristine") / fault["file"]
    shutil.copyfile(pristine, tree / fault["file"])


def cmd_table(args: argparse.Namespace) -> None:
    old, new = load_results("old"), load_results("new")
    faults = load_faults()

    def cell(entry: dict | None) -> str:
        if entry is None:
            return "not run"
        return f"caught: `{entry['by']}`" if entry["caught"] else "**missed**"

    print("| fault | area | description | old suite | new suite |")
    print("|---|---|---|---|---|")
    for f in faults:
        print(f"| {f['id']} | {f['area']} | {f['description']} | {cell(old.get(f['id']))} | "
              f"{cell(new.get(f['id']))} |")
    lost = [f for f in faults if old.get(f["id"], {}).get("caught")
            and f["id"] in new and not new[f["id"]]["caught"]]
    print("\nCaught by the old suite, missed by the new one:")
    for f in lost:
        print(f"- {f['id']}: old `{old[f['id']]['by']}`")
    if not lost:
        print("- none")
    neither = [f for f in faults if f["id"] in old and f["id"] in new
               and not old[f["id"]]["caught"] and not new[f["id"]]["caught"]]
    print("\nCaught by neither suite:")
    for f in neither:
        print(f"- {f['id']}: {f['description']}")
    if not neither:
        print("- none")
    for name, res in (("old", old), ("new", new)):
        run = [f for f in faults if f["id"] in res]
        caught = sum(res[f["id"]]["caught"] for f in run)
        secs = sum(res[f["id"]]["seconds"] + res[f["id"]].get("build_seconds", 0) for f in run)
        print(f"\n{name} suite: caught {caught} of {len(run)} run ({len(faults)} planted), "
              f"{secs / 60:.0f} min")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    for name in ("check", "clean", "plant", "replay", "table"):
        p = sub.add_parser(name)
        p.add_argument("--suite", default="old")
        p.add_argument("--tree")
        p.add_argument("--only")
        p.add_argument("--force", action="store_true")
    args = parser.parse_args()
    {"check": cmd_check, "clean": cmd_clean, "plant": cmd_plant, "replay": cmd_replay,
     "table": cmd_table}[args.command](args)


if __name__ == "__main__":
    main()
