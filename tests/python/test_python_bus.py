"""A bus written in Python, and the transactions of a call as Python sees them: what the
bus raises or answers wrongly becomes a BusError that says so, never a crash."""

import errno
import sys
from typing import Any

import pytest

import vexar
from conftest import ForwardingBus


def raise_plain(*_: int) -> Any:
    raise RuntimeError("USB bridge unplugged")


# An OSError's own errno is kept: the bus of docs/python.md's (test_docs.py) times out.
@pytest.mark.parametrize(
    "how, expected, code, cause",
    [
        (raise_plain, "RuntimeError: USB bridge unplugged", errno.EIO, RuntimeError),
        (lambda *_: b"\x00", "returned 1 bytes; the bus's read must return bytes of length 3",
         errno.EIO, None),
        (lambda *_: b"\x00" * 9, "returned 9 bytes", errno.EIO, None),
        (lambda *_: [0, 0, 0], "returned a list; the bus's read must return bytes of length 3",
         errno.EIO, None),  # the shape some I2C libraries answer in
    ],
)
def test_a_failing_transfer_is_a_bus_error_naming_it(
    bus: ForwardingBus, how: Any, expected: str, code: int, cause: Any
) -> None:
    with vexar.open(bus=bus) as cam:
        bus.fail(1, how)
        with pytest.raises(vexar.BusError) as failure:
            cam.get("FrameRate")
        message = str(failure.value)
        assert expected in message and "ForwardingBus" in message
        assert "OutOfRange" not in message and "probe" not in message
        assert failure.value.errno == code and failure.value.code_name is None
        assert type(failure.value.__cause__) is (cause or type(None))
        assert cam.get("FrameRate") == 30.0  # the next call works again
        # A later failure of another kind does not carry the old text.
        with pytest.raises(vexar.BadInput) as later:
            cam.get("Brightness")
        assert expected not in str(later.value) and later.value.__cause__ is None


def test_a_failure_while_opening(bus: ForwardingBus) -> None:
    bus.fail(1, raise_plain)
    with pytest.raises(vexar.BusError, match="USB bridge unplugged"):
        vexar.open(bus=bus)


def test_trace_collects_the_transactions_of_its_block(cam: vexar.Camera) -> None:
    with cam.trace() as outer:
        cam.get("FrameRate")
        with cam.trace() as inner:
            cam.set("MicroFrameNumber", 8)
        cam.get("FrameRate")
    cam.get("FrameRate")
    assert 0 < len(inner.transactions) < len(outer.transactions)
    writes = [t for t in inner.transactions if t.direction == "write"]
    assert writes and all(t.result == 0 and isinstance(t.bytes, bytes) for t in writes)
    assert str(writes[0]).startswith("w") and f"{writes[0].device:#x}" in str(writes[0])


def test_transaction_callback(cam: vexar.Camera, monkeypatch: pytest.MonkeyPatch) -> None:
    seen: list[vexar.Transaction] = []
    cam.on_transaction(seen.append)
    cam.get("FrameRate")
    assert seen and seen[0].direction == "read"
    # What the callback raises is reported, and the camera's call goes on.
    reported: list[Any] = []
    monkeypatch.setattr(sys, "unraisablehook", reported.append)
    cam.on_transaction(lambda t: 1 / 0)
    assert cam.get("FrameRate") == 30.0
    assert reported and isinstance(reported[0].exc_value, ZeroDivisionError)
    cam.on_transaction(None)
    count = len(seen)
    cam.get("FrameRate")
    assert len(seen) == count
