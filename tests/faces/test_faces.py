"""One table of requests, each run through every face of the client library (the C++ API,
vexar-ctl, the Python package, the panel's HTTP API), each face on a register image of its own.
A face that ends a request other than the table says (value, applied value, error kind,
plug-in code, errno, the registers it leaves) fails; so does one whose registers differ from
the others'.

The table is requests.json. A row has "do" (the request), optionally "setup" (requests another
process makes on the image first), "options" ("force", "lock_timeout", "plugin", "held": the image's lock
held by another process; "adapter": the faces run on the emulated /dev/i2c-1 instead, and these
commands of its emulator, such as a fault, come just before the request) and "expect":
  ok, text (a get's value), applied (a set's read-back, null for write-only), outside_range,
  kind, code, code_name, allowed, errno, message (substrings), not_in_message,
  changed (other values the write moved: {name: [before, after]}),
  unchanged (image lines that must stay as the setup left them; "*": the whole image),
  one_process (the registers equal those of setup and request made by one process).
"faces" limits a row to the faces that can be asked it (a panel whose plug-in cannot be loaded
never serves).
Values are given as JSON (a number, a flag, {"x", "y", "width", "height"}) or as text people
type ({"text": "0x8"})."""

import fcntl
import json
import os
import struct
import subprocess
import sys
import time
import urllib.parse
import warnings
from pathlib import Path
from typing import Any, Callable, Iterator, Optional

import pytest

sys.path.insert(0, str(Path(__file__).parents[1] / "panel"))
sys.path.append(str(Path(__file__).parents[1] / "python"))  # after the panel's conftest
from conftest import Panel  # noqa: E402
from emulated_adapter import EmulatedAdapter, missing  # noqa: E402

import vexar  # noqa: E402

HERE = Path(__file__).parent
CTL = os.environ.get("VEXAR_CTL", "vexar-ctl")
CPP = os.environ.get("VEXAR_CPP_FACE", "cpp-face")
ROWS = json.loads((HERE / "requests.json").read_text())["requests"]
FACES = ["cpp", "cli", "python", "panel"]

# What a face does not yet do as the table says, by (row, face): each must still fail, so
# that the entry goes as soon as the face is put right.
KNOWN_DRIFT: dict[tuple[str, ...], str] = {
    tuple(key.split(" | ")): why
    for key, why in json.loads((HERE / "known-drift.json").read_text())["drift"].items()}


def as_text(value: Any) -> Optional[str]:
    """A Python face's value as vexar-ctl writes it, so that every face compares alike."""
    if value is None or isinstance(value, str):
        return value
    if isinstance(value, dict):  # a region in JSON
        return ",".join(str(value[key]) for key in ("x", "y", "width", "height"))
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        if value != value:
            return "nan" if struct.pack(">f", value)[0] < 0x80 else "-nan"
        if value in (float("inf"), float("-inf")):
            return "inf" if value > 0 else "-inf"
        single = struct.unpack("f", struct.pack("f", value))[0]
        for digits in range(1, 10):
            text = f"{single:.{digits}g}"
            if struct.pack("f", float(text)) == struct.pack("f", single):
                return text.replace("e+", "e")
    return ",".join(str(part) for part in value)


def canonical(text: Any) -> Any:
    """A value's text as something to compare: a number by its single-precision bits, so that
    "30" and "3e01" are one value."""
    if not isinstance(text, str):
        return text
    try:
        return struct.pack("f", float(text))
    except ValueError:
        return text


def value_text(value: Any) -> str:
    if isinstance(value, dict) and "text" in value:
        return str(value["text"])
    return as_text(value) if isinstance(value, (dict, bool)) else json.dumps(value)


# --- the faces: each runs one request on an image and answers the outcome -------------------

def just_before(options: dict) -> None:
    """What the row does at the last moment (another process takes the image's lock, a fault
    on the adapter)."""
    options.pop("_hold", lambda: None)()


def place(image: Path, options: dict) -> tuple[list[str], Optional[dict], str]:
    """How a face's program starts (a prefix), its environment and the camera it opens: the
    image, or the emulated adapter of the row."""
    adapter: Optional[EmulatedAdapter] = options.get("_adapter")
    if adapter is None:
        return [], None, f"image:{image}"
    return adapter.argv(), adapter.env, "/dev/i2c-1"


