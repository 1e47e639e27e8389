"""Stations side by side on one database, some killed with SIGKILL, through an outage of the
database: every unit run is recorded once, finished or aborted, none twice, none lost.

VEXAR_STATION_DB_URL names the database (default: a SQLite file of the test's own; the
PostgreSQL stage passes a throwaway server's, whose superuser can take the database away);
VEXAR_STATION_SOAK_PROCESSES and VEXAR_STATION_SOAK_SECONDS set the size and length."""

import os
import random
import sqlite3
import subprocess
import sys
import threading
import time
import uuid
from pathlib import Path
from typing import Callable, Iterator

import pytest

from vexar import station

ROOT = Path(__file__).parents[2]
RECIPE = ROOT / "python" / "examples" / "station.toml"
STATION = ROOT / "python" / "bin" / "vexar-station"
SECONDS = float(os.environ.get("VEXAR_STATION_SOAK_SECONDS", "4"))
UNITS_PER_PROCESS = 12
HEARTBEAT = 0.3


def spooled(output: str) -> bool:
    # "spool" alone also stands in messages of stations that met the outage before recording.
    return "recording to the spool" in output or "recorded in the spool" in output


def outage(until: Callable[[], bool]) -> None:
    # At least 1.5 s, and on a loaded machine until a station has met it (at most 15 s).
    began = time.monotonic()
    while time.monotonic() - began < 15 and (time.monotonic() - began < 1.5 or not until()):
        time.sleep(0.1)


@pytest.fixture
def database(tmp_path: Path) -> Iterator[tuple[str, Callable[[Callable[[], bool]], None], int]]:
    """A database URL, a way to take it away until a condition holds, and how many
    stations."""
    server = os.environ.get("VEXAR_STATION_DB_URL")
    if not server:
        url = str(tmp_path / "results.sqlite")
        station.Database(url).query("SELECT 1")  # the schema, before the stations race for it

        def locked(until: Callable[[], bool]) -> None:
            holder = sqlite3.connect(url, isolation_level=None)
            holder.execute("BEGIN EXCLUSIVE")
            outage(until)
            holder.execute("ROLLBACK")
            holder.close()

        yield url, locked, int(os.environ.get("VEXAR_STATION_SOAK_PROCESSES", "4"))
        return
    import psycopg
    name = f"station_{uuid.uuid4().hex[:8]}"
    admin = psycopg.connect(server, autocommit=True)
    admin.execute(f"CREATE DATABASE {name}")
    url = server.rsplit("/", 1)[0] + f"/{name}"

    def down(until: Callable[[], bool]) -> None:
        # The database refuses connections and drops those it has, as a server going away does.
        admin.execute(f"ALTER DATABASE {name} ALLOW_CONNECTIONS false")
        admin.execute("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                      " WHERE datname = %s AND pid <> pg_backend_pid()", (name,))
        outage(until)
        admin.execute(f"ALTER DATABASE {name} ALLOW_CONNECTIONS true")

    yield url, down, int(os.environ.get("VEXAR_STATION_SOAK_PROCESSES", "16"))
    admin.execute(f"DROP DATABASE {name} WITH (FORCE)")
    admin.close()


class Fleet:
    """Station processes, each testing a list of serials of its own."""

    def __init__(self, folder: Path, url: str) -> None:
        self.folder = folder
        self.url = url
        self.spool = folder / "spool"
        self.children: list[tuple[subprocess.Popen[bytes], Path]] = []
        self.count = 0
        (folder / "calibration").mkdir()
        self.recipe = folder / "station.toml"
        self.recipe.write_text(RECIPE.read_text().replace('"station-calibration"',
                                                          '"calibration"'))
        self.sample = (RECIPE.parent / "station-calibration" / "SN0001.json").read_text()

    def spawn(self) -> None:
        self.count += 1
        serials = [f"P{self.count}U{n}" for n in range(UNITS_PER_PROCESS)]
        for serial in serials:
            (self.folder / "calibration" / f"{serial}.json").write_text(self.sample)
        listing = self.folder / f"serials{self.count}"
        listing.write_text("\n".join(serials) + "\n")
        output = self.folder / f"out{self.count}"
        with open(output, "wb") as out:
            child = subprocess.Popen(
                [sys.executable, str(STATION), "run", "--recipe", str(self.recipe), "--serials",
                 str(listing), "--station", f"soak{self.count}", "--db", self.url, "--spool",
                 str(self.spool), "--db-timeout", "0.3", "--heartbeat", str(HEARTBEAT)],
                stdout=out, stderr=subprocess.STDOUT)
        self.children.append((child, output))

    def running(self) -> list[subprocess.Popen[bytes]]:
        return [child for child, _ in self.children if child.poll() is None]

    def mid_unit(self, child: subprocess.Popen[bytes]) -> bool:
        path = next(path for c, path in self.children if c is child)
        lines = path.read_bytes().splitlines()
        return bool(lines) and not lines[-1].endswith((b" PASS", b"FAIL"))

    def output(self) -> str:
        return "".join(path.read_text() for _, path in self.children)


def test_every_run_is_recorded_once(tmp_path: Path,
                                    database: tuple[str, Callable[[Callable[[], bool]], None],
                                                    int]) -> None:
    url, take_away, size = database
    fleet = Fleet(tmp_path, url)
    for _ in range(size):
        fleet.spawn()
    began = time.monotonic()
    def middle() -> None:
        time.sleep(SECONDS / 3)
        take_away(lambda: spooled(fleet.output()))

    outage = threading.Thread(target=middle)
    outage.start()
    killed = 0
    while time.monotonic() - began < SECONDS:
        time.sleep(0.25)
        alive = fleet.running()
        if alive and random.random() < 0.4:
            # Mostly one in the middle of a unit, between its two rows.
            busy = [child for child in alive if fleet.mid_unit(child)]
            random.choice(busy or alive).kill()
            killed += 1
        while len(fleet.running()) < size:
            fleet.spawn()
    outage.join()
    for child, _ in fleet.children:
        assert child.wait(120) in (0, -9), fleet.output()
    output = fleet.output()
    assert spooled(output), "the outage spooled nothing"

    db = station.Database(url)
    first = station.sync(db, fleet.spool, sys.stdout)
    assert first > 0 and station.sync(db, fleet.spool, sys.stdout) == 0
    assert station.spooled_count(fleet.spool) == 0
    time.sleep(3 * HEARTBEAT + 1.2)  # the killed stations' heartbeats are then stale
    rows = station.runs(db)
    by_run = {row["run"]: row for row in rows}
    started = {line.rsplit(" ", 1)[1] for line in output.splitlines()
               if " started run " in line}
    passed = {line.split()[1] for line in output.splitlines() if line.endswith(" PASS")}
    assert started <= set(by_run), "a run that started is missing"
    assert len(by_run) == len(rows), "a run is recorded twice"
    serials = [row["serial"] for row in rows]
    assert len(set(serials)) == len(serials), "a unit has two runs"
    assert {row["state"] for row in rows} <= {"PASS", "ABORTED"}, \
        [r for r in rows if r["state"] not in ("PASS", "ABORTED")]
    # A station killed after recording its PASS may not have printed it.
    assert passed <= {row["serial"] for row in rows if row["state"] == "PASS"}
    print(f"{fleet.count} stations, {killed} killed, {len(rows)} runs, {len(passed)} passed, "
          f"{sum(r['state'] == 'ABORTED' for r in rows)} aborted, {first} delivered from the "
          "spool")
