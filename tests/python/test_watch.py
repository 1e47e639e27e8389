"""Watching a module that another process changes: Python's iterator and vexar-ctl watch tell
the same changes, and a module back at power-on as a reset."""

import os
import subprocess
import threading
from pathlib import Path

import vexar


def test_changes_and_a_reset_made_elsewhere_are_seen(tmp_path: Path) -> None:
    place = f"image:{tmp_path / 'cam.img'}"
    with vexar.open(place) as cam, vexar.open(place) as other:
        other.set("ModulationFrequency", 20)
        seen = cam.watch(["FrameRate", "ModulationFrequency"], interval=0.05)
        threading.Timer(0.2, lambda: other.set("FrameRate", 20)).start()
        assert next(seen) == ("FrameRate", 30.0, 20.0)
        threading.Timer(0.2, other.reset).start()
        after = [next(seen) for _ in range(3)]
        assert after[0] == ("reset", None, None)
        assert after[1] == ("FrameRate", 20.0, 30.0) and after[2][:2] == ("ModulationFrequency", 20.0)


def test_the_tool_stops_after_count_changes(tmp_path: Path) -> None:
    image = tmp_path / "cam.img"
    with vexar.open(f"image:{image}") as cam:
        cam.set("ModulationFrequency", 20)
        watcher = subprocess.Popen(
            [os.environ["VEXAR_CTL"], "--image", str(image), "watch", "FrameRate",
             "MicroFrameNumber", "--interval", "0.05", "--count", "2"],
            stdout=subprocess.PIPE, text=True)
        # Late enough for the tool to have taken its first look, even under a sanitizer.
        threading.Timer(1.5, lambda: cam.set("MicroFrameNumber", 8)).start()
        out, _ = watcher.communicate(timeout=30)
    assert watcher.returncode == 0
    lines = [line.split(" ", 1)[1] for line in out.splitlines()]
    assert lines == ["FrameRate: 30 -> 15", "MicroFrameNumber: 4 -> 8"]
