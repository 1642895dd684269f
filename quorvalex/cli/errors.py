"""The one exception the command line turns into a message on stderr and exit status 2."""


class CliError(Exception):
    """Bad input or an impossible option; its text is the whole message shown to the user."""
