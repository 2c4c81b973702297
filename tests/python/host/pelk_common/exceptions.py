"""Stand-in for the host's error type."""


class PelkRuntimeError(Exception):
    pass
