"""The package's exceptions."""

from . import _zelvo

# A plug-in that cannot be found, opened, loaded or described (RuntimeError).
LoadError = _zelvo.LoadError


class RenderError(RuntimeError):
    """A render that did not complete.

    ``status`` is the OFX status the plug-in answered ("kOfxStatFailed",
    "kOfxStatErrMemory", ...); for an isolated plug-in that ended its
    worker process, "crashed".
    """

    def __init__(self, message: str, status: str):
        super().__init__(message)
        self.status = status
