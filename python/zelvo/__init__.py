"""Zelvo, or any OFX image-effect plug-in, as a function of NumPy arrays.

    import zelvo
    fx = zelvo.load()                                   # the Zelvo bundled with this package
    out = fx.render(src, splitCount=4, splitAngle=30.0, section2=False)

Images are height x width x 4 (RGBA) arrays of uint8, uint16 or float32,
row 0 on top, as image readers (OpenImageIO, imageio) give them. The
plug-in runs in this process, on the arrays' own memory where it can; a
plug-in that crashes takes the process with it, so untrusted plug-ins are
loaded with ``zelvo.load(..., isolated=True)``, which renders them in a
process of their own.
"""

from __future__ import annotations

import math
import numbers
import os
import threading
from dataclasses import dataclass
from typing import Any, Dict, List, Mapping, Optional, Tuple

import numpy as np

from . import _zelvo
from ._discovery import PluginRecord, bundled_bundle, locate, plugins
from ._errors import LoadError, RenderError
from ._version import __version__

__all__ = ["load", "plugins", "gpu_available", "Effect", "Param", "PluginRecord", "RenderReport",
           "RenderError", "LoadError"]

_DTYPES = (np.dtype(np.uint8), np.dtype(np.uint16), np.dtype(np.float32))
_GPU_MODES = ("off", "opencl", "opencl-images")
# Parameters a caller can set: the others only lay out a host's panel.
_UNSET_TYPES = ("page", "group", "pushbutton", "custom", "bytes")
_COMPONENTS = {"rgb": 3, "rgba": 4, "double2d": 2, "integer2d": 2, "double3d": 3, "integer3d": 3}


def load(plugin: Optional[str | os.PathLike] = None, *, isolated: bool = False) -> "Effect":
    """Opens an OFX plug-in for rendering.

    ``plugin`` is a bundle or binary path (its first plug-in), or an
    identifier found where hosts look (OFX_PLUGIN_PATH, then
    /usr/OFX/Plugins); by default, the Zelvo bundled with this package.
    Identifiers are looked up by reading each binary in a child process, so
    a binary that crashes when read is skipped, not fatal.

    With ``isolated=True`` the plug-in is loaded and renders in a worker
    process: a crash there raises RenderError instead of ending this
    process, at the cost of copying each image into and out of shared
    memory. Raises LoadError when the plug-in cannot be found or refuses to
    load.
    """
    path, index = locate(plugin)
    if isolated:
        from ._isolated import IsolatedEffect
        return IsolatedEffect(path, index)
    return Effect(path, index)


def gpu_available() -> bool:
    """Whether an OpenCL device is there for ``render(..., gpu="opencl")``."""
    return _zelvo.opencl_device()


@dataclass(frozen=True)
class Param:
    """A parameter as the plug-in declares it.

    ``type`` is the OFX type without its prefix, lowercase: "integer",
    "double", "boolean", "choice", "string", "rgba", "double2d", ...
    ``default``, ``min`` and ``max`` are ints, floats, bools, strings or
    tuples of the parameter's kind; ``min`` and ``max`` are None where the
    plug-in sets no bound. ``options`` are a choice's labels, by index.
    """

    name: str
    type: str
    label: str
    default: Any
    min: Any = None
    max: Any = None
    hint: str = ""
    options: Tuple[str, ...] = ()
    animates: bool = True


@dataclass(frozen=True)
class RenderReport:
    """What the last render on this thread did (``Effect.last_render``).

    ``path`` is "cpu", "opencl-buffers" or "opencl-images" (with ":N/M"
    when only N of M windows rendered on the device); ``source_copied`` and
    ``output_copied`` say whether an array had to be copied rather than
    lent.
    """

    path: str
    windows: int
    device_windows: int
    source_copied: bool
    output_copied: bool
    device_refusal: str = ""


def _python_value(kind: str, values: List[float]) -> Any:
    if not values:
        return None
    if kind == "boolean":
        return bool(values[0])
    if kind in ("integer", "choice"):
        return int(values[0])
    if kind in _COMPONENTS:
        cast = int if kind.startswith("integer") else float
        return tuple(cast(v) for v in values)
    return float(values[0])


