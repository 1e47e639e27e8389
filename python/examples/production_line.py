#!/usr/bin/python3
"""End-of-line check of a YORIN_D module: apply the station's settings and verify what the
module holds, program the calibration measured at the station, save the module's profile,
and print the bus trace of whatever failed.

    production_line.py [--camera sim|image:PATH|/dev/i2c-N] [--calibration FILE]
                       [--profile OUT] [--set NAME=VALUE ...]

Exit status 0 when the module passes, 1 when it does not.
"""

import argparse
import json
import math
import sys
import warnings
from typing import Any, Callable

import vexar

# What this station configures, and how far an applied value may be from the request (the
# module rounds to its register steps).
SETTINGS: dict[str, vexar.Value] = {
    "ModulationFrequency": 20,
    "FrameRate": 25,
    "MicroFrameNumber": 4,
    "IntegrationTime": 0.3175,
    "IlluminationMode": 1,
}
TOLERANCE = 0.001

# The station's measurement, in the form vexar-ctl calib read --format json prints.
CALIBRATION: dict[str, Any] = {
    "phaseOffset1": {"offset": 1000},
    "phaseOffset2": {"offset": -8},
    "temperatureCalibration1": {"values": [25.0, 40.0]},
    "temperatureCompensation1": {"kind": 3, "values": [1.5, -1.5]},
}


class CheckFailed(Exception):
    """A check of the module that did not pass."""


def value_of(text: str) -> vexar.Value:
    """A value from the command line: an int, else a float."""
    try:
        return int(text, 0)
    except ValueError:
        return float(text)


def apply_settings(cam: vexar.Camera, settings: dict[str, vexar.Value]) -> None:
    """Writes each setting and checks that the module holds it."""
    for name, wanted in settings.items():
        # What the module holds is checked below, whatever the advertised range says.
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", vexar.OutsideRangeWarning)
            applied = cam.set(name, wanted).applied
        if not isinstance(applied, (int, float)) or isinstance(wanted, vexar.Region):
            continue
        if not math.isclose(applied, float(wanted), abs_tol=TOLERANCE):
            raise CheckFailed(f"{name}: set {wanted}, the module holds {applied}")
        print(f"{name}: {applied}")


def program_calibration(cam: vexar.Camera, record: dict[str, Any]) -> None:
    """Writes the calibration record and checks that it reads back."""
    cam.write_calibration(record)
    stored = cam.read_calibration_json()
    for entry, members in record.items():
        for member, value in members.items():
            if stored[entry][member] != value:
                raise CheckFailed(f"calibration {entry}.{member}: wrote {value}, "
                                  f"reads {stored[entry][member]}")
    print(f"calibration: {len(cam.read_calibration())} bytes")


def check(cam: vexar.Camera, settings: dict[str, vexar.Value], calibration: dict[str, Any],
          profile: str) -> bool:
    """Runs the check on an open camera; prints the bus trace of a failed step."""
    steps: list[tuple[str, Callable[[], None]]] = [
        ("settings", lambda: apply_settings(cam, settings)),
        ("calibration", lambda: program_calibration(cam, calibration)),
    ]
    for step, run in steps:
        with cam.trace() as trace:
            try:
                run()
            except (CheckFailed, vexar.Error) as failure:
                print(f"FAIL {step}: {failure}", file=sys.stderr)
                for transaction in trace.transactions:
                    print(f"  {transaction}", file=sys.stderr)
                return False
    with open(profile, "w") as file:
        json.dump(cam.profile(), file, indent=2)
    print(f"profile saved to {profile}")
    return True


def main() -> int:
    """Parses the command line and checks one module."""
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--camera", default="sim")
    parser.add_argument("--calibration", help="a JSON calibration record")
    parser.add_argument("--profile", default="profile.json")
    parser.add_argument("--set", action="append", default=[], metavar="NAME=VALUE")
    args = parser.parse_args()

    settings = dict(SETTINGS)
    for assignment in args.set:
        name, _, text = assignment.partition("=")
        settings[name] = value_of(text)
    calibration = CALIBRATION
    if args.calibration:
        with open(args.calibration) as file:
            calibration = json.load(file)

    with vexar.open(args.camera) as cam:
        passed = check(cam, settings, calibration, args.profile)
    print("PASS" if passed else "FAIL")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
