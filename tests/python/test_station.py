"""The production station: units through the example recipe, faults at bus transactions, the
record, the spool and the reports."""

import dataclasses
import json
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import time
import tomllib
from pathlib import Path
from typing import Any, Callable, Optional

import jsonschema
import pytest

import vexar
from conftest import ForwardingBus
from vexar import station

ROOT = Path(__file__).parents[2]
RECIPE = ROOT / "python" / "examples" / "station.toml"
STATION = ROOT / "python" / "bin" / "vexar-station"
CALIBRATION_REGISTER = 0x37  # phase offset 1, in the sensor's bank at 0x5c


@pytest.fixture
def where(tmp_path: Path) -> dict[str, str]:
    return {"db": str(tmp_path / "results.sqlite"), "spool": str(tmp_path / "spool")}


def command(where: dict[str, str], *args: str, stdin: str = "",
            timeout: float = 60) -> subprocess.CompletedProcess[str]:
    return subprocess.run([sys.executable, str(STATION), args[0], "--db", where["db"],
                           "--spool", where["spool"], *args[1:]],
                          input=stdin, capture_output=True, text=True, timeout=timeout)


def report(where: dict[str, str]) -> dict[str, Any]:
    done = command(where, "report", "--format", "json")
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)  # type: ignore[no-any-return]


def test_the_example_line_from_recipe_to_report(where: dict[str, str], tmp_path: Path) -> None:
    schema = json.loads((ROOT / "docs" / "station-recipe.schema.json").read_text())
    jsonschema.validate(tomllib.loads(RECIPE.read_text()), schema)

    (tmp_path / "serials").write_text("A SN0001\nB SN0002\nA SN0003\n")
    done = command(where, "run", "--recipe", str(RECIPE), "--serials", str(tmp_path / "serials"),
                   "--camera", "A=sim", "--camera", f"B=image:{tmp_path / 'b.img'}",
                   "--operator", "kim", "--station", "line1")
    assert done.returncode == 0, done.stdout + done.stderr
    assert done.stdout.count(" PASS\n") == 3
    assert "[B] SN0002 calibration: read-back" in done.stdout

    # A unit that passed is refused unless the run is a rework, which is a new run.
    again = command(where, "run", "--recipe", str(RECIPE), "--serial", "SN0002")
    assert again.returncode == 2 and "already recorded as PASS" in again.stdout
    rework = command(where, "run", "--recipe", str(RECIPE), "--serial", "SN0002", "--rework",
                     "--station", "line2")
    assert rework.returncode == 0, rework.stdout

    data = report(where)
    assert (data["units"], data["first_pass_yield"], data["runs"]) == (3, 1.0, 4)
    assert set(data["stations"]) == {"line1", "line2"}
    history = command(where, "history", "SN0002").stdout.splitlines()
    assert len([line for line in history if " PASS " in line]) == 2
    assert "fixture B (image:" in history[0] and "operator kim" in history[0]
    assert '"offset": -16' in "\n".join(history)  # the module's step of 8

    with sqlite3.connect(where["db"]) as db:
        assert db.execute("PRAGMA journal_mode").fetchone() == ("wal",)
        row = db.execute("SELECT transactions, plugin_version, recipe_hash, applied FROM runs"
                         " JOIN results USING (run) WHERE serial = 'SN0001'").fetchone()
    assert row[0] > 0 and row[1] and len(row[2]) == 64
    assert json.loads(row[3])["FrameRate"] == 25.0


def corrupt_read_back(bus: ForwardingBus) -> None:
    # Once the calibration was written, its first register reads back one step off.
    written = [False]
    read, write = bus.read, bus.write

    def reading(device: int, register: int, length: int) -> bytes:
        data = read(device, register, length)
        if written[0] and (device, register) == (0x5C, CALIBRATION_REGISTER):
            data = bytes([data[0] ^ 0x10]) + data[1:]
        return data

    def writing(device: int, register: int, data: bytes) -> None:
        written[0] |= (device, register) == (0x5C, CALIBRATION_REGISTER)
        write(device, register, data)

    bus.read, bus.write = reading, writing  # type: ignore[method-assign]


def fail_calibration_write(bus: ForwardingBus) -> None:
    write = bus.write

    def writing(device: int, register: int, data: bytes) -> None:
        if (device, register) == (0x5C, CALIBRATION_REGISTER):
            raise OSError(5, "adapter lost arbitration")
        write(device, register, data)

    bus.write = writing  # type: ignore[method-assign]


