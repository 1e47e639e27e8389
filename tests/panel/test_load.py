"""32 clients and 8 event streams on one panel for 10 s, with another process on the same image
in between; the final settings must be a replay of the numbered sets on a fresh module."""
import http.client
import json
import os
import random
import signal
import socket
import subprocess
import threading
import time

from conftest import SERVER, Panel

CLIENTS, STREAMS, SECONDS = 32, 8, 10
CHOICES = {
    "FrameRate": lambda r: round(r.uniform(1, 60), 2),
    "MicroFrameNumber": lambda r: r.choice([1, 2, 4, 8]),
    "IntegrationTime": lambda r: round(r.uniform(0.05, 0.5), 4),
    "ModulationFrequency": lambda r: r.randint(10, 50),
    "IlluminationMode": lambda r: r.choice([0, 1]),
    "MixingSignalsMode": lambda r: r.choice([0, 2, 3]),
    "RawOutputMode": lambda r: r.choice([1, 2, 3, 4]),
    "LeftIlluminationVoltage": lambda r: round(r.uniform(0, 100), 1),
}


def stream(panel, seen, stop):
    connection = socket.create_connection(("127.0.0.1", panel.port), timeout=5)
    connection.sendall((f"GET /api/events HTTP/1.1\r\nHost: {panel.host}\r\n"
                        f"Authorization: Bearer {panel.token}\r\n\r\n").encode())
    buffer, kind = b"", None
    connection.settimeout(0.5)
    while not stop.is_set():
        try:
            chunk = connection.recv(65536)
        except socket.timeout:
            continue
        if not chunk:
            break
        lines = (buffer + chunk).split(b"\n")
        buffer = lines.pop()
        for line in lines:
            if line.startswith(b"event: "):
                kind = line[7:]
            elif line.startswith(b"data: ") and kind == b"change":
                event = json.loads(line[6:])
                seen.append((event["seq"], event["kind"]))
    connection.close()


def client(panel, number, log, problems, stop, halfway):
    rand = random.Random(number)
    connection = http.client.HTTPConnection("127.0.0.1", panel.port, timeout=10)
    headers = {"Authorization": f"Bearer {panel.token}", "Content-Type": "application/json"}
    answers = [0, 0]  # before and after the other process ran
    while not stop.is_set():
        if rand.random() < 0.4:
            connection.request("GET", rand.choice(["/api/parameters", "/api/fields", "/api/timing"]),
                               headers=headers)
            sent = None
        else:
            name = rand.choice(list(CHOICES))
            sent = (name, CHOICES[name](rand))
            connection.request("PUT", f"/api/parameters/{name}", json.dumps({"value": sent[1]}),
                               headers)
        response = connection.getresponse()
        body = json.loads(response.read())
        if sent is not None and response.status in (200, 422):
            log.append((body["seq"], sent, response.status))
        elif response.status != 200:
            problems.append((response.status, body))
        answers[halfway.is_set()] += 1
    connection.close()
    return answers


def test_many_clients_streams_and_another_process(tmp_path):
    image = tmp_path / "camera.img"
    panel = Panel(f"image:{image}")
    log, problems, seen = [], [], [[] for _ in range(STREAMS)]
    stop, stop_streams, halfway = threading.Event(), threading.Event(), threading.Event()
    counts = {}
    # Daemons, so that a failed assertion ends the run instead of waiting for them.
    readers = [threading.Thread(target=stream, args=(panel, seen[i], stop_streams), daemon=True)
               for i in range(STREAMS)]
    workers = [threading.Thread(target=lambda i=i: counts.__setitem__(i, client(panel, i, log, problems, stop, halfway)),
                                daemon=True) for i in range(CLIENTS)]
    for thread in readers + workers:
        thread.start()
    # A client that sends half a request and one that goes away must not hold up the others.
    stalled = socket.create_connection(("127.0.0.1", panel.port))
    stalled.sendall(f"PUT /api/parameters/FrameRate HTTP/1.1\r\nHost: {panel.host}\r\n".encode())
    socket.create_connection(("127.0.0.1", panel.port)).close()
    time.sleep(SECONDS / 2)
    tool = os.environ.get("VEXAR_CTL")
    other = subprocess.run([tool, "--image", str(image), "set", "StreamEnable=1"]
                           if tool and os.access(tool, os.X_OK) else
                           [SERVER, f"image:{image}", "--set", "StreamEnable", "1"],
                           capture_output=True, text=True, timeout=30)
    assert other.returncode == 0, other.stderr
    halfway.set()
    time.sleep(SECONDS / 2)
    stop.set()
    for thread in workers:
        thread.join()
    stalled.close()
    # The other process's change reaches the panel by its own look at the image.
    deadline = time.monotonic() + 10
    while panel.json("GET", "/api/parameters/StreamEnable")[1]["current"]["value"] is not True:
        assert time.monotonic() < deadline
    status, final_fields = panel.json("GET", "/api/fields")
    status, final = panel.json("GET", "/api/parameters")
    # The last events may still be on their way to a stream: each is read before it stops.
    deadline = time.monotonic() + 10
    while any(not got or got[-1][0] < final["seq"] for got in seen):
        assert time.monotonic() < deadline, [got[-1:] for got in seen]
        time.sleep(0.05)
    stop_streams.set()
    code, err = panel.stop()
    for thread in readers:
        thread.join()
    assert code == 0, err
    assert problems == []
    # Every client made progress before the other process ran and after, beside a request that
    # was never finished.
    assert all(min(counts[i]) > 2 for i in range(CLIENTS)), counts
    seqs = sorted(entry[0] for entry in log)
    assert len(seqs) == len(set(seqs)) and len(log) > 100
    for got in seen:
        numbers = [number for number, _ in got]
        assert numbers == list(range(numbers[0], final["seq"] + 1)), numbers[-5:]
    # The other process's change reached every stream once, numbered among the panel's own.
    external = [[number for number, kind in got if kind == "external"] for got in seen]
    assert all(found == external[0] and len(found) == 1 for found in external), external
    log.append((external[0][0], ("StreamEnable", True), 200))

    replay = Panel("sim")
    try:
        for seq, (name, value), status in sorted(log):
            again = replay.json("PUT", f"/api/parameters/{name}", {"value": value})[0]
            assert again == status, (seq, name, value)
        assert replay.json("GET", "/api/fields")[1]["fields"] == final_fields["fields"]
        assert [p["current"] for p in replay.json("GET", "/api/parameters")[1]["parameters"]] == \
            [p["current"] for p in final["parameters"]]
    finally:
        assert replay.stop()[0] == 0
    # The image is whole: another process loads it.
    assert subprocess.run([SERVER, f"image:{image}", "--timing-text"], capture_output=True).returncode == 0


def test_a_burst_of_connections_waits_for_a_server_not_taking_them_yet():
    # A stopped server stands for one whose accepting thread gets no processor time, as under
    # load on a small machine: the kernel must hold the whole burst, refusing and resetting none.
    panel = Panel("sim")
    headers = {"Authorization": f"Bearer {panel.token}"}
    try:
        os.kill(panel.process.pid, signal.SIGSTOP)
        try:
            connections = [http.client.HTTPConnection("127.0.0.1", panel.port, timeout=5)
                           for _ in range(CLIENTS + STREAMS)]
            for connection in connections:
                connection.request("GET", "/api/camera", headers=headers)
        finally:
            os.kill(panel.process.pid, signal.SIGCONT)
        assert [connection.getresponse().status for connection in connections] == \
            [200] * len(connections)
    finally:
        assert panel.stop()[0] == 0
