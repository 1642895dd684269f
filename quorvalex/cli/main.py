"""``quorvalex`` (and ``python -m quorvalex``): compare strings, match and deduplicate files, demo."""

from __future__ import annotations

import argparse
import os
import sys
from typing import Any, NoReturn, Sequence

from .errors import CliError

PROG = "quorvalex"


class _Parser(argparse.ArgumentParser):
    """argparse that reports a usage error as one line (and exit status 2), not a usage block."""

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.prog}: error: {message} (see {self.prog} --help)\n")


def _parser() -> argparse.ArgumentParser:
    from quorvalex import __version__

    formatter = argparse.RawDescriptionHelpFormatter
    parser = _Parser(prog=PROG, formatter_class=formatter,
                     description="Fuzzy string matching from the command line: compare two strings, "
                                 "match one file against another, deduplicate a file.",
                     epilog="examples:\n"
                            "  quorvalex demo\n"
                            "  quorvalex compare 'Acme Corp.' 'ACME Corporation'\n"
                            "  quorvalex match customers.csv suppliers.csv --left-column name "
                            "--right-column company -o matches.csv\n"
                            "  quorvalex dedupe people.csv --column name -o people_grouped.csv\n\n"
                            "Run 'quorvalex COMMAND --help' for the options of a command.")
    parser.add_argument("--version", action="version", version=f"{PROG} {__version__}")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=_Parser)
    commands.required = True

    def scorer_options(command: argparse.ArgumentParser, default_workers: int = -1) -> None:
        command.add_argument("--scorer", default="w_ratio", metavar="NAME",
                             help="measure to score with, e.g. w_ratio, token_sort_ratio, "
                                  "levenshtein_distance, jaro_winkler_similarity (default: w_ratio)")
        command.add_argument("--cutoff", type=float, metavar="X",
                             help="keep scores at or above X (at or below X for distances); default "
                                  "85 for the 0-100 ratios, 0.85 for 0-1 similarities, 0.15 for "
                                  "0-1 distances, required for the others")
        command.add_argument("--processor", choices=("default", "none"), default="default",
                             help="'default' lower-cases and turns every character that is not a "
                                  "letter or digit into a space before scoring; 'none' scores the "
                                  "text as it is (default: default)")
        command.add_argument("--option", action="append", metavar="NAME=VALUE",
                             help="an option of the scorer, e.g. prefix_weight=0.2 (repeatable)")
        command.add_argument("--workers", type=int, default=default_workers, metavar="N",
                             help="threads to score on; -1 means all (default: -1)")

    def io_options(command: argparse.ArgumentParser) -> None:
        command.add_argument("--delimiter", metavar="CHAR",
                             help="CSV field delimiter, 'tab' or '\\t' for a tab (default: "
                                  "sniffed from the file)")
        command.add_argument("-o", "--output", default="-", metavar="OUT",
                             help="output file, '-' for stdout (default); a name ending in "
                                  ".parquet or .pq writes Parquet")
        command.add_argument("-q", "--quiet", action="store_true",
                             help="no progress bar and no summary on stderr")

    compare = commands.add_parser(
        "compare", formatter_class=formatter, help="every measure (or the named ones) for two strings",
        description="Print a table of measures for two strings: name, value and, for distances, "
                    "the normalized similarity of the same family.",
        epilog="example:\n  quorvalex compare 'Jürgen Müller' 'Juergen Mueller' "
               "--measure ratio --measure levenshtein_distance")
    compare.add_argument("s1", metavar="S1")
    compare.add_argument("s2", metavar="S2")
    compare.add_argument("--measure", action="append", metavar="NAME",
                         help="a measure to show (repeatable; default: all of them)")
    compare.add_argument("--processor", choices=("default", "none"), default="none",
                         help="process both strings first (default: none)")
    compare.add_argument("--option", action="append", metavar="NAME=VALUE",
                         help="an option for the measures that have it, e.g. prefix_weight=0.2")

    match = commands.add_parser(
        "match", formatter_class=formatter, help="best matches of each row of one file in another",
        description="For each row of LEFT, write its best --top rows of RIGHT whose score meets the "
                    "cutoff, best first, as CSV with the header "
                    "left_row,left_value,right_row,right_value,score (rows numbered from 0, the "
                    "header not counted). Files are CSV (UTF-8, with or without BOM) or Parquet; "
                    "'-' reads stdin.",
        epilog="example:\n  quorvalex match customers.csv suppliers.csv --left-column name "
               "--right-column company --scorer token_sort_ratio --cutoff 90 --top 3 -o matches.csv")
    match.add_argument("left", metavar="LEFT")
    match.add_argument("right", metavar="RIGHT")
    match.add_argument("--left-column", required=True, metavar="COL")
    match.add_argument("--right-column", required=True, metavar="COL")
    match.add_argument("--top", type=int, default=1, metavar="K",
                       help="matches to keep per left row (default: 1)")
    scorer_options(match)
    io_options(match)

    dedupe = commands.add_parser(
        "dedupe", formatter_class=formatter, help="group the rows of a file that match each other",
        description="Write FILE back with a column 'group' appended: the number of the first row "
                    "of the row's group, where rows whose values meet the cutoff, directly or "
                    "through others, form one group. Prints how many groups and duplicates it found.",
        epilog="example:\n  quorvalex dedupe people.csv --column name --scorer token_sort_ratio "
               "--cutoff 90 -o people_grouped.csv")
    dedupe.add_argument("file", metavar="FILE")
    dedupe.add_argument("--column", required=True, metavar="COL")
    dedupe.add_argument("--group-column", default="group", metavar="NAME",
                        help="name of the appended column (default: group)")
    scorer_options(dedupe)
    io_options(dedupe)

    demo = commands.add_parser(
        "demo", formatter_class=formatter,
        help="match and dedupe built-in names, with precision and recall",
        description="Build a data set of person and company names (Latin, Cyrillic, Greek and "
                    "Chinese) with realistic variants and known true matches, run match and dedupe "
                    "on it with a few scorers, and print precision, recall and time side by side.",
        epilog="example:\n  quorvalex demo --size 4000 --save demo-data/")
    demo.add_argument("--size", type=int, default=None, metavar="N",
                      help="number of reference names; the queries add three quarters as many "
                           "(default: 4000)")
    demo.add_argument("--seed", type=int, default=17, help="seed of the data set (default: 17)")
    demo.add_argument("--workers", type=int, default=-1, metavar="N",
                      help="threads to score on; -1 means all (default: -1)")
    demo.add_argument("--save", metavar="DIR",
                      help="also write the data set as reference.csv and queries.csv to DIR")
    demo.add_argument("-q", "--quiet", action="store_true", help="no progress bar")
    return parser


