"""The exception the package raises for the library's result codes."""

from . import _library


class PelkorError(Exception):
    """A failure the library reported: `code` is its result code, `text` its English text."""

    def __init__(self, code, operation):
        self.code = code
        self.text = _library.strerror(code)
        self.operation = operation
        super().__init__(f"{operation}: {self.text} (code {code})")


def check(code, operation):
    """Raises PelkorError unless `code` is 0 (done)."""
    if code != _library.OK:
        raise PelkorError(code, operation)
    return code
