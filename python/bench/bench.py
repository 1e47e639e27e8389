#!/usr/bin/python3
"""Times cam.get("FrameRate") and cam.set("FrameRate", 25.0) from Python next to the same
calls through the C++ client library (vexar-client-bench), in one run on the simulated
module, the whole of a short Python process that opens the camera and reads a value, and
the throughput of CAMERAS cameras driven from as many threads, each on a Python bus that waits
WAIT seconds per transfer as an adapter does, next to one camera's alone.

    PYTHONPATH=BUILD/python /usr/bin/python3 python/bench/bench.py BUILD

Medians and the fastest of the repetitions; each repetition times a batch of calls and
divides. Each call is timed twice: by the clock on the wall and by the CPU time of the thread
that makes it. On a shared machine the wall clock also counts the time other processes had the
core; the CPU time counts only the call's own work, and what Python adds is their difference.
"""

import json
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path
from typing import Callable

import vexar
import vexar_client_loops  # type: ignore[import]

REPETITIONS = 25
BATCH = 2000
STARTS = 20
ONE_SHOT = 'import vexar; vexar.open("sim").get("FrameRate")'
CAMERAS = 8
WAIT = 100e-6
THREAD_SECONDS = 2.0
SENSOR = {0x5C: 0x000, 0x58: 0x100}  # the sensor's two banks of 24-bit registers


class AdapterLikeBus:
    """A Python bus in front of a simulated module of its own that sleeps WAIT per transfer,
    letting the GIL go as a real adapter's driver call does."""

    def __init__(self) -> None:
        self.module = vexar.open("sim")

    def read(self, device: int, register: int, length: int) -> bytes:
        time.sleep(WAIT)
        if device in SENSOR and length == 3:
            return self.module.read_register(SENSOR[device] + register).to_bytes(3, "little")
        return bytes([self.module.read_register(register, device=device) or 0])

    def write(self, device: int, register: int, data: bytes) -> None:
        time.sleep(WAIT)
        if device in SENSOR and len(data) == 3:
            self.module.write_register(SENSOR[device] + register, int.from_bytes(data, "little"))
        else:
            self.module.write_register(register, data[0], device=device)


# Microseconds of one call: the median and the fastest of the repetitions. On a shared
# machine the fastest is the one other processes disturbed least.
Timed = tuple[float, float]
CLOCKS = ("wall", "cpu")


def python_times(call: Callable[[], object]) -> dict[str, Timed]:
    """One call's time over REPETITIONS batches of BATCH calls, by each clock."""
    per_call: dict[str, list[float]] = {clock: [] for clock in CLOCKS}
    for _ in range(REPETITIONS):
        wall, cpu = time.perf_counter_ns(), time.thread_time_ns()
        for _ in range(BATCH):
            call()
        per_call["cpu"].append((time.thread_time_ns() - cpu) / BATCH / 1000)
        per_call["wall"].append((time.perf_counter_ns() - wall) / BATCH / 1000)
    return {clock: (statistics.median(t), min(t)) for clock, t in per_call.items()}


def native_times(binary: Path) -> dict[str, dict[str, Timed]]:
    """Each benchmark of vexar-client-bench over REPETITIONS repetitions, by each clock."""
    done = subprocess.run(
        [str(binary), f"--benchmark_repetitions={REPETITIONS}", "--benchmark_format=json"],
        capture_output=True, text=True, check=True)
    runs: dict[str, dict[str, list[float]]] = {}
    for row in json.loads(done.stdout)["benchmarks"]:
        if row.get("run_type") == "iteration":
            scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[row["time_unit"]]
            clocks = runs.setdefault(row["run_name"], {clock: [] for clock in CLOCKS})
            clocks["wall"].append(row["real_time"] * scale)
            clocks["cpu"].append(row["cpu_time"] * scale)
    return {name: {clock: (statistics.median(t), min(t)) for clock, t in clocks.items()}
            for name, clocks in runs.items()}


def process_median() -> float:
    """Median milliseconds of a whole python3 process that imports, opens and reads."""
    times = []
    for _ in range(STARTS):
        start = time.perf_counter()
        subprocess.run([sys.executable, "-c", ONE_SHOT], check=True)
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)


