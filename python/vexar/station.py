"""The end of a production line: each module set up, calibrated, verified and recorded.

    vexar-station run --recipe R (--serial S | --serials FILE | serials typed in)
                      [--camera [POSITION=]sim|image:PATH|/dev/i2c-N ...] [--operator O]
                      [--station ID] [--db URL] [--rework]
    vexar-station sync [--db URL]
    vexar-station report [--since T] [--station ID] [--format text|csv|json] [--db URL]
    vexar-station history SERIAL [--db URL]

A run is recorded as two rows, one before the first write to the module and one after the
last; what the database does not take goes to a spool that `sync` delivers.
"""

from __future__ import annotations

import argparse
import csv
import dataclasses
import datetime
import hashlib
import json
import math
import os
import queue
import signal
import socket
import sqlite3
import subprocess
import sys
import threading
import time
import tomllib
import typing
import uuid
import warnings
from pathlib import Path
from typing import Any, Callable, Optional, cast

from . import _vexar
from ._vexar import Error, OutsideRangeWarning, __version__
from ._vexar import open as open_camera

# The statuses every command of the package and vexar-ctl share: the kinds' own from the client
# library's table, and the unit that did not pass.
_KIND_STATUS = {name: status for name, status, _, _ in _vexar._error_kinds()}
_STATUS = _vexar._exit_statuses()
PASSED = _STATUS["Success"]
UNIT_FAILED = _STATUS["UnitFailed"]
BAD_INPUT = _KIND_STATUS["BadInput"]

SCHEMA_VERSION = 1

# What the module keeps of a calibration, by member: a value further than half its step from
# what the simulated module reads back is one the module's field cannot hold (it wrapped).
_CALIBRATION_STEPS = {"offset": 8.0, "temperatureCalibration": 1.0,
                      "temperatureCompensation": 0.5}

Json = Any


class StationError(Exception):
    """A station that cannot run as asked: a recipe, serial list or database that cannot be
    used. Its status is the tool's for bad input."""

    status = BAD_INPUT


def utc_now() -> str:
    return datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="microseconds")


def _dump(value: Json) -> str:
    return json.dumps(value, sort_keys=True, allow_nan=True)


# --- the recipe ------------------------------------------------------------------------------


@dataclasses.dataclass(frozen=True)
class Check:
    name: str
    expected: Json
    tolerance: float = 0.0

    def holds(self, value: Json) -> bool:
        if isinstance(value, (int, float)) and isinstance(self.expected, (int, float)) \
                and not isinstance(value, bool):
            return math.isclose(float(value), float(self.expected), abs_tol=self.tolerance)
        return bool(value == self.expected)


@dataclasses.dataclass(frozen=True)
class Recipe:
    path: Path
    name: str
    digest: str
    profile: Optional[dict[str, Json]]
    preset: Optional[str]
    identity: dict[str, Json]
    checks: list[Check]
    read_only: list[Check]
    calibration_folder: Optional[Path]
    calibration_command: Optional[list[str]]
    calibration_timeout: float

    def calibration_for(self, serial: str) -> dict[str, Json]:
        """The calibration measured for one unit, from its file or the recipe's command."""
        if self.calibration_folder is not None:
            path = self.calibration_folder / f"{serial}.json"
            try:
                text = path.read_text()
            except OSError as failure:
                raise StationError(f"no calibration for {serial}: {failure}") from None
            source = str(path)
        else:
            assert self.calibration_command is not None
            command = [part.replace("{serial}", serial) for part in self.calibration_command]
            try:
                done = subprocess.run(command, cwd=self.path.parent, capture_output=True,
                                      text=True, timeout=self.calibration_timeout, check=False)
            except subprocess.TimeoutExpired:
                raise StationError(f"the calibration command for {serial} did not end within "
                                   f"{self.calibration_timeout:g} s") from None
            except OSError as failure:
                raise StationError(f"the calibration command cannot run: {failure}") from None
            if done.returncode != 0:
                raise StationError(f"the calibration command for {serial} exited with "
                                   f"{done.returncode}: {done.stderr.strip()}")
            text, source = done.stdout, f"the calibration command for {serial}"
        try:
            record = json.loads(text)
        except ValueError as failure:
            raise StationError(f"{source} is not JSON: {failure}") from None
        if not isinstance(record, dict):
            raise StationError(f"{source} is not a calibration record (a JSON object)")
        return record


def _table(data: dict[str, Json], key: str, where: str) -> dict[str, Json]:
    value = data.get(key, {})
    if not isinstance(value, dict):
        raise StationError(f"{where}: {key} must be a table")
    return value


def _checks(table: dict[str, Json], where: str) -> list[Check]:
    checks = []
    for name, entry in table.items():
        if not isinstance(entry, dict) or "expected" not in entry:
            raise StationError(f"{where}: {name} must be a table with expected (and tolerance)")
        unknown = set(entry) - {"expected", "tolerance"}
        if unknown:
            raise StationError(f"{where}: {name} has unknown keys {sorted(unknown)}")
        tolerance = entry.get("tolerance", 0.0)
        if not isinstance(tolerance, (int, float)) or tolerance < 0:
            raise StationError(f"{where}: {name}.tolerance must be a number of at least 0")
        checks.append(Check(name, entry["expected"], float(tolerance)))
    return checks


