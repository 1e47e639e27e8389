"""One camera from several Python threads. Each scenario runs in a fresh interpreter with a
deadline, because the fault it looks for (the GIL held while waiting for the camera's lock,
or a Python bus that cannot get it back) is a deadlock."""

import os

from conftest import run_isolated

PRELUDE = """
import sys, threading, time
sys.path.insert(0, %r)
import vexar
from conftest import ForwardingBus
"""


def script(body: str) -> str:
    """The body after the imports every scenario needs."""
    return PRELUDE % os.path.dirname(__file__) + body


def test_a_thread_waiting_for_the_camera_lets_python_run() -> None:
    # Inside the hold the main thread runs Python code and more camera calls while the other
    # thread waits for the camera: possible only if the waiting thread let the GIL go.
    out = run_isolated(
        script("""
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
    )
    assert out.strip() == "[2]"  # the hold kept the reader out until it ended


def test_threads_on_a_python_bus_stay_consistent() -> None:
    # Each thread sets and reads back its own value inside a hold; the Python bus takes the
    # GIL for every transfer while the other threads wait for the camera.
    out = run_isolated(
        script("""
cam = vexar.open(bus=ForwardingBus())
values = [1, 2, 4, 8]
wrong = []
def worker(value):
    for _ in range(25):
        with cam.hold():
            cam.set("MicroFrameNumber", value)
            if cam.get("MicroFrameNumber") != value:
                wrong.append(value)
        cam.get("FrameRate")
threads = [threading.Thread(target=worker, args=(v,)) for v in values]
seen = []
cam.on_transaction(lambda t: seen.append(t.direction))
for t in threads: t.start()
for t in threads: t.join()
print(len(wrong), len(seen) > 0)
""")
    )
    assert out.split() == ["0", "True"]