def run_unit(tmp_path: Path, recipe: station.Recipe, fault: Callable[[ForwardingBus], None],
             serial: str = "SN0001") -> tuple[station.Outcome, station.Database, ForwardingBus]:
    bus = ForwardingBus()
    fault(bus)
    db = station.Database(str(tmp_path / "results.sqlite"))
    recorder = station.Recorder(db, tmp_path / "spool", "test")
    recorder.start()
    lines: list[str] = []
    try:
        outcome = station.Station(recipe, recorder, "kim", lines.append,
                                  opener=lambda _: vexar.open(bus=bus)).run(
            station.Unit(serial, "A", "bus"))
    finally:
        recorder.stop()
    assert lines[-1].endswith(outcome.verdict + (f" at {outcome.step}: {outcome.message}"
                                                 if outcome.step else ""))
    return outcome, db, bus


def wrapping(recipe: station.Recipe, tmp_path: Path) -> station.Recipe:
    folder = tmp_path / "calibration"
    folder.mkdir()
    (folder / "SN0001.json").write_text(json.dumps({"phaseOffset1": {"offset": 20000}}))
    return dataclasses.replace(recipe, calibration_folder=folder)


def wrong_check(recipe: station.Recipe, _: Path) -> station.Recipe:
    return dataclasses.replace(recipe, checks=[station.Check("FrameRate", 30, 0.001)])


def nothing(bus: ForwardingBus) -> None:
    pass


@pytest.mark.parametrize("change, fault, step, reason, status, calibrated", [
    (None, corrupt_read_back, "calibration", "read-back", 6, True),
    (None, fail_calibration_write, "calibration", "BusFailure", 4, False),
    (wrapping, nothing, "calibration", "cannot hold", 6, False),
    (wrong_check, nothing, "verify", "FrameRate", 6, False),
])
def test_a_fault_fails_the_unit_at_its_step(
        tmp_path: Path, change: Optional[Callable[[station.Recipe, Path], station.Recipe]],
        fault: Callable[[ForwardingBus], None], step: str, reason: str, status: int,
        calibrated: bool) -> None:
    recipe = station.load_recipe(RECIPE)
    if change:
        recipe = change(recipe, tmp_path)
    outcome, db, bus = run_unit(tmp_path, recipe, fault)
    assert (outcome.verdict, outcome.step, outcome.status) == ("FAIL", step, status)
    rows = db.query("SELECT verdict, step, reason FROM runs JOIN results USING (run)")
    assert rows == [("FAIL", step, reason)]
    # A calibration the module cannot hold is refused before anything of it is written.
    offset = bus.module.read_calibration_json()["phaseOffset1"]["offset"]
    assert (offset != 0) == calibrated


def test_a_good_unit_on_the_same_bus_passes(tmp_path: Path) -> None:
    outcome, db, _ = run_unit(tmp_path, station.load_recipe(RECIPE), nothing)
    assert outcome.verdict == "PASS"
    recipe = station.load_recipe(RECIPE)
    checks = db.query("SELECT step, name, verdict FROM checks ORDER BY seq")
    # Every check the recipe names was read back, and the calibration too, each once.
    assert [name for _, name, _ in checks] == [*recipe.identity] + [
        c.name for c in recipe.checks + recipe.read_only] + ["read-back"]
    assert {verdict for _, _, verdict in checks} == {"pass"}


def test_spooled_runs_are_delivered_once(where: dict[str, str], tmp_path: Path) -> None:
    where_down = dict(where, db=str(tmp_path / "not-a-folder" / "results.sqlite"))
    (tmp_path / "not-a-folder").write_text("a file where the folder should be")
    for serial in ("SN0001", "SN0002"):
        done = command(where_down, "run", "--recipe", str(RECIPE), "--serial", serial)
        assert done.returncode == 0 and "spool" in done.stdout, done.stdout
    assert report(where)["spooled"] == 2
    # With the spool unwritable too, the unit is never reported as passed.
    nowhere = dict(where_down, spool=str(tmp_path / "not-a-folder" / "spool"))
    lost = command(nowhere, "run", "--recipe", str(RECIPE), "--serial", "SN0003")
    assert lost.returncode == 2 and "SN0003 NOT RECORDED" in lost.stdout, lost.stdout
    assert "PASS" not in lost.stdout
    # The first delivery is interrupted after one file; the run is then delivered again.
    first = sorted(Path(where["spool"]).glob("*.json"))[0]
    shutil.copy(first, tmp_path / "again.json")
    assert "delivered 2 runs; 0 still spooled" in command(where, "sync").stdout
    shutil.copy(tmp_path / "again.json", first)
    assert "delivered 1 runs" in command(where, "sync").stdout
    data = report(where)
    assert (data["units"], data["runs"], data["spooled"]) == (2, 2, 0)


