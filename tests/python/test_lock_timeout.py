"""An image another process keeps locked: every face gives up after its lock timeout with the
error that names the image and the holder, long before the holder lets go."""

import errno
import fcntl
import json
import os
import re
import subprocess
import time
import urllib.error
import urllib.request
from pathlib import Path
from typing import Iterator

import pytest

import vexar

TIMEOUT = 0.3
HELD = 10 * TIMEOUT


@pytest.fixture
def image(tmp_path: Path) -> Path:
    path = tmp_path / "camera.img"
    subprocess.run([os.environ["VEXAR_CTL"], "--image", str(path), "set", "FrameRate=20"],
                   check=True, capture_output=True)
    return path


def hold(path: Path) -> "subprocess.Popen[bytes]":
    """Another process holding the image's lock for HELD seconds, once it has it."""
    holder = subprocess.Popen(["flock", str(path), "sleep", str(HELD)])
    with open(path, "rb") as probe:
        while True:
            try:
                fcntl.flock(probe, fcntl.LOCK_EX | fcntl.LOCK_NB)
                fcntl.flock(probe, fcntl.LOCK_UN)
                time.sleep(0.01)
            except BlockingIOError:
                return holder


@pytest.fixture
def held(image: Path) -> Iterator[int]:
    holder = hold(image)
    yield holder.pid
    holder.kill()
    holder.wait()


def names_holder(message: str, image: Path, pid: int) -> None:
    assert f"{image} is in use by process {pid} (flock)" in message, message
    assert f"gave up after waiting {TIMEOUT:g} s" in message, message


def test_the_tool_gives_up_with_status_4(image: Path, held: int) -> None:
    began = time.monotonic()
    done = subprocess.run([os.environ["VEXAR_CTL"], "--image", str(image), "--lock-timeout",
                           str(TIMEOUT), "get", "FrameRate"], capture_output=True, text=True)
    assert time.monotonic() - began < HELD / 2
    assert done.returncode == 4, done.stderr
    names_holder(done.stderr, image, held)


def test_python_gives_up_with_a_bus_error(image: Path, held: int) -> None:
    began = time.monotonic()
    with pytest.raises(vexar.BusError) as raised:
        vexar.open(f"image:{image}", lock_timeout=TIMEOUT)
    assert time.monotonic() - began < HELD / 2
    assert raised.value.errno == errno.EBUSY
    names_holder(str(raised.value), image, held)


def test_a_panel_request_gives_up_with_503(image: Path) -> None:
    server = subprocess.Popen([os.environ["VEXAR_CTL"], "--image", str(image), "--lock-timeout",
                               str(TIMEOUT), "serve", "--listen", "127.0.0.1:0"],
                              stdout=subprocess.PIPE, text=True)
    try:
        assert server.stdout is not None
        url = server.stdout.readline().strip()
        match = re.fullmatch(r"(http://127\.0\.0\.1:\d+)/\?token=([0-9a-f]+)", url)
        assert match, url
        holder = hold(image)
        try:
            request = urllib.request.Request(f"{match[1]}/api/parameters/FrameRate",
                                             headers={"Authorization": f"Bearer {match[2]}"})
            began = time.monotonic()
            with pytest.raises(urllib.error.HTTPError) as raised:
                urllib.request.urlopen(request, timeout=HELD)
            assert time.monotonic() - began < HELD / 2
            assert raised.value.code == 503
            error = json.loads(raised.value.read())["error"]
            names_holder(error["message"], image, holder.pid)
        finally:
            holder.kill()
            holder.wait()
    finally:
        server.terminate()
        server.wait(timeout=20)