def load_recipe(path: Path) -> Recipe:
    """Reads and checks a recipe (TOML, or JSON by its suffix) against docs/station-recipe
    .schema.json's rules, so that a mistake is found before the first module."""
    try:
        raw = path.read_bytes()
    except OSError as failure:
        raise StationError(f"cannot read the recipe: {failure}") from None
    try:
        data = json.loads(raw) if path.suffix == ".json" else tomllib.loads(raw.decode())
    except (ValueError, UnicodeDecodeError) as failure:
        raise StationError(f"{path}: {failure}") from None
    where = str(path)
    unknown = set(data) - {"name", "settings", "identity", "checks", "read_only", "calibration"}
    if unknown:
        raise StationError(f"{where}: unknown keys {sorted(unknown)}")
    settings = _table(data, "settings", where)
    profile: Optional[dict[str, Json]] = None
    preset = settings.get("preset")
    if "profile" in settings:
        profile_path = path.parent / str(settings["profile"])
        try:
            profile = json.loads(profile_path.read_text())
        except (OSError, ValueError) as failure:
            raise StationError(f"{where}: settings.profile: {failure}") from None
    elif "parameters" in settings:
        profile = _table(settings, "parameters", where)
    if (profile is None) == (preset is None):
        raise StationError(f"{where}: settings needs one of profile, parameters or preset")
    calibration = _table(data, "calibration", where)
    folder = calibration.get("folder")
    command = calibration.get("command")
    if (folder is None) == (command is None):
        raise StationError(f"{where}: calibration needs one of folder or command")
    if command is not None and (not isinstance(command, list) or not command
                                or not all(isinstance(part, str) for part in command)):
        raise StationError(f"{where}: calibration.command must be a list of strings")
    checks = _checks(_table(data, "checks", where), f"{where}: checks")
    if not checks:
        raise StationError(f"{where}: checks names no parameter; a unit would pass unverified")
    return Recipe(
        path=path,
        name=str(data.get("name", path.stem)),
        digest=hashlib.sha256(raw).hexdigest(),
        profile=profile,
        preset=None if preset is None else str(preset),
        identity=_table(data, "identity", where),
        checks=checks,
        read_only=_checks(_table(data, "read_only", where), f"{where}: read_only"),
        calibration_folder=None if folder is None else path.parent / str(folder),
        calibration_command=command,
        calibration_timeout=float(calibration.get("timeout", 10.0)),
    )


# --- the database ----------------------------------------------------------------------------

_SCHEMA: list[list[str]] = [
    # Version 1. Rows are appended, never changed, except a session's heartbeat and end.
    [
        "CREATE TABLE sessions (session TEXT PRIMARY KEY, station TEXT NOT NULL,"
        " host TEXT NOT NULL, pid INTEGER NOT NULL, started TEXT NOT NULL,"
        " heartbeat TEXT NOT NULL, beat_interval REAL NOT NULL, ended TEXT)",
        "CREATE TABLE runs (run TEXT PRIMARY KEY, session TEXT NOT NULL, serial TEXT NOT NULL,"
        " station TEXT NOT NULL, position TEXT NOT NULL, adapter TEXT NOT NULL,"
        " operator TEXT NOT NULL, started TEXT NOT NULL, recipe TEXT NOT NULL,"
        " recipe_hash TEXT NOT NULL, plugin_version TEXT NOT NULL, sdk_version TEXT NOT NULL,"
        " client_version TEXT NOT NULL, module TEXT NOT NULL, rework INTEGER NOT NULL)",
        "CREATE INDEX runs_by_serial ON runs (serial)",
        "CREATE TABLE results (run TEXT PRIMARY KEY REFERENCES runs (run), ended TEXT NOT NULL,"
        " verdict TEXT NOT NULL, step TEXT, reason TEXT, kind TEXT, message TEXT,"
        " applied TEXT, calibration_written TEXT, calibration_read TEXT, profile TEXT,"
        " transactions INTEGER NOT NULL, duration REAL NOT NULL)",
        "CREATE TABLE checks (run TEXT NOT NULL REFERENCES runs (run), seq INTEGER NOT NULL,"
        " step TEXT NOT NULL, name TEXT NOT NULL, value TEXT, expected TEXT,"
        " verdict TEXT NOT NULL, PRIMARY KEY (run, seq))",
    ],
]

_RUN_COLUMNS = ("run", "session", "serial", "station", "position", "adapter", "operator",
                "started", "recipe", "recipe_hash", "plugin_version", "sdk_version",
                "client_version", "module", "rework")
_RESULT_COLUMNS = ("run", "ended", "verdict", "step", "reason", "kind", "message", "applied",
                   "calibration_written", "calibration_read", "profile", "transactions",
                   "duration")
_CHECK_COLUMNS = ("run", "seq", "step", "name", "value", "expected", "verdict")
_SESSION_COLUMNS = ("session", "station", "host", "pid", "started", "heartbeat", "beat_interval",
                    "ended")


class Unavailable(Exception):
    """The database could not be written or read: locked past the timeout, down, full."""


class _Connection(typing.Protocol):
    def execute(self, sql: str, parameters: typing.Sequence[Any] = ...) -> Any: ...
    def close(self) -> None: ...


def default_db() -> str:
    base = os.environ.get("XDG_DATA_HOME") or os.path.expanduser("~/.local/share")
    return str(Path(base) / "vexar" / "results.sqlite")


def default_spool() -> Path:
    base = os.environ.get("XDG_DATA_HOME") or os.path.expanduser("~/.local/share")
    return Path(base) / "vexar" / "spool"


