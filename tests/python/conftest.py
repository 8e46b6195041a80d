"""What the Python tests share: the package as built (PYTHONPATH), the
zelvo tool and the fixture plug-ins beside it (ZELVO_BUILD)."""

import os
import subprocess

import numpy as np
import pytest
import tifffile

import zelvo

BUILD = os.environ.get("ZELVO_BUILD", "")


def fixture_plugin(name: str) -> str:
    path = os.path.join(BUILD, "fixtures", name)
    if not os.path.exists(path):
        pytest.skip(f"no fixture {path} (ZELVO_BUILD names the build folder)")
    return path


def zelvo_render(tmp_path, src: np.ndarray, *args: str) -> np.ndarray:
    """What `zelvo render` writes for the array, through a TIFF of its depth."""
    tool = os.path.join(BUILD, "zelvo")
    if not os.path.exists(tool):
        pytest.skip(f"no zelvo tool in {BUILD}")
    source, output = tmp_path / "in.tif", tmp_path / "out.tif"
    tifffile.imwrite(source, src, photometric="rgb", extrasamples=["unassalpha"])
    subprocess.run([tool, "render", "-q", str(source), str(output), *args], check=True)
    return tifffile.imread(output)


def pattern(height: int, width: int, dtype) -> np.ndarray:
    """Every channel of every pixel different, across the dtype's range."""
    rng = np.random.default_rng(height * 1000 + width)
    if np.dtype(dtype) == np.float32:
        return rng.uniform(-0.25, 1.25, (height, width, 4)).astype(np.float32)
    return rng.integers(0, np.iinfo(dtype).max, (height, width, 4), dtype=dtype, endpoint=True)


@pytest.fixture(scope="session")
def fx():
    return zelvo.load()
