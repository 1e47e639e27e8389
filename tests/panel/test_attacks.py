"""What an unauthenticated or misbehaving client can make the panel spend: floods of head and
body, drips, ambiguous and compressed requests, half-closed connections and departed streams.
Rounds and sizes come from the environment, with short defaults."""
import http.client
import json
import os
import select
import socket
import threading
import time
import zlib

import pytest

from conftest import Panel, events

ROUNDS = int(os.environ.get("VEXAR_ATTACK_ROUNDS", "3"))
AT_ONCE = int(os.environ.get("VEXAR_ATTACK_AT_ONCE", "6"))
FLOOD_MB = int(os.environ.get("VEXAR_ATTACK_FLOOD_MB", "16"))
DRIPPERS = int(os.environ.get("VEXAR_ATTACK_DRIPPERS", "64"))
HALF_CLOSES = int(os.environ.get("VEXAR_ATTACK_HALF_CLOSES", "20"))
DEADLINE_MS = 1000
SANITIZED = os.environ.get("VEXAR_SANITIZED", "") not in ("", "0", "OFF")


@pytest.fixture
def panel():
    with Panel("sim", ["--deadline-ms", str(DEADLINE_MS)]) as served:
        yield served


def head(panel, request_line, *lines, auth=True, end=True):
    lines = [f"Host: {panel.host}", *([f"Authorization: Bearer {panel.token}"] if auth else []),
             *lines]
    return (request_line + "\r\n" + "".join(f"{line}\r\n" for line in lines) +
            ("\r\n" if end else "")).encode()


def exchange(panel, data, pieces=(), half_close=False, closes=True):
    """Sends the request (the pieces from another thread, which stops once the panel closes)
    and reads one answer: the status, the error kind, and whether the panel closed after it
    (with `closes`; else that is not looked at)."""
    connection = socket.create_connection(("127.0.0.1", panel.port), timeout=10)

    def send():
        try:
            connection.sendall(data)
            for piece in pieces:
                connection.sendall(piece)
            if half_close:
                connection.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    sender = threading.Thread(target=send, daemon=True)
    sender.start()
    response = http.client.HTTPResponse(connection)
    response.begin()
    body = response.read()
    try:
        closed = closes and connection.recv(1) == b""
    except (ConnectionResetError, socket.timeout):
        closed = False
    sender.join(timeout=10)
    connection.close()
    kind = json.loads(body)["error"]["kind"] if response.status >= 400 else None
    return response.status, kind, closed


