"""The panel's JSON API and its defences, case by case."""
import json
import re
import signal
import subprocess
import time

import pytest

from conftest import CTL, SERVER, Panel, events, loadable

# (method, path, extra headers, body, without the token, expected status, error kind). How the
# panel refuses a value or a name the library refuses, or another module's profile, is a row of
# the cross-face table (tests/faces).
SECURITY = [
    ("GET", "/api/camera", {}, None, True, 401, "Unauthorized"),
    ("GET", "/api/camera", {"Authorization": "Bearer wrong"}, None, False, 401, "Unauthorized"),
    ("GET", "/?token=wrong", {}, None, True, 401, "Unauthorized"),
    ("GET", "/api/camera", {"Host": "evil.example:{port}"}, None, False, 403, "Forbidden"),
    ("GET", "/api/camera", {"Host": "127.0.0.1:1"}, None, False, 403, "Forbidden"),
    ("PUT", "/api/parameters/FrameRate", {"Origin": "http://evil.example"}, {"value": 20}, False,
     403, "Forbidden"),
    ("POST", "/api/reset", {"Origin": "null"}, "", False, 403, "Forbidden"),
    ("PUT", "/api/profile", {}, "x" * (64 * 1024 + 1), False, 413, "TooLarge"),
    ("PUT", "/api/parameters/FrameRate", {}, "{\"value\": ", False, 400, "BadInput"),
    ("PUT", "/api/parameters/FrameRate", {}, {"value": True}, False, 400, "BadInput"),
    ("PUT", "/api/parameters/FrameRate", {}, {"valeu": 20}, False, 400, "BadInput"),
    ("PUT", "/api/parameters/FrameRate", {}, "{\"value\": 1, \"value\": 2}", False, 400, "BadInput"),
    ("GET", "/api/nothing", {}, None, False, 404, "NotFound"),
    ("DELETE", "/api/parameters/FrameRate", {}, None, False, 405, "MethodNotAllowed"),
    ("GET", "/api/reset", {}, None, False, 405, "MethodNotAllowed"),
    ("GET", "/api/timing?format=png", {}, None, False, 400, "BadInput"),
    ("PUT", "/api/presets/.hidden", {}, {}, False, 400, "BadInput"),
    ("PUT", "/api/presets/bench", {}, {"note": 1}, False, 400, "BadInput"),
    ("POST", "/api/presets/never-saved", {}, "", False, 400, "BadInput"),
    ("PUT", "/api/registers/0x200", {}, {"value": 1}, False, 400, "BadInput"),
    ("PUT", "/api/registers/0x183", {}, {"value": 1 << 24}, False, 400, "BadInput"),
    ("PUT", "/api/fields/0", {}, {"value": -1}, False, 400, "BadInput"),
    ("PUT", "/api/fields/99999", {}, {"value": 0}, False, 400, "BadInput"),
]


@pytest.mark.parametrize("method,path,headers,body,anonymous,status,kind", SECURITY)
def test_refused_requests_answer_json_errors(panel, method, path, headers, body, anonymous,
                                             status, kind):
    headers = {k: v.format(port=panel.port) for k, v in headers.items()}
    got, answer_headers, data = panel.request(method, path, body, headers, auth=not anonymous)
    assert got == status, data
    assert answer_headers["Content-Type"] == "application/json"
    error = json.loads(data)["error"]
    assert error["kind"] == kind and error["message"]
    if status == 405:
        assert "GET" in answer_headers["Allow"] or "POST" in answer_headers["Allow"]
    if status == 401:
        assert answer_headers["WWW-Authenticate"] == "Bearer"


@pytest.mark.parametrize("host", ["127.0.0.1:{port}", "localhost:{port}", "[::1]:{port}"])
def test_loopback_host_names_are_served(panel, host):
    status, _, _ = panel.request("GET", "/api/camera", headers={"Host": host.format(port=panel.port)})
    assert status == 200


def test_page_sets_a_strict_cookie_named_for_the_port_and_every_answer_is_locked_down(panel):
    status, headers, page = panel.request("GET", f"/?token={panel.token}", auth=False)
    assert status == 200 and b'type="module"' in page
    cookie = headers["Set-Cookie"]
    assert cookie.startswith(f"vexar_panel_{panel.port}={panel.token};")
    assert "HttpOnly" in cookie and "SameSite=Strict" in cookie
    status, _, _ = panel.request("GET", "/api/camera", auth=False,
                                 headers={"Cookie": f"other=1; vexar_panel_{panel.port}={panel.token}"})
    assert status == 200
    for path in ["/", "/api/camera", "/js/main.js", "/api/nothing"]:
        _, headers, _ = panel.request("GET", path)
        policy = headers["Content-Security-Policy"]
        assert "script-src 'self'" in policy and "frame-ancestors 'none'" in policy
        assert "'unsafe-inline'" not in policy
        assert headers["X-Content-Type-Options"] == "nosniff"
        assert headers["X-Frame-Options"] == "DENY"
    _, headers, _ = panel.request("GET", "/js/main.js")
    assert headers["Content-Type"].startswith("text/javascript")


