"""One failure in every face: the kind the client library names it, the class Python raises,
vexar-ctl's exit status and JSON error, and the panel's HTTP status and error, each as the
library's one table of kinds has it."""

import errno
import fcntl
import importlib.util
import json
import os
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Callable, Iterator, Optional

import pytest

import vexar
from conftest import ForwardingBus

# The panel as its own tests serve it, from their conftest (which this folder's one shadows).
_spec = importlib.util.spec_from_file_location(
    "panel_tests", Path(__file__).parents[1] / "panel" / "conftest.py")
panel_tests = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(panel_tests)  # type: ignore[union-attr]

TIMEOUT = 0.3
HELD = 10.0
# name: (exit status, HTTP status, class)
KINDS = {name: (status, http, cls) for name, status, http, cls in vexar._vexar._error_kinds()}
MEMBERS = ["kind", "code", "code_name", "message", "allowed", "errno"]


@dataclass
class Case:
    kind: str
    python: Callable[[Path], Any]
    tool: Optional[list[str]] = None  # after --image IMAGE unless it names its own backend
    panel: Optional[tuple[str, str, Any]] = None  # method, path, body
    held: bool = False  # another process holds the image meanwhile
    said: list[str] = field(default_factory=list)  # in every face's message
    errno: Optional[int] = None
    tool_errno: Optional[int] = None  # where the tool fails otherwise; else errno

    def __post_init__(self) -> None:
        self.tool_errno = self.tool_errno or self.errno


def on_image(call: Callable[[vexar.Camera], Any]) -> Callable[[Path], Any]:
    def run(image: Path) -> Any:
        with vexar.open(f"image:{image}", lock_timeout=TIMEOUT) as cam:
            return call(cam)
    return run


def on_python_bus(call: Callable[[ForwardingBus, vexar.Camera], Any]) -> Callable[[Path], Any]:
    def run(_: Path) -> Any:
        bus = ForwardingBus()
        with vexar.open(bus=bus) as cam:
            return call(bus, cam)
    return run


def unplugged(*_: int) -> Any:
    raise OSError(errno.EIO, "rig unplugged")


def fail_next_transfer(bus: ForwardingBus, cam: vexar.Camera) -> None:
    bus.fail(1, unplugged)
    cam.set("FrameRate", 25)


CASES = [
    Case("Refused", on_image(lambda cam: cam.set("FrameRate", -1)), ["get", "MixingVoltage"],
         ("PUT", "/api/parameters/FrameRate", {"value": -1})),
    Case("BadInput", on_image(lambda cam: cam.get("Brightness")), ["get", "Brightness"],
         ("PUT", "/api/parameters/FrameRate", {"value": "fast"})),
    # A failed transfer whose -EIO the plug-in passes on as -5, the number of its OutOfRange.
    Case("BusFailure", on_python_bus(fail_next_transfer),
         ["--bus", "/dev/i2c-250", "info"], errno=errno.EIO, tool_errno=errno.ENOENT),
    Case("Busy", lambda image: vexar.open(f"image:{image}", lock_timeout=TIMEOUT),
         ["--lock-timeout", str(TIMEOUT), "get", "FrameRate"],
         ("GET", "/api/parameters/FrameRate", None), held=True,
         said=["is in use by process", f"gave up after waiting {TIMEOUT:g} s"],
         errno=errno.EBUSY),
    Case("LoadFailure", lambda _: vexar.open("sim", plugin="/nonexistent/libplugin.so"),
         ["--plugin", "/nonexistent/libplugin.so", "info"], said=["cannot load plug-in"]),
    Case("Unsupported", on_python_bus(lambda _, cam: cam.reset()), said=["power-on"]),
]


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
def image(tmp_path: Path) -> Path:
    path = tmp_path / "camera.img"
    subprocess.run([os.environ["VEXAR_CTL"], "--image", str(path), "set", "FrameRate=20"],
                   check=True, capture_output=True)
    return path


@pytest.fixture
def panel(image: Path) -> Iterator[Any]:
    served = panel_tests.Panel(command=[os.environ["VEXAR_CTL"], "--image", str(image),
                                        "--lock-timeout", str(TIMEOUT), "serve"])
    yield served
    served.stop()


def run_tool(image: Path, args: list[str], *options: str) -> "subprocess.CompletedProcess[str]":
    backend = [] if {"--bus", "--plugin"} & set(args) else ["--image", str(image)]
    return subprocess.run([os.environ["VEXAR_CTL"], *backend, *options, *args],
                          capture_output=True, text=True, timeout=60)


def said_all(case: Case, message: str) -> None:
    assert all(text in message for text in case.said), message
    if case.errno is not None:
        assert "OutOfRange" not in message, message


@pytest.mark.parametrize("case", CASES, ids=[case.kind for case in CASES])
def test_every_face_tells_the_kind_as_the_library_table_does(
    case: Case, image: Path, panel: Any
) -> None:
    status, http, cls = KINDS[case.kind]
    holder = hold(image) if case.held else None
    try:
        began = time.monotonic()
        with pytest.raises(vexar.Error) as raised:
            case.python(image)
        error = raised.value
        assert type(error) is cls and error.kind == case.kind
        said_all(case, str(error))
        if case.errno is not None:
            assert isinstance(error, OSError) and error.errno == case.errno
            assert error.code is None and error.code_name is None

        if case.tool:
            plain = run_tool(image, case.tool)
            assert plain.returncode == status, plain.stderr
            line = plain.stderr.splitlines()[-1]
            assert line.startswith("vexar-ctl: ")
            said_all(case, line)
            as_json = run_tool(image, case.tool, "--format", "json")
            assert as_json.returncode == status, as_json.stderr
            reported = json.loads(as_json.stderr.splitlines()[-1])["error"]
            assert list(reported) == MEMBERS and reported["kind"] == case.kind
            assert reported["message"] == line.removeprefix("vexar-ctl: ")
            assert reported["errno"] == case.tool_errno

        if case.panel:
            got, answer = panel.json(*case.panel)
            answered = answer["error"]
            assert got == http and list(answered) == MEMBERS, answered
            assert answered["kind"] == case.kind and answered["errno"] == case.errno
            said_all(case, answered["message"])
        # Each face gave up at the lock timeout, long before the holder let go.
        assert not case.held or time.monotonic() - began < HELD / 2
    finally:
        if holder:
            holder.kill()
            holder.wait()


def test_python_classes_keep_the_builtin_ones_they_stand_for() -> None:
    assert issubclass(vexar.Busy, vexar.BusError) and issubclass(vexar.BusError, OSError)
    assert issubclass(vexar.BadInput, ValueError) and not issubclass(vexar.Refused, ValueError)
    for _, _, cls in KINDS.values():
        assert getattr(vexar, cls.__name__) is cls
    assert vexar.Error("x").code is None  # the attributes exist on any instance
