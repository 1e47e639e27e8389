"""The production-line example of docs/python.md, run as a user runs it."""

import json
import subprocess
import sys
from pathlib import Path

EXAMPLE = Path(__file__).parents[2] / "python" / "examples" / "production_line.py"


def run(tmp_path: Path, *args: str) -> subprocess.CompletedProcess[str]:
    """The example in tmp_path, with its profile there."""
    return subprocess.run([sys.executable, str(EXAMPLE), "--profile", "out.json", *args],
                          cwd=tmp_path, capture_output=True, text=True, timeout=60)


def test_a_good_module_passes_and_its_profile_is_saved(tmp_path: Path) -> None:
    done = run(tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines()[-1] == "PASS"
    assert json.loads((tmp_path / "out.json").read_text())["parameters"]["FrameRate"] == 25.0


def test_a_failed_check_prints_its_bus_trace(tmp_path: Path) -> None:
    # The module cannot hold this integration time at 25 frames per second.
    done = run(tmp_path, "--set", "IntegrationTime=1.0")
    assert done.returncode == 1 and done.stdout.splitlines()[-1] == "FAIL"
    failure, *trace = done.stderr.splitlines()
    assert failure.startswith("FAIL settings: IntegrationTime")
    assert trace and all(line.startswith(("  w", "  r")) for line in trace)
    assert not (tmp_path / "out.json").exists()