class Database:
    """One schema in SQLite or PostgreSQL, one connection per thread (neither driver shares
    one across threads safely)."""

    def __init__(self, url: str, timeout: float = 5.0) -> None:
        self.url = url
        self.timeout = timeout
        self.postgres = url.startswith(("postgresql://", "postgres://"))
        if not self.postgres:
            self.path = url[len("sqlite://"):] if url.startswith("sqlite:///") else url
        self._local = threading.local()
        self._migrated = False

    def _connect(self) -> _Connection:
        if self.postgres:
            try:
                import psycopg
            except ImportError:
                raise StationError("a postgresql:// database needs python3-psycopg") from None
            try:
                return cast(_Connection, psycopg.connect(
                    self.url, autocommit=True, connect_timeout=max(1, int(self.timeout)),
                    options=f"-c lock_timeout={int(self.timeout * 1000)}"))
            except psycopg.Error as failure:
                raise Unavailable(str(failure).strip()) from None
        try:
            Path(self.path).parent.mkdir(parents=True, exist_ok=True)
            connection = sqlite3.connect(self.path, timeout=self.timeout, isolation_level=None,
                                         check_same_thread=False)
            connection.execute("PRAGMA journal_mode=WAL")
            return connection
        except (sqlite3.Error, OSError) as failure:
            raise Unavailable(f"{self.path}: {failure}") from None

    def _errors(self) -> tuple[type[BaseException], ...]:
        if self.postgres:
            import psycopg
            return (psycopg.Error, OSError)
        return (sqlite3.Error, OSError)

    @property
    def connection(self) -> _Connection:
        connection: Optional[_Connection] = getattr(self._local, "connection", None)
        if connection is None:
            connection = self._connect()
            self._local.connection = connection
        return connection

    def _sql(self, sql: str) -> str:
        return sql.replace("?", "%s") if self.postgres else sql

    def _drop(self) -> None:
        connection = getattr(self._local, "connection", None)
        self._local.connection = None
        if connection is not None:
            try:
                connection.close()
            except Exception:  # noqa: BLE001, a broken connection may fail to close too
                pass

    def transaction(self, work: Callable[[Callable[..., Any]], Any],
                    durable: bool = True) -> Any:
        """Runs work(execute) in one transaction; any failure of the database is Unavailable,
        and the next call connects anew. A transaction that need not be durable survives the
        process's death, not the machine's: on SQLite it is not flushed to the disk until the
        next durable one (which flushes both), saving a flush per unit."""
        try:
            connection = self.connection
            if not self._migrated:
                self._migrate(connection)
            if not self.postgres:
                connection.execute(f"PRAGMA synchronous={'FULL' if durable else 'NORMAL'}")
            connection.execute("BEGIN" if self.postgres else "BEGIN IMMEDIATE")
            try:
                result = work(lambda sql, *args: connection.execute(self._sql(sql), args))
                connection.execute("COMMIT")
                return result
            except BaseException:
                try:
                    connection.execute("ROLLBACK")
                except self._errors():
                    pass
                raise
        except self._errors() as failure:
            self._drop()
            raise Unavailable(str(failure).strip() or type(failure).__name__) from None

    def _migrate(self, connection: _Connection) -> None:
        # Stations of a line start together: one of them creates or upgrades the schema.
        connection.execute("BEGIN" if self.postgres else "BEGIN IMMEDIATE")
        try:
            if self.postgres:
                connection.execute("SELECT pg_advisory_xact_lock(7301)")
            connection.execute("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER)")
            row = connection.execute("SELECT max(version) FROM schema_version").fetchone()
            version = row[0] or 0
            if version > SCHEMA_VERSION:
                raise StationError(f"{self.url} holds schema version {version}; this station "
                                   f"knows up to {SCHEMA_VERSION}")
            for number in range(version + 1, SCHEMA_VERSION + 1):
                for statement in _SCHEMA[number - 1]:
                    connection.execute(statement)
                connection.execute(self._sql("INSERT INTO schema_version VALUES (?)"),
                                   (number,))
            connection.execute("COMMIT")
        except BaseException:
            connection.execute("ROLLBACK")
            raise
        self._migrated = True

    def query(self, sql: str, *args: Any) -> list[tuple[Any, ...]]:
        return cast(list[tuple[Any, ...]],
                    self.transaction(lambda execute: execute(sql, *args).fetchall()))

    def close(self) -> None:
        self._drop()


def _insert(execute: Callable[..., Any], table: str, columns: typing.Sequence[str],
            row: dict[str, Any]) -> None:
    # A row already there is the same row delivered again (from the spool): a no-op.
    key = columns[0] if table != "checks" else "run, seq"
    placeholders = ", ".join("?" for _ in columns)
    execute(f"INSERT INTO {table} ({', '.join(columns)}) VALUES ({placeholders})"
            f" ON CONFLICT ({key}) DO NOTHING", *[row.get(column) for column in columns])


def deliver(execute: Callable[..., Any], record: dict[str, Any]) -> None:
    """Writes what a spool file (or a run) holds; a second delivery changes nothing."""
    if record.get("session"):
        _insert(execute, "sessions", _SESSION_COLUMNS, record["session"])
    _insert(execute, "runs", _RUN_COLUMNS, record["run"])
    if record.get("result"):
        _insert(execute, "results", _RESULT_COLUMNS, record["result"])
        for check in record.get("checks", []):
            _insert(execute, "checks", _CHECK_COLUMNS, check)


# --- recording, with the spool when the database fails ---------------------------------------


