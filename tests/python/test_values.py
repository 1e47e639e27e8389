"""Values and ranges as Python types: what get returns for each parameter type, what set
takes, the shortest-float conversion, ranges and the mapping protocol."""

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


def test_mapping_protocol(cam: vexar.Camera) -> None:
    names = list(cam)
    assert len(cam) == len(names) == len(cam.parameters) == 16
    assert names[3] == "FrameRate" and all(isinstance(n, str) for n in names)
    assert "FrameRate" in cam and 5 in cam and "Brightness" not in cam
    assert 3.0 not in cam and None not in cam  # no name, no error
    cam["FrameRate"] = 20
    assert cam["FrameRate"] == 20.0


def test_parameters_and_their_ranges(cam: vexar.Camera) -> None:
    # A parameter's repr and a float range with its step as written are in docs/python.md.
    by_name = {p.name: p for p in cam.parameters}
    assert by_name["MicroFrameNumber"].range == (1, 2, 4, 8)
    roi = by_name["RegionOfInterest"]
    assert roi.state_only and not roi.writable and roi.type == "region"
    assert isinstance(roi.range, vexar.RegionBounds)
    assert roi.range.width == vexar.Bounds(16, 320, 16)
    assert by_name["Range"].range is None and not by_name["Range"].writable
    assert by_name["MixingVoltage"].access == "write-only" and not by_name["MixingVoltage"].readable


def test_timing_fields_and_registers(cam: vexar.Camera) -> None:
    timing = cam.timing()
    assert timing.frame_period == pytest.approx(33.333, abs=1e-3)
    assert (timing.micro_frames, timing.phases_per_micro_frame) == (4, 4)
    assert timing.integration == pytest.approx(2.6455, abs=1e-4)
    assert timing.to_svg().lstrip().startswith("<")
    fields = cam.fields()
    assert all(isinstance(k, (str, int)) and isinstance(v, int) for k, v in fields.items())
    with pytest.raises(vexar.BadInput, match="256"):  # a one-byte device holds a byte
        cam.write_register(0x02, 256, device=0x5C)