def _bound(kind: str, values: List[float]) -> Any:
    # Bounds beyond what any value reaches mean "none".
    if not values or all(abs(v) >= 1e300 or abs(v) >= 2147483647 and kind != "double" for v in values):
        return None
    return _python_value(kind, values)


def _param_of(p: Mapping[str, Any]) -> Param:
    kind = p["type"][len("OfxParamType"):].lower() if p["type"].startswith("OfxParamType") else p["type"]
    default = p["text_default"] if kind == "string" else _python_value(kind, p["default"])
    options = tuple(p["options"])
    lo, hi = _bound(kind, p["min"]), _bound(kind, p["max"])
    if kind == "choice" and options:
        lo, hi = 0, len(options) - 1
    return Param(p["name"], kind, p["label"] or p["name"], default, lo, hi, p["hint"], options, p["animates"])


def _shape_text(a: np.ndarray) -> str:
    return " x ".join(str(n) for n in a.shape) if a.ndim else "a scalar"


def _check_image(a: Any, name: str) -> np.ndarray:
    array = np.asarray(a)
    if array.dtype not in _DTYPES:
        hint = " (convert with .astype(np.float32))" if array.dtype.kind == "f" else ""
        raise TypeError(f"{name} must be a uint8, uint16 or float32 array, not {array.dtype}{hint}")
    if array.ndim != 3 or array.shape[2] != 4:
        raise ValueError(f"{name} must be a height x width x 4 (RGBA) array, not {_shape_text(array)}")
    return array


