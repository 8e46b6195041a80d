"""Zelvo, or any OFX image-effect plug-in, as a function of NumPy arrays."""

import os
from typing import Any, Dict, List, Mapping, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

# Images: height x width x 4 (RGBA), row 0 on top.
Image = Union[npt.NDArray[np.uint8], npt.NDArray[np.uint16], npt.NDArray[np.float32]]
# A constant, or keys {time: value}; a choice also takes its option's label.
Value = Union[bool, int, float, str, Tuple[float, ...], Mapping[float, Any]]

class LoadError(RuntimeError):
    """A plug-in that cannot be found, opened, loaded or described."""

class RenderError(RuntimeError):
    """A render that did not complete; ``status`` is the OFX status name, or
    "crashed" for an isolated plug-in that ended its worker."""

    status: str
    def __init__(self, message: str, status: str) -> None: ...

class Param:
    """A parameter as the plug-in declares it."""

    name: str
    type: str  # "integer", "double", "boolean", "choice", "string", "rgba", "double2d", ...
    label: str
    default: Any
    min: Any  # None where the plug-in sets no bound
    max: Any
    hint: str
    options: Tuple[str, ...]  # a choice's labels
    animates: bool

class RenderReport:
    """What the last render on this thread did."""

    path: str  # "cpu", "opencl-buffers", "opencl-images", or "opencl-buffers:N/M"
    windows: int
    device_windows: int
    source_copied: bool
    output_copied: bool
    device_refusal: str

class PluginRecord:
    """One plug-in of a binary, as ``zelvo plugins`` lists it."""

    identifier: str
    version: Tuple[int, int]
    path: str
    index: int
    default: bool

class Effect:
    """An OFX plug-in opened for rendering; see ``zelvo.load``."""

    identifier: str
    version: Tuple[int, int]
    label: str
    description: str
    path: str
    context: str
    depths: Tuple[str, ...]  # of "uint8", "uint16", "float32"
    supports_tiles: bool
    opencl: bool
    params: Dict[str, Param]
    def __init__(self, path: str, index: int = 0) -> None: ...
    @property
    def last_render(self) -> Optional[RenderReport]: ...
    def render(
        self,
        src: Image,
        out: Optional[Image] = None,
        *,
        time: float = 0.0,
        tiles: Optional[Tuple[int, int]] = None,
        gpu: Optional[str] = None,
        **params: Value,
    ) -> Image:
        """Renders ``src`` through the plug-in and returns the output (``out`` when given).

        Contiguous rows are lent without a copy whatever the row stride's
        sign; a source whose rows are not packed, or that shares memory with
        ``out``, is copied once. ``tiles=(w, h)`` renders as a tiling host,
        ``gpu="opencl"`` or ``"opencl-images"`` as a GPU host. Parameters
        not named take their defaults.
        """
    def close(self) -> None: ...
    def __enter__(self) -> "Effect": ...
    def __exit__(self, *exc: Any) -> None: ...

def load(plugin: Optional[Union[str, os.PathLike[str]]] = None, *, isolated: bool = False) -> Effect:
    """Opens a plug-in by path or identifier (by default the bundled Zelvo);
    ``isolated=True`` runs it in a worker process."""

def plugins(*, problems: Optional[List[str]] = None) -> List[PluginRecord]:
    """Every plug-in a host would find, the bundled Zelvo first."""

def gpu_available() -> bool:
    """Whether an OpenCL device is there for GPU renders."""
