"""``python -m quorvalex``: the command line (see ``quorvalex --help``)."""

import sys

from quorvalex.cli.main import main

sys.exit(main())