def tool_options(options: dict) -> list[str]:
    """The lock timeout and plug-in of a row as vexar-ctl's options."""
    return [*(["--lock-timeout", str(options["lock_timeout"])] if "lock_timeout" in options else []),
            *(["--plugin", options["plugin"]] if "plugin" in options else [])]


def set_outcome(applied: Any, outside_range: bool, changed: Iterator[tuple]) -> dict:
    """A set's outcome from what a face answered: the read-back and each (name, was, now)."""
    return {"ok": True, "applied": applied, "outside_range": outside_range,
            "changed": {name: [as_text(was), as_text(now)] for name, was, now in changed}}


def cpp_face(image: Path, request: dict, options: dict) -> dict:
    prefix, env, where = place(image, options)
    just_before(options)
    shown = {k: v for k, v in options.items() if not k.startswith("_")}
    done = subprocess.run([*prefix, CPP, where.removeprefix("image:")], input=json.dumps({**request, **shown}),
                          capture_output=True, text=True, timeout=60, env=env)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


def cli_face(image: Path, request: dict, options: dict) -> dict:
    prefix, env, where = place(image, options)
    just_before(options)
    base = [*prefix, CTL, *(["--image", str(image)] if where.startswith("image:")
                            else ["--bus", where]), "--format", "json", *tool_options(options)]
    op = request["op"]
    force = ["--force"] if options.get("force") else []
    if op == "get":
        argv = base + ["get", request["name"]]
    elif op == "set":
        argv = base + ["set", *force, f"{request['name']}={value_text(request['value'])}"]
    else:
        profile = image.with_suffix(".profile.json")
        profile.write_text(json.dumps(request["value"]))
        dry = ["--dry-run"] if op == "dry_run" else []
        argv = base + ["state", "load", *force, *dry, str(profile)]
    done = subprocess.run(argv, capture_output=True, text=True, timeout=60, env=env)
    if done.returncode != 0:
        error = json.loads(done.stderr)["error"]
        return {**error, "ok": False, "status": done.returncode}
    if op == "get":
        return {"ok": True, "text": as_text(json.loads(done.stdout)[0].get("value"))}
    if op == "set":
        applied = json.loads(done.stdout)[0]
        return set_outcome(as_text(applied["applied"]), applied["outside_range"],
                           ((c["name"], c["before"], c["after"]) for c in applied["changed"]))
    if op == "dry_run":
        return dry_run_outcome(json.loads(done.stdout))
    return {"ok": True}


def dry_run_outcome(report: dict) -> dict:
    """The fields a dry run would change and its number of writes, from its JSON."""
    return {"ok": True,
            "fields": {f["name"] or str(f["index"]): [f["was"], f["will_be"]]
                       for f in report["fields"]},
            "writes": sum(" r" not in t for t in report["transactions"])}


# Each kind's exit status, HTTP status and Python class, from the library's one table.
KINDS = {name: {"cli": status, "panel": http, "python": cls.__name__}
         for name, status, http, cls in vexar._vexar._error_kinds()}


def python_value(value: Any) -> Any:
    if isinstance(value, dict) and "text" in value:
        return value["text"]
    if isinstance(value, dict):
        return vexar.Region(value["x"], value["y"], value["width"], value["height"])
    return value


def python_face(image: Path, request: dict, options: dict) -> dict:
    prefix, env, where = place(image, options)
    if prefix:
        # The emulation reaches only a program started under its wrapper: this one again.
        just_before(options)
        done = subprocess.run([*prefix, sys.executable, __file__, where],
                              input=json.dumps([request, {k: v for k, v in options.items()
                                                          if not k.startswith("_")}]),
                              capture_output=True, text=True, timeout=60, env=env)
        assert done.returncode == 0, done.stderr
        return json.loads(done.stdout)  # type: ignore[no-any-return]
    return python_face_on(where, request, options)