class Recorder:
    """Where a station's runs go: the database, else one spool file per run."""

    def __init__(self, db: Database, spool: Path, station: str,
                 interval: float = 2.0) -> None:
        self.db = db
        self.spool = spool
        self.interval = interval
        now = utc_now()
        self.session = {"session": uuid.uuid4().hex, "station": station,
                        "host": socket.gethostname(), "pid": os.getpid(), "started": now,
                        "heartbeat": now, "beat_interval": interval, "ended": None}
        self._stop = threading.Event()
        self._beat: Optional[threading.Thread] = None
        self._spooled: dict[str, dict[str, Any]] = {}

    def start(self) -> None:
        self.heartbeat()
        self._beat = threading.Thread(target=self._beating, name="heartbeat", daemon=True)
        self._beat.start()

    def _beating(self) -> None:
        while not self._stop.wait(self.interval):
            self.heartbeat()

    def heartbeat(self, ended: Optional[str] = None) -> None:
        row = dict(self.session, heartbeat=utc_now(), ended=ended)

        def beat(execute: Callable[..., Any]) -> None:
            _insert(execute, "sessions", _SESSION_COLUMNS, row)
            execute("UPDATE sessions SET heartbeat = ?, ended = ? WHERE session = ?",
                    row["heartbeat"], ended, row["session"])
        try:
            self.db.transaction(beat, durable=False)
        except Unavailable:
            pass  # the runs say so; a silent heartbeat only makes them look aborted meanwhile

    def stop(self) -> None:
        self._stop.set()
        if self._beat is not None:
            self._beat.join()
        self.heartbeat(ended=utc_now())
        self.db.close()

    def _spool_file(self, run: str) -> Path:
        return self.spool / f"{run}.json"

    def write_spool(self, record: dict[str, Any]) -> Path:
        """Writes the run's record in one file, whole or not at all."""
        self.spool.mkdir(parents=True, exist_ok=True)
        final = self._spool_file(record["run"]["run"])
        partial = final.with_suffix(".partial")
        with open(partial, "w") as file:
            json.dump(record, file, allow_nan=True)
            file.flush()
            os.fsync(file.fileno())
        os.replace(partial, final)
        directory = os.open(self.spool, os.O_RDONLY)
        try:
            os.fsync(directory)
        finally:
            os.close(directory)
        return final

    def record(self, record: dict[str, Any]) -> Optional[str]:
        """Records a run's rows; returns None, or why the spool holds them instead."""
        run = record["run"]["run"]
        if run not in self._spooled:
            try:
                # The result is flushed to the disk, and the first row with it; the first row
                # alone only needs to outlive the station's process.
                self.db.transaction(lambda execute: deliver(execute, record),
                                    durable="result" in record)
                return None
            except Unavailable as failure:
                reason = str(failure)
        else:
            reason = "its first row is spooled"
        # Once a run is spooled its later rows follow it there, so that sync delivers the run
        # whole.
        try:
            self.write_spool(dict(record, session=self.session))
        except OSError as failure:
            raise StationError(f"run {run} of {record['run']['serial']} cannot be recorded: "
                               f"the database: {reason}; the spool: {failure}") from None
        self._spooled[run] = record
        return reason

    def passed_before(self, serial: str) -> bool:
        """Whether the unit has a PASS recorded, in the database or still spooled."""
        for file in self.spool.glob("*.json") if self.spool.is_dir() else []:
            try:
                spooled = json.loads(file.read_text())
            except (OSError, ValueError):
                continue
            result = spooled.get("result") or {}
            if spooled["run"]["serial"] == serial and result.get("verdict") == "PASS":
                return True
        rows = self.db.query("SELECT count(*) FROM runs JOIN results USING (run)"
                             " WHERE serial = ? AND verdict = 'PASS'", serial)
        return bool(rows[0][0])


def sync(db: Database, spool: Path, out: typing.TextIO) -> int:
    """Delivers the spool, each file once; returns how many runs it delivered."""
    delivered = 0
    for file in sorted(spool.glob("*.json")) if spool.is_dir() else []:
        try:
            record = json.loads(file.read_text())
        except (OSError, ValueError) as failure:
            out.write(f"{file}: skipped, {failure}\n")
            continue
        session = record.get("session") or {}
        if record.get("result") is None and session.get("host") == socket.gethostname() \
                and _alive(int(session.get("pid", 0))):
            continue  # a run still going writes its second row here itself
        db.transaction(lambda execute: deliver(execute, record))
        file.unlink()
        delivered += 1
    return delivered


def _alive(pid: int) -> bool:
    if pid <= 0 or pid == os.getpid():
        return False
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def spooled_count(spool: Path) -> int:
    return len(list(spool.glob("*.json"))) if spool.is_dir() else 0


# --- one unit --------------------------------------------------------------------------------


class Failed(Exception):
    """A step that did not pass: the module answered, the unit is not good."""

    def __init__(self, reason: str, message: str) -> None:
        super().__init__(message)
        self.reason = reason


@dataclasses.dataclass
class Unit:
    serial: str
    position: str
    adapter: str
    rework: bool = False


@dataclasses.dataclass
class Outcome:
    run: str
    verdict: str  # PASS, FAIL or NOT RUN
    status: int
    step: Optional[str] = None
    message: str = ""
    spooled: Optional[str] = None


def versions_of(cam: Optional[_vexar.Camera]) -> dict[str, str]:
    if cam is None:
        return {"plugin_version": "", "sdk_version": "", "client_version": __version__}
    versions = cam.versions
    return {"plugin_version": ".".join(map(str, versions.plugin)),
            "sdk_version": ".".join(map(str, versions.sdk)), "client_version": __version__}


def identity_of(cam: _vexar.Camera) -> dict[str, Json]:
    identity = cam.identity
    return {"source": identity.source, "key": list(identity.key),
            "header_value": identity.header_value,
            "components": {role: list(pair) for role, pair in identity.components.items()},
            "implementation_type": cam.versions.implementation_type}


def predicted_calibration(record: dict[str, Json]) -> dict[str, Json]:
    """What a module reads back after the record is written: the simulated module keeps what
    the real one keeps (its steps, its state words)."""
    with open_camera("sim") as sim:
        sim.write_calibration(record)
        return sim.read_calibration_json()


