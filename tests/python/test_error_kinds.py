"""The failures the cross-face table (tests/faces) cannot ask every face for, each told as the
library's one table of kinds has it: a Python bus whose -EIO the plug-in passes on as -5 (the
number of its OutOfRange), an adapter that cannot be opened, what a backend cannot do; and the
builtin classes the Python ones also are."""

import errno
import json
import os
import subprocess

import pytest

import vexar
from conftest import ForwardingBus

# name: (exit status, HTTP status, class)
KINDS = {name: (status, http, cls) for name, status, http, cls in vexar._vexar._error_kinds()}


def unplugged(*_: int) -> None:
    raise OSError(errno.EIO, "rig unplugged")


def test_a_python_bus_failure_is_a_bus_error_with_its_errno_never_a_code() -> None:
    bus = ForwardingBus()
    with vexar.open(bus=bus) as cam:
        bus.fail(1, unplugged)
        with pytest.raises(vexar.BusError) as raised:
            cam.set("FrameRate", 25)
        with pytest.raises(vexar.Unsupported) as unsupported:
            cam.reset()
    error = raised.value
    assert type(error) is KINDS["BusFailure"][2] and error.kind == "BusFailure"
    assert isinstance(error, OSError) and error.errno == errno.EIO
    assert error.code is None and error.code_name is None and "OutOfRange" not in str(error)
    assert isinstance(error.__cause__, OSError)
    assert type(unsupported.value) is KINDS["Unsupported"][2]
    assert "power-on" in str(unsupported.value)


def test_an_adapter_that_cannot_be_opened_reads_alike_as_text_and_json() -> None:
    argv = [os.environ["VEXAR_CTL"], "--bus", "/dev/i2c-250", "info"]
    plain = subprocess.run(argv, capture_output=True, text=True, timeout=60)
    as_json = subprocess.run(argv + ["--format", "json"], capture_output=True, text=True,
                             timeout=60)
    assert plain.returncode == as_json.returncode == KINDS["BusFailure"][0]
    line = plain.stderr.splitlines()[-1]
    reported = json.loads(as_json.stderr.splitlines()[-1])["error"]
    assert list(reported) == ["kind", "code", "code_name", "message", "allowed", "errno"]
    assert (reported["kind"], reported["errno"]) == ("BusFailure", errno.ENOENT)
    assert reported["message"] == line.removeprefix("vexar-ctl: ")
    with pytest.raises(vexar.BusError, match="/dev/i2c-250") as raised:
        vexar.open("/dev/i2c-250")
    assert raised.value.errno == errno.ENOENT


def test_python_classes_keep_the_builtin_ones_they_stand_for() -> None:
    assert issubclass(vexar.Busy, vexar.BusError) and issubclass(vexar.BusError, OSError)
    assert issubclass(vexar.Disconnected, vexar.BusError)
    assert issubclass(vexar.BadInput, ValueError) and not issubclass(vexar.Refused, ValueError)
    for _, _, cls in KINDS.values():
        assert getattr(vexar, cls.__name__) is cls
    assert vexar.Error("x").code is None  # the attributes exist on any instance
