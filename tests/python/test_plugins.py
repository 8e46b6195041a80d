"""Plug-ins found as hosts find them, their declarations, and renders from
several threads at once."""

import os
import threading

import numpy as np
import pytest

import zelvo
from conftest import BUILD, fixture_plugin, pattern


def test_the_bundled_zelvo_declares_its_parameters(fx):
    assert fx.identifier == "com.zelvo.sectionsplit.ja"
    assert fx.depths == ("uint8", "uint16", "float32")
    count, angle, first = fx.params["splitCount"], fx.params["splitAngle"], fx.params["section1"]
    assert (count.type, count.default, count.min, count.max) == ("integer", 2, 1, 10)
    assert (angle.type, angle.default, angle.min, angle.max) == ("double", 0.0, 0.0, 359.0)
    assert (first.type, first.default) == ("boolean", True)
    assert list(fx.params) == ["splitCount", "splitAngle"] + [f"section{i}" for i in range(1, 11)]


def test_plugins_are_found_by_identifier_and_unreadable_binaries_skipped(tmp_path, monkeypatch):
    twin = fixture_plugin("TWIN.ofx")
    crash = fixture_plugin(os.path.join("hostile-crash", "Hostile.ofx"))
    os.symlink(twin, tmp_path / "Twin.ofx")
    os.symlink(crash, tmp_path / "Crash.ofx")
    monkeypatch.setenv("OFX_PLUGIN_PATH", str(tmp_path))
    problems = []
    found = zelvo.plugins(problems=problems)
    assert found[0].identifier == "com.zelvo.sectionsplit.ja" and found[0].default
    # (An installed Zelvo in /usr/OFX/Plugins may be listed as well.)
    named = {(r.identifier, r.version, r.index) for r in found[1:] if r.path.startswith(str(tmp_path))}
    assert named == {("org.zelvo.test.twin.first", (1, 0), 0), ("org.zelvo.test.twin.second", (2, 5), 1)}
    assert [p for p in problems if "Crash.ofx" in p] == [f"skipped {tmp_path}/Crash.ofx: ended by SIGSEGV while being loaded"]
    second = zelvo.load("org.zelvo.test.twin.second")
    assert (second.identifier, second.version) == ("org.zelvo.test.twin.second", (2, 5))
    assert second.render(np.zeros((3, 4, 4), np.uint8), level=9)[1, 2, 3] == 9


def test_two_threads_render_two_frames_at_once(fx):
    # Each thread renders other values on its own frames; every result must
    # be what a render alone gives.
    frames = [pattern(256, 384, np.float32) for _ in range(2)]
    settings = [dict(splitCount=3, splitAngle=10.0, section1=False), dict(splitCount=9, splitAngle=200.0)]
    alone = [fx.render(f, **s) for f, s in zip(frames, settings)]
    failures = []

    def worker(i):
        for _ in range(25):
            if not np.array_equal(fx.render(frames[i], **settings[i]), alone[i]):
                failures.append(i)

    zelvo._zelvo.renders_at_once()
    threads = [threading.Thread(target=worker, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
    assert zelvo._zelvo.renders_at_once() == 2  # the two threads' renders ran side by side


def test_the_lock_is_released_while_the_plugin_renders(fx):
    # A render that holds the interpreter's lock would keep this thread's
    # counter still for its whole length.
    src = pattern(2160, 3840, np.uint8)
    ticks, done = [0], threading.Event()

    def count():
        while not done.is_set():
            ticks[0] += 1

    counter = threading.Thread(target=count)
    counter.start()
    try:
        before = ticks[0]
        fx.render(src, splitCount=5)
        during = ticks[0] - before
    finally:
        done.set()
        counter.join()
    assert during > 1000
