"""System states and profiles: bytes and dicts round trip, and profiles pass between Python
and vexar-ctl in both directions, with NaN in the tool's own form."""

import json
import math
from pathlib import Path

import jsonschema
import pytest

import vexar
from conftest import Ctl, ctl_value

# A fresh module's voltages are unknown (they cannot be read back); a profile that leaves them
# out is written with what is known of them.
VOLTAGES = {"LeftIlluminationVoltage": 40, "RightIlluminationVoltage": 12.5, "MixingVoltage": 80}


def test_state_bytes_round_trip(cam: vexar.Camera) -> None:
    cam.set("ModulationFrequency", 20)  # a state holding NaN cannot be loaded back
    cam.set("FrameRate", 25)
    state = cam.save_state()
    assert isinstance(state, bytes)
    cam.set("FrameRate", 10)
    cam.load_state(bytearray(state))  # any buffer of bytes
    assert cam.get("FrameRate") == 25.0
    with pytest.raises(vexar.Refused):
        vexar.open("sim").load_state(vexar.open("sim").save_state())  # NaN at power-on


def test_profile_is_the_tools_json(cam: vexar.Camera) -> None:
    assert list(cam.profile()["parameters"])[0] == "FrameRate"  # no voltage is known yet
    for name, volts in VOLTAGES.items():
        cam.set(name, volts)
    profile = cam.profile()["parameters"]
    assert list(profile)[:4] == [*VOLTAGES, "FrameRate"]
    assert [profile[name] for name in VOLTAGES] == list(VOLTAGES.values())
    assert profile["ModulationFrequency"] in ("nan", "-nan")  # what JSON has no number for
    assert profile["RegionOfInterest"] == {"x": 0, "y": 0, "width": 320, "height": 240}
    assert "NaN" not in json.dumps(profile)


@pytest.mark.parametrize(
    "region", [vexar.Region(16, 8, 160, 120), (16, 8, 160, 120), [16, 8, 160, 120]]
)
def test_a_region_may_be_given_as_a_tuple(cam: vexar.Camera, region: object) -> None:
    cam.apply_profile({**VOLTAGES, "ModulationFrequency": 30, "DealiasingFrequency": 20,
                       "RegionOfInterest": region, 7: True})
    assert cam.get("RegionOfInterest") == (16, 8, 160, 120)
    assert cam.get("DealiasingOn") is True


def test_nan_in_a_profile_as_a_float_or_as_the_tools_string(cam: vexar.Camera) -> None:
    cam.apply_profile({**VOLTAGES, "ModulationFrequency": 20, "DealiasingFrequency": float("nan")})
    assert math.isnan(cam.get("DealiasingFrequency"))
    with pytest.raises(vexar.Refused):
        cam.apply_profile({"ModulationFrequency": "nan"})


def test_profile_saved_by_the_tool_loads_in_python(ctl: Ctl, tmp_path: Path) -> None:
    ctl("set", "ModulationFrequency=20", "MicroFrameNumber=2", "FrameRate=12.5",
        *(f"{name}={volts}" for name, volts in VOLTAGES.items()))
    saved = tmp_path / "state.json"
    ctl("--format", "json", "state", "save", str(saved))
    with vexar.open("sim") as cam:
        cam.apply_profile(json.loads(saved.read_text()))
        assert (cam.get("FrameRate"), cam.get("MicroFrameNumber")) == (12.5, 2)
        saved_document = json.loads(saved.read_text())
        document = cam.profile()
        assert document["parameters"] == saved_document["parameters"]
        assert document["module"] == saved_document["module"] and document["version"] == 2


def test_profile_dumped_by_python_loads_in_the_tool(ctl: Ctl, tmp_path: Path) -> None:
    with vexar.open("sim") as cam:
        cam.set("ModulationFrequency", 30)
        cam.set("FrameRate", 40)
        cam.apply_profile({**VOLTAGES, "RegionOfInterest": vexar.Region(32, 0, 64, 100)})
        with open(tmp_path / "profile.json", "w") as file:
            json.dump(cam.profile(), file)
    ctl("state", "load", str(tmp_path / "profile.json"))
    assert ctl_value(ctl, "FrameRate") == 40.0
    assert ctl_value(ctl, "RegionOfInterest") == {"x": 32, "y": 0, "width": 64, "height": 100}