class Effect:
    """An OFX plug-in opened in this process (see ``zelvo.load``).

    ``params`` maps each settable parameter's name to its Param;
    ``depths`` are the dtypes it renders. Renders may run from several
    threads at once: each borrows an instance of the plug-in of its own.
    """

    def __init__(self, path: str, index: int = 0):
        self._session = _zelvo.Session(os.fspath(path), index)
        self._describe(self._session.info())

    def _describe(self, info: Mapping[str, Any]) -> None:
        self.identifier: str = info["identifier"]
        self.version: Tuple[int, int] = tuple(info["version"])
        self.label: str = info["label"] or self.identifier
        self.description: str = info["description"]
        self.path: str = info["path"]
        self.context: str = info["context"]
        self.depths: Tuple[str, ...] = tuple(d for d in info["depths"] if d in ("uint8", "uint16", "float32"))
        self.supports_tiles: bool = info["tiles"]
        self.opencl: bool = info["opencl"]
        self.params: Dict[str, Param] = {}
        for p in info["params"]:
            param = _param_of(p)
            if param.type not in _UNSET_TYPES:
                self.params[param.name] = param
        self._last = threading.local()

    def close(self) -> None:
        """Destroys the plug-in's instances and unloads it; renders raise afterwards."""
        self._session = None

    def __enter__(self) -> "Effect":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<zelvo.Effect {self.identifier} {self.version[0]}.{self.version[1]} from {self.path}>"

    @property
    def last_render(self) -> Optional[RenderReport]:
        """What this thread's last render of the effect did, or None."""
        return getattr(self._last, "report", None)

    def render(self, src: np.ndarray, out: Optional[np.ndarray] = None, *, time: float = 0.0,
               tiles: Optional[Tuple[int, int]] = None, gpu: Optional[str] = None, **params: Any) -> np.ndarray:
        """Renders ``src`` through the plug-in and returns the output.

        src: height x width x 4 (RGBA) uint8, uint16 or float32, row 0 on top.
            It is lent to the plug-in without a copy whatever its row stride
            (``src[::-1]`` included) when each row's pixels are packed; it
            is copied once when they are not (a column slice, say), or when
            it shares memory with ``out``.
        out: where to render, of src's shape and dtype, writable; by default
            a new array. An ``out`` whose rows are not packed is rendered
            beside and copied in once. New arrays reuse the memory of the
            last two that are no longer referenced, so that a loop of
            renders does not pay for fresh memory in every frame.
        time: the frame, for animated values and plug-ins that read it.
        tiles: (width, height) of the windows to render, as a tiling host
            does (0: the whole width or height); plug-ins that do not declare
            tiles render whole frames. The tiles' sources and outputs are the
            host's own, copied from and into the arrays.
        gpu: "opencl" or "opencl-images" to render as a GPU host does: a
            plug-in that declares OpenCL renders on the device where there is
            one, and on the CPU otherwise, as it does where the device
            refuses. Default: $ZELVO_GPU, else "off".
        **params: parameter values by name; each render starts from the
            plug-in's defaults. A dict {time: value} sets keys instead. A
            choice takes its index or its option's label.

        A dtype the plug-in does not render is converted once to one it does
        and back (uint8 and uint16 as fractions of their largest value).
        Raises TypeError or ValueError for arrays or values the plug-in
        cannot take, and RenderError when the render fails.
        """
        source = _check_image(src, "src")
        time = float(time)
        if not math.isfinite(time):
            raise ValueError(f"time must be a finite number, not {time}")
        settings = [self._setting(name, value) for name, value in params.items()]
        tile_width, tile_height = _tiles(tiles)
        mode = _gpu_mode(gpu)
        target = source.dtype.name
        if source.dtype.name not in self.depths:
            if not self.depths:
                raise TypeError(f"{self.identifier} declares no depth this host renders (uint8, uint16, float32)")
            target = "float32" if "float32" in self.depths else self.depths[-1]
        if out is None:
            out = _zelvo.new_image(source.shape[0], source.shape[1], source.dtype.name)
        else:
            _check_output(out, source)
        if target != source.dtype.name:
            rendered = _zelvo.new_image(source.shape[0], source.shape[1], target)
            self._render(_convert(source, target), rendered, time, settings, tile_width, tile_height, mode)
            out[...] = _convert(rendered, source.dtype.name)
            return out
        self._render(source, out, time, settings, tile_width, tile_height, mode)
        return out

    def _session_render(self, source, out, time, settings, tile_width, tile_height, mode) -> Dict[str, Any]:
        if self._session is None:
            raise ValueError(f"{self.identifier} was closed")
        return self._session.render(source, out, time, settings, tile_width, tile_height, mode)

    def _render(self, source, out, time, settings, tile_width, tile_height, mode) -> None:
        report = self._session_render(source, out, time, settings, tile_width, tile_height, mode)
        windows, on_device = report["windows"], report["device_windows"]
        kind = "opencl-images" if report["image_windows"] else "opencl-buffers"
        path = "cpu" if on_device == 0 else kind if on_device == windows else f"{kind}:{on_device}/{windows}"
        self._last.report = RenderReport(path, windows, on_device, report["source_copied"], report["output_copied"],
                                         report["device_refusal"])
        if report["status"] != "kOfxStatOK":
            raise RenderError(f"the render of {self.identifier} at time {time:g} failed: {report['status']}",
                              report["status"])
        if report["wrote_outside"]:
            raise RenderError(f"the render of {self.identifier} at time {time:g} failed: "
                              "the plug-in wrote outside its render window", "kOfxStatFailed")

    def _setting(self, name: str, value: Any) -> "_zelvo.ParamSetting":
        param = self.params.get(name)
        if param is None:
            known = ", ".join(self.params) or "none"
            raise TypeError(f"{self.identifier} has no parameter '{name}' (known: {known})")
        setting = _zelvo.ParamSetting()
        setting.name = name
        if param.type == "string":
            if not isinstance(value, str):
                raise TypeError(f"parameter {name} is a string, not {value!r}")
            setting.text = value
            return setting
        if isinstance(value, Mapping):
            if not value:
                raise ValueError(f"parameter {name} has no keys: give {{time: value, ...}}")
            keys = []
            for at, v in value.items():
                if not isinstance(at, numbers.Real) or isinstance(at, bool) or not math.isfinite(at):
                    raise TypeError(f"a key of parameter {name} needs a finite time, not {at!r}")
                keys.append((float(at), _numbers(param, v)))
            setting.keys = keys
            return setting
        setting.value = _numbers(param, value)
        return setting


