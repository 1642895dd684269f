"""``python -m quorvalex``: the command line (see ``quorvalex --help``)."""

from quorvalex.cli.main import entry_point

if __name__ == "__main__":
    entry_point()
