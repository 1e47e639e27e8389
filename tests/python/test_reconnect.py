"""An adapter that goes away and comes back, and a module power-cycled behind one that stays,
on the emulated adapter: each program runs under umockdev-wrapper and waits for the test's
word between steps, so the test unplugs, replugs or power-cycles between its calls."""

import json
from typing import Iterator

import pytest

import vexar

from emulated_adapter import EmulatedAdapter, missing

pytestmark = pytest.mark.skipif(missing() is not None, reason=str(missing()))

ENODEV, ENXIO = 19, 6

# The program on the adapter: each line it reads is a Python expression on cam, each line it
# prints the outcome as JSON (the value, or the error's class, kind and errno).
PROGRAM = r'''
import json, sys, vexar
cam = vexar.open("/dev/i2c-1")
print("ready", flush=True)
def outcome(value):
    if isinstance(value, vexar.Reconnection):
        return {"lost": list(value.lost), "at_power_on": value.at_power_on,
                "restored": value.restored, "settings": value.settings,
                "transactions": len(value.transactions)}
    return value
names = {"cam": cam, "vexar": vexar}  # kept from line to line
for line in sys.stdin:
    try:
        print(json.dumps({"ok": outcome(eval(line, names))}))
    except vexar.Error as error:
        print(json.dumps({"error": type(error).__name__, "kind": error.kind,
                          "errno": getattr(error, "errno", None),
                          "bus_error": isinstance(error, vexar.BusError),
                          "message": str(error)}))
    sys.stdout.flush()
'''


class Program:
    def __init__(self, adapter: EmulatedAdapter) -> None:
        self.process = adapter.python(PROGRAM)
        assert self.process.stdout
        ready = self.process.stdout.readline()
        assert ready == "ready\n", self.process.stderr.read() if self.process.stderr else ""

    def __call__(self, expression: str) -> dict:
        assert self.process.stdin and self.process.stdout
        self.process.stdin.write(expression + "\n")
        self.process.stdin.flush()
        line = self.process.stdout.readline()
        assert line, self.process.stderr.read() if self.process.stderr else ""
        return json.loads(line)  # type: ignore[no-any-return]

    def close(self) -> None:
        assert self.process.stdin
        self.process.stdin.close()
        assert self.process.wait(timeout=30) == 0


@pytest.fixture
def adapter() -> Iterator[EmulatedAdapter]:
    emulated = EmulatedAdapter()
    yield emulated
    emulated.close()


@pytest.fixture
def program(adapter: EmulatedAdapter) -> Iterator[Program]:
    running = Program(adapter)
    yield running
    running.close()


def test_unplugged_adapter_is_disconnected_until_it_is_back_and_restored(
        adapter: EmulatedAdapter, program: Program) -> None:
    assert program('cam.set("FrameRate", 20).applied') == {"ok": 20.0}
    assert program('cam.set("LeftIlluminationVoltage", 40).applied') == {"ok": None}
    adapter.command("unplug")
    gone = program('cam.get("FrameRate")')
    assert (gone["error"], gone["errno"], gone["bus_error"]) == ("Disconnected", ENODEV, True)
    assert "/dev/i2c-1 went away" in gone["message"]
    # Not back: the camera stays as it was, and says so again.
    assert program("cam.reconnect()")["kind"] == "BusFailure"
    assert program('cam.get("FrameRate")')["kind"] == "Disconnected"

    adapter.command("plug")
    back = program("cam.reconnect(restore=True)")["ok"]
    # The module kept its power: nothing was lost, only the voltage is written again.
    assert (back["lost"], back["at_power_on"], back["restored"]) == ([], False, True)
    assert back["settings"] == {"FrameRate": 20.0, "LeftIlluminationVoltage": 40.0}
    assert back["transactions"] > 0
    assert program('cam.get("FrameRate")') == {"ok": 20.0}
    assert program('cam.profile()["parameters"]["LeftIlluminationVoltage"]') == {"ok": 40.0}


def test_power_cycle_behind_an_adapter_that_stays_is_offered_and_restored(
        adapter: EmulatedAdapter, program: Program) -> None:
    for name, value in [("ModulationFrequency", 20), ("DealiasingFrequency", 15),
                        ("LeftIlluminationVoltage", 40), ("RightIlluminationVoltage", 40),
                        ("MixingVoltage", 10), ("FrameRate", 20)]:
        assert "ok" in program(f'cam.set("{name}", {value}).name'), name
    assert "ok" in program('cam.set("DealiasingOn", True).name')
    assert program("cam.phase_count") == {"ok": 6}
    adapter.command("power-cycle")
    offered = program("cam.reconnect()")["ok"]
    assert offered["at_power_on"] and not offered["restored"]
    assert set(offered["lost"]) == {"ModulationFrequency", "DealiasingFrequency", "FrameRate",
                                    "IntegrationTime", "DealiasingOn"}
    # A new instance: its phase count starts again at 4, as the module's does.
    assert program("cam.phase_count") == {"ok": 4}
    restored = program("cam.reconnect(restore=True)")["ok"]
    assert restored["restored"] and restored["transactions"] > 0
    # Written back as that profile loads on a module at power-on (where a frequency saved with
    # dealiasing on reads back as the plug-in computes it with six phases).
    with vexar.open("sim") as fresh:
        fresh.apply_profile(restored["settings"])
        expected = [fresh.get(name) for name in ("FrameRate", "ModulationFrequency",
                                                   "DealiasingFrequency", "DealiasingOn")]
    assert program('[cam.get(n) for n in ("FrameRate", "ModulationFrequency", '
                   '"DealiasingFrequency", "DealiasingOn")]') == {"ok": expected}
    assert expected[0] == 20.0 and expected[3] is True
    assert program("cam.phase_count") == {"ok": 6}


# ENODEV, gone whatever the node says, is the cross-face table's "adapter gone" row.
@pytest.mark.parametrize("step, kind", [
    ("fail-device 0x5c 6", "BusFailure"),   # ENXIO with the node there: a device's NACK
    ("unplug 6", "Disconnected"),           # ENXIO with the node gone: the adapter went
])
def test_a_failed_transfer_is_a_disconnect_only_when_the_adapter_went(
        adapter: EmulatedAdapter, program: Program, step: str, kind: str) -> None:
    adapter.command(step)
    failed = program('cam.get("FrameRate")')
    assert failed["kind"] == kind and failed["bus_error"], failed


def test_watch_says_when_the_adapter_goes_and_comes_back(
        adapter: EmulatedAdapter, program: Program) -> None:
    assert "ok" in program('cam.set("FrameRate", 20).name')
    assert "ok" in program("[w := cam.watch(interval=0.05)] and None")
    adapter.command("unplug")
    gone = program("next(w)")["ok"]
    assert gone[0] == "disconnected" and "went away" in gone[2]
    adapter.command("power-cycle")
    adapter.command("plug")
    # Back, and what the power cycle took: told as changes from the last look before.
    assert program("next(w)") == {"ok": ["reconnected", None, None]}
    assert program("next(w)") == {"ok": ["reset", None, None]}
    assert ["FrameRate", 20.0, 30.0] in program("[next(w) for _ in range(2)]")["ok"]
