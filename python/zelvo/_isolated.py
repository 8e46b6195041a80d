"""A plug-in in a worker process of its own (``zelvo.load(..., isolated=True)``).

The worker loads the plug-in and renders from images in memory that both
processes map (a memfd handed over a Unix socket): the source is copied in
and the output copied out, once each. A worker that dies takes only the
render in flight with it; the next render starts a new one.
"""

from __future__ import annotations

import mmap
import os
import pickle
import signal
import socket
import subprocess
import sys
import threading
from typing import Any, Dict, Optional

import numpy as np

from . import Effect
from ._errors import LoadError, RenderError

_PACKAGE_PARENT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_MESSAGE_BYTES = 1 << 20
_WORKER = "import sys; sys.path.insert(0, sys.argv[1]); from zelvo._isolated import serve; serve()"


def _send(sock: socket.socket, message: Any, fds=()) -> None:
    socket.send_fds(sock, [pickle.dumps(message)], list(fds))


def _receive(sock: socket.socket):
    data, fds, _, _ = socket.recv_fds(sock, _MESSAGE_BYTES, 1)
    return (pickle.loads(data) if data else None), fds


class _Worker:
    def __init__(self, path: str, index: int):
        parent, child = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        with child:
            self.process = subprocess.Popen(
                [sys.executable, "-I", "-c", _WORKER, _PACKAGE_PARENT, str(child.fileno()), path, str(index)],
                pass_fds=[child.fileno()], stdin=subprocess.DEVNULL)
        self.sock = parent

    def ask(self, message: Any, fds=()) -> Optional[Dict[str, Any]]:
        """The worker's answer; None when it ended instead of answering."""
        try:
            _send(self.sock, message, fds)
            answer, _ = _receive(self.sock)
        except (BrokenPipeError, ConnectionResetError):
            answer = None
        return answer

    def ending(self) -> str:
        """How the worker ended, once it has."""
        code = self.process.wait()
        if code < 0:
            return f"ended by {signal.Signals(-code).name}"
        return f"ended with exit status {code}"

    def stop(self) -> None:
        self.sock.close()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class IsolatedEffect(Effect):
    """An Effect whose plug-in loads and renders in a worker process.

    A plug-in that crashes there raises RenderError (status "crashed"), and
    the next render starts a new worker. Each render copies the source into
    memory shared with the worker and the output back; renders of one
    isolated effect run one at a time (open one per thread to render in
    parallel).
    """

    def __init__(self, path: str, index: int = 0):
        self._where = (os.fspath(path), index)
        self._lock = threading.Lock()
        self._worker: Optional[_Worker] = None
        self._session = None
        self._describe(self._start())

    def _start(self) -> Dict[str, Any]:
        worker = _Worker(*self._where)
        answer, _ = _receive(worker.sock)
        if answer is None:
            raise LoadError(f"the plug-in {self._where[0]} {worker.ending()} while loading")
        if "error" in answer:
            worker.stop()
            raise LoadError(answer["error"])
        self._worker = worker
        return answer["info"]

    def close(self) -> None:
        with self._lock:
            if self._worker:
                self._worker.stop()
                self._worker = None
            self._closed = True

    def __del__(self):
        worker = getattr(self, "_worker", None)
        if worker:
            worker.stop()

    def _session_render(self, source, out, time, settings, tile_width, tile_height, mode) -> Dict[str, Any]:
        size = source.nbytes + out.nbytes
        request = dict(shape=source.shape, dtype=source.dtype.str, time=time, tiles=(tile_width, tile_height),
                       gpu=mode, settings=[(s.name, s.value, s.keys, s.text) for s in settings])
        fd = os.memfd_create("zelvo-images", os.MFD_CLOEXEC)
        try:
            os.ftruncate(fd, max(size, 1))
            with mmap.mmap(fd, max(size, 1)) as shared:
                np.ndarray(source.shape, source.dtype, buffer=shared)[...] = source
                with self._lock:
                    if getattr(self, "_closed", False):
                        raise ValueError(f"{self.identifier} was closed")
                    if self._worker is None:
                        self._start()
                    answer = self._worker.ask(request, [fd])
                    if answer is None:
                        ending = self._worker.ending()
                        self._worker.stop()
                        self._worker = None
                        raise RenderError(f"the render of {self.identifier} at time {time:g} failed: "
                                          f"the plug-in's worker process {ending}", "crashed")
                if "error" in answer:
                    raise RenderError(answer["error"], "kOfxStatFailed")
                out[...] = np.ndarray(out.shape, out.dtype, buffer=shared, offset=source.nbytes)
        finally:
            os.close(fd)
        return answer


def serve() -> None:
    """The worker's side: python -c ... PACKAGE_PARENT FD PATH INDEX."""
    from . import _zelvo
    sock = socket.socket(fileno=int(sys.argv[2]))
    try:
        session = _zelvo.Session(sys.argv[3], int(sys.argv[4]))
    except Exception as e:  # the reason goes to the caller, whatever it is
        _send(sock, {"error": str(e)})
        return
    _send(sock, {"info": session.info()})
    while True:
        request, fds = _receive(sock)
        if request is None:
            return
        try:
            size = os.fstat(fds[0]).st_size
            with mmap.mmap(fds[0], size) as shared:
                dtype = np.dtype(request["dtype"])
                source = np.ndarray(request["shape"], dtype, buffer=shared)
                out = np.ndarray(request["shape"], dtype, buffer=shared, offset=source.nbytes)
                settings = []
                for name, value, keys, text in request["settings"]:
                    s = _zelvo.ParamSetting()
                    s.name, s.value, s.keys, s.text = name, value, keys, text
                    settings.append(s)
                answer = dict(session.render(source, out, request["time"], settings, *request["tiles"], request["gpu"]))
                del source, out
        except Exception as e:
            answer = {"error": str(e)}
        finally:
            for fd in fds:
                os.close(fd)
        _send(sock, answer)
