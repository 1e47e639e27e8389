"""The calibration record as bytes and as a dict, and the dict form of vexar-ctl."""

import json
from pathlib import Path

import vexar
from conftest import Ctl

RECORD = {
    "phaseOffset1": {"offset": 1000},
    "temperatureCalibration1": {"values": [25.0, "nan"]},
    "temperatureCompensation1": {"kind": 3, "values": [1.5, float("-inf")]},
}


def test_bytes_and_dict_forms_round_trip(cam: vexar.Camera) -> None:
    cam.write_calibration(RECORD)
    record = cam.read_calibration_json()
    # NaN as the tool's string and as a float are both taken; the module keeps what its
    # registers can hold.
    assert record["phaseOffset1"]["offset"] == 1000
    assert record["temperatureCalibration1"]["values"][0] == 25.0
    assert record["temperatureCompensation1"]["values"][0] == 1.5
    blob = cam.read_calibration()
    with vexar.open("sim") as other:
        other.write_calibration(memoryview(blob))
        assert other.read_calibration() == blob
        assert other.read_calibration_json() == record


def test_python_reads_what_the_tool_wrote(ctl: Ctl, tmp_path: Path) -> None:
    (tmp_path / "calib.json").write_text(json.dumps({"phaseOffset2": {"offset": -7}}))
    ctl("calib", "write", str(tmp_path / "calib.json"))
    with vexar.open(f"image:{tmp_path / 'camera.img'}") as cam:
        offset = cam.read_calibration_json()["phaseOffset2"]["offset"]
    tool = json.loads(ctl("--format", "json", "calib", "read", "-").stdout)
    assert offset == tool["phaseOffset2"]["offset"] != 0
