"""A deterministic data set of person and company names with realistic variants and known matches.

``generate`` builds reference names (people and companies in Latin, Cyrillic, Greek and Chinese
script) and queries: for most reference names one variant typed the way people type names
(slips of the keyboard, dropped accents, abbreviations, reordered words, other case, missing
legal forms), plus names that have no counterpart. The same seed always gives the same data.
"""

from __future__ import annotations

import random
import unicodedata
from dataclasses import dataclass

from . import demo_words as words

_PLAIN_LETTERS = str.maketrans({"ß": "ss", "ø": "o", "Ø": "O", "ł": "l", "Ł": "L", "æ": "ae",
                                "Æ": "AE", "ı": "i", "đ": "d", "œ": "oe"})


@dataclass
class DemoData:
    reference: list[str]   # distinct clean names
    queries: list[str]     # variants of reference names, and names without a counterpart
    truth: list[int]       # per query: the index of its reference name, or -1
    people: int            # how many reference names are people (the rest are companies)

    def groups(self) -> list[int]:
        """True group of every name of ``reference + queries`` (the reference index, or a new one)."""
        labels = list(range(len(self.reference)))
        extra = len(self.reference) + len(self.queries)
        for position, target in enumerate(self.truth):
            labels.append(target if target >= 0 else extra + position)
        return labels


# Names -----------------------------------------------------------------------------------------

def _person(rng: random.Random) -> tuple[str, str]:
    script = rng.choices(("latin", "cyrillic", "greek", "cjk"), (80, 7, 5, 8))[0]
    if script == "cyrillic":
        return f"{rng.choice(words.CYRILLIC_FIRST)} {rng.choice(words.CYRILLIC_LAST)}", script
    if script == "greek":
        return f"{rng.choice(words.GREEK_FIRST)} {rng.choice(words.GREEK_LAST)}", script
    if script == "cjk":
        return rng.choice(words.CJK_SURNAMES) + rng.choice(words.CJK_GIVEN), script
    first = rng.choice(words.FIRST_NAMES)
    if rng.random() < 0.1:
        first += " " + rng.choice(words.FIRST_NAMES)
    elif rng.random() < 0.2:
        first += f" {rng.choice('ABCDEFGHJKLMNPRSTW')}."
    return f"{first} {rng.choice(words.LAST_NAMES)}", script


def _company(rng: random.Random) -> tuple[str, str]:
    script = rng.choices(("latin", "cyrillic", "greek", "cjk"), (82, 6, 4, 8))[0]
    if script == "cyrillic":
        form, word = rng.choice(words.CYRILLIC_COMPANY_FORMS), rng.choice(words.CYRILLIC_COMPANY_WORDS)
        return f"{form} «{word} {rng.choice(words.CYRILLIC_COMPANY_TRADES)}»", script + " company"
    if script == "greek":
        return (f"{rng.choice(words.GREEK_COMPANY_WORDS)} {rng.choice(words.GREEK_COMPANY_TRADES)} "
                f"{rng.choice(words.GREEK_COMPANY_FORMS)}"), script + " company"
    if script == "cjk":
        name = (rng.choice(words.CJK_CITIES) + rng.choice(words.CJK_BRANDS)
                + rng.choice(words.CJK_TRADES) + rng.choice(words.CJK_COMPANY_FORMS))
        return name, script + " company"
    pattern = rng.random()
    if pattern < 0.45:
        parts = [rng.choice(words.COMPANY_WORDS), rng.choice(words.INDUSTRIES)]
    elif pattern < 0.6:
        parts = [rng.choice(words.COMPANY_WORDS), rng.choice(words.INDUSTRIES),
                 rng.choice(words.INTERNATIONAL)]
    elif pattern < 0.8:
        parts = [rng.choice(words.LAST_NAMES), "and", rng.choice(words.LAST_NAMES),
                 rng.choice(words.INDUSTRIES)]
    else:
        parts = [rng.choice(words.LAST_NAMES), "Brothers", rng.choice(words.INDUSTRIES)]
    if rng.random() < 0.85:
        parts.append(rng.choice(words.LEGAL_FORMS))
    return " ".join(parts), script + " company"


# Variants --------------------------------------------------------------------------------------

def _typo(name: str, script: str, rng: random.Random) -> str:
    letters = [i for i, c in enumerate(name) if c.isalpha()]
    if len(letters) < 4:
        return name
    i = rng.choice(letters)
    kind = rng.choice(("delete", "substitute", "double", "transpose"))
    if kind == "delete":
        return name[:i] + name[i + 1:]
    if kind == "double":
        return name[:i] + name[i] + name[i:]
    if kind == "transpose":
        if i + 1 < len(name) and name[i + 1].isalpha():
            return name[:i] + name[i + 1] + name[i] + name[i + 2:]
        return name[:i] + name[i + 1:]
    c = name[i]
    if script.startswith("cyrillic"):
        new = rng.choice(words.CYRILLIC_LETTERS)
    elif script.startswith("greek"):
        new = rng.choice(words.GREEK_LETTERS)
    elif script.startswith("cjk"):
        new = rng.choice(words.CJK_GIVEN)[0]
    else:
        new = rng.choice(words.KEYBOARD_NEIGHBOURS.get(c.lower(), "e"))
        new = new.upper() if c.isupper() else new
    return name[:i] + new + name[i + 1:]


