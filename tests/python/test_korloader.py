# SPDX-License-Identifier: Apache-2.0
"""The korloader Python module: views of the library's arrays, the writer, the helpers."""
import glob
import os
import sys

import numpy as np
import pytest

import korloader

DATA = os.environ.get("KOR_DATA_DIR", os.path.join(os.path.dirname(__file__), "..", "data"))
BLENDER = os.path.join(DATA, "samples", "vdb", "blender", "fluid_data_0003.vdb")


def smoke_grid(gx=6, gy=5, gz=4):
    z, y, x = np.mgrid[0:gz, 0:gy, 0:gx].astype(np.float32)
    return (x * 0.5 + y * 0.25 - z).astype(np.float32)


def assert_view_of_library_memory(frame, slot):
    array = frame.channel(slot)
    assert array.dtype == np.float32
    assert not array.flags.writeable and not array.flags.owndata
    assert array.base is frame
    assert array.ctypes.data == frame._channel_address(slot)
    return array


def test_every_kor_file_gives_views_of_get_channel(tmp_path):
    written = str(tmp_path / "w.kor")
    korloader.save(written, (6, 5, 4), channels={2: smoke_grid(), "VelocityX": -smoke_grid()})
    paths = sorted(glob.glob(os.path.join(DATA, "golden", "*.kor"))) + [written]
    for path in paths:
        frame = korloader.open(path)
        gx, gy, gz = frame.grid_size
        assert frame.channels(), path
        for slot in frame.channels():
            array = assert_view_of_library_memory(frame, slot)
            assert array.shape == (gz, gy, gx)
            # The same decoded array every time: no copy, no second decode.
            assert frame.channel(slot).ctypes.data == array.ctypes.data
        with pytest.raises(ValueError):
            array.flags.writeable = True


def test_views_keep_their_frame_alive(tmp_path):
    path = str(tmp_path / "alive.kor")
    korloader.save(path, (6, 5, 4), channels={"Smoke": smoke_grid()}, bits=32)
    smoke = korloader.open(path).channel("smoke")
    # The frame object is gone from Python's view; the array still reads its memory.
    assert sys.getrefcount(smoke.base) >= 2
    np.testing.assert_array_equal(smoke, smoke_grid())
    assert korloader.open(path).channel(3) is None
    assert korloader.open(path).channel(40) is None
    with pytest.raises(ValueError):
        korloader.open(path).channel("nonsense")


def test_save_round_trips_channels_transform_and_particles(tmp_path):
    transform = np.arange(12, dtype=np.float32) * 0.5
    positions = np.random.default_rng(1).random((50, 3), dtype=np.float32)
    ids = np.arange(50, dtype=np.int64)[::-1] * 10**10
    korloader.save(str(tmp_path / "f.####.kor"), (6, 5, 4), transform,
                   channels={"Smoke": smoke_grid(), 1: smoke_grid() * 100.0},
                   bits={"Smoke": 32, 1: 10}, frame_number=12,
                   particle_groups=[{"name": "sparks", "channels": {"position": positions, "id": ids},
                                     "method": 4}])
    frame = korloader.open(str(tmp_path / "f.0012.kor"))
    assert frame.grid_size == (6, 5, 4)
    np.testing.assert_array_equal(frame.transform, transform)
    np.testing.assert_array_equal(frame.channel(2), smoke_grid())
    temperature = smoke_grid() * 100.0
    step = (temperature.max() - temperature.min()) / 1024
    assert np.abs(frame.channel(1) - temperature).max() <= step / 2 + 1e-4
    (group,) = frame.particle_groups
    assert (group.name, group.count, group.channels) == ("sparks", 50, ["position", "id"])
    np.testing.assert_array_equal(group.values("position"), positions)
    np.testing.assert_array_equal(group.values(10), ids)
    assert group.find_by_id(int(ids[7])) == 7
    assert group.find_by_id(3) == -1
    with pytest.raises(KeyError):
        group.values("velocity")


@pytest.mark.parametrize("arguments, message", [
    (dict(grid_size=(2, 2, -1)), "negative"),
    (dict(grid_size=(2, 2)), "grid_size"),
    (dict(channels={18: np.zeros(8)}), "packed colour"),
    (dict(channels={2: np.full(8, np.nan)}), "NaN"),
    (dict(channels={2: np.zeros(7)}), "7 values"),
    (dict(channels={"Smoke": np.zeros(8)}, passes=300), "passes"),
    (dict(transform=np.zeros(11)), "12 floats"),
    (dict(particle_groups=[{"channels": {"position": np.zeros((3, 2))}}]), "components"),
    (dict(particle_groups=[{"channels": {"size": np.zeros(3)}, "method": 9}]), "method"),
])
def test_save_refuses_hostile_arguments(tmp_path, arguments, message):
    call = dict(grid_size=(2, 2, 2))
    call.update(arguments)
    path = tmp_path / "refused.kor"
    with pytest.raises(ValueError, match=message):
        korloader.save(str(path), **call)
    assert not path.exists()


def test_foreign_files_and_helpers(tmp_path):
    names = korloader.channel_names(BLENDER)
    assert "density" in names and "velocity(x)" in names
    assert korloader.default_mapping(BLENDER) == "2,density;1,temperature;"
    frame = korloader.open(BLENDER, mapping="1,flame;")
    assert frame.channels() == [1]
    assert_view_of_library_memory(frame, 1)
    with pytest.raises(OSError):
        korloader.open(str(tmp_path / "missing.kor"))
    assert korloader.set_thread_count(2) == 2
    assert korloader.set_thread_count(0) == 0
    log = tmp_path / "log.txt"
    korloader.set_log_file(str(log), True)
    with pytest.raises(OSError):
        korloader.open(str(tmp_path / "broken.kor"))
    korloader.set_log_file(None)
    assert log.exists()