def test_a_script_with_the_token_and_its_own_origin_may_change(panel):
    status, answer = panel.json("PUT", "/api/parameters/FrameRate", {"value": 20},
                                headers={"Origin": f"http://{panel.host}"})
    assert status == 200 and answer["applied"]["value"] == 20


# What a set applies and refuses, with the range mark, code name and range, is the cross-face
# table's (tests/faces); here what the panel adds.
def test_set_answers_what_was_requested_and_numbers_each_change(panel):
    status, answer = panel.json("PUT", "/api/parameters/IntegrationTime", {"value": 1})
    assert status == 200 and answer["requested"]["text"] == "1"
    status, again = panel.json("PUT", "/api/parameters/integrationtime", {"value": "0.25"})
    assert status == 200 and again["outside_range"] is False and again["seq"] == answer["seq"] + 1


def test_values_are_shown_as_held_not_clamped(panel):
    status, answer = panel.json("GET", "/api/parameters")
    values = {p["name"]: p for p in answer["parameters"]}
    assert values["IntegrationTime"]["current"]["text"] == "2.6455026"
    assert values["IntegrationTime"]["outside_range"] is True
    assert values["ModulationFrequency"]["current"] == {"value": None, "text": "nan", "reason": "nan"}
    assert values["MixingVoltage"]["current"]["reason"] == "write-only"
    assert values["RegionOfInterest"]["state_only"] is True




# (changes through the panel, changes by another vexar-ctl run, what the drawing's title says)
TIMING = [
    ([], [], "33.333 ms, 4 micro-frames of 8.333 ms, 4 phases each"),
    ([("MicroFrameNumber", 8)], [], "66.667 ms, 8 micro-frames of 8.333 ms, 4 phases each"),
    ([("MixingVoltage", 50), ("LeftIlluminationVoltage", 50), ("RightIlluminationVoltage", 50),
      ("ModulationFrequency", 30), ("DealiasingFrequency", 20), ("DealiasingOn", True)], [],
     "33.333 ms, 4 micro-frames of 8.333 ms, 6 phases each"),
    ([("FrameRate", 10)], ["MicroFrameNumber=2"], "50.000 ms, 2 micro-frames of 25.000 ms, 4 phases each"),
]


@pytest.mark.parametrize("through_panel,through_tool,title", TIMING)
def test_tool_and_panel_give_the_same_timing_byte_for_byte(tmp_path, through_panel, through_tool,
                                                            title):
    image = str(tmp_path / "camera.img")
    tool = [CTL, "--image", image]
    with Panel(command=[*tool, "serve"]) as served:
        for name, value in through_panel:
            assert served.json("PUT", f"/api/parameters/{name}", {"value": value})[0] == 200
        if through_tool:
            subprocess.run([*tool, "set", *through_tool], capture_output=True, check=True)
        status, headers, svg = served.request("GET", "/api/timing?format=svg")
        assert status == 200 and headers["Content-Type"] == "image/svg+xml"
        assert served.request("GET", "/api/timing?format=svg")[2] == svg
        status, timing = served.json("GET", "/api/timing")
        drawn = subprocess.run([*tool, "timing", "--format", "svg"], capture_output=True, check=True)
        text = subprocess.run([*tool, "timing"], capture_output=True, text=True, check=True).stdout
    assert drawn.stdout == svg and f"<title>frame period {title}</title>".encode() in svg
    assert text == timing["text"] and timing["svg"].encode() == svg
    # The text's rounded figures are the JSON's numbers, and the drawing's legend gives them.
    rows = dict(re.fullmatch(r"(.+?) {2,}(.+)", line).groups() for line in text.splitlines())
    for row in ("integration", "idle"):
        assert f"{row} {rows[row].split(' of ')[0]}".encode() in svg, row
    ms = {key: float(re.search(r"([\d.]+) ms", row)[1]) for key, row in rows.items() if " ms" in row}
    assert ms["frame period"] == pytest.approx(timing["frame_period_ms"], abs=5e-4)
    assert ms["micro-frames"] == pytest.approx(timing["micro_frame_period_ms"], abs=5e-4)
    assert ms["integration"] == pytest.approx(timing["integration_ms"], rel=1e-6)
    assert ms["idle"] == pytest.approx(timing["idle_ms"], abs=5e-4)
    assert rows["micro-frames"].startswith(f"{timing['micro_frames']} of ")
    assert rows["phases"].startswith(f"{timing['phases_per_micro_frame']} per ")


