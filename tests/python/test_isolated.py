"""Plug-ins in a worker process: the same pixels, and crashes that end
only the worker."""

import os

import numpy as np
import pytest

import zelvo
from conftest import fixture_plugin, pattern


def test_isolated_renders_give_the_same_pixels(fx):
    with zelvo.load(isolated=True) as isolated:
        assert isolated.params == fx.params
        for dtype in (np.uint8, np.uint16, np.float32):
            src = pattern(33, 47, dtype)[::-1]
            assert np.array_equal(isolated.render(src, splitCount=6, splitAngle=45.0, section3=False),
                                  fx.render(src, splitCount=6, splitAngle=45.0, section3=False))
        out = np.zeros((33, 47, 4), np.float32)
        assert isolated.render(pattern(33, 47, np.float32), out=out, tiles=(8, 8)) is out
        assert isolated.last_render.windows == 5 * 6
    with pytest.raises(ValueError, match="was closed"):
        isolated.render(pattern(4, 4, np.uint8))


def test_a_plugin_that_ends_its_process_raises_and_the_next_render_starts_anew():
    isolated = zelvo.load(fixture_plugin("EXIT.ofx"), isolated=True)
    src = np.zeros((4, 4, 4), np.uint8)
    for _ in range(2):
        with pytest.raises(zelvo.RenderError, match="worker process ended with exit status 0") as e:
            isolated.render(src)
        assert e.value.status == "crashed"
    isolated.close()


def test_failures_in_the_worker_keep_their_status():
    with zelvo.load(fixture_plugin("ADDRESS.ofx"), isolated=True) as isolated:
        with pytest.raises(zelvo.RenderError) as e:
            isolated.render(np.zeros((4, 4, 4), np.uint8), level=13)
        assert e.value.status == "kOfxStatErrMemory"
        assert isolated.render(np.zeros((4, 4, 4), np.uint8), level=12)[0, 3, 1] == 12


def test_a_binary_that_crashes_when_loaded_raises_load_error(tmp_path):
    crash = fixture_plugin(os.path.join("hostile-crash", "Hostile.ofx"))
    with pytest.raises(zelvo.LoadError, match="Hostile.ofx ended by SIG[A-Z]+ while loading"):
        zelvo.load(crash, isolated=True)
    with pytest.raises(zelvo.LoadError, match="no image-effect plug-in 0"):
        zelvo.load(fixture_plugin(os.path.join("hostile-null", "Hostile.ofx")), isolated=True)