def test_a_run_without_its_result_is_running_while_its_station_beats(tmp_path: Path) -> None:
    db = station.Database(str(tmp_path / "results.sqlite"))
    recorder = station.Recorder(db, tmp_path / "spool", "test", interval=0.1)
    recorder.start()
    row = {"run": "r1", "session": recorder.session["session"], "serial": "SN9", "station": "t",
           "position": "A", "adapter": "sim", "operator": "kim", "started": station.utc_now(),
           "recipe": "r", "recipe_hash": "h", "plugin_version": "", "sdk_version": "",
           "client_version": "", "module": "{}", "rework": 0}
    assert recorder.record({"run": row}) is None
    assert [r["state"] for r in station.runs(db)] == ["RUNNING"]
    recorder._stop.set()  # the station dies: its heartbeat stops, nothing ends the session
    time.sleep(1.6)
    assert [r["state"] for r in station.runs(db)] == ["ABORTED"]
    assert station.report(db, tmp_path / "spool", None, None)["failures"] == [
        {"step": "aborted", "reason": "no result", "count": 1}]


def test_ctrl_c_finishes_the_units_under_way_and_records_the_rest(where: dict[str, str],
                                                                   tmp_path: Path) -> None:
    serials = [f"SN{n:04}" for n in range(1, 41)]
    (tmp_path / "serials").write_text("".join(f"{'AB'[n % 2]} {s}\n"
                                              for n, s in enumerate(serials)))
    for serial in serials:
        shutil.copy(RECIPE.parent / "station-calibration" / "SN0001.json",
                    tmp_path / f"{serial}.json")
    recipe = tmp_path / "station.toml"
    recipe.write_text(RECIPE.read_text().replace('"station-calibration"', '"."'))
    child = subprocess.Popen([sys.executable, str(STATION), "run", "--recipe", str(recipe),
                              "--serials", str(tmp_path / "serials"), "--camera", "A=sim",
                              "--camera", "B=sim", "--db", where["db"], "--spool",
                              where["spool"]], stdout=subprocess.PIPE, text=True)
    assert child.stdout
    for line in child.stdout:
        if line.endswith(" PASS\n"):
            child.send_signal(signal.SIGINT)
            break
    output = line + child.stdout.read()
    assert child.wait(60) == 0, output
    assert "interrupted" in output
    rows = station.runs(station.Database(where["db"]))
    assert sorted(r["serial"] for r in rows) == serials  # each exactly once
    states = [r["state"] for r in rows]
    assert states.count("NOT RUN") > 0 and set(states) == {"PASS", "NOT RUN"}


@pytest.mark.parametrize("text, error", [
    ('name = "x"', "settings needs one of"),
    ('[settings]\npreset = "p"\n[calibration]\nfolder = "."', "checks names no parameter"),
    ('[settings]\npreset = "p"\n[checks]\nFrameRate = 25\n[calibration]\nfolder = "."',
     "must be a table with expected"),
    ('[settings]\npreset = "p"\n[checks]\nFrameRate = {expected = 25}\n[calibration]\n',
     "one of folder or command"),
    ('colour = "red"', "unknown keys"),
])
def test_a_recipe_mistake_is_found_before_the_first_unit(tmp_path: Path, text: str,
                                                         error: str) -> None:
    (tmp_path / "r.toml").write_text(text)
    with pytest.raises(station.StationError, match=error):
        station.load_recipe(tmp_path / "r.toml")


def test_the_calibration_command_runs_with_a_timeout(tmp_path: Path) -> None:
    recipe = dataclasses.replace(
        station.load_recipe(RECIPE), calibration_folder=None, calibration_timeout=0.5,
        calibration_command=[sys.executable, "-c",
                             "import sys, time; s = sys.argv[1]; time.sleep(s == 'slow');"
                             "print('{\"phaseOffset1\": {\"offset\": 8}}')", "{serial}"])
    assert recipe.calibration_for("SN1") == {"phaseOffset1": {"offset": 8}}
    with pytest.raises(station.StationError, match="did not end within 0.5 s"):
        recipe.calibration_for("slow")


def test_each_prompt_names_its_fixture_until_the_end_of_input(where: dict[str, str]) -> None:
    done = command(where, "run", "--recipe", str(RECIPE), "--camera", "A=sim", "--camera",
                   "B=sim", stdin="SN0001\nSN0002\nSN0003\n")
    assert done.returncode == 0, done.stdout + done.stderr
    prompts = done.stdout.count("serial for fixture A (sim): ")
    assert prompts == 2 and done.stdout.count("serial for fixture B (sim): ") == 2
    fixtures = {r["serial"]: r["position"] for r in station.runs(station.Database(where["db"]))}
    assert fixtures == {"SN0001": "A", "SN0002": "B", "SN0003": "A"}


def test_a_database_of_a_newer_schema_is_refused(tmp_path: Path) -> None:
    url = str(tmp_path / "results.sqlite")
    station.Database(url).query("SELECT 1")
    with sqlite3.connect(url) as db:
        assert db.execute("SELECT max(version) FROM schema_version").fetchone() == (1,)
        db.execute("INSERT INTO schema_version VALUES (2)")
    with pytest.raises(station.StationError, match="schema version 2; this station knows up to 1"):
        station.Database(url).query("SELECT 1")