def python_face_on(where: str, request: dict, options: dict) -> dict:
    just_before(options)
    try:
        extra = {key: options[key] for key in ("lock_timeout", "plugin") if key in options}
        with vexar.open(where, **extra) as cam:
            if request["op"] == "get":
                return {"ok": True, "text": as_text(cam.get(request["name"]))}
            if request["op"] == "set":
                force = options.get("force", False)
                with warnings.catch_warnings():  # an OutsideRangeWarning: outside_range says it
                    warnings.simplefilter("ignore", vexar.OutsideRangeWarning)
                    applied = cam.set(request["name"], python_value(request["value"]),
                                      allow_non_finite=force, force=force)
                return set_outcome(as_text(applied.applied), applied.outside_range,
                                   ((name, *pair) for name, pair in applied.changed.items()))
            if request["op"] == "dry_run":
                dry = cam.apply_profile(request["value"], force=options.get("force", False),
                                        dry_run=True)
                return {"ok": True,
                        "fields": {str(k): list(v) for k, v in dry.fields.items()},
                        "writes": sum(t.direction == "write" for t in dry.transactions)}
            cam.apply_profile(request["value"], force=options.get("force", False))
            return {"ok": True}
    except vexar.Error as error:  # its class is held to its kind's with the status
        return {"ok": False, "kind": error.kind, "code": error.code, "code_name": error.code_name,
                "allowed": error.allowed, "errno": getattr(error, "errno", None),
                "message": str(error),
                "status": [cls.__name__ for cls in type(error).__mro__]}
    except TypeError as error:  # a value of a type this face does not take
        return {"ok": False, "kind": "BadInput", "code": None, "errno": None,
                "message": str(error)}


def panel_face(image: Path, request: dict, options: dict) -> dict:
    prefix, env, where = place(image, options)
    camera = ["--image", str(image)] if where.startswith("image:") else ["--bus", where]
    with Panel(command=[*prefix, CTL, *camera, *tool_options(options), "serve"], env=env) as panel:
        just_before(options)
        name = urllib.parse.quote(request.get("name", ""), safe="")
        if request["op"] == "get":
            status, body = panel.json("GET", f"/api/parameters/{name}")
        elif request["op"] == "set":
            value = request["value"]
            sent = value["text"] if isinstance(value, dict) and "text" in value else value
            status, body = panel.json("PUT", f"/api/parameters/{name}",
                                      {"value": sent, **({"force": True}
                                                         if options.get("force") else {})})
        elif request["op"] == "dry_run":
            status, body = panel.json("POST", "/api/profile/preview", request["value"])
        else:
            force = "?force=1" if options.get("force") else ""
            status, body = panel.json("PUT", "/api/profile" + force, request["value"])
    if status >= 400:
        return {**body["error"], "ok": False, "status": status}
    if request["op"] == "get":
        return {"ok": True, "text": body["current"]["text"]}
    if request["op"] == "set":
        applied = body.get("applied")
        return set_outcome(applied["text"] if applied else None, body["outside_range"],
                           ((c["name"], c["before"], c["after"]) for c in body["changed"]))
    if request["op"] == "dry_run":
        return dry_run_outcome(body)
    return {"ok": True}


RUN: dict[str, Callable[[Path, dict, dict], dict]] = {
    "cpp": cpp_face, "cli": cli_face, "python": python_face, "panel": panel_face}


# --- the table ----------------------------------------------------------------------------

def prepare(image: Path, row: dict) -> None:
    """The setup, made by another process, one request at a time."""
    for step in row.get("setup", []):
        outcome = cpp_face(image, step, {})
        assert outcome["ok"], f"setup {step}: {outcome}"


def image_lines(image: Path) -> list[str]:
    return image.read_text().splitlines() if image.exists() else []


@pytest.fixture
def held() -> Iterator[Callable[[Path], None]]:
    """Holds an image's lock from another process for the rest of the test."""
    holders: list[subprocess.Popen] = []

    def hold(image: Path) -> None:
        image.touch()
        holder = subprocess.Popen(["flock", str(image), "sleep", "30"])
        holders.append(holder)
        for _ in range(200):
            with open(image) as probe:
                try:
                    fcntl.flock(probe, fcntl.LOCK_EX | fcntl.LOCK_NB)
                    fcntl.flock(probe, fcntl.LOCK_UN)
                except BlockingIOError:
                    return
            time.sleep(0.05)
        raise AssertionError("the holder never took the lock")

    yield hold
    for holder in holders:
        holder.kill()
        holder.wait()


