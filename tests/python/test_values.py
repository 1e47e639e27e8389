"""Values and ranges as Python types: what get returns for each parameter type, what set
takes, the shortest-float conversion, ranges, the mapping of settings, the reprs and what the
C++ camera offers besides."""

import sys
import warnings
from collections.abc import MutableMapping
from pathlib import Path
from typing import Callable

import pytest

import vexar


# A float and NaN as get returns them, an int for a float parameter and what set answers, each
# with its shortest decimal, are what docs/python.md's session shows; a float that is not whole
# for an int parameter is a row of the cross-face table.
def test_each_type_reads_as_its_python_type(cam: vexar.Camera) -> None:
    assert cam.get("MicroFrameNumber") == 4 and type(cam.get("MicroFrameNumber")) is int
    assert cam.get("DealiasingOn") is False
    region = cam.get("RegionOfInterest")
    assert type(region) is vexar.Region and region == (0, 0, 320, 240)
    assert (region.x, region.y, region.width, region.height) == (0, 0, 320, 240)
    # The float nearest 2.6455026 is 2.64550256729126 as a double; Python shows the former.
    assert repr(cam.get("IntegrationTime")) == "2.6455026"


def test_set_takes_an_integer_type_of_another_library(cam: vexar.Camera) -> None:
    class Index:  # numpy's, say
        def __index__(self) -> int:
            return 2

    assert cam.set("MicroFrameNumber", Index()).applied == 2  # type: ignore[arg-type]


def test_settings_is_a_mapping_of_the_readable_parameters(cam: vexar.Camera) -> None:
    settings = cam.settings
    assert isinstance(settings, MutableMapping)
    readable = [p.name for p in cam.parameters if p.readable]
    assert list(settings) == list(settings.keys()) == readable and len(settings) == len(readable)
    # repr, since the frequencies are NaN at power-on
    assert repr(dict(settings)) == repr(dict(zip(readable, settings.values())))
    assert "MixingVoltage" in cam and "MixingVoltage" not in settings  # write-only
    assert settings.get("Nope", 7) == 7 and settings.get("framerate") == 30.0
    settings.update(FrameRate=10, IlluminationMode=1)
    settings["MixingVoltage"] = 40
    assert (cam["FrameRate"], cam.get("IlluminationMode")) == (10.0, 1)
    assert settings.setdefault("FrameRate", 20) == 10.0 and settings.pop("Nope", None) is None
    assert list(cam) == [p.name for p in cam.parameters] and len(cam) == 16
    for key in (3.0, None, True):  # no name, no error
        assert key not in cam and key not in settings
    for remove in (lambda: settings.pop("FrameRate"), lambda: settings.__delitem__("FrameRate"),
                   settings.clear):
        with pytest.raises(TypeError):
            remove()


@pytest.mark.parametrize("lookup", [
    lambda cam: cam["Nope"],
    lambda cam: cam.settings["Nope"],
    lambda cam: cam.settings.update(Nope=1),
    lambda cam: cam.settings.pop("Nope"),
])
def test_an_unknown_key_is_a_key_error_that_prints_plainly(
    cam: vexar.Camera, lookup: Callable[[vexar.Camera], object]
) -> None:
    with pytest.raises(KeyError) as raised:
        lookup(cam)
    assert isinstance(raised.value, vexar.BadInput) and raised.value.kind == "BadInput"
    assert str(raised.value).startswith("Nope: no such parameter")


# What is applied, and Applied.outside_range, are the cross-face table's.
def test_a_value_beyond_the_advertised_range_warns(cam: vexar.Camera) -> None:
    with pytest.warns(vexar.OutsideRangeWarning,
                      match="FrameRate = 120: outside the advertised range min=0 max=60"):
        cam.set("FrameRate", 120)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        cam.set("FrameRate", 60)
        with pytest.raises(vexar.OutsideRangeWarning):
            cam.set("FrameRate", 61)


def test_reprs_show_what_matters(cam: vexar.Camera, tmp_path: Path) -> None:
    assert repr(cam.parameter("FrameRate")).endswith(", range=Bounds(0, 60, 0.01))")
    assert repr(cam.parameter("MicroFrameNumber")).endswith(", range=(1, 2, 4, 8))")
    assert repr(cam.timing()).startswith(
        "Timing(frame_period=33.333 ms, micro_frames=4, integration=2.646 ms, idle=")
    with cam.trace() as trace:
        cam.get("FrameRate")
    assert repr(trace) == f"<Trace {len(trace.transactions)} transactions>"
    place = f"image:{tmp_path / 'camera.img'}"
    with vexar.open(place) as on_image:
        with on_image.hold() as held:
            assert repr(held) == f"<Hold on {place}>"
            assert repr(on_image) == f"<vexar.Camera on {place}>"
        assert repr(held) == f"<Hold on {place}, released>"
    assert on_image.closed and repr(on_image).endswith(", closed>")


def test_parameters_and_their_ranges(cam: vexar.Camera) -> None:
    # A parameter's repr and a float range with its step as written are in docs/python.md.
    by_name = {p.name: p for p in cam.parameters}
    roi = by_name["RegionOfInterest"]
    assert roi.state_only and not roi.writable and roi.type == "region"
    assert isinstance(roi.range, vexar.RegionBounds)
    assert roi.range.width == vexar.Bounds(16, 320, 16)
    assert by_name["Range"].range is None and not by_name["Range"].writable
    assert by_name["MixingVoltage"].access == "write-only" and not by_name["MixingVoltage"].readable


def test_what_the_cpp_camera_offers(cam: vexar.Camera) -> None:
    assert cam.versions.guid.startswith("{") and len(cam.versions.sdk) == 4
    assert cam.identity.source == "built-in" and "module" in cam.identity.components
    assert (cam.phase_count, cam.can_reset, cam.closed, cam.shared) == (4, True, False, False)
    assert isinstance(cam.phase_scaling, float)
    timing = cam.timing()
    assert (timing.micro_frames, timing.phases_per_micro_frame) == (4, 4)
    assert timing.to_svg().lstrip().startswith("<")
    # Each field is the bits lsb to msb of its register.
    cam.write_register(0x183, 0x44)
    registers = {r.address: r.value for r in cam.registers()}
    fields = cam.fields()
    assert any(f.name is None for f in fields) and any(f.address == 0x183 for f in fields)
    for f in fields:
        assert f.value == registers[f.address] >> f.lsb & (1 << (f.msb - f.lsb + 1)) - 1, f
    cam.write_register(0x11, 0x42, device=0x2A)
    assert {d.device: d.latched for d in cam.byte_devices()}[0x2A] == 0x42
    assert cam.unloadable(cam.save_state())  # a frequency NaN at power-on
    cam.reset()
    assert all(r.value == r.reset for r in cam.registers())
    cam.set("ModulationFrequency", 20)
    assert vexar.Camera.unloadable(cam.save_state()) == {}
    with pytest.raises(vexar.BadInput, match="256"):  # a one-byte device holds a byte
        cam.write_register(0x02, 256, device=0x5C)


def test_a_result_outlives_its_camera_and_is_freed_with_its_last_reference() -> None:
    cam = vexar.open("sim")
    before = sys.getrefcount(vexar.Applied)  # each result holds its type
    results = [cam.set("FrameRate", 10 + i % 40) for i in range(100)]
    cam.close()
    assert [(r.name, r.requested) for r in results[:2]] == [("FrameRate", 10), ("FrameRate", 11)]
    held = sys.getrefcount(vexar.Applied)  # outside assert: its rewriting holds one too
    del results
    assert (held, sys.getrefcount(vexar.Applied)) == (before + 100, before)
