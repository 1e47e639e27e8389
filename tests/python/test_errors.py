"""Errors as Python exceptions: no bare RuntimeError or TypeError from anything a caller can
pass. A refusal's code, code name and range as attributes are rows of the cross-face table."""

import pytest

import vexar


@pytest.mark.parametrize(
    "name, value",
    [
        # An unknown name, text that is no number and an int beyond 32 bits are rows of the
        # cross-face table (tests/faces).
        ("FrameRate", None),
        ("FrameRate", float("nan")),  # non-finite without allow_non_finite
        ("FrameRate", float("inf")),
        ("MicroFrameNumber", 2**80),  # not even 64 bits
        ("RegionOfInterest", (0, 0, 320)),  # a region has four fields
        ("RegionOfInterest", (0, 0, 320, "240")),
        (3.0, 25),  # a float is no name
    ],
)
def test_bad_input_is_a_value_error(cam: vexar.Camera, name: object, value: object) -> None:
    with pytest.raises(vexar.BadInput):
        cam.set(name, value)  # type: ignore[arg-type]


def test_non_finite_numbers_reach_the_plug_in_when_allowed(cam: vexar.Camera) -> None:
    with pytest.raises(vexar.Refused, match="OutOfRange"):
        cam.set("DealiasingFrequency", float("nan"), allow_non_finite=True)


@pytest.mark.parametrize(
    "call",
    [
        lambda cam: cam.load_state("not bytes"),
        lambda cam: cam.load_state(b"\xff\x00"),  # no parameter has id 255
        lambda cam: cam.apply_profile([("FrameRate", 20)]),
        lambda cam: cam.apply_profile({"FrameRate": object()}),
        lambda cam: cam.apply_profile({"FrameRate": "fast"}),
        lambda cam: cam.write_calibration(12),
        lambda cam: cam.read_register(-1),
        lambda cam: cam.read_register(0x100, device=0x10000),
        lambda cam: cam.on_transaction(42),
        lambda _: vexar.open("sim", bus=object()),
        lambda _: vexar.open(42),
    ],
)
def test_bad_arguments_of_the_other_calls(cam: vexar.Camera, call: object) -> None:
    with pytest.raises(vexar.BadInput):
        call(cam)  # type: ignore[operator]


def test_docstrings_say_what_is_raised() -> None:
    for method in (vexar.Camera.set, vexar.Camera.get, vexar.Camera.load_state, vexar.open):
        assert "Raises:" in (method.__doc__ or ""), method