def test_profile_is_checked_whole_and_refusals_name_the_parameter(panel):
    before = panel.request("GET", "/api/fields")[2]
    bad = {"FrameRate": "fast", "Brightness": 1, "MicroFrameNumber": 4, "microframenumber": 2,
           "RegionOfInterest": {"x": 0, "y": 0, "width": 70000, "height": 1}, "Range": 1}
    status, answer = panel.json("PUT", "/api/profile", bad)
    assert status == 400
    reasons = {e["name"]: e["reason"] for e in answer["error"]["entries"]}
    assert set(reasons) == {"FrameRate", "Brightness", "microframenumber", "RegionOfInterest", "Range"}
    assert "twice" in reasons["microframenumber"] and "65535" in reasons["RegionOfInterest"]
    assert json.loads(panel.request("GET", "/api/fields")[2])["fields"] == json.loads(before)["fields"]
    status, answer = panel.json("PUT", "/api/profile", {"FrameRate": 20, "MixingSignalsMode": 2,
                                                       "IlluminationMode": 0})
    assert status == 422, answer


def test_profile_round_trip_and_reset(panel):
    loadable(panel)
    assert panel.json("PUT", "/api/parameters/FrameRate", {"value": 15})[0] == 200
    status, profile = panel.json("GET", "/api/profile")
    assert status == 200 and profile["parameters"]["FrameRate"] == 15
    assert panel.json("POST", "/api/reset")[0] == 200
    assert panel.json("GET", "/api/parameters/FrameRate")[1]["current"]["value"] == 30
    status, answer = panel.json("PUT", "/api/profile", profile)
    assert status == 200, answer
    assert panel.json("GET", "/api/parameters/FrameRate")[1]["current"]["value"] == 15


def test_a_preview_writes_nothing_and_goes_stale_when_another_process_writes(
        tmp_path, monkeypatch):
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "config"))
    image = str(tmp_path / "camera.img")
    subprocess.run([CTL, "--image", image, "set", "ModulationFrequency=20", "MixingVoltage=40",
                    "LeftIlluminationVoltage=40", "RightIlluminationVoltage=40"], check=True)
    subprocess.run([CTL, "--image", image, "preset", "save", "slow"], check=True)
    with Panel(f"image:{image}") as served:
        status, shown = served.json("POST", "/api/profile/preview", {"FrameRate": 12})
        assert status == 200, shown
        assert shown["parameters"]["FrameRate"] == 12 and shown["transactions"]
        assert served.json("GET", "/api/parameters/FrameRate")[1]["current"]["value"] == 30
        subprocess.run([CTL, "--image", image, "set", "FrameRate=20"], check=True)
        status, stale = served.json("PUT", f"/api/profile?preview={shown['preview']}")
        assert status == 422 and "the dry run is stale" in stale["error"]["message"]
        assert served.json("GET", "/api/parameters/FrameRate")[1]["current"]["value"] == 20
        again = stale["preview"]  # made again under the same hold
        assert served.json("PUT", f"/api/profile?preview={again['preview']}")[0] == 200
        assert served.json("GET", "/api/parameters/FrameRate")[1]["current"]["value"] == 12
        # A preset's preview has the same shape and is written the same way.
        status, preset = served.json("POST", "/api/profile/preview?preset=slow")
        assert status == 200 and preset["parameters"]["FrameRate"] == 30
        assert served.json("PUT", f"/api/profile?preview={preset['preview']}")[0] == 200
        assert served.json("GET", "/api/parameters/FrameRate")[1]["current"]["value"] == 30


def test_calibration_round_trip_in_both_forms(panel):
    record = {"phaseOffset1": {"offset": 1000}}
    assert panel.json("PUT", "/api/calibration", record)[0] == 200
    status, read = panel.json("GET", "/api/calibration")
    assert read["phaseOffset1"] == {"offset": 1000, "state": 2}
    status, headers, binary = panel.request("GET", "/api/calibration?format=binary")
    assert headers["Content-Type"] == "application/octet-stream" and binary
    assert panel.request("PUT", "/api/calibration", b"not a record",
                         {"Content-Type": "application/octet-stream"})[0] == 400
    assert panel.request("PUT", "/api/calibration", binary,
                         {"Content-Type": "application/octet-stream"})[0] == 200