def unholdable(record: dict[str, Json], kept: dict[str, Json]) -> list[str]:
    """The numbers of the record that the module would not keep within its step."""
    wrong = []
    for entry, members in record.items():
        if not isinstance(members, dict):
            continue
        for member, value in members.items():
            # A phase offset is an entry's "offset"; temperatures and coefficients its "values".
            prefix = "offset" if member == "offset" else entry.rstrip("0123456789")
            step = _CALIBRATION_STEPS.get(prefix) if member in ("offset", "values") else None
            if step is None:
                continue
            wanted = value if isinstance(value, list) else [value]
            got = kept.get(entry, {}).get(member)
            got = got if isinstance(got, list) else [got]
            for w, g in zip(wanted, got):
                if isinstance(w, (int, float)) and math.isfinite(w) and (
                        not isinstance(g, (int, float)) or abs(g - w) > step / 2):
                    wrong.append(f"{entry}.{member} {w} would be kept as {g}")
    return wrong


class Station:
    """Runs units through a recipe and records each."""

    def __init__(self, recipe: Recipe, recorder: Recorder, operator: str,
                 out: Callable[[str], None],
                 opener: Callable[[str], _vexar.Camera] = open_camera) -> None:
        self.recipe = recipe
        self.recorder = recorder
        self.operator = operator
        self.out = out
        self.opener = opener

    def _say(self, unit: Unit, text: str) -> None:
        self.out(f"[{unit.position}] {unit.serial} {text}")

    def _row(self, unit: Unit, run: str, cam: Optional[_vexar.Camera],
             module: dict[str, Json]) -> dict[str, Any]:
        return {"run": run, "session": self.recorder.session["session"], "serial": unit.serial,
                "station": self.recorder.session["station"], "position": unit.position,
                "adapter": unit.adapter, "operator": self.operator, "started": utc_now(),
                "recipe": self.recipe.name, "recipe_hash": self.recipe.digest,
                **versions_of(cam), "module": _dump(module), "rework": int(unit.rework)}

    def not_run(self, unit: Unit, why: str) -> Outcome:
        """Records a unit that was never started, both rows at once."""
        run = uuid.uuid4().hex
        record = {"run": self._row(unit, run, None, {}),
                  "result": self._result(run, "NOT RUN", time.monotonic(), step=None,
                                         reason="not run", message=why)}
        spooled = self.recorder.record(record)
        self._say(unit, f"NOT RUN: {why}")
        return Outcome(run, "NOT RUN", PASSED, message=why, spooled=spooled)

    @staticmethod
    def _result(run: str, verdict: str, began: float, **values: Any) -> dict[str, Any]:
        return {"run": run, "ended": utc_now(), "verdict": verdict, "transactions": 0,
                "duration": time.monotonic() - began, **values}

    def run(self, unit: Unit) -> Outcome:
        """One unit from opening its module to its record. Never raises for the unit's own
        failures: they are the outcome."""
        began = time.monotonic()
        run = uuid.uuid4().hex
        if not unit.rework:
            try:
                if self.recorder.passed_before(unit.serial):
                    self._say(unit, "refused: already recorded as PASS (a rework must say so)")
                    return Outcome(run, "REFUSED", BAD_INPUT, "serial", "already passed")
            except Unavailable as failure:
                self._say(unit, f"cannot tell whether it passed before ({failure}); "
                                "checked the spool only")
        checks: list[dict[str, Any]] = []
        result: dict[str, Any] = {"applied": None, "calibration_written": None,
                                  "calibration_read": None, "profile": None}
        record: dict[str, Any] = {}
        spooled: list[str] = []
        step = "open"
        cam: Optional[_vexar.Camera] = None
        first: dict[str, Any] = {}  # the first row, once the module is known
        transactions = [0]

        def check(name: str, value: Json, wanted: Json, holds: bool) -> None:
            checks.append({"run": run, "seq": len(checks), "step": step, "name": name,
                           "value": _dump(value), "expected": _dump(wanted),
                           "verdict": "pass" if holds else "fail"})
            if isinstance(value, dict):
                # A calibration: the members that differ say more than two whole records.
                shown = ", ".join(f"{entry} {value.get(entry)} (expected {wanted.get(entry)})"
                                  for entry in sorted(set(value) | set(wanted))
                                  if value.get(entry) != wanted.get(entry)) or \
                    f"as the simulated module's, {len(value)} entries"
                self._say(unit, f"{step}: {name} {'ok' if holds else 'FAIL'}: {shown}")
            else:
                shown = f"{value}, expected {wanted}"
                self._say(unit, f"{step}: {name} = {value} ({'ok' if holds else 'FAIL'}, "
                                f"expected {wanted})")
            if not holds:
                raise Failed(name, f"{name}: {shown}")

        def save(verdict: str, **failure: Any) -> None:
            record["result"] = self._result(run, verdict, began, **result, **failure,
                                            transactions=transactions[0])
            record["checks"] = checks
            where = self.recorder.record(record)
            if where:
                spooled.append(where)

        try:
            cam = self.opener(unit.adapter)
            cam.on_transaction(lambda _: transactions.__setitem__(0, transactions[0] + 1))
            step = "identity"
            module = identity_of(cam)
            first.update(self._row(unit, run, cam, module))
            for key, wanted in self.recipe.identity.items():
                check(key, module.get(key), wanted, module.get(key) == wanted)
            # The first row, before anything is written to the module.
            record["run"] = first
            where = self.recorder.record(record)
            if where:
                spooled.append(where)
                self._say(unit, f"recording to the spool: {where}")
            self._say(unit, f"started run {run}")
            step = "settings"
            applied = self._apply(cam)
            result["applied"] = _dump(applied)
            self._say(unit, f"settings: applied {self.recipe.preset or 'the recipe profile'}, "
                            f"the module holds {len(applied)} values")
            step = "verify"
            for wanted in self.recipe.checks + self.recipe.read_only:
                value = cam.get(wanted.name)
                check(wanted.name, value, wanted.expected, wanted.holds(value))
            step = "calibration"
            calibration = self.recipe.calibration_for(unit.serial)
            expected = predicted_calibration(calibration)
            wrong = unholdable(calibration, expected)
            if wrong:
                raise Failed("cannot hold", "refused before writing: " + "; ".join(wrong))
            result["calibration_written"] = _dump(calibration)
            cam.write_calibration(calibration)
            read = cam.read_calibration_json()
            result["calibration_read"] = _dump(read)
            check("read-back", read, expected, read == expected)
            step = "profile"
            profile = cam.profile()
            result["profile"] = _dump(profile)
            # Every check of the recipe and the calibration's read-back must have passed: a
            # PASS is never recorded on less.
            verified = {c["name"] for c in checks if c["verdict"] == "pass"}
            needed = {c.name for c in self.recipe.checks + self.recipe.read_only}
            unverified = (needed | {"read-back"}) - verified
            if unverified:
                raise Failed("unverified", f"not verified: {', '.join(sorted(unverified))}")
            step = "record"
            save("PASS")
            outcome = Outcome(run, "PASS", PASSED)
        except Failed as failure:
            outcome = self._failed(unit, record, first, save, run, step, failure.reason, None,
                                   str(failure), UNIT_FAILED)
        except Error as failure:
            outcome = self._failed(unit, record, first, save, run, step, failure.kind,
                                   failure.kind,
                                   str(failure), _KIND_STATUS.get(failure.kind, 70))
        except StationError as failure:
            outcome = self._failed(unit, record, first, save, run, step, "station", "BadInput",
                                   str(failure), BAD_INPUT)
        finally:
            if cam is not None:
                cam.close()
        outcome.spooled = spooled[-1] if spooled else None
        if outcome.spooled and outcome.verdict in ("PASS", "FAIL"):
            self._say(unit, f"recorded in the spool ({outcome.spooled})")
        self._say(unit, outcome.verdict + (f" at {outcome.step}: {outcome.message}"
                                           if outcome.verdict != "PASS" else ""))
        return outcome

    def _failed(self, unit: Unit, record: dict[str, Any], first: dict[str, Any],
                save: Callable[..., None], run: str, step: str, reason: str,
                kind: Optional[str], message: str, status: int) -> Outcome:
        if "run" not in record:
            # Nothing was written to the module yet; the run is still recorded, whole, with
            # what is known of the module.
            record["run"] = first or self._row(unit, run, None, {})
        save("FAIL", step=step, reason=reason, kind=kind, message=message)
        return Outcome(run, "FAIL", status, step, message)

    def _apply(self, cam: _vexar.Camera) -> dict[str, Json]:
        """Applies the recipe's settings through a dry run first, in one hold: settings the
        module would refuse stop here before any write, and what is written is what the dry
        run showed."""
        with warnings.catch_warnings(), cam.hold():
            warnings.simplefilter("ignore", OutsideRangeWarning)
            if self.recipe.preset is not None:
                dry = cam.load_preset(self.recipe.preset, dry_run=True)
            else:
                assert self.recipe.profile is not None
                dry = cam.apply_profile(self.recipe.profile, dry_run=True)
            cam.apply_dry_run(dry)
        return dict(cam.profile()["parameters"])


