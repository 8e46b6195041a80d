"""What callers get wrong, and renders that fail: each a Python exception
naming what was expected."""

import numpy as np
import pytest

import zelvo
from conftest import fixture_plugin

SRC = np.zeros((8, 8, 4), np.uint8)


@pytest.mark.parametrize("src,error,words", [
    (np.zeros((8, 8, 4)), TypeError, "uint8, uint16 or float32 array, not float64 (convert with .astype(np.float32))"),
    (np.zeros((8, 8, 4), np.int32), TypeError, "not int32"),
    (np.zeros((8, 8, 3), np.uint8), ValueError, "height x width x 4 (RGBA) array, not 8 x 8 x 3"),
    (np.zeros((8, 8), np.uint8), ValueError, "not 8 x 8"),
    ([[1, 2, 3, 4]], TypeError, "not int64"),
])
def test_arrays_it_cannot_take(fx, src, error, words):
    with pytest.raises(error, match="src must be a") as e:
        fx.render(src)
    assert words in str(e.value)


@pytest.mark.parametrize("values,error,words", [
    (dict(splitcount=3), TypeError, "has no parameter 'splitcount' (known: splitCount, splitAngle, section1,"),
    (dict(splitCount=11), ValueError, "parameter splitCount must lie in 1..10, not 11"),
    (dict(splitCount=2.5), TypeError, "parameter splitCount is an integer, not 2.5"),
    (dict(splitAngle=-1.0), ValueError, "parameter splitAngle must lie in 0..359, not -1.0"),
    (dict(splitAngle=float("nan")), TypeError, "parameter splitAngle is a number, not nan"),
    (dict(splitAngle="30"), TypeError, "parameter splitAngle is a number, not '30'"),
    (dict(section2=2), TypeError, "parameter section2 is a boolean: use True or False, not 2"),
    (dict(splitAngle={}), ValueError, "parameter splitAngle has no keys"),
    (dict(splitAngle={"a": 1.0}), TypeError, "a key of parameter splitAngle needs a finite time"),
    (dict(time=float("inf")), ValueError, "time must be a finite number"),
    (dict(tiles=(16,)), ValueError, "tiles must be (width, height)"),
    (dict(tiles=(0, 0)), ValueError, "tiles must be (width, height)"),
    (dict(tiles=(-1, 8)), ValueError, "tiles must be (width, height)"),
    (dict(gpu="cuda"), ValueError, "gpu must be opencl, opencl-images or off, not 'cuda'"),
])
def test_values_it_cannot_take(fx, values, error, words):
    with pytest.raises(error) as e:
        fx.render(SRC, **values)
    assert words in str(e.value)


def test_gpu_mode_from_the_environment_is_checked(fx, monkeypatch):
    monkeypatch.setenv("ZELVO_GPU", "metal")
    with pytest.raises(ValueError, match="ZELVO_GPU must be opencl, opencl-images or off, not 'metal'"):
        fx.render(SRC)


@pytest.mark.parametrize("out,error,words", [
    (np.zeros((8, 8, 4), np.uint16), TypeError, "out must be uint8 like src, not uint16"),
    (np.zeros((8, 9, 4), np.uint8), ValueError, "out must be 8 x 8 x 4 like src, not 8 x 9 x 4"),
    (np.broadcast_to(np.zeros(4, np.uint8), (8, 8, 4)), ValueError, "out is read-only"),
    ([0] * 4, TypeError, "out must be a NumPy array, not list"),
])
def test_outputs_it_cannot_write(fx, out, error, words):
    with pytest.raises(error) as e:
        fx.render(SRC, out=out)
    assert words in str(e.value)


def test_a_failed_render_raises_with_the_status():
    fx = zelvo.load(fixture_plugin("ADDRESS.ofx"))
    with pytest.raises(zelvo.RenderError, match="failed: kOfxStatErrMemory") as e:
        fx.render(SRC, level=13)
    assert e.value.status == "kOfxStatErrMemory"
    assert fx.render(SRC, level=12)[0, 5, 0] == 12  # the effect renders on afterwards


def test_plugins_that_cannot_be_found_or_opened(tmp_path, monkeypatch):
    monkeypatch.setenv("OFX_PLUGIN_PATH", str(tmp_path))
    with pytest.raises(zelvo.LoadError, match="plug-in not found: org.nowhere.effect"):
        zelvo.load("org.nowhere.effect")
    (tmp_path / "Fake.ofx").write_bytes(b"not a library")
    with pytest.raises(zelvo.LoadError, match="Fake.ofx"):
        zelvo.load(str(tmp_path / "Fake.ofx"))


def test_empty_images_render_to_empty_outputs(fx):
    out = fx.render(np.zeros((0, 5, 4), np.float32))
    assert out.shape == (0, 5, 4) and out.dtype == np.float32