def test_events_tell_each_change_with_its_number_trace_and_fields(panel):
    connection, received = events(panel)
    assert b"text/event-stream" in received
    status, answer = panel.json("PUT", "/api/parameters/MicroFrameNumber", {"value": 8})
    while f"id: {answer['seq']}\n".encode() not in received or not received.endswith(b"\n\n\r\n"):
        received += connection.recv(65536)
    line = [l for l in received.split(b"\n") if l.startswith(b"data: {\"seq\"")][-1]
    event = json.loads(line[6:])
    assert event["kind"] == "set" and event["seq"] == answer["seq"]
    rates = {p["name"]: p["current"]["text"] for p in event["parameters"]}
    assert rates["FrameRate"] == "15" and rates["MicroFrameNumber"] == "8"
    assert any(t["direction"] == "write" for t in event["trace"])
    assert event["changed_fields"] and all("was" in f for f in event["changed_fields"])
    assert event["timing"]["svg"] == panel.request("GET", "/api/timing?format=svg")[2].decode()
    connection.close()


def test_another_process_s_change_is_pushed_to_an_idle_panel(tmp_path):
    image = str(tmp_path / "camera.img")
    with Panel(f"image:{image}") as served:
        connection, received = events(served)
        subprocess.run([CTL, "--image", image, "set", "MicroFrameNumber=8"], check=True)
        # No request in between: the panel's own look at the image finds the change.
        deadline = time.monotonic() + 10
        while b'"kind":"external"' not in received.replace(b" ", b""):
            assert time.monotonic() < deadline, "no external change on the stream"
            received += connection.recv(65536)
        assert b"8 micro-frames of 8.333 ms" in received
        connection.close()


def test_stop_ends_open_event_streams(panel):
    connection, received = events(panel)
    code, err = panel.stop()
    while chunk := connection.recv(65536):
        received += chunk
    assert code == 0 and "stopped" in err
    assert received.endswith(b"0\r\n\r\n")
    panel.stop = lambda: (0, "")


def test_a_signal_sent_twice_stops_the_panel_once(panel):
    # timeout(1) signals the program and then its process group: the second may come while
    # the panel is already stopping, and must not kill it with the default action.
    panel.process.send_signal(signal.SIGINT)
    time.sleep(0.0005)
    panel.process.send_signal(signal.SIGINT)
    _, err = panel.process.communicate(timeout=20)
    assert panel.process.returncode == 0 and err.endswith("serve: stopped (interrupt)\n")
    panel.stop = lambda: (0, "")


@pytest.mark.parametrize("listen,message", [("127.0.0.1", "ADDR:PORT"), ("example.com:80", "IPv4"),
                                            ("127.0.0.1:99999", "port")])
def test_malformed_listen_addresses_are_refused(listen, message):
    run = subprocess.run([SERVER, "sim", "--listen", listen], capture_output=True, text=True, timeout=20)
    assert run.returncode == 2 and message in run.stderr and run.stdout == ""
    # The tool says it once, in its own voice.
    tool = subprocess.run([CTL, "serve", "--listen", listen], capture_output=True, text=True, timeout=20)
    assert tool.returncode == 2 and tool.stdout == ""
    assert tool.stderr.startswith(f"vexar-ctl: serve: ") and tool.stderr.count("\n") == 1
    assert message in tool.stderr


@pytest.mark.parametrize("argv", [[CTL, "serve", "--listen", ""], [CTL, "serve", "--listen="],
                                  [SERVER, "sim", "--listen", ""]])
def test_an_empty_listen_address_is_refused(argv):
    run = subprocess.run(argv, capture_output=True, text=True, timeout=20)
    assert run.returncode == 2 and run.stdout == "" and "--listen" in run.stderr


def test_a_field_write_keeps_its_neighbours_in_the_register(panel):
    fields = panel.json("GET", "/api/fields")[1]["fields"]
    by_address = {}
    for field in fields:
        by_address.setdefault(field["address"], []).append(field)
    # A register of several fields, one of them wider than a bit.
    shared = next(group for group in by_address.values()
                  if len(group) > 1 and any(f["msb"] > f["lsb"] for f in group))
    target = next(f for f in shared if f["msb"] > f["lsb"])
    value = (target["value"] + 1) % (1 << (target["msb"] - target["lsb"] + 1))
    status, answer = panel.json("PUT", f"/api/fields/{target['index']}", {"value": value})
    assert status == 200 and answer["value"] == value, answer
    after = {f["index"]: f["value"] for f in panel.json("GET", "/api/fields")[1]["fields"]}
    assert after[target["index"]] == value
    assert all(after[f["index"]] == f["value"] for f in shared if f is not target)
