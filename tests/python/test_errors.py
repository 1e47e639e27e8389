"""Errors as Python exceptions: no bare RuntimeError or TypeError from anything a caller can
pass. A refusal's code, code name and range as attributes are rows of the cross-face table."""

import re

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
        lambda cam: cam.set("FrameRate", 25.0, force="yes"),  # a flag is a truth value
    ],
)
def test_bad_arguments_of_the_other_calls(cam: vexar.Camera, call: object) -> None:
    with pytest.raises(vexar.BadInput):
        call(cam)  # type: ignore[operator]


def test_docstrings_say_what_is_raised() -> None:
    for method in (vexar.Camera.set, vexar.Camera.get, vexar.Camera.load_state, vexar.open):
        assert "Raises:" in (method.__doc__ or ""), method


def test_get_and_set_take_arguments_as_any_python_function(cam: vexar.Camera) -> None:
    assert cam.get(name="FrameRate") == cam.get("FrameRate")
    assert cam.set(name="FrameRate", value=20.0).applied == 20.0
    assert cam.set("FrameRate", value=30.0, force=1, allow_non_finite=None).applied == 30.0
    with pytest.raises(vexar.BadInput):  # allow_non_finite as a truth value
        cam.set("FrameRate", float("nan"), allow_non_finite=0)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda cam: cam.get(), "get() missing required argument 'name'"),
        (lambda cam: cam.get("FrameRate", "Range"), "get() takes at most 1 positional arguments"),
        (lambda cam: cam.get(nom="FrameRate"), "get() got an unexpected keyword argument 'nom'"),
        (lambda cam: cam.set("FrameRate"), "set() missing required argument 'value'"),
        (lambda cam: cam.set(value=25.0), "set() missing required argument 'name'"),
        # The flags are keyword-only.
        (lambda cam: cam.set("FrameRate", 25.0, True), "set() takes at most 2 positional"),
        (lambda cam: cam.set("FrameRate", 25.0, name="Range"),
         "set() got multiple values for argument 'name'"),
        (lambda _: vexar.Camera.get(object(), "FrameRate"), "'get' for 'vexar._vexar.Camera'"),
    ],
)
def test_a_call_that_does_not_fit_the_signature_is_a_type_error(
        cam: vexar.Camera, call: object, message: str) -> None:
    with pytest.raises(TypeError, match=re.escape(message)):
        call(cam)  # type: ignore[operator]