def repeated(piece, megabytes):
    return (piece for _ in range(megabytes * 1024 * 1024 // len(piece)))


def chunked(size):
    return f"{size:x}\r\n".encode() + b" " * size + b"\r\n"


GZIP = zlib.compress(b"\0" * (8 << 20))
# (what, request head, what follows it, status, error kind); all close the connection.
FLOODS = [
    ("long header lines, no token",
     lambda p: head(p, "GET /api/camera HTTP/1.1", auth=False, end=False),
     lambda: repeated(b"X-Filler: " + b"a" * 7988 + b"\r\n", FLOOD_MB), 431, "HeadTooLarge"),
    ("many short header lines", lambda p: head(p, "GET /api/camera HTTP/1.1", auth=False, end=False),
     lambda: repeated(b"X-A: b\r\n", FLOOD_MB), 431, "HeadTooLarge"),
    ("chunked body", lambda p: head(p, "PUT /api/profile HTTP/1.1", "Transfer-Encoding: chunked"),
     lambda: repeated(chunked(16384), FLOOD_MB), 413, "TooLarge"),
    ("declared body", lambda p: head(p, "PUT /api/profile HTTP/1.1", "Content-Length: 314572800"),
     lambda: repeated(b" " * 65536, FLOOD_MB), 413, "TooLarge"),
    ("compressed body", lambda p: head(p, "PUT /api/profile HTTP/1.1", "Content-Encoding: gzip",
                                       f"Content-Length: {len(GZIP)}"),
     lambda: [GZIP], 415, "UnsupportedEncoding"),
]


def resident_kb(panel):
    with open(f"/proc/{panel.process.pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def test_floods_are_refused_closed_and_leave_memory_where_it_was(panel):
    def round_of(what, make_head, pieces, status, kind):
        answers = []
        threads = [threading.Thread(target=lambda: answers.append(
            exchange(panel, make_head(panel), pieces()))) for _ in range(AT_ONCE)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert answers == [(status, kind, True)] * AT_ONCE, what

    before = resident_kb(panel)
    for _ in range(ROUNDS):
        for flood in FLOODS:
            round_of(*flood)
    assert panel.json("GET", "/api/camera")[0] == 200
    if not SANITIZED:
        assert resident_kb(panel) - before < 10 * 1024, (before, resident_kb(panel))


def test_drippers_are_closed_at_the_deadline_while_real_requests_are_answered(panel):
    request = head(panel, "GET /api/camera HTTP/1.1", "X-Padding: " + "p" * 200, auth=False)
    drippers = {socket.create_connection(("127.0.0.1", panel.port)): 0 for _ in range(DRIPPERS)}
    answered, closed, stop = [], [], threading.Event()

    def drip():
        # One byte to each connection every 50 ms: the request would take 13 s to arrive.
        while drippers and not stop.is_set():
            for connection, sent in list(drippers.items()):
                readable, _, _ = select.select([connection], [], [], 0)
                try:
                    gone = readable and connection.recv(1) == b""
                    if not gone:
                        connection.send(request[sent:sent + 1])
                        drippers[connection] = sent + 1
                except (BrokenPipeError, ConnectionResetError):
                    gone = True
                if gone:
                    closed.append(drippers.pop(connection))
                    connection.close()
            time.sleep(0.05)

    dripping = threading.Thread(target=drip)
    dripping.start()
    try:
        while drippers and len(answered) < 6:
            answered.append(panel.json("GET", "/api/parameters/FrameRate")[0])
        dripping.join(timeout=10 * DEADLINE_MS / 1000)
    finally:
        stop.set()
        dripping.join()
    assert answered == [200] * 6
    assert len(closed) == DRIPPERS and max(closed) < len(request), closed


PUT = "PUT /api/parameters/FrameRate HTTP/1.1"
GET = "GET /api/parameters/{} HTTP/1.1"
VALUE = b'{"value": 20}\n'
# (what, request line, headers besides Host and the token, body, status, error kind)
REFUSALS = [
    ("duplicate Host", "GET /api/camera HTTP/1.1", ["Host: {host}"], b"", 400, "BadInput"),
    ("duplicate Origin", PUT, ["Origin: http://{host}", "Origin: http://{host}",
                               "Content-Length: 14"], VALUE, 400, "BadInput"),
    ("duplicate Content-Length", PUT, ["Content-Length: 14"] * 2, VALUE, 400, "BadInput"),
    ("Content-Length and chunked", PUT, ["Content-Length: 14", "Transfer-Encoding: chunked"],
     VALUE, 400, "BadInput"),
    ("PUT without a length", PUT, [], b"", 411, "LengthRequired"),
    ("POST without a length", "POST /api/reset HTTP/1.1", [], b"", 200, None),
    ("chunked PUT", PUT, ["Transfer-Encoding: chunked"], b"e\r\n" + VALUE + b"\r\n0\r\n\r\n",
     200, None),
    ("gzip transfer coding", PUT, ["Transfer-Encoding: gzip, chunked"], b"0\r\n\r\n", 415,
     "UnsupportedEncoding"),
    ("NUL in a name", GET.format("Frame%00Rate"), [], b"", 404, "NotFound"),
    ("newline in a name", GET.format("FrameRate%0a"), [], b"", 404, "NotFound"),
    ("DEL as a name", GET.format("%7f"), [], b"", 404, "NotFound"),
    ("malformed escape", GET.format("Frame%ZZRate"), [], b"", 400, "BadInput"),
    ("escaped letter", GET.format("Frame%52ate"), [], b"", 200, None),
]


@pytest.mark.parametrize("what,line,fields,body,status,kind", REFUSALS,
                         ids=[row[0] for row in REFUSALS])
def test_ambiguous_unframed_and_oddly_named_requests(panel, what, line, fields, body, status,
                                                     kind):
    request = head(panel, line, *(field.format(host=panel.host) for field in fields)) + body
    assert exchange(panel, request, closes=False)[:2] == (status, kind)


def test_a_client_that_half_closed_after_its_request_gets_the_answer(panel):
    for i in range(HALF_CLOSES):
        body = json.dumps({"value": 10 + i}).encode()
        put = head(panel, "PUT /api/parameters/FrameRate HTTP/1.1",
                   f"Content-Length: {len(body)}") + body
        assert exchange(panel, put, half_close=True) == (200, None, True), i
    assert panel.json("GET", "/api/parameters/FrameRate")[1]["current"]["value"] == \
        pytest.approx(9 + HALF_CLOSES, abs=0.01)


def test_streams_whose_clients_left_free_their_slots(panel):
    streams = [events(panel)[0] for _ in range(16)]
    assert panel.json("GET", "/api/events")[0] == 503
    for connection in streams:
        connection.close()
    time.sleep(1)
    again = [events(panel)[0] for _ in range(16)]
    for connection in again:
        connection.close()