# --- batches ---------------------------------------------------------------------------------


def read_serials(path: Path, positions: list[str]) -> dict[str, list[str]]:
    """A serials file: one unit a line, "POSITION SERIAL", or the serial alone when the station
    has one fixture; # starts a comment."""
    queues: dict[str, list[str]] = {position: [] for position in positions}
    seen: set[str] = set()
    try:
        lines = path.read_text().splitlines()
    except OSError as failure:
        raise StationError(f"cannot read the serials: {failure}") from None
    for number, line in enumerate(lines, 1):
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        if len(words) == 1 and len(positions) == 1:
            position, serial = positions[0], words[0]
        elif len(words) == 2:
            position, serial = words
        else:
            raise StationError(f"{path}:{number}: expected POSITION SERIAL")
        if position not in queues:
            raise StationError(f"{path}:{number}: no fixture {position} "
                               f"(the fixtures are {', '.join(positions)})")
        if serial in seen:
            raise StationError(f"{path}:{number}: {serial} is listed twice")
        seen.add(serial)
        queues[position].append(serial)
    return queues


def parse_cameras(options: list[str]) -> dict[str, str]:
    cameras: dict[str, str] = {}
    for option in options or ["sim"]:
        position, _, where = option.rpartition("=")
        position = position or str(len(cameras) + 1)
        if not where or position in cameras:
            raise StationError(f"--camera {option}: give each fixture one POSITION=WHERE")
        cameras[position] = where
    return cameras