def _run(args: argparse.Namespace) -> int:
    from . import commands
    from .progress import Progress

    if args.command == "compare":
        commands.print_compare(commands.compare(args.s1, args.s2, args.measure, args.processor,
                                                args.option))
        return 0
    if args.command == "demo":
        from .demo import run_demo

        return run_demo(args.size, args.seed, args.workers, args.save, Progress(args.quiet))
    progress = Progress(args.quiet)
    args.delimiter = {"\\t": "\t", "tab": "\t"}.get(args.delimiter, args.delimiter)
    if args.delimiter is not None and len(args.delimiter) != 1:
        raise CliError(f"--delimiter must be one character, got {args.delimiter!r}")
    choice = commands.choose_scorer(args.scorer, args.cutoff, args.option, args.processor,
                                    args.workers)
    if args.command == "match":
        count = commands.run_match(args.left, args.right, args.left_column, args.right_column,
                                   choice, args.top, args.delimiter, args.output, progress)
        commands.say(f"{count} matches written", args.quiet)
        return 0
    rows, groups, duplicates = commands.run_dedupe(args.file, args.column, args.group_column,
                                                   choice, args.delimiter, args.output, progress)
    commands.say(f"{rows} rows: {groups} group{'s' * (groups != 1)}, {duplicates} "
                 f"duplicate{'s' * (duplicates != 1)}", args.quiet)
    return 0


def main(argv: Sequence[str] | None = None) -> int:
    """Run the command line; returns the exit status (2 for bad input, one line on stderr)."""
    args = _parser().parse_args(argv)
    try:
        return _run(args)
    except CliError as error:
        print(f"{PROG} {args.command}: error: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print(f"{PROG} {args.command}: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader of stdout went away (e.g. `| head`); stop quietly, as other tools do.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1


def entry_point() -> Any:
    status = main()
    if "pyarrow" in sys.modules:
        # pyarrow's threads can abort the interpreter while it shuts down ("terminate called
        # without an active exception"), turning a finished command into a crash: every file is
        # written and closed by now, so flush what is left and leave without the shutdown.
        for stream in (sys.stdout, sys.stderr):
            try:
                stream.flush()
            except (OSError, ValueError):
                status = status or 1
        os._exit(status)
    sys.exit(status)
