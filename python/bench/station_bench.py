#!/usr/bin/python3
"""What the production station costs per unit beyond the module: a whole run of the example
recipe on the simulated module, the same camera calls made bare, and the recording alone.

    station_bench.py [--units N] [--db URL]

With --db (a postgresql:// URL) the recording is also measured there; SQLite is measured on
a file in a temporary folder.
"""

import argparse
import dataclasses
import statistics
import sys
import tempfile
import time
import uuid
from pathlib import Path
from typing import Any, Callable

import vexar
from vexar import station

RECIPE = Path(__file__).parents[1] / "examples" / "station.toml"


def median_ms(samples: list[float]) -> float:
    return 1000 * statistics.median(samples)


def timed(work: Callable[[], Any], count: int) -> list[float]:
    samples = []
    for _ in range(count):
        began = time.perf_counter()
        work()
        samples.append(time.perf_counter() - began)
    return samples


def bare(recipe: station.Recipe) -> None:
    """The camera calls of one unit, without checking, recording or printing anything."""
    calibration = recipe.calibration_for("SN0001")
    with vexar.open("sim") as cam:
        assert recipe.profile is not None
        cam.apply_profile(recipe.profile)
        for check in recipe.checks + recipe.read_only:
            cam.get(check.name)
        cam.write_calibration(calibration)
        cam.read_calibration_json()
        cam.profile()


def record_pair(recorder: station.Recorder, template: dict[str, Any]) -> None:
    run = uuid.uuid4().hex
    record: dict[str, Any] = {"run": dict(template["run"], run=run)}
    recorder.record(record)
    record["result"] = dict(template["result"], run=run)
    record["checks"] = [dict(check, run=run) for check in template["checks"]]
    recorder.record(record)


def recording(url: str, count: int, folder: Path) -> list[float]:
    recorder = station.Recorder(station.Database(url), folder / "spool", "bench")
    recorder.start()
    try:
        db = station.Database(str(folder / "template.sqlite"))
        keep = station.Recorder(db, folder / "spool", "template")
        st = station.Station(station.load_recipe(RECIPE), keep, "bench", lambda _: None)
        st.run(station.Unit(f"T{uuid.uuid4().hex[:6]}", "A", "sim"))
        run = db.query("SELECT * FROM runs")[0]
        result = db.query("SELECT * FROM results")[0]
        checks = db.query("SELECT * FROM checks")
        template = {"run": dict(zip(station._RUN_COLUMNS, run)),
                    "result": dict(zip(station._RESULT_COLUMNS, result)),
                    "checks": [dict(zip(station._CHECK_COLUMNS, c)) for c in checks]}
        record_pair(recorder, template)  # the schema and the connection, once
        return timed(lambda: record_pair(recorder, template), count)
    finally:
        recorder.stop()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--units", type=int, default=50)
    parser.add_argument("--db")
    args = parser.parse_args()
    recipe = station.load_recipe(RECIPE)
    with tempfile.TemporaryDirectory() as name:
        folder = Path(name)
        sample = (recipe.path.parent / "station-calibration" / "SN0001.json").read_text()
        for number in range(args.units):
            (folder / f"U{number}.json").write_text(sample)
        unit_recipe = dataclasses.replace(recipe, calibration_folder=folder)
        recorder = station.Recorder(station.Database(str(folder / "r.sqlite")),
                                    folder / "spool", "bench")
        recorder.start()
        st = station.Station(unit_recipe, recorder, "bench", lambda _: None)
        serials = iter(range(10**6))
        bare(recipe)
        verdicts: list[str] = []
        whole = timed(lambda: verdicts.append(
            st.run(station.Unit(f"U{next(serials)}", "A", "sim")).verdict), args.units)
        assert set(verdicts) == {"PASS"}, verdicts
        recorder.stop()
        alone = timed(lambda: bare(recipe), args.units)
        sqlite = recording(str(folder / "rec.sqlite"), args.units, folder)
        rows = [("whole unit (sim, SQLite)", median_ms(whole)),
                ("camera calls alone", median_ms(alone)),
                ("station's own (difference)", median_ms(whole) - median_ms(alone)),
                ("recording alone, SQLite", median_ms(sqlite))]
        if args.db:
            rows.append(("recording alone, PostgreSQL", median_ms(recording(args.db, args.units,
                                                                            folder))))
    print("| per unit | median ms |\n|---|---|")
    for label, value in rows:
        print(f"| {label} | {value:.2f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