def run_batch(station: Station, cameras: dict[str, str], serials: Optional[dict[str, list[str]]],
              rework: bool, prompt: Callable[[str], str]) -> list[Outcome]:
    """Runs each fixture's units on a thread of its own; a Ctrl-C lets the units under way end
    and records the rest as not run."""
    stop = threading.Event()
    outcomes: list[Outcome] = []
    lock = threading.Lock()
    work: dict[str, queue.Queue[Optional[str]]] = {p: queue.Queue() for p in cameras}

    ends = {p: threading.Event() for p in cameras}

    def fixture(position: str) -> None:
        try:
            units(position)
        finally:
            ends[position].set()

    def units(position: str) -> None:
        while True:
            serial = work[position].get()
            if serial is None:
                return
            unit = Unit(serial, position, cameras[position], rework)
            try:
                outcome = station.not_run(unit, "the run was interrupted") if stop.is_set() \
                    else station.run(unit)
            except StationError as failure:
                # Neither the database nor the spool took the record: the unit's result is not
                # kept, so it neither passed nor failed here.
                station.out(f"[{position}] {serial} NOT RECORDED: {failure}")
                outcome = Outcome("", "NOT RECORDED", failure.status, "record", str(failure))
            with lock:
                outcomes.append(outcome)

    # A listed batch is queued whole, each fixture's end marked, before any unit starts: a
    # Ctrl-C from then on cannot leave a serial unqueued, and so unrecorded.
    if serials is not None:
        for position, listed in serials.items():
            for serial in listed:
                work[position].put(serial)
            work[position].put(None)
    threads = [threading.Thread(target=fixture, args=(p,), name=f"fixture {p}")
               for p in cameras]
    try:
        for thread in threads:
            thread.start()
        while serials is None:
            for position in cameras:
                # Each prompt names its fixture: a serial bound to the wrong module is the
                # worst a station can do.
                try:
                    serial = prompt(f"serial for fixture {position} "
                                    f"({cameras[position]}): ").strip()
                except EOFError:
                    serials = {}
                    break
                if serial:
                    work[position].put(serial)
    except KeyboardInterrupt:
        stop.set()
        station.out("interrupted: finishing the units under way")
    finally:
        for position in cameras:
            work[position].put(None)  # once more for a listed batch: a second one is not read
        for thread in threads:
            if thread.ident is None:
                # Interrupted before this fixture began: it records its units as not run.
                stop.set()
                thread.start()
    # Waited for by polling their ends: a Ctrl-C that interrupts Thread.join can leave a
    # thread still running look ended (before Python 3.13), and its units would be lost.
    while not all(end.is_set() for end in ends.values()):
        try:
            time.sleep(0.05)
        except KeyboardInterrupt:
            stop.set()
            station.out("interrupted: finishing the units under way")
    for thread in threads:
        thread.join()
    return outcomes


# --- reports ---------------------------------------------------------------------------------

_RUNS = ("SELECT run, serial, runs.station, position, adapter, operator, runs.started,"
         " rework, verdict, step, reason, results.ended, transactions, duration,"
         " calibration_written, calibration_read, heartbeat, beat_interval, sessions.ended"
         " FROM runs LEFT JOIN results USING (run) LEFT JOIN sessions USING (session)")


def _state(row: tuple[Any, ...], now: datetime.datetime) -> str:
    verdict, heartbeat, interval, session_ended = row[8], row[16], row[17], row[18]
    if verdict is not None:
        return str(verdict)
    if session_ended is None and heartbeat is not None:
        last = datetime.datetime.fromisoformat(heartbeat)
        if (now - last).total_seconds() <= 3 * float(interval) + 1:
            return "RUNNING"
    return "ABORTED"


def runs(db: Database, since: Optional[str] = None, station: Optional[str] = None,
         serial: Optional[str] = None) -> list[dict[str, Any]]:
    where, args = [], []
    for column, value in (("runs.started >= ", since), ("runs.station = ", station),
                          ("serial = ", serial)):
        if value is not None:
            where.append(f"{column}?")
            args.append(value)
    sql = _RUNS + (" WHERE " + " AND ".join(where) if where else "") + " ORDER BY runs.started, run"
    now = datetime.datetime.now(datetime.timezone.utc)
    names = ("run", "serial", "station", "position", "adapter", "operator", "started",
             "rework", "verdict", "step", "reason", "ended", "transactions", "duration",
             "calibration_written", "calibration_read")
    return [dict(zip(names, row[:16]), state=_state(row, now))
            for row in db.query(sql, *args)]


def _yield(rows: list[dict[str, Any]]) -> dict[str, Any]:
    first: dict[str, str] = {}
    for row in rows:
        if row["state"] in ("PASS", "FAIL", "ABORTED"):
            first.setdefault(row["serial"], row["state"])
    units = len(first)
    passed = sum(1 for state in first.values() if state == "PASS")
    return {"units": units, "first_pass": passed,
            "first_pass_yield": round(passed / units, 4) if units else None,
            "runs": sum(1 for row in rows if row["state"] != "NOT RUN"),
            "not_run": sum(1 for row in rows if row["state"] == "NOT RUN"),
            "aborted": sum(1 for row in rows if row["state"] == "ABORTED"),
            "running": sum(1 for row in rows if row["state"] == "RUNNING")}


def report(db: Database, spool: Path, since: Optional[str],
           station: Optional[str]) -> dict[str, Any]:
    rows = runs(db, since, station)
    failures: dict[tuple[str, str], int] = {}
    for row in rows:
        if row["state"] == "FAIL":
            key = (row["step"] or "", row["reason"] or "")
            failures[key] = failures.get(key, 0) + 1
        elif row["state"] == "ABORTED":
            failures[("aborted", "no result")] = failures.get(("aborted", "no result"), 0) + 1
    by_station: dict[str, list[dict[str, Any]]] = {}
    by_day: dict[str, list[dict[str, Any]]] = {}
    for row in rows:
        by_station.setdefault(row["station"], []).append(row)
        by_day.setdefault(row["started"][:10], []).append(row)
    return {
        **_yield(rows),
        "spooled": spooled_count(spool),
        "failures": [{"step": step, "reason": reason, "count": count} for (step, reason), count
                     in sorted(failures.items(), key=lambda item: (-item[1], item[0]))],
        "stations": {name: _yield(part) for name, part in sorted(by_station.items())},
        "days": {day: _yield(part) for day, part in sorted(by_day.items())},
    }


def _percent(value: Optional[float]) -> str:
    return "-" if value is None else f"{100 * value:.1f}%"


