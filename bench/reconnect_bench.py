#!/usr/bin/env python3
"""Times how soon the control panel tells a module's adapter gone and back: the emulated
adapter is unplugged and plugged again, round after round, and the panel's event stream is read
for its disconnected and reconnected events. Also the Python package's reconnect() call.

    bench/reconnect_bench.py BUILD [ROUNDS]

BUILD is a build folder (its bin/vexar-ctl and bin/vexar-adapter-emulator). Prints what it
measured; it judges nothing, the numbers go into docs/performance.md.
"""
import os
import socket
import statistics
import sys
import time
from pathlib import Path

build = Path(sys.argv[1]).resolve()
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
os.environ["VEXAR_ADAPTER_EMULATOR"] = str(build / "bin" / "vexar-adapter-emulator")
os.environ["PYTHONPATH"] = str(build / "python")
root = Path(__file__).resolve().parents[1]
sys.path[:0] = [str(root / "tests" / "panel"), str(root / "tests" / "python")]
from conftest import Panel  # noqa: E402
from emulated_adapter import EmulatedAdapter  # noqa: E402


def until(stream, kind):
    """Seconds until the stream sends a change of this kind."""
    start, received = time.monotonic(), b""
    while f'"kind":"{kind}"'.encode() not in received:
        chunk = stream.recv(65536)
        assert chunk, received
        received += chunk
    return time.monotonic() - start


adapter = EmulatedAdapter()
panel = Panel(command=[*adapter.argv(), str(build / "bin" / "vexar-ctl"), "--bus", "/dev/i2c-1",
                       "serve", "--restore"], env=adapter.env)
stream = socket.create_connection(("127.0.0.1", panel.port), timeout=10)
stream.sendall((f"GET /api/events HTTP/1.1\r\nHost: {panel.host}\r\n"
                f"Authorization: Bearer {panel.token}\r\n\r\n").encode())
gone, back = [], []
for _ in range(rounds):
    adapter.command("unplug")
    gone.append(until(stream, "disconnected"))
    adapter.command("power-cycle")
    adapter.command("plug")
    back.append(until(stream, "reconnected"))
panel.stop()

code = r'''
import sys, time, vexar
cam = vexar.open("/dev/i2c-1")
cam.set("FrameRate", 20)
print("ready", flush=True)
times = []
for line in sys.stdin:
    start = time.perf_counter()
    cam.reconnect(restore=True)
    times.append(time.perf_counter() - start)
    print("done", flush=True)
print(" ".join(f"{t * 1000:.2f}" for t in times), flush=True)
'''
program = adapter.python(code)
assert program.stdout.readline() == "ready\n", program.stderr.read()
for _ in range(rounds):
    adapter.command("power-cycle")
    program.stdin.write("\n")
    program.stdin.flush()
    assert program.stdout.readline() == "done\n"
program.stdin.close()
calls = [float(t) for t in program.stdout.readline().split()]
program.wait()
adapter.close()


def shown(values, scale=1000):
    return (f"median {statistics.median(values) * scale:.0f} ms, "
            f"max {max(values) * scale:.0f} ms")


print(f"panel, adapter unplugged to the disconnected event ({rounds} rounds): {shown(gone)}")
print(f"panel, adapter back to the reconnected event, settings restored: {shown(back)}")
print(f"Python reconnect(restore=True) after a power cycle: median "
      f"{statistics.median(calls):.1f} ms, max {max(calls):.1f} ms")