def _plain(name: str, script: str, rng: random.Random) -> str:
    decomposed = unicodedata.normalize("NFKD", name.translate(_PLAIN_LETTERS))
    return unicodedata.normalize("NFC", "".join(c for c in decomposed if not unicodedata.combining(c)))


def _case(name: str, script: str, rng: random.Random) -> str:
    return name.upper() if rng.random() < 0.6 else name.lower()


def _abbreviate(name: str, script: str, rng: random.Random) -> str:
    if script.startswith("cjk"):
        for long, short in words.ABBREVIATIONS.items():
            if name.endswith(long):
                return name[: -len(long)] + short
        return name
    tokens = name.split(" ")
    spots = [i for i, t in enumerate(tokens) if t in words.ABBREVIATIONS]
    if spots:
        i = rng.choice(spots)
        tokens[i] = words.ABBREVIATIONS[tokens[i]]
    else:
        expansions = {short: long for long, short in words.ABBREVIATIONS.items()}
        spots = [i for i, t in enumerate(tokens) if t in expansions]
        if spots:
            i = rng.choice(spots)
            tokens[i] = expansions[tokens[i]]
    return " ".join(tokens)


def _reorder(name: str, script: str, rng: random.Random) -> str:
    if script.startswith("cjk"):
        return name[:1] + " " + name[1:] if len(name) < 5 else name[2:]  # drop the city
    tokens = name.split(" ")
    if len(tokens) < 2:
        return name
    for joint in ("and", "&"):
        if joint in tokens[1:-1]:
            j = tokens.index(joint)
            tokens[j - 1], tokens[j + 1] = tokens[j + 1], tokens[j - 1]
            return " ".join(tokens)
    for j, token in enumerate(tokens):
        if token in words.INTERNATIONAL and j > 0:  # "Global Atlas Foods" for "Atlas Foods Global"
            return " ".join([token] + tokens[:j] + tokens[j + 1:])
    if script.endswith("company") or tokens[-1] in words.LEGAL_FORMS:
        return name
    # People: "Smith, John" or "Smith John" for "John Smith".
    if rng.random() < 0.5:
        return tokens[-1] + ", " + " ".join(tokens[:-1])
    return " ".join(tokens[-1:] + tokens[:-1])


def _drop_word(name: str, script: str, rng: random.Random) -> str:
    if script.startswith("cjk"):
        for form in sorted(words.CJK_COMPANY_FORMS, key=len, reverse=True):
            if name.endswith(form):
                return name[: -len(form)]
        return name
    tokens = name.split(" ")
    if len(tokens) < 3:
        return name
    if tokens[-1] in words.LEGAL_FORMS or tokens[-1] in words.GREEK_COMPANY_FORMS:
        return " ".join(tokens[:-1])
    if len(tokens[1]) == 2 and tokens[1].endswith("."):  # a middle initial
        return " ".join(tokens[:1] + tokens[2:])
    return " ".join(tokens[:-1]) if rng.random() < 0.5 else " ".join(tokens[1:])


def _punctuation(name: str, script: str, rng: random.Random) -> str:
    if any(c in name for c in ".,«»"):
        return name.replace(".", "").replace(",", "").replace("«", "").replace("»", "")
    tokens = name.split(" ")
    if len(tokens) >= 3 and tokens[-1] in words.LEGAL_FORMS:
        tokens[-2] += ","
    return " ".join(tokens)


_OPERATIONS = (_typo, _plain, _case, _abbreviate, _reorder, _drop_word, _punctuation)
_WEIGHTS = (40, 12, 6, 12, 12, 10, 8)


def _variant(name: str, script: str, rng: random.Random) -> str:
    for _ in range(8):
        changed = name
        for operation in rng.choices(_OPERATIONS, _WEIGHTS, k=rng.choices((1, 2, 3), (60, 30, 10))[0]):
            changed = operation(changed, script, rng)
        changed = " ".join(changed.split())
        if changed and changed != name:
            return changed
    return _typo(name + name[-1], script, rng)


def generate(references: int = 12000, seed: int = 17, matched: float = 0.6,
             unmatched: float = 0.25) -> DemoData:
    """``references`` distinct names (half people, half companies), a variant of a ``matched``
    share of them and ``unmatched`` times as many names without a counterpart, shuffled."""
    rng = random.Random(seed)
    seen: dict[str, str] = {}
    people = references // 2

    def fresh(make: object) -> tuple[str, str]:
        for _ in range(1000):
            name, script = make(rng)  # type: ignore[operator]
            if name not in seen:
                return name, script
        raise ValueError("the word lists are too small for this many distinct names")

    for count, make in ((people, _person), (references - people, _company)):
        for _ in range(count):
            name, script = fresh(make)
            seen[name] = script
    reference = list(seen)
    order = list(range(references))
    rng.shuffle(order)
    reference = [reference[i] for i in order]
    is_person = [i < people for i in order]

    queries: list[str] = []
    truth: list[int] = []
    for index in sorted(rng.sample(range(references), int(references * matched))):
        queries.append(_variant(reference[index], seen[reference[index]], rng))
        truth.append(index)
    for n in range(int(len(truth) * unmatched)):
        name, script = fresh(_person if n % 2 == 0 else _company)
        seen[name] = script
        queries.append(_variant(name, script, rng) if rng.random() < 0.5 else name)
        truth.append(-1)
    shuffled = list(range(len(queries)))
    rng.shuffle(shuffled)
    return DemoData(reference, [queries[i] for i in shuffled], [truth[i] for i in shuffled],
                    sum(is_person))
