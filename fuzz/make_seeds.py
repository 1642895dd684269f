#!/usr/bin/env python3
"""Rewrites the long_* seeds of the pair targets: inputs whose bytes spell the texts out symbol
by symbol (see decode_pair in input.hpp), so that the fuzzer mutates the texts themselves."""
import pathlib
import random

ROOT = pathlib.Path(__file__).resolve().parent
# decode_pair's boundary lengths, in the order of pick_length's table.
BOUNDARIES = [63, 64, 65, 127, 128, 129, 191, 192, 193, 255, 256, 257, 447, 448, 449, 511,
              512, 513, 640, 31, 32, 33, 96, 150]
ALPHABET_SIZES = [2, 4, 4, 4, 3, 11, 16, 6, 8, 16, 16, 8, 0, 0]  # 0: 700 CJK, two bytes each
# Each target's longest text (kCap in its source) and the alphabets and lengths seeded.
TARGETS = {
    "fuzz_edit": (640, [0, 1, 2, 3, 5, 8, 12], [64, 65, 128, 129, 193, 513, 640]),
    "fuzz_ratio": (260, [0, 1, 2, 7, 11, 12], [64, 65, 128, 129, 193, 257]),
    "fuzz_vector": (200, [1, 2, 7, 11, 12], [64, 129, 150, 193]),
}


def length_byte(n):
    return 232 + BOUNDARIES.index(n)


def text(rng, alphabet, n):
    if ALPHABET_SIZES[alphabet] == 0:
        return [b for _ in range(n) for b in rng.randrange(65536).to_bytes(2, "little")]
    return [rng.randrange(256) for _ in range(n)]


def seed(rng, alphabet, n, cap, shape):
    out = [alphabet, shape]
    out += [rng.randrange(256) for _ in range(8)]  # option bytes, the check selector last
    out += [length_byte(n)] + text(rng, alphabet, min(n, cap))
    if shape % 5 == 0:  # an unrelated second text of its own length
        m = rng.choice([x for x in BOUNDARIES if x <= cap])
        out += [length_byte(m)] + text(rng, alphabet, min(m, cap))
    else:  # shape 2: the first text with a few edits (the generator picks them)
        out += [3]
    return bytes(out)


def main():
    rng = random.Random(16)
    for target, (cap, alphabets, lengths) in TARGETS.items():
        folder = ROOT / "corpus" / target
        for old in folder.glob("long_*"):
            old.unlink()
        for alphabet in alphabets:
            for n in lengths:
                for shape in (2, 0):
                    name = f"long_a{alphabet}_{n}_{'edited' if shape == 2 else 'other'}"
                    (folder / name).write_bytes(seed(rng, alphabet, n, cap, shape))


if __name__ == "__main__":
    main()
