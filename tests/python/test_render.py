"""Renders of arrays against `zelvo render` of the same pixels in a file,
and the ways an array reaches the plug-in."""

import numpy as np
import pytest

import zelvo
from conftest import fixture_plugin, pattern, zelvo_render

SETTINGS = dict(splitCount=4, splitAngle=30.0, section2=False)
TOOL_SETTINGS = ["-p", "splitCount=4", "-p", "splitAngle=30", "-p", "section2=off"]


def bottom_up(a: np.ndarray) -> np.ndarray:
    """The same image with its rows stored bottom first (a positive OFX row stride)."""
    flipped = np.ascontiguousarray(a[::-1])[::-1]
    assert (flipped.strides[0] < 0 or len(a) == 1) and np.array_equal(flipped, a)
    return flipped


@pytest.mark.parametrize("dtype", [np.uint8, np.uint16, np.float32])
@pytest.mark.parametrize("height,width", [(37, 53), (1, 9), (64, 1)])
def test_equals_zelvo_render_in_both_row_orders(tmp_path, fx, dtype, height, width):
    src = pattern(height, width, dtype)
    expected = zelvo_render(tmp_path, src, *TOOL_SETTINGS)
    for array in (src, bottom_up(src)):
        out = fx.render(array, **SETTINGS)
        assert out.dtype == src.dtype and out.shape == src.shape
        assert out.tobytes() == expected.tobytes()
        assert not fx.last_render.source_copied


def test_animated_values_follow_the_time(tmp_path, fx):
    src = pattern(24, 40, np.uint8)
    expected = zelvo_render(tmp_path, src, "--frames", "5", "-p", "splitAngle=0@1,180@9", "-p", "section1=off")
    out = fx.render(src, time=5, splitAngle={1: 0.0, 9: 180.0}, section1=False)
    assert out.tobytes() == expected.tobytes()
    assert not np.array_equal(out, fx.render(src, time=1, splitAngle={1: 0.0, 9: 180.0}, section1=False))


def test_each_render_starts_from_the_defaults(fx):
    src = pattern(16, 16, np.uint8)
    plain = fx.render(src)
    fx.render(src, splitCount=7, section1=False)
    assert np.array_equal(fx.render(src), plain)


def test_into_an_array_the_caller_owns(fx):
    src = pattern(30, 20, np.uint16)
    expected = fx.render(src, **SETTINGS)
    out = np.zeros_like(src)
    assert fx.render(src, out=out, **SETTINGS) is out
    assert np.array_equal(out, expected) and not fx.last_render.output_copied
    # Rows that are not packed (every other pixel of a wider array) are
    # rendered beside and copied in; the pixels between stay untouched.
    wide = np.full((30, 40, 4), 7, np.uint16)
    fx.render(src, out=wide[:, ::2], **SETTINGS)
    assert fx.last_render.output_copied
    assert np.array_equal(wide[:, ::2], expected) and np.all(wide[:, 1::2] == 7)


def test_sources_that_cannot_be_lent_are_copied_once(fx):
    src = pattern(21, 34, np.float32)
    expected = fx.render(src, **SETTINGS)
    for strided in (np.asfortranarray(src), np.repeat(src, 2, axis=1)[:, ::2]):
        assert np.array_equal(fx.render(strided, **SETTINGS), expected)
        assert fx.last_render.source_copied
    mirrored = src[:, ::-1]  # pixels at a negative stride
    assert np.array_equal(fx.render(mirrored, **SETTINGS), fx.render(np.ascontiguousarray(mirrored), **SETTINGS))
    # In place: the source is read from a copy, never from half-written rows.
    same = src.copy()
    fx.render(same, out=same, **SETTINGS)
    assert np.array_equal(same, expected) and fx.last_render.source_copied


def test_tiles_render_the_same_pixels(fx):
    src = pattern(70, 90, np.uint8)
    whole = fx.render(src, **SETTINGS)
    assert np.array_equal(fx.render(src, tiles=(32, 16), **SETTINGS), whole)
    assert fx.last_render.windows == 3 * 5
    assert np.array_equal(fx.render(src, tiles=(0, 7), **SETTINGS), whole)
    assert fx.last_render.windows == 10


@pytest.mark.parametrize("mode", ["opencl", "opencl-images"])
def test_gpu_host_gives_the_cpu_pixels(fx, mode):
    if not zelvo.gpu_available():
        pytest.skip("no OpenCL device to play a GPU host on")
    for dtype in (np.uint8, np.uint16, np.float32):
        src = pattern(45, 61, dtype)
        before = zelvo._zelvo.device_windows()
        on_device = fx.render(src, gpu=mode, **SETTINGS)
        assert fx.last_render.path == ("opencl-images" if mode == "opencl-images" else "opencl-buffers")
        assert zelvo._zelvo.device_windows() == before + 1
        assert np.array_equal(on_device, fx.render(src, **SETTINGS))
        assert fx.last_render.path == "cpu"


def test_a_contiguous_source_is_lent_as_it_lies():
    # This plug-in writes the address and row bytes of the source it was
    # handed over the first pixels of its output's bottom row.
    fx = zelvo.load(fixture_plugin("ADDRESS.ofx"))
    src = pattern(5, 8, np.uint8)
    for array in (src, src[::-1], bottom_up(src)):
        out = fx.render(array)
        told = out[-1, :3].tobytes()
        address = int.from_bytes(told[:8], "little")
        row_bytes = int.from_bytes(told[8:12], "little", signed=True)
        last_row = array.__array_interface__["data"][0] + (array.shape[0] - 1) * array.strides[0]
        assert (address, row_bytes) == (last_row, -array.strides[0])


def test_a_dtype_the_plugin_lacks_is_converted_once():
    fx = zelvo.load(fixture_plugin("ADDRESS.ofx"))
    assert fx.depths == ("uint8",)
    src = np.zeros((4, 6, 4), np.float32)
    out = fx.render(src, level=51)
    assert out.dtype == np.float32 and np.allclose(out[:2], 0.2)


def test_new_outputs_reuse_memory_no_array_still_holds(fx):
    first, second = pattern(40, 30, np.float32), pattern(40, 31, np.float32)[:, :30]
    a = fx.render(first, **SETTINGS)
    b = fx.render(second, **SETTINGS)
    assert a.ctypes.data != b.ctypes.data
    assert np.array_equal(a, fx.render(first, **SETTINGS))  # b's render left a alone
    kept = b.ctypes.data
    del b
    c = fx.render(first, **SETTINGS)
    assert c.ctypes.data == kept and np.array_equal(c, a)
