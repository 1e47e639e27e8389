"""The Python of docs/python.md runs: its interactive session as a doctest that must print
what it shows, the bus of one's own over a stand-in for its USB bridge with the failure the
text quotes, and the production-line excerpt as the example's own text."""

import doctest
import errno
import re
from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

import vexar
from conftest import ForwardingBus

ROOT = Path(__file__).resolve().parents[2]
DOCUMENT = ROOT / "docs" / "python.md"
TEXT = DOCUMENT.read_text()
BLOCKS = [(TEXT.count("\n", 0, block.start(1)), block[1])
          for block in re.finditer(r"^```python\n(.*?)^```$", TEXT, re.M | re.S)]


def blocks(kind: str) -> list[tuple[int, str]]:
    """The python blocks of one kind: sessions, a bus of one's own, excerpts of the example."""
    found = [(line, code) for line, code in BLOCKS
             if kind == ("session" if code.startswith(">>> ") else
                         "bus" if "vexar.open(bus=" in code else "excerpt")]
    assert found, f"docs/python.md has no {kind} block"
    return found


def test_the_sessions_print_what_they_show() -> None:
    runner = doctest.DocTestRunner(optionflags=doctest.REPORT_UDIFF)
    for line, code in blocks("session"):
        runner.run(doctest.DocTestParser().get_doctest(code, {}, DOCUMENT.name, str(DOCUMENT),
                                                       line))
    assert runner.summarize(verbose=False).failed == 0  # the differences are printed above


def test_a_bus_of_ones_own_drives_the_camera_and_fails_as_the_text_says() -> None:
    [(_, code)] = blocks("bus")
    # The document's USB bridge, in front of the simulated module; `unplugged` times out.
    module, unplugged = ForwardingBus(), set()

    def transfer(device: int, register: int, length: int) -> bytes:
        if (device, register) in unplugged:
            raise TimeoutError(errno.ETIMEDOUT, "rig does not answer")
        return module.read(device, register, length)

    scope: dict[str, Any] = {"vexar": vexar, "usb": SimpleNamespace(transfer=transfer,
                                                                      send=module.write)}
    exec(code, scope)
    cam: vexar.Camera = scope["cam"]
    cam.set("FrameRate", 20)
    assert module.module.get("FrameRate") == 20.0 and cam.shared and "Bridge" in cam.backend

    quoted = re.search(r"`(\(Python bus Bridge: read\((\w+), (\w+), \d+\) raised [^`]*\))`",
                       " ".join(TEXT.split()))
    assert quoted, "docs/python.md quotes no failure of its bus"
    unplugged.add((int(quoted[2], 16), int(quoted[3], 16)))
    with pytest.raises(vexar.BusError) as failure:
        cam.get("FrameRate")
    assert str(failure.value).endswith(quoted[1]) and failure.value.errno == errno.ETIMEDOUT
    cam.close()


def test_the_excerpts_are_the_examples_own_text() -> None:
    example = (ROOT / "python" / "examples" / "production_line.py").read_text()
    for line, code in blocks("excerpt"):
        assert code in example, f"docs/python.md:{line + 1} is not in production_line.py"
