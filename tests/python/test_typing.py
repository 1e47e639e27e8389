"""What type checkers and IDEs see: the stub's generated overloads are the parameter list's,
stubtest finds nothing but pybind11's own patterns, the documented code passes mypy --strict
against the stub, and every public callable has a signature inspect can read."""

import doctest
import inspect
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import vexar

ROOT = Path(__file__).resolve().parents[2]
PYTHON = ROOT / "python"
sys.path.insert(0, str(PYTHON / "tools"))
import stub_overloads  # noqa: E402

PACKAGE = Path(vexar.__file__).parent.parent
ENV = {**os.environ, "MYPYPATH": str(PACKAGE)}


def test_the_stubs_overloads_are_the_parameter_lists() -> None:
    stub = stub_overloads.STUB.read_text()
    fresh = stub_overloads.regenerated(stub)
    if os.environ.get("VEXAR_UPDATE_GOLDEN") and fresh != stub:
        stub_overloads.STUB.write_text(fresh)
    assert fresh == stub, "python/vexar/_vexar.pyi differs (VEXAR_UPDATE_GOLDEN=1 rewrites it)"


def test_stubtest_reports_nothing_beyond_the_allowlist() -> None:
    allowlist = PYTHON / "stubtest-allowlist.txt"
    entries = [line for line in allowlist.read_text().splitlines()
               if line and not line.startswith("#")]
    assert entries and all(re.compile(entry) for entry in entries)
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", "vexar", "--allowlist",
                           str(allowlist)],
                          capture_output=True, text=True, env=ENV, timeout=280)
    assert done.returncode == 0, done.stdout + done.stderr


# What the bus of one's own stands in front of.
USB = """import vexar
from typing import Protocol
class Usb(Protocol):
    def transfer(self, device: int, register: int, length: int) -> bytes: ...
    def send(self, device: int, register: int, data: bytes) -> None: ...
usb: Usb
"""


def documented_code(folder: Path) -> list[Path]:
    """The Python blocks of docs/python.md as modules for mypy: sessions as the code they
    run, a bus of one's own with the USB library it stands in front of declared."""
    text = (ROOT / "docs" / "python.md").read_text()
    written = []
    for number, block in enumerate(re.findall(r"^```python\n(.*?)^```$", text, re.M | re.S)):
        code = doctest.script_from_examples(block) if block.startswith(">>> ") else block
        path = folder / f"snippet{number}.py"
        path.write_text(USB + code)
        written.append(path)
    return written


def test_the_documented_code_type_checks(tmp_path: Path) -> None:
    sources = [PYTHON / "examples", PYTHON / "bench", PYTHON / "vexar" / "station.py",
               *documented_code(tmp_path)]
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", os.devnull,
                           *map(str, sources)],
                          capture_output=True, text=True, env=ENV, timeout=280)
    assert done.returncode == 0, done.stdout + done.stderr


def public_callables() -> list[tuple[str, object]]:
    found = []
    for name in vexar.__all__:
        item = getattr(vexar, name)
        if inspect.isclass(item) and item.__module__ == "vexar":
            found += [(f"{name}.{member}", value) for member, value in vars(item).items()
                      if callable(value) and (not member.startswith("_") or
                                              member in ("__getitem__", "__setitem__",
                                                         "__enter__", "__exit__"))]
        elif inspect.isroutine(item):
            found.append((name, item))
    return found


@pytest.mark.parametrize("name, call", public_callables(), ids=[n for n, _ in public_callables()])
def test_every_public_callable_has_a_signature(name: str, call: object) -> None:
    parameters = inspect.signature(call).parameters  # type: ignore[arg-type]
    if name == "Camera.set":
        assert list(parameters) == ["self", "name", "value", "allow_non_finite", "force"]
        assert parameters["force"].kind is inspect.Parameter.KEYWORD_ONLY