def print_report(data: dict[str, Any], form: str, out: typing.TextIO) -> None:
    if form == "json":
        json.dump(data, out, indent=2)
        out.write("\n")
        return
    if form == "csv":
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(["group", "name", "units", "first_pass", "first_pass_yield", "runs",
                         "not_run", "aborted", "running"])
        groups = [("all", "", data)] + [("station", k, v) for k, v in data["stations"].items()] \
            + [("day", k, v) for k, v in data["days"].items()]
        for group, name, part in groups:
            writer.writerow([group, name] + [part[k] for k in ("units", "first_pass",
                             "first_pass_yield", "runs", "not_run", "aborted", "running")])
        for failure in data["failures"]:
            writer.writerow(["failure", f"{failure['step']}: {failure['reason']}",
                             failure["count"]])
        return
    out.write(f"units tested: {data['units']}, first-pass yield "
              f"{_percent(data['first_pass_yield'])} ({data['first_pass']} of {data['units']})\n")
    out.write(f"runs: {data['runs']}, aborted {data['aborted']}, running {data['running']}, "
              f"not run {data['not_run']}, still spooled {data['spooled']}\n")
    if data["failures"]:
        out.write("failures:\n")
        for failure in data["failures"]:
            out.write(f"  {failure['count']:5}  {failure['step']}: {failure['reason']}\n")
    for title, key in (("station", "stations"), ("day", "days")):
        out.write(f"by {title}:\n")
        for name, part in data[key].items():
            out.write(f"  {name}: {part['units']} units, first-pass yield "
                      f"{_percent(part['first_pass_yield'])}, {part['runs']} runs\n")


def print_history(rows: list[dict[str, Any]], out: typing.TextIO) -> None:
    for row in rows:
        out.write(f"{row['started']}  {row['state']:7}  run {row['run']}  station "
                  f"{row['station']} fixture {row['position']} ({row['adapter']}), operator "
                  f"{row['operator']}{', rework' if row['rework'] else ''}\n")
        if row["step"]:
            out.write(f"    failed at {row['step']}: {row['reason']}\n")
        for label, key in (("written", "calibration_written"), ("read back", "calibration_read")):
            if row[key]:
                out.write(f"    calibration {label}: {row[key]}\n")


# --- the command -----------------------------------------------------------------------------


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="vexar-station", description=__doc__.splitlines()[0])
    common = argparse.ArgumentParser(add_help=False)
    common.add_argument("--db", default=None,
                        help="a SQLite file (PATH or sqlite:///PATH) or a postgresql:// URL")
    common.add_argument("--spool", type=Path, default=None,
                        help="where runs go that the database does not take")
    common.add_argument("--db-timeout", type=float, default=5.0, metavar="SECONDS")
    commands = parser.add_subparsers(dest="command", required=True)
    run = commands.add_parser("run", parents=[common], help="test units")
    run.add_argument("--recipe", type=Path, required=True)
    which = run.add_mutually_exclusive_group()
    which.add_argument("--serial")
    which.add_argument("--serials", type=Path, metavar="FILE")
    run.add_argument("--camera", action="append", default=[], metavar="[POSITION=]WHERE")
    run.add_argument("--operator", default=os.environ.get("USER", "unknown"))
    run.add_argument("--station", default=socket.gethostname())
    run.add_argument("--rework", action="store_true",
                     help="test units already recorded as PASS again")
    run.add_argument("--heartbeat", type=float, default=2.0, metavar="SECONDS")
    commands.add_parser("sync", parents=[common], help="deliver the spool")
    rep = commands.add_parser("report", parents=[common], help="yield and failures")
    rep.add_argument("--since", help="an ISO date or time (UTC)")
    rep.add_argument("--station")
    rep.add_argument("--format", choices=["text", "csv", "json"], default="text")
    history = commands.add_parser("history", parents=[common], help="every run of one unit")
    history.add_argument("serial")
    return parser


def _run(args: argparse.Namespace, db: Database, spool: Path) -> int:
    recipe = load_recipe(args.recipe)
    cameras = parse_cameras(args.camera)
    if args.serial is not None:
        if len(cameras) != 1:
            raise StationError("--serial names one unit; with several fixtures use --serials")
        serials: Optional[dict[str, list[str]]] = {next(iter(cameras)): [args.serial]}
    elif args.serials is not None:
        serials = read_serials(args.serials, list(cameras))
    else:
        serials = None
    printing = threading.Lock()

    def out(line: str) -> None:
        with printing:
            print(line, flush=True)

    recorder = Recorder(db, spool, args.station, args.heartbeat)
    recorder.start()
    try:
        station = Station(recipe, recorder, args.operator, out)
        outcomes = run_batch(station, cameras, serials, args.rework, input)
    finally:
        recorder.stop()
    failing = [o.status for o in outcomes if o.status != PASSED]
    # The worst of the units: a station fault before a unit's failure, since it says the
    # other results may not mean what they seem.
    return max(failing, key=lambda s: (s != UNIT_FAILED, s)) if failing else PASSED


def main(argv: Optional[list[str]] = None) -> int:
    args = _parser().parse_args(argv)
    db = Database(args.db or default_db(), args.db_timeout)
    spool = args.spool or default_spool()
    try:
        if args.command == "run":
            return _run(args, db, spool)
        if args.command == "sync":
            count = sync(db, spool, sys.stdout)
            print(f"delivered {count} runs; {spooled_count(spool)} still spooled")
        elif args.command == "report":
            print_report(report(db, spool, args.since, args.station), args.format, sys.stdout)
        else:
            rows = runs(db, serial=args.serial)
            if not rows:
                print(f"no runs of {args.serial}")
            print_history(rows, sys.stdout)
        return PASSED
    except StationError as failure:
        print(f"vexar-station: {failure}", file=sys.stderr)
        return failure.status
    except Unavailable as failure:
        print(f"vexar-station: the database cannot be used: {failure}", file=sys.stderr)
        return BAD_INPUT
    finally:
        db.close()


def entry() -> None:
    # Ctrl-C as any Python program has it, also when started in the background.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        status = main()
        sys.stdout.flush()
    except BrokenPipeError:
        # Output that cannot be written is bad input, as for vexar-ctl; the interpreter's own
        # flush at exit must not complain again.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        status = BAD_INPUT
    sys.exit(status)



if __name__ == "__main__":
    entry()
