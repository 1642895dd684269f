"""Word splitting, random word texts and the cutoff rules shared by the set and vector tests."""

import math
import random
import re
from functools import partial

import quorvalex as q

WHITE_SPACE = re.compile("[\t\n\v\f\r \x85\xa0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]+")
SEPARATORS = [" ", "  ", "\t", "\n", "\xa0", "\u3000", "\u2009", " \u205f "]
VOCAB = "a b ab ba A a, abc abd é éa € €uro Ā Ābc 👍 👍x a€ x👍y jon john smith smyth".split()


def words(text):
    return [w for w in WHITE_SPACE.split(text) if w]


def word_text(rng, max_words, vocab=VOCAB):
    n = rng.randint(0, max_words)
    text = "".join(rng.choice(vocab) + rng.choice(SEPARATORS) for _ in range(n))
    return rng.choice(["", "", " ", "\u3000"]) + (text if rng.random() < 0.5 else text.rstrip())


def word_pairs(seed, count):
    # every fourth pair long: the count maps pass their linear scan, inline entries, index growth
    rng = random.Random(seed)
    shapes = [(60, VOCAB + [f"w{i}" for i in range(40)])] + [(8, VOCAB)] * 3
    return [tuple(word_text(rng, *shapes[k % 4]) for _ in "xy") for k in range(count)]


def check_forms(stem, s1, s2, value, **options):
    """Similarity `value` and distance 1.0 - value of s1, s2 under cutoffs at, above and below."""
    sim = partial(getattr(q, stem + "_similarity"), s1, s2, **options)
    dist = partial(getattr(q, stem + "_distance"), s1, s2, **options)
    early = options.get("use_words", True) and not words(s1 + " " + s2)  # ignores the cutoff
    assert sim() == sim(score_cutoff=value) == sim(score_cutoff=math.nan) == value
    assert sim(score_cutoff=math.nextafter(value, math.inf)) == (value if early else 0.0)
    assert dist() == dist(score_cutoff=1.0 - value) == 1.0 - value
    assert dist(score_cutoff=math.nextafter(1.0 - value, -math.inf)) == 1.0
