"""Out of memory (address space limited just above the inputs): a call that needs more ends in
MemoryError in the calling thread, never an abort, and the pool serves calls afterwards. A call
a kernel may answer without the memory (a long common prefix) may also return its answer; one that
needs none (counting the words or n-grams of a text of one distinct word) must."""

import pytest

from frame_reference import SANITIZED, run_python

SCRIPT = r"""
import math, resource, sys
from quorvalex import _quorvalex, distance, fuzz

def pool_serves():
    pairs = [("abc" * (i % 9), "acb" * (i % 7)) for i in range(3000)]
    return (distance.osa_distance_batch(pairs) == [distance.osa_distance(*p) for p in pairs]
            and fuzz.token_sort_ratio("b a", "a b") == 100.0)

latin, bmp, words = "é" * 20_000_000, "€" * 10_000_000, "ab " * 10**7
swapped, longer, words_c = "ba " * 10**7, words + "ab", words + " c"
ascii_long = "abcd" * 5_000_000
cjk = "".join(chr(0x4E00 + i % 20000) for i in range(2_000_000))  # > 256 distinct symbols
# OSA masks take about 16 bytes per pattern symbol, Damerau-Levenshtein rows 24 per symbol of
# the second text: far past the limit.
count = 8_000_000 if "shifted" in sys.argv[1] else 0
cjk_long = "".join(chr(0x4E00 + i % 20000) for i in range(count))
shifted = cjk_long[1:] + "x"  # every text is built before the limit
assert pool_serves()  # the pool's threads exist before the limit
with open("/proc/self/status") as status:
    size = next(int(line.split()[1]) for line in status if line.startswith("VmSize")) * 1024
resource.setrlimit(resource.RLIMIT_AS, (size + (24 << 20), resource.RLIM_INFINITY))
try:
    outcome = repr(eval(sys.argv[1], {**vars(distance), **vars(fuzz), **vars(_quorvalex),
                                      **globals()}))
except MemoryError as error:
    outcome = "MemoryError" + (" with a message" if str(error) else "")
resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
print(outcome, pool_serves(), sep="\n")
"""

M = "MemoryError"
CASES = {  # (call, outcomes accepted)
    "levenshtein_batch": ("levenshtein_distance_batch([('a', 'b'), (latin, latin + 'x')])",
                          [M, "[1, 1]"]),
    "ratio_bmp": ("ratio(bmp, bmp + 'x')", [M, repr(2 * 10**7 * 100.0 / (2 * 10**7 + 1))]),
    "token_sort_ratio_batch": ("token_sort_ratio_batch([(words, words_c)] * 2)", [M]),
    "token_set_ratio": ("token_set_ratio(words, swapped)", [M]),
    "jaccard": ("jaccard_similarity(words, words_c)", [M, repr(10**7 / (10**7 + 1))]),
    "cosine_words": ("cosine_similarity(words, longer) == 1e7 / math.sqrt(1e7 * (1e7 + 1))",
                     ["True"]),
    "cosine_ngrams": ("cosine_similarity(words, longer, use_words=False, ngram_size=3)"
                      " == (3e7 - 2) / math.sqrt((3e7 - 2) * 3e7)", ["True"]),
    "osa_masks_batch": ("osa_distance_batch([('ab', 'ba'), (cjk_long, shifted)])",
                        [M]),
    "damerau_levenshtein": ("damerau_levenshtein_distance(cjk, shifted)", [M]),
    # all but one symbol is a common suffix
    "damerau_levenshtein_ascii": ("damerau_levenshtein_distance(ascii_long, ascii_long[1:])",
                                  [M, "1"]),
    "smith_waterman": ("smith_waterman_score(cjk, cjk[1:])", [M]),
    "needleman_wunsch_batch": ("needleman_wunsch_score_batch([(cjk, cjk[1:])] * 3)", [M]),
}


@pytest.mark.skipif(SANITIZED, reason="AddressSanitizer needs more address space")
@pytest.mark.parametrize("case", CASES)
def test_allocation_failure_is_a_memory_error(case):
    call, accepted = CASES[case]
    out = run_python(SCRIPT, call, timeout=600)
    assert out.returncode == 0, (out.returncode, out.stderr[-3000:])
    outcome, serves = out.stdout.split("\n")[:2]
    assert outcome in accepted and serves == "True", out.stdout
