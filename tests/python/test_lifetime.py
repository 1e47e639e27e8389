"""Orders of closing, holding and releasing, callbacks that close, several threads on one
camera, threads left inside calls at exit, and exceptions that must stop a program. Each
scenario runs in a fresh interpreter with a deadline and is judged by its exit status and
output: the faults looked for are crashes, hangs and deadlocks (the GIL held while waiting for
the camera's lock, or a Python bus that cannot get it back)."""

import os
import signal
import subprocess
import sys
import time

import pytest

PRELUDE = f"""
import os, signal, sys, threading, time
sys.path.insert(0, {os.path.dirname(__file__)!r})
import vexar
from conftest import ForwardingBus
"""

# How often the exit scenario runs: each run is one chance for the race it looks for.
EXIT_RUNS = int(os.environ.get("VEXAR_EXIT_RUNS", "50"))


def start(body: str, *args: str) -> "subprocess.Popen[str]":
    return subprocess.Popen([sys.executable, "-c", PRELUDE + body, *args], text=True,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def finish(process: "subprocess.Popen[str]", deadline: float = 30) -> tuple[int, str, str]:
    try:
        out, err = process.communicate(timeout=deadline)
    except subprocess.TimeoutExpired:
        process.kill()
        out, err = process.communicate()
        pytest.fail(f"did not end within {deadline} s (a hang):\n{err}")
    return process.returncode, out, err


def run(body: str, *args: str) -> str:
    status, out, err = finish(start(body, *args))
    assert status == 0, err
    return out


@pytest.mark.parametrize("where", ["sim", "image"])
def test_close_release_and_del_in_any_order(where: str, tmp_path) -> None:
    out = run(f"""
place = "sim" if {where!r} == "sim" else "image:" + {str(tmp_path / "cam.img")!r}
cam = vexar.open(place)
h = cam.hold(); cam.set("MicroFrameNumber", 8); cam.close(); h.release(); h.release()
cam = vexar.open(place)
with cam.hold():
    cam.close()
try:
    cam.get("FrameRate")
except vexar.BadInput as error:
    print("closed:", error)
cam = vexar.open(place)
h = cam.hold()
del cam
h.release()
print(vexar.open(place).get("MicroFrameNumber"))
""")
    assert "closed:" in out
    # an image keeps what the first camera wrote inside its hold; a fresh sim is at power-on
    assert out.split()[-1] == ("8" if where == "image" else "4")


def test_a_bus_or_callback_that_closes_the_camera_ends_the_call_first() -> None:
    out = run("""
class ClosingBus(ForwardingBus):
    def read(self, device, register, length):
        if closing:
            cam.close()
        return super().read(device, register, length)
closing = False
cam = vexar.open(bus=ClosingBus())
closing = True
print(cam.get("MicroFrameNumber"))
try:
    cam.get("MicroFrameNumber")
except vexar.BadInput:
    print("closed")
cam = vexar.open("sim")
cam.on_transaction(lambda t: cam.close())
print(cam.get("FrameRate") > 0, cam.backend)
""")
    assert out.split() == ["4", "closed", "True", "closed"]


def test_a_hold_released_on_another_thread_lets_every_thread_in() -> None:
    out = run("""
cam = vexar.open("sim")
h = cam.hold()
cam.set("MicroFrameNumber", 8)
t = threading.Thread(target=h.release); t.start(); t.join()
seen = []
t = threading.Thread(target=lambda: seen.append(cam.get("MicroFrameNumber"))); t.start()
t.join(10)
print(seen)
""")
    assert out.strip() == "[8]"


def test_a_thread_waiting_for_the_camera_lets_python_run() -> None:
    # Inside the hold the main thread runs Python code and more camera calls while the other
    # thread waits for the camera: possible only if the waiting thread let the GIL go.
    out = run("""
cam = vexar.open("sim")
started = threading.Event()
seen = []
def reader():
    started.set()
    seen.append(cam.get("MicroFrameNumber"))
with cam.hold():
    cam.set("MicroFrameNumber", 8)
    thread = threading.Thread(target=reader)
    thread.start()
    started.wait()
    time.sleep(0.2)
    sum(range(100000))
    cam.set("MicroFrameNumber", 2)
thread.join()
print(seen)
""")
    assert out.strip() == "[2]"  # the hold kept the reader out until it ended


def test_threads_on_a_python_bus_stay_consistent() -> None:
    # Each thread sets and reads back its own value inside a hold; the Python bus takes the
    # GIL for every transfer while the other threads wait for the camera.
    out = run("""
cam = vexar.open(bus=ForwardingBus())
wrong = []
def worker(value):
    for _ in range(25):
        with cam.hold():
            cam.set("MicroFrameNumber", value)
            if cam.get("MicroFrameNumber") != value:
                wrong.append(value)
        cam.get("FrameRate")
threads = [threading.Thread(target=worker, args=(v,)) for v in [1, 2, 4, 8]]
seen = []
cam.on_transaction(lambda t: seen.append(t.direction))
for t in threads: t.start()
for t in threads: t.join()
print(len(wrong), len(seen) > 0)
""")
    assert out.split() == ["0", "True"]


EXIT_SCENARIO = """
kind = sys.argv[1]
cam = vexar.open(bus=ForwardingBus()) if kind == "bus" else vexar.open("sim")
if kind == "callback":
    cam.on_transaction(lambda t: None)
def work():
    while True:
        cam.set("FrameRate", 20)
        cam.get("FrameRate")
for _ in range(3):
    threading.Thread(target=work, daemon=True).start()
time.sleep(0.02)
"""


def test_interpreter_exit_with_threads_inside_calls() -> None:
    # The runs take turns on sim, on a Python bus and with a transaction callback.
    kinds = ["sim", "bus", "callback"]
    for run in range(EXIT_RUNS):
        kind = kinds[run % len(kinds)]
        status, _, err = finish(start(EXIT_SCENARIO, kind))
        assert (run, kind, status) == (run, kind, 0), err


@pytest.mark.parametrize("raised", ["KeyboardInterrupt", "SystemExit", "MemoryError"])
def test_an_exception_that_stops_a_program_is_raised_as_it_is(raised: str) -> None:
    out = run(f"""
class StoppingBus(ForwardingBus):
    calls_after = 0
    def read(self, device, register, length):
        if self.stopped:
            StoppingBus.calls_after += 1
        if self.armed:
            self.armed, self.stopped = False, True
            raise self.error
        return super().read(device, register, length)
bus = StoppingBus(); bus.armed = bus.stopped = False
cam = vexar.open(bus=bus)
bus.error = {raised}("from the bus")
bus.armed = True
try:
    cam.set("FrameRate", 20)
except {raised} as error:
    print(type(error).__name__, error is bus.error, StoppingBus.calls_after)
bus.stopped = False
print(cam.get("MicroFrameNumber"))
def stop(transaction):
    raise {raised}("from the callback")
cam.on_transaction(stop)
try:
    cam.get("FrameRate")
except {raised} as error:
    print("callback", type(error).__name__)
""")
    assert out.split() == [raised, "True", "0", "4", "callback", raised]


HOLDER = """
import sys, vexar
with vexar.open("image:" + sys.argv[1]).hold():
    print("held", flush=True)
    sys.stdin.readline()
"""


def test_a_thread_waiting_for_another_process_lets_python_run(tmp_path) -> None:
    # The holder lets go of the image only once this process's main thread tells it to, which
    # it can do only if the thread waiting for the image's lock let the GIL go.
    image = str(tmp_path / "cam.img")
    out = run(f"""
import subprocess
cam = vexar.open("image:" + {image!r}, lock_timeout=20)
holder = subprocess.Popen([sys.executable, "-c", {HOLDER!r}, {image!r}], text=True,
                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)
assert holder.stdout.readline() == "held\\n"
seen = []
waiting = threading.Thread(target=lambda: seen.append(cam.get("MicroFrameNumber")))
waiting.start()
time.sleep(0.3)
holder.stdin.write("go\\n")
holder.stdin.flush()
waiting.join()
print(seen, holder.wait())
""")
    assert out.split() == ["[4]", "0"]


def test_ctrl_c_ends_a_wait_for_the_lock(tmp_path) -> None:
    image = str(tmp_path / "cam.img")
    holder = start(f"""
cam = vexar.open("image:" + {image!r})
with cam.hold():
    print("held", flush=True)
    time.sleep(60)
""")
    assert holder.stdout is not None and holder.stdout.readline().strip() == "held"
    try:
        waiters = {
            "process": start(f"""
signal.signal(signal.SIGINT, signal.default_int_handler)  # a background job inherits SIG_IGN
print("waiting", flush=True)
try:
    vexar.open("image:" + {image!r}, lock_timeout=60)
except KeyboardInterrupt:
    print("interrupted")
"""),
            "thread": start("""
signal.signal(signal.SIGINT, signal.default_int_handler)
cam = vexar.open("sim")
held = threading.Event()
def keep():
    with cam.hold():
        held.set()
        time.sleep(60)
threading.Thread(target=keep, daemon=True).start()
held.wait()
print("waiting", flush=True)
try:
    cam.get("FrameRate")
except KeyboardInterrupt:
    print("interrupted")
"""),
        }
        for name, waiter in waiters.items():
            assert waiter.stdout is not None and waiter.stdout.readline().strip() == "waiting"
            time.sleep(0.3)
            waiter.send_signal(signal.SIGINT)
            status, out, err = finish(waiter, deadline=10)
            assert (name, status, out.strip()) == (name, 0, "interrupted"), err
    finally:
        holder.kill()
        holder.communicate()