def calls_per_second(cameras: list[vexar.Camera]) -> float:
    """Calls of get("FrameRate") per second over all cameras, each driven by a thread of its
    own for THREAD_SECONDS."""
    counts = [0] * len(cameras)
    start = threading.Barrier(len(cameras) + 1)
    deadline = 0.0

    def drive(index: int) -> None:
        start.wait()
        while time.perf_counter() < deadline:
            cameras[index].get("FrameRate")
            counts[index] += 1

    threads = [threading.Thread(target=drive, args=(i,)) for i in range(len(cameras))]
    for thread in threads:
        thread.start()
    deadline = time.perf_counter() + THREAD_SECONDS
    start.wait()
    for thread in threads:
        thread.join()
    return sum(counts) / THREAD_SECONDS


def paired_times(native: Callable[[int], object],
                 python: Callable[[], object]) -> dict[str, tuple[Timed, Timed, Timed]]:
    """A batch through the C++ loop and one through Python's in turn, REPETITIONS times, by
    each clock: (C++, Python, added) with added the median and smallest of the pairs'
    differences, so that whatever slowed one repetition slowed both of its halves."""
    runs: dict[str, list[tuple[float, float]]] = {clock: [] for clock in CLOCKS}
    for _ in range(REPETITIONS):
        wall, cpu = time.perf_counter_ns(), time.thread_time_ns()
        native(BATCH)
        native_cpu, native_wall = time.thread_time_ns() - cpu, time.perf_counter_ns() - wall
        wall, cpu = time.perf_counter_ns(), time.thread_time_ns()
        for _ in range(BATCH):
            python()
        python_cpu, python_wall = time.thread_time_ns() - cpu, time.perf_counter_ns() - wall
        runs["cpu"].append((native_cpu / BATCH / 1000, python_cpu / BATCH / 1000))
        runs["wall"].append((native_wall / BATCH / 1000, python_wall / BATCH / 1000))
    result = {}
    for clock, pairs in runs.items():
        c = [pair[0] for pair in pairs]
        p = [pair[1] for pair in pairs]
        added = [b - a for a, b in pairs]
        result[clock] = ((statistics.median(c), min(c)), (statistics.median(p), min(p)),
                         (statistics.median(added), min(added)))
    return result


def main() -> int:
    """Prints the table."""
    build = Path(sys.argv[1] if len(sys.argv) > 1 else "build")
    native = native_times(build / "bin" / "vexar-client-bench")
    cam = vexar.open("sim")
    python = {
        "getFrameRate": python_times(lambda: cam.get("FrameRate")),
        "setFrameRate": python_times(lambda: cam.set("FrameRate", 25.0)),
    }
    print("Apart: Google Benchmark's process, then Python's")
    print(f"{'call (µs: median / fastest)':<32} {'clock':<5} {'C++':>11} {'Python':>11} "
          f"{'added':>11}")
    for name, call in (("getFrameRate", 'cam.get("FrameRate")'),
                       ("setFrameRate", 'cam.set("FrameRate", 25.0)')):
        for clock in CLOCKS:
            (c_median, c_min), (p_median, p_min) = native[name][clock], python[name][clock]
            print(f"{call:<32} {clock:<5} {c_median:5.2f}/{c_min:5.2f} {p_median:5.2f}/{p_min:5.2f} "
                  f"{p_median - c_median:5.2f}/{p_min - c_min:5.2f}")
    loops = vexar_client_loops.Camera()
    print("In turn, in this process: a C++ loop's batch, then Python's")
    for name, native_call, python_call in (
            ('cam.get("FrameRate")', loops.get_frame_rate, lambda: cam.get("FrameRate")),
            ('cam.set("FrameRate", 25.0)', loops.set_frame_rate,
             lambda: cam.set("FrameRate", 25.0))):
        for clock, (c, p, added) in paired_times(native_call, python_call).items():
            print(f"{name:<32} {clock:<5} {c[0]:5.2f}/{c[1]:5.2f} {p[0]:5.2f}/{p[1]:5.2f} "
                  f"{added[0]:5.2f}/{added[1]:5.2f}")
    print(f"python3 -c '{ONE_SHOT}': {process_median():.1f} ms (median of {STARTS})")
    cameras = [vexar.open(bus=AdapterLikeBus()) for _ in range(CAMERAS)]
    alone = calls_per_second(cameras[:1])
    together = calls_per_second(cameras)
    print(f"get on a bus waiting {WAIT * 1e6:.0f} µs a transfer: 1 camera {alone:.0f}/s, "
          f"{CAMERAS} cameras from {CAMERAS} threads {together:.0f}/s ({together / alone:.1f}x)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
