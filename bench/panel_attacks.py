#!/usr/bin/env python3
"""Times the control panel under the attacks its tests refuse, at full size: floods of head
and body, six at once, round after round, with the server's resident memory before, at its
peak and after; real requests among 64 connections dripping a byte every 1.5 s; PUTs from
clients that half-close; and how soon a departed event stream's slot is free again.

    bench/panel_attacks.py PANEL-SERVER [ROUNDS]

Prints what it measured; it judges nothing, the numbers go into docs/performance.md.
"""
import http.client
import json
import re
import signal
import socket
import statistics
import subprocess
import sys
import threading
import time
import zlib


class Served:
    def __init__(self, server):
        self.process = subprocess.Popen([server, "sim", "--listen", "127.0.0.1:0"],
                                        stdout=subprocess.PIPE, text=True)
        match = re.fullmatch(r"http://(127\.0\.0\.1:(\d+))/\?token=(\w+)",
                             self.process.stdout.readline().strip())
        self.host, self.port, self.token = match[1], int(match[2]), match[3]

    def head(self, line, *fields, auth=True, end=True):
        fields = [f"Host: {self.host}", *([f"Authorization: Bearer {self.token}"] * auth), *fields]
        return (f"{line}\r\n" + "".join(f"{f}\r\n" for f in fields) + "\r\n" * end).encode()

    def memory(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            found = dict(line.split(":", 1) for line in status)
        return int(found["VmRSS"].split()[0]) // 1024, int(found["VmHWM"].split()[0]) // 1024

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=30)


def exchange(served, data, pieces=(), half_close=False):
    """The status of the one answer, and the seconds until it came."""
    start = time.monotonic()
    connection = socket.create_connection(("127.0.0.1", served.port), timeout=60)

    def send():
        try:
            connection.sendall(data)
            for piece in pieces:
                connection.sendall(piece)
            if half_close:
                connection.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    threading.Thread(target=send, daemon=True).start()
    try:
        response = http.client.HTTPResponse(connection)
        response.begin()
        response.read()
        return response.status, time.monotonic() - start
    except (OSError, http.client.HTTPException):
        return None, time.monotonic() - start
    finally:
        connection.close()


def floods(served, rounds):
    line = b"X-Filler: " + b"a" * 7988 + b"\r\n"
    chunk = b"10000\r\n" + b" " * 65536 + b"\r\n"
    gzip = zlib.compress(b"\0" * (63 << 20))
    kinds = [
        ("20,000 header lines of 8,000 bytes, no token",
         served.head("GET /api/camera HTTP/1.1", auth=False, end=False),
         lambda: (line for _ in range(20000))),
        ("chunked body of 300 MiB", served.head("PUT /api/profile HTTP/1.1",
                                                "Transfer-Encoding: chunked"),
         lambda: (chunk for _ in range(4800))),
        (f"gzip body of {len(gzip) // 1024} KiB inflating to 63 MiB",
         served.head("PUT /api/profile HTTP/1.1", "Content-Encoding: gzip",
                     f"Content-Length: {len(gzip)}"), lambda: [gzip]),
    ]
    for name, head, pieces in kinds:
        before = served.memory()[0]
        times, statuses = [], set()
        for _ in range(rounds):
            answers = []
            threads = [threading.Thread(target=lambda: answers.append(exchange(served, head, pieces())))
                       for _ in range(6)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            statuses |= {status for status, _ in answers}
            times += [seconds for _, seconds in answers]
        after, peak = served.memory()
        print(f"{name}: {rounds} rounds of 6 at once, answered {sorted(statuses)}, "
              f"median {statistics.median(times) * 1000:.1f} ms, max {max(times) * 1000:.1f} ms; "
              f"resident {before} MB before, {after} MB after, peak so far {peak} MB")


def drip(served):
    request = served.head("GET /api/camera HTTP/1.1", auth=False)
    drippers = [socket.create_connection(("127.0.0.1", served.port)) for _ in range(64)]
    start = time.monotonic()
    closed_at = {}

    def dripping():
        sent = 0
        while len(closed_at) < len(drippers) and sent < len(request):
            for i, connection in enumerate(drippers):
                if i in closed_at:
                    continue
                try:
                    connection.send(request[sent:sent + 1])
                except OSError:
                    closed_at[i] = time.monotonic() - start
            sent += 1
            time.sleep(1.5)

    thread = threading.Thread(target=dripping, daemon=True)
    thread.start()
    time.sleep(0.5)
    headers = {"Authorization": f"Bearer {served.token}"}
    times = []
    for _ in range(6):
        begun = time.monotonic()
        connection = http.client.HTTPConnection("127.0.0.1", served.port, timeout=30)
        connection.request("GET", "/api/parameters/FrameRate", headers=headers)
        assert connection.getresponse().status == 200
        connection.close()
        times.append((time.monotonic() - begun) * 1000)
    thread.join(timeout=30)
    print(f"64 drippers, a byte every 1.5 s: 6 real requests answered, "
          f"{', '.join(f'{t:.1f}' for t in times)} ms; drippers found closed "
          f"{min(closed_at.values()):.1f} to {max(closed_at.values()):.1f} s after they began "
          f"({len(closed_at)} of 64; the deadline is 5 s, seen at the next byte)")


def half_close(served):
    answered = 0
    for i in range(100):
        body = json.dumps({"value": 10 + i % 40}).encode()
        put = served.head("PUT /api/parameters/FrameRate HTTP/1.1",
                          f"Content-Length: {len(body)}") + body
        answered += exchange(served, put, half_close=True)[0] == 200
    print(f"half-closed PUTs: {answered} of 100 answered")


def stream_slot(served):
    waits = []
    for _ in range(10):
        streams = []
        while True:
            connection = socket.create_connection(("127.0.0.1", served.port), timeout=10)
            connection.sendall(served.head("GET /api/events HTTP/1.1"))
            if b" 200 " not in connection.recv(4096).split(b"\r\n")[0]:
                connection.close()
                break
            streams.append(connection)
        streams.pop().close()
        begun = time.monotonic()
        while True:
            connection = socket.create_connection(("127.0.0.1", served.port), timeout=10)
            connection.sendall(served.head("GET /api/events HTTP/1.1"))
            if b" 200 " in connection.recv(4096).split(b"\r\n")[0]:
                waits.append((time.monotonic() - begun) * 1000)
                streams.append(connection)
                break
            connection.close()
        for connection in streams:
            connection.close()
        time.sleep(0.2)
    print(f"a departed stream's slot free again after median {statistics.median(waits):.1f} ms, "
          f"max {max(waits):.1f} ms")


def main():
    server, rounds = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 10
    served = Served(server)
    try:
        floods(served, rounds)
        drip(served)
        half_close(served)
        stream_slot(served)
    finally:
        served.stop()


if __name__ == "__main__":
    main()
