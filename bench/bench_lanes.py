"""SIMD lane kernels against the scalar kernels, beside rapidfuzz's process.cdist, one thread.

Run:  tools/dev_build.sh dev
      python3 bench/bench_lanes.py [--build build/dev] [--names 2000] [--repeats 3]

Writes deterministic lists of person and company names (8 to 40 characters; ASCII, Latin-1
and Cyrillic), compiles bench/bench_lanes.cpp against the kernels library of the build, and
prints, per alphabet and measure, the cells per second of the scalar kernels and of the lane
kernels of each instruction set (per lane width, and for the whole list), and of rapidfuzz's
process.cdist(names, names, scorer=..., workers=1) on the same names. Every lane result is
compared with the scalar kernel's before it is timed.

Measures: lcs (behind ratio and the Indel forms), token_sort (lcs of the names with their
words sorted, behind token_sort_ratio), levenshtein, jaro (the lane timing includes the Jaro
formula; rapidfuzz is timed with Jaro-Winkler similarity).
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile
import timeit

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

FIRST = """James Mary Robert Patricia John Jennifer Michael Linda David Elizabeth William Barbara
Richard Susan Joseph Jessica Thomas Sarah Charles Karen Christopher Lisa Daniel Nancy Matthew
Betty Anthony Margaret Mark Sandra Donald Ashley Steven Kimberly Paul Emily Andrew Donna Joshua
Michelle Kenneth Carol Kevin Amanda Brian Melissa George Deborah Timothy Stephanie Ronald Rebecca
Edward Sharon Jason Laura Jeffrey Cynthia Ryan Kathleen Jacob Amy Gary Angela Nicholas Shirley
Eric Anna Jonathan Brenda Stephen Pamela Larry Emma Justin Nicole Scott Helen Brandon Samantha
Benjamin Katherine Samuel Christine Gregory Debra Alexander Rachel Frank Carolyn Patrick Janet
Raymond Catherine Jack Maria Dennis Heather Jerry Diane Tyler Ruth Aaron Julie Jose Olivia Adam
Joyce Henry Virginia Nathan Victoria Douglas Kelly Zachary Lauren Peter Christina Kyle Joan Ethan
Evelyn Walter Judith Noah Megan Jeremy Andrea Christian Cheryl Keith Hannah Roger Jacqueline Terry
Martha Gerald Gloria Harold Teresa Sean Ann Austin Sara Carl Madison Arthur Frances Lawrence
Kathryn Dylan Janice Jesse Jean Jordan Abigail Bryan Alice Billy Judy Joe Sophia Bruce Grace""".split()

LAST = """Smith Johnson Williams Brown Jones Garcia Miller Davis Rodriguez Martinez Hernandez Lopez
Gonzalez Wilson Anderson Thomas Taylor Moore Jackson Martin Lee Perez Thompson White Harris
Sanchez Clark Ramirez Lewis Robinson Walker Young Allen King Wright Scott Torres Nguyen Hill
Flores Green Adams Nelson Baker Hall Rivera Campbell Mitchell Carter Roberts Gomez Phillips
Evans Turner Diaz Parker Cruz Edwards Collins Reyes Stewart Morris Morales Murphy Cook Rogers
Gutierrez Ortiz Morgan Cooper Peterson Bailey Reed Kelly Howard Ramos Kim Cox Ward Richardson
Watson Brooks Chavez Wood James Bennett Gray Mendoza Ruiz Hughes Price Alvarez Castillo Sanders
Patel Myers Long Ross Foster Jimenez Powell Jenkins Perry Russell Sullivan Bell Coleman Butler
Henderson Barnes Gonzales Fisher Vasquez Simmons Romero Jordan Patterson Alexander Hamilton
Graham Reynolds Griffin Wallace Moreno West Cole Hayes Bryant Herrera Gibson Ellis Tran Medina
Aguilar Stevens Murray Ford Castro Marshall Owens Harrison Fernandez McDonald Woods Washington
Kennedy Wells Vargas Henry Chen Freeman Webb Tucker Guzman Burns Crawford Olson Simpson Porter
Hunter Gordon Mendez Silva Shaw Snyder Mason Dixon Munoz Hunt Hicks Holmes Palmer Wagner Black
Robertson Boyd Rose Stone Salazar Fox Warren Mills Meyer Rice Schmidt Garza Daniels Ferguson""".split()

WORDS = """Global Pacific Atlantic United National General Advanced Applied Digital Integrated
Summit Pioneer Northern Southern Eastern Western Central Metro Urban Coastal Mountain River Lake
Valley Harbor Bridge Tower Crown Royal Eagle Falcon Lion Phoenix Orion Apex Vertex Quantum Nova
Stellar Solar Green Blue Silver Golden Iron Steel Stone Oak Maple Cedar Pine Birch Willow""".split()
TRADES = """Systems Solutions Logistics Holdings Industries Technologies Partners Consulting Capital
Foods Energy Motors Pharma Media Networks Software Analytics Ventures Builders Engineering
Insurance Traders Textiles Chemicals Foods Airlines Shipping Robotics Labs Studios""".split()
FORMS = "Inc Ltd LLC GmbH AG Corp Co SA PLC BV Group".split()

LATIN1 = str.maketrans({"e": "é", "o": "ö", "a": "á", "u": "ü", "s": "ß", "n": "ñ"})
CYRILLIC = str.maketrans(
    {
        **dict(zip("abcdefghijklmnopqrstuvwxyz", "абцдефгхийклмнопкрстуввксз")),
        **dict(zip("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "АБЦДЕФГХИЙКЛМНОПКРСТУВВКСЗ")),
    }
)


def person(rng):
    parts = [rng.choice(FIRST)]
    if rng.random() < 0.3:
        parts.append(rng.choice(FIRST)[0] + ".")
    parts.append(rng.choice(LAST))
    if rng.random() < 0.2:
        parts.append(rng.choice(LAST))
    return " ".join(parts)


def company(rng):
    parts = [rng.choice(WORDS)]
    if rng.random() < 0.5:
        parts.append(rng.choice(WORDS + LAST))
    parts.append(rng.choice(TRADES))
    if rng.random() < 0.7:
        parts.append(rng.choice(FORMS))
    return " ".join(parts)


def make_names(count, seed=7):
    """ASCII names of 8 to 40 characters, people and companies about half and half."""
    rng = random.Random(seed)
    names = []
    while len(names) < count:
        name = person(rng) if rng.random() < 0.5 else company(rng)
        if 8 <= len(name) <= 40:
            names.append(name)
    return names


def alphabets(names):
    rng = random.Random(11)
    # Latin-1: about a third of the replaceable letters accented.
    latin1 = ["".join(c.translate(LATIN1) if rng.random() < 0.35 else c for c in s) for s in names]
    return {"ascii": names, "latin1": latin1, "cyrillic": [s.translate(CYRILLIC) for s in names]}


def sorted_tokens(s):
    return " ".join(sorted(s.split()))


def build_binary(build):
    lib = os.path.join(build, "libquorvalex_kernels.a")
    exe = os.path.join(build, "bench_lanes")
    src = os.path.join(ROOT, "bench", "bench_lanes.cpp")
    if not os.path.exists(lib):
        sys.exit(f"{lib} missing: run tools/dev_build.sh first")
    if not os.path.exists(exe) or os.path.getmtime(exe) < max(
        os.path.getmtime(src), os.path.getmtime(lib)
    ):
        cmd = ["g++", "-std=c++20", "-O2", "-march=x86-64-v2", "-ffp-contract=off",
               "-I" + os.path.join(ROOT, "src"), src, lib, "-o", exe, "-lpthread"]
        subprocess.run(cmd, check=True)
    return exe


def run_lanes(exe, names, repeats):
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt", delete=False) as f:
        f.write("\n".join(names) + "\n")
        path = f.name
    try:
        out = subprocess.run([exe, path, str(repeats)], check=True, capture_output=True, text=True)
    finally:
        os.unlink(path)
    rows = []
    for line in out.stdout.splitlines():
        measure, path_, width, cells, seconds = line.split("\t")
        rows.append((measure, path_, width, int(cells), float(seconds)))
    return rows


def rapidfuzz_rates(names, repeats):
    try:
        from rapidfuzz import distance, fuzz, process
    except ImportError:
        return {}
    scorers = {
        "lcs": fuzz.ratio,
        "token_sort": fuzz.token_sort_ratio,
        "levenshtein": distance.Levenshtein.distance,
        "jaro": distance.JaroWinkler.similarity,
        "w_ratio": fuzz.WRatio,
    }
    rates = {}
    for key, scorer in scorers.items():
        t = min(timeit.repeat(lambda: process.cdist(names, names, scorer=scorer, workers=1),
                              number=1, repeat=repeats))
        rates[key] = len(names) ** 2 / t
    return rates


def summarize(rows):
    """cells/s per (measure, path, width) and for the whole list (sum of the groups' times)."""
    table = {}
    for measure, path, width, cells, seconds in rows:
        if measure == "build":
            continue
        table[(measure, path, width)] = cells / seconds
        c, s = table.get((measure, path, "all", "sum"), (0, 0.0))
        table[(measure, path, "all", "sum")] = (c + cells, s + seconds)
    for key in [k for k in table if len(k) == 4]:
        cells, seconds = table.pop(key)
        table[key[:3]] = cells / seconds
    return table


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "dev"))
    ap.add_argument("--names", type=int, default=2000)
    ap.add_argument("--repeats", type=int, default=3)
    args = ap.parse_args()
    exe = build_binary(args.build)

    for alphabet, names in alphabets(make_names(args.names)).items():
        lengths = sorted(len(s) for s in names)
        print(f"\n== {alphabet}: {len(names)} x {len(names)} names, "
              f"median length {lengths[len(lengths) // 2]}, e.g. {names[0]!r}")
        table = summarize(run_lanes(exe, names, args.repeats))
        sorted_table = summarize(run_lanes(exe, [sorted_tokens(s) for s in names], args.repeats))
        for (measure, path, width), rate in sorted_table.items():
            if measure == "lcs":
                table[("token_sort", path, width)] = rate
        rf = rapidfuzz_rates(names, args.repeats)

        paths = sorted({p for (_, p, _) in table}, key=lambda p: (p != "scalar kernel", p))
        widths = ["8", "16", "32", "64", "all"]
        print(f"{'measure':<12} {'path':<20}" + "".join(f"{w + '-bit' if w != 'all' else 'all':>12}"
                                                   for w in widths) + "   (Mcells/s)")
        for measure in ["lcs", "token_sort", "levenshtein", "jaro"]:
            for path in paths:
                cells = [table.get((measure, path, w)) for w in widths]
                print(f"{measure:<12} {path:<20}" +
                      "".join(f"{c / 1e6:12.1f}" if c else f"{'-':>12}" for c in cells))
            scalar = table.get((measure, "scalar kernel", "all"))
            best = max((table.get((measure, p, "all")) or 0) for p in paths if p != "scalar kernel")
            line = f"{measure:<12} {'speedup best/scalar':<20}{best / scalar:>60.1f}x"
            if measure in rf:
                line += (f"   rapidfuzz cdist: {rf[measure] / 1e6:.1f} Mcells/s"
                         f" (lanes {best / rf[measure]:.1f}x)")
            print(line)
        if "w_ratio" in rf:
            print(f"{'w_ratio':<12} rapidfuzz cdist: {rf['w_ratio'] / 1e6:.1f} Mcells/s "
                  "(no lane kernel of its own: built from ratio, token and partial scores)")


if __name__ == "__main__":
    main()