def _numbers(param: Param, value: Any) -> List[float]:
    """The value as the host stores it, checked against the declaration."""
    name, kind = param.name, param.type
    if kind == "boolean":
        if isinstance(value, (bool, np.bool_)) or (isinstance(value, numbers.Integral) and value in (0, 1)):
            return [1.0 if value else 0.0]
        raise TypeError(f"parameter {name} is a boolean: use True or False, not {value!r}")
    if kind == "choice" and isinstance(value, str):
        if value not in param.options:
            raise ValueError(f"parameter {name} is one of {', '.join(param.options)}, not {value!r}")
        return [float(param.options.index(value))]
    count = _COMPONENTS.get(kind, 1)
    if kind not in _COMPONENTS and kind not in ("integer", "choice", "double"):
        raise TypeError(f"parameter {name} of type {kind} cannot be set")
    values = list(value) if count > 1 and not isinstance(value, (str, bytes)) and hasattr(value, "__len__") else [value]
    if len(values) != count:
        raise TypeError(f"parameter {name} takes {count} numbers, not {value!r}")
    integral = kind in ("integer", "choice") or kind.startswith("integer")
    out = []
    for i, v in enumerate(values):
        if isinstance(v, (bool, np.bool_)) or not isinstance(v, numbers.Real) or not math.isfinite(v):
            raise TypeError(f"parameter {name} is {'an integer' if integral else 'a number'}, not {value!r}")
        if integral and v != math.floor(v):
            raise TypeError(f"parameter {name} is an integer, not {value!r}")
        lo = param.min[i] if isinstance(param.min, tuple) else param.min
        hi = param.max[i] if isinstance(param.max, tuple) else param.max
        if (lo is not None and v < lo) or (hi is not None and v > hi):
            raise ValueError(f"parameter {name} must lie in {_bound_text(lo, hi)}, not {value!r}")
        out.append(float(v))
    return out


def _bound_text(lo: Any, hi: Any) -> str:
    return f"{'-inf' if lo is None else f'{lo:g}'}..{'inf' if hi is None else f'{hi:g}'}"


def _tiles(tiles: Any) -> Tuple[int, int]:
    if tiles is None:
        return 0, 0
    usage = f"tiles must be (width, height) in pixels, 0 for the whole width or height, not {tiles!r}"
    try:
        width, height = tiles
    except (TypeError, ValueError):
        raise ValueError(usage) from None
    for v in (width, height):
        if isinstance(v, bool) or not isinstance(v, numbers.Integral) or not 0 <= v <= 2147483647:
            raise ValueError(usage)
    if width == 0 and height == 0:
        raise ValueError(usage)
    return int(width), int(height)


def _gpu_mode(gpu: Any) -> str:
    name = "gpu"
    if gpu is None:
        gpu, name = os.environ.get("ZELVO_GPU", "off") or "off", "ZELVO_GPU"
    if gpu is False:
        gpu = "off"
    if gpu not in _GPU_MODES:
        raise ValueError(f"{name} must be opencl, opencl-images or off, not {gpu!r}")
    return gpu


def _check_output(out: Any, source: np.ndarray) -> None:
    if not isinstance(out, np.ndarray):
        raise TypeError(f"out must be a NumPy array, not {type(out).__name__}")
    if out.dtype != source.dtype:
        raise TypeError(f"out must be {source.dtype} like src, not {out.dtype}")
    if out.shape != source.shape:
        raise ValueError(f"out must be {_shape_text(source)} like src, not {_shape_text(out)}")
    if not out.flags.writeable:
        raise ValueError("out is read-only")


_LARGEST = {"uint8": 255.0, "uint16": 65535.0}


def _convert(a: np.ndarray, dtype: str) -> np.ndarray:
    """Values of one depth in another: integers as fractions of their largest value."""
    scale = _LARGEST.get(a.dtype.name, 1.0)
    if dtype == "float32":
        return (a.astype(np.float64) / scale).astype(np.float32)
    fraction = a.astype(np.float64) / scale
    return np.clip(np.rint(fraction * _LARGEST[dtype]), 0, _LARGEST[dtype]).astype(dtype)
