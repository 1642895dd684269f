"""The checked-in fuzz corpus replayed deterministically: every input through every check of its
target (the kernels against the references of fuzz/reference.hpp, built without libFuzzer)."""

import os
import pathlib
import shutil
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "replay"
# Not the sanitizer runtime preloaded into the interpreter of a sanitized test run.
ENV = {k: v for k, v in os.environ.items() if not k.startswith(("LD_PRELOAD", "ASAN_", "UBSAN_"))}
TARGETS = {"fuzz_edit": "replay_fuzz_edit", "fuzz_ratio": "replay_fuzz_ratio",
           "fuzz_vector": "replay_fuzz_vector", "fuzz_masks": "replay_fuzz_masks",
           "fuzz_lanes": "lanes_check"}


@pytest.fixture(scope="module")
def programs():
    compiler = os.environ.get("CXX", "g++")
    missing = [tool for tool in (compiler, "cmake", "ninja") if not shutil.which(tool)]
    if missing or not (ROOT / "src").is_dir():
        pytest.skip(f"the replay needs the source tree, a C++ compiler, cmake and ninja ({missing})")
    if not (BUILD / "build.ninja").exists():
        subprocess.run(["cmake", "-S", ROOT / "fuzz", "-B", BUILD, "-G", "Ninja",
                        "-DFUZZ_REPLAY=ON", f"-DCMAKE_CXX_COMPILER={compiler}"],
                       check=True, capture_output=True, env=ENV)
    build = subprocess.run(["ninja", "-C", BUILD, *TARGETS.values()], capture_output=True,
                           text=True, env=ENV)
    assert build.returncode == 0, build.stdout[-5000:] + build.stderr[-5000:]
    return BUILD


@pytest.mark.parametrize("target", TARGETS)
def test_corpus_replays(programs, target):
    files = sorted(str(f) for f in (ROOT / "fuzz" / "corpus" / target).iterdir())
    assert len(files) > 10
    out = subprocess.run([programs / TARGETS[target], *files], capture_output=True, text=True,
                         env=ENV, timeout=1800)
    assert out.returncode == 0, out.stdout[-3000:] + out.stderr[-5000:]