def check(row: dict, outcome: dict, before: list[str], after: list[str]) -> list[str]:
    """What differs from the row's expectation, in words."""
    expect, wrong = row["expect"], []
    # canonical leaves what is not text as it is: the fields and the count of writes too.
    for key in ("ok", "text", "applied", "outside_range", "kind", "code", "code_name", "allowed",
                "errno", "fields", "writes"):
        if key in expect and canonical(outcome.get(key)) != canonical(expect[key]):
            wrong.append(f"{key}: {outcome.get(key)!r}, not {expect[key]!r}")
    message = outcome.get("message", "")
    wrong += [f"message {message!r} lacks {part!r}" for part in expect.get("message", [])
              if part not in message]
    wrong += [f"message {message!r} has {part!r}" for part in expect.get("not_in_message", [])
              if part in message]
    for name, (was, now) in expect.get("changed", {}).items():
        if list(map(canonical, outcome.get("changed", {}).get(name, []))) != \
                [canonical(was), canonical(now)]:
            wrong.append(f"changed {name}: {outcome.get('changed', {}).get(name)}, "
                         f"not {[was, now]}")
    for prefix in expect.get("unchanged", []):
        kept = [line for line in before if prefix == "*" or line.startswith(prefix)]
        now = [line for line in after if prefix == "*" or line.startswith(prefix)]
        if kept != now:
            wrong.append(f"image lines {prefix!r}: {kept} became {now}")
    return wrong


@pytest.mark.parametrize("face", FACES)
@pytest.mark.parametrize("row", ROWS, ids=[row["name"] for row in ROWS])
def test_every_face_ends_each_request_as_the_table_says(
        row: dict, face: str, tmp_path: Path, held: Callable[[Path], None],
        request: pytest.FixtureRequest) -> None:
    if face not in row.get("faces", FACES):
        pytest.skip(f"{face} cannot be asked this")
    image = tmp_path / "camera.img"
    prepare(image, row)
    before = image_lines(image)
    options = dict(row.get("options", {}))
    if options.pop("held", False):
        options["_hold"] = lambda: held(image)
    if "adapter" in options:
        if missing():
            pytest.skip(str(missing()))
        adapter = options["_adapter"] = EmulatedAdapter()
        request.addfinalizer(adapter.close)
        faults = options.pop("adapter")
        options["_hold"] = lambda: [adapter.command(line) for line in faults]
    outcome = RUN[face](image, row["do"], options)
    wrong = check(row, outcome, before, image_lines(image))
    # A failure ends in the status its kind has in the library's table, in every face.
    if not outcome.get("ok") and face in ("cli", "panel", "python") and outcome.get("kind") in KINDS:
        expected = KINDS[outcome["kind"]][face]
        status = outcome.get("status")
        if not (expected in status if face == "python" else status == expected):
            wrong.append(f"status {status}, not {expected} for {outcome['kind']}")
    if row.get("expect", {}).get("one_process"):
        reference = tmp_path / "reference.img"
        together = cpp_face(reference, {"op": "sequence",
                                        "steps": [*row.get("setup", []), row["do"]]}, {})
        assert together["ok"], together
        if image_lines(reference) != image_lines(image):
            wrong.append(f"registers {image_lines(image)}, one process: "
                         f"{image_lines(reference)}")
    drift = KNOWN_DRIFT.get((row["name"], face))
    if drift:
        assert wrong, f"{face} now does what the table says: take '{row['name']} | {face}' " \
                      f"out of known-drift.json"
        pytest.xfail(drift)
    assert not wrong, f"{face}: {outcome}\n" + "\n".join(wrong)


SUCCEEDING = [row for row in ROWS if row["expect"].get("ok")
              and "adapter" not in row.get("options", {})]


@pytest.mark.parametrize("row", SUCCEEDING, ids=[row["name"] for row in SUCCEEDING])
def test_faces_leave_the_same_registers(row: dict, tmp_path: Path) -> None:
    images = {}
    for face in FACES:
        image = tmp_path / f"{face}.img"
        prepare(image, row)
        RUN[face](image, row["do"], dict(row.get("options", {})))
        images[face] = image_lines(image)
    differing = {face: lines for face, lines in images.items() if lines != images["cpp"]}
    drift = [KNOWN_DRIFT.get((row["name"], face)) for face in differing]
    if differing and all(drift):
        pytest.xfail("; ".join(d for d in drift if d))
    assert not differing, f"C++ leaves {images['cpp']}; {differing}"


if __name__ == "__main__":
    # The Python face on the emulated adapter, under its wrapper: the request and options on
    # standard input, the outcome on standard output.
    asked, given = json.loads(sys.stdin.read())
    print(json.dumps(python_face_on(sys.argv[1], asked, given)))
