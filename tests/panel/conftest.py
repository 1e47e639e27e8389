"""A served panel for the tests: the program prints its URL first, and stops on SIGTERM."""
import http.client
import json
import os
import re
import signal
import socket
import subprocess

import pytest

SERVER = os.environ.get("VEXAR_PANEL_SERVER", "panel-server")
CTL = os.environ.get("VEXAR_CTL", "vexar-ctl")


class Panel:
    # WHERE as the test server takes it; or, with `command`, the tool's own `serve` command line.
    def __init__(self, where="sim", extra=(), command=None, env=None):
        argv = [*command, "--listen", "127.0.0.1:0"] if command else \
            [SERVER, where, "--listen", "127.0.0.1:0", *extra]
        self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, env=env)
        self.url = self.process.stdout.readline().strip()
        match = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{64})", self.url)
        assert match, f"first line is not the URL: {self.url!r} {self.process.stderr.read()}"
        self.port, self.token = int(match[1]), match[2]
        self.host = f"127.0.0.1:{self.port}"

    def request(self, method, path, body=None, headers=None, auth=True):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        sent = {} if headers is None else dict(headers)
        if auth:
            sent.setdefault("Authorization", f"Bearer {self.token}")
        if isinstance(body, (dict, list)):
            body = json.dumps(body)
        connection.request(method, path, body=body, headers=sent)
        response = connection.getresponse()
        data = response.read()
        connection.close()
        return response.status, dict(response.getheaders()), data

    def json(self, method, path, body=None, **kwargs):
        status, headers, data = self.request(method, path, body, **kwargs)
        return status, json.loads(data) if data else None

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        _, err = self.process.communicate(timeout=20)
        return self.process.returncode, err

    # Served for a with block, which ends with the panel stopped as it should.
    def __enter__(self):
        return self

    def __exit__(self, *_):
        code, err = self.stop()
        assert code == 0, err


def events(panel):
    """The panel's event stream, read up to its hello: the connection and what it sent."""
    connection = socket.create_connection(("127.0.0.1", panel.port), timeout=10)
    connection.sendall((f"GET /api/events HTTP/1.1\r\nHost: {panel.host}\r\n"
                        f"Authorization: Bearer {panel.token}\r\n\r\n").encode())
    received = b""
    while b"event: hello" not in received:
        chunk = connection.recv(65536)
        assert chunk, f"the panel closed the stream before its hello: {received!r}"
        received += chunk
    return connection, received


def loadable(panel):
    """Settings a system state can be written with: the voltages known, a frequency set."""
    for name, value in [("MixingVoltage", 40), ("LeftIlluminationVoltage", 40),
                        ("RightIlluminationVoltage", 40), ("ModulationFrequency", 20)]:
        assert panel.json("PUT", f"/api/parameters/{name}", {"value": value})[0] == 200


@pytest.fixture
def panel():
    with Panel() as served:
        yield served
