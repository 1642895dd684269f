"""The reference procedures of fuzz/reference.hpp for the Python tests: fuzz/reference_abi.cpp is
compiled once (per source version) into a shared library and called through ctypes."""

import ctypes
import functools
import hashlib
import math
import os
import pathlib
import shutil
import subprocess
import tempfile

import pytest

from frame_reference import int_cutoff, same  # noqa: F401 (same: for the tests)

FUZZ = pathlib.Path(__file__).resolve().parent.parent / "fuzz"
SOURCES = [FUZZ / "reference_abi.cpp", FUZZ / "reference.hpp"]
U64_MAX = 2**64 - 1


@functools.cache
def _library():
    compiler = os.environ.get("CXX", "g++")
    if not shutil.which(compiler):
        pytest.skip(f"the reference procedures need a C++ compiler ({compiler} not found)",
                    allow_module_level=True)
    digest = hashlib.sha256(b"".join(p.read_bytes() for p in SOURCES)).hexdigest()[:16]
    path = pathlib.Path(tempfile.gettempdir()) / f"quorvalex-reference-{os.getuid()}-{digest}.so"
    if not path.exists():
        tmp = path.with_suffix(f".{os.getpid()}.tmp")
        env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}  # not the sanitizers
        subprocess.run([compiler, "-std=c++20", "-O2", "-ffp-contract=off", "-shared", "-fPIC",
                        "-o", str(tmp), str(SOURCES[0])], check=True, env=env)
        os.replace(tmp, path)
    lib = ctypes.CDLL(str(path))
    lib.qxref_call.restype = ctypes.c_int
    lib.qxref_call.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t,
                               ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_double),
                               ctypes.c_int, ctypes.c_uint64, ctypes.c_double,
                               ctypes.POINTER(ctypes.c_uint64), ctypes.POINTER(ctypes.c_double)]
    lib.qxref_white_space.argtypes = [ctypes.c_uint32]
    return lib


def _points(s):
    return s.encode("utf-32-le", "surrogatepass"), len(s)


# Options in the order the references take them, with the functions' defaults.
OPTIONS = {"jaro_winkler": [("prefix_weight", 0.1)],
           "tversky": [("alpha", 1.0), ("beta", 1.0)],
           "cosine": [("use_words", True), ("ngram_size", 2)],
           "soft_tfidf": [("threshold", 0.8)],
           "smith_waterman": [("match_score", 1.0), ("mismatch_score", 0.0), ("gap_cost", 1.0)],
           "needleman_wunsch": [("match_score", 1.0), ("mismatch_score", 0.0), ("gap_cost", 1.0)]}


def call(name, s1, s2, score_cutoff=None, **options):
    """The reference value of the function `name` (None: no value)."""
    stem = next((k for k in OPTIONS if name.startswith(k + "_")), None)
    values = [float(options.pop(key, default)) for key, default in OPTIONS.get(stem, [])]
    assert not options, options
    opt = (ctypes.c_double * 4)(*values)
    integer = isinstance(score_cutoff, int) and score_cutoff >= 0
    kind = 0 if score_cutoff is None else 1 if integer else 2
    iout, fout = ctypes.c_uint64(), ctypes.c_double()
    result = _library().qxref_call(name.encode(), *_points(s1), *_points(s2), opt, kind,
                                   score_cutoff if kind == 1 else 0,
                                   score_cutoff if kind == 2 else 0.0,
                                   ctypes.byref(iout), ctypes.byref(fout))
    assert result >= 0, f"no reference for {name}"
    return [None, iout.value, fout.value][result]


def white_space(c):
    return bool(_library().qxref_white_space(ord(c)))


def cutoffs_around(value, integer):
    """The value and its neighbours, fixed cutoffs across both scales and NaN (integers: 0, 1, the
    largest)."""
    if integer:
        near = [value + k for k in (-1, 0, 1) if value + k >= 0] if value is not None else []
        return [None, 0, 1, U64_MAX] + near
    fixed = [None, -0.5, 0.5, 1.5, 50.0, 85.5, 90.0, 95.0, 99.0, 101.0, math.nan]
    if value is None:
        return fixed
    return fixed + [value, math.nextafter(value, -math.inf), math.nextafter(value, math.inf)]


def check(fn, s1, s2, cutoffs=True, symmetric=True, **options):
    """fn(s1, s2) (and fn(s2, s1) when symmetric) equals its reference, without and with cutoffs
    around the reference value."""
    name = fn.__name__
    value = call(name, s1, s2, **options)
    for c in cutoffs_around(value, int_cutoff(fn)) if cutoffs else [None]:
        want = call(name, s1, s2, c, **options)
        for a, b in ((s1, s2), (s2, s1)) if symmetric else ((s1, s2),):
            got = fn(a, b, score_cutoff=c, **options)
            assert same(got, want), (name, a, b, c, options, got, want)
    return value


FORMS = ("distance", "similarity", "normalized_distance", "normalized_similarity")
