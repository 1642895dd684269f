"""``python -m quorvalex``: the command line (see ``quorvalex --help``)."""

import sys

from quorvalex.cli.main import main

if __name__ == "__main__":
    sys.exit(main())