def test_force_writes_unknown_voltages_at_power_on_and_warns(cam: vexar.Camera) -> None:
    cam.set("ModulationFrequency", 20)  # unforced, the cross-face table's voltages-unknown row
    with pytest.warns(vexar.AssumedWarning, match="MixingVoltage written at the power-on"):
        moved = cam.apply_profile({"FrameRate": 25}, force=True)
    assert "IntegrationTime" in moved and "FrameRate" not in moved
    assert cam.profile()["parameters"]["MixingVoltage"] == 50


@pytest.mark.parametrize("profile", [{3: 20, "3": 40}, {"FrameRate": 20, "framerate": 40}])
def test_a_member_given_twice_is_refused_whatever_the_spelling(cam: vexar.Camera,
                                                                profile: dict) -> None:
    with pytest.raises(vexar.BadInput, match="twice"):
        cam.apply_profile(profile)
    assert cam.get("FrameRate") == 30.0  # nothing was written


SCHEMA = json.loads((Path(__file__).parents[2] / "docs" / "profile.schema.json").read_text())


def test_saved_profiles_follow_the_shipped_schema(cam: vexar.Camera, ctl: Ctl,
                                                  tmp_path: Path) -> None:
    validator = jsonschema.Draft202012Validator(SCHEMA)
    cam.apply_profile({**VOLTAGES, "ModulationFrequency": 20,
                       "RegionOfInterest": vexar.Region(16, 8, 160, 120)})
    ctl("--format", "json", "state", "save", str(tmp_path / "saved.json"))
    for document in (cam.profile(), vexar.open("sim").profile(),
                     json.loads((tmp_path / "saved.json").read_text())):
        validator.validate(document)
    assert not validator.is_valid({**cam.profile(), "version": 3})
    # Format 1, as 0.1 saved it: its module's hardware version by the older name.
    older = cam.profile()
    older["version"] = 1
    older["module"]["hardwareVersion"] = older["module"].pop("hardware_version")
    validator.validate(older)
    assert not validator.is_valid({**older, "version": 2})


def test_presets_are_shared_with_the_tool(cam: vexar.Camera, ctl: Ctl, tmp_path: Path,
                                          monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "config"))
    cam.apply_profile({**VOLTAGES, "ModulationFrequency": 20, "FrameRate": 12.5})
    cam.save_preset("bench-1", note="from Python")
    assert vexar.presets() == ["bench-1"]
    listed = json.loads(ctl("--format", "json", "preset", "list").stdout)
    assert [(p["name"], p["note"]) for p in listed] == [("bench-1", "from Python")]
    cam.set("FrameRate", 30)
    assert cam.load_preset("bench-1", dry_run=True).applied["FrameRate"] == 12.5
    assert cam.get("FrameRate") == 30
    cam.load_preset("bench-1")
    assert cam.get("FrameRate") == 12.5
    with pytest.raises(vexar.BadInput, match="did you mean 'bench-1'"):
        cam.load_preset("bench-2")


def test_diff_against_a_profile_and_the_module(cam: vexar.Camera) -> None:
    cam.apply_profile({**VOLTAGES, "ModulationFrequency": 20})
    saved = cam.profile()
    cam.set("MicroFrameNumber", 8)
    now = cam.diff(saved, registers=True)
    assert now["parameters"]["MicroFrameNumber"] == (4, 8)
    assert now["fields"]["MicroFrameCount"] == (4, 8)
    assert now["registers"][0x183] == (0x44, 0x84)
    partial = cam.diff({"FrameRate": 12}, saved)["parameters"]
    assert partial["FrameRate"] == (12.0, 30.0)  # and what the partial profile leaves out:
    assert set(partial) == set(saved["parameters"]) and partial["MixingVoltage"] == (None, 80)
    assert cam.get("MicroFrameNumber") == 8  # comparing wrote nothing


def test_a_dry_run_is_applied_in_its_hold_or_refused_once_stale(cam: vexar.Camera) -> None:
    cam.apply_profile({**VOLTAGES, "ModulationFrequency": 20})
    with cam.hold():
        dry = cam.apply_profile({"DealiasingOn": True, "DealiasingFrequency": 10}, dry_run=True)
        assert isinstance(dry, vexar.DryRun) and dry.fields["DealiasingEnable"] == (0, 1)
        assert cam.apply_dry_run(dry) == dry.changed
        assert cam.profile()["parameters"] == dry.applied
        with pytest.raises(vexar.Refused, match="the dry run is stale"):
            cam.apply_dry_run(dry)
