"""Fixtures of the Python package's tests: a camera on the simulated module, vexar-ctl on a
shared image and a Python bus that forwards to a simulated module."""

import json
import os
import subprocess
from pathlib import Path
from typing import Any, Callable, Iterator, Optional

import pytest

import vexar

SENSOR = {0x5C: 0x000, 0x58: 0x100}  # the sensor's two banks of 24-bit registers


class ForwardingBus:
    """A Python bus that serves the module's transfers from a camera on the simulated module
    (through its register access), so a camera opened on it behaves as on "sim". fail(n, how)
    makes the n-th next transfer go wrong: how(device, register, length) raises or answers."""

    def __init__(self) -> None:
        self.module = vexar.open("sim")
        self.calls = 0
        self.faults: dict[int, Callable[[int, int, int], Any]] = {}

    def fail(self, n: int, how: Callable[[int, int, int], Any]) -> None:
        self.faults[self.calls + n] = how

    def _fault(self, device: int, register: int, length: int) -> Optional[Any]:
        self.calls += 1
        how = self.faults.pop(self.calls, None)
        return how(device, register, length) if how else None

    def read(self, device: int, register: int, length: int) -> bytes:
        answer = self._fault(device, register, length)
        if answer is not None:
            return answer  # type: ignore[no-any-return]
        if device in SENSOR and length == 3:
            return self.module.read_register(SENSOR[device] + register).to_bytes(3, "little")
        return bytes([self.module.read_register(register, device=device) or 0])

    def write(self, device: int, register: int, data: bytes) -> None:
        self._fault(device, register, len(data))
        if device in SENSOR and len(data) == 3:
            self.module.write_register(SENSOR[device] + register, int.from_bytes(data, "little"))
        else:
            self.module.write_register(register, data[0], device=device)


@pytest.fixture
def cam() -> Iterator[vexar.Camera]:
    with vexar.open("sim") as camera:
        yield camera


@pytest.fixture
def bus() -> ForwardingBus:
    return ForwardingBus()


Ctl = Callable[..., "subprocess.CompletedProcess[str]"]


@pytest.fixture
def ctl(tmp_path: Path) -> Ctl:
    """vexar-ctl on the image tmp_path/camera.img: ctl("set", "FrameRate=20")."""

    def run(*args: str, check: bool = True) -> subprocess.CompletedProcess[str]:
        command = [os.environ["VEXAR_CTL"], "--image", str(tmp_path / "camera.img"), *args]
        done = subprocess.run(command, capture_output=True, text=True, timeout=60)
        if check and done.returncode != 0:
            pytest.fail(f"{' '.join(command)}: status {done.returncode}: {done.stderr}")
        return done

    return run


def ctl_value(ctl: Ctl, name: str) -> Any:
    """A parameter's value as vexar-ctl reads it from the image."""
    return json.loads(ctl("--format", "json", "get", name).stdout)[0]["value"]
