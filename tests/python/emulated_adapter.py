"""The emulated I2C adapter (vexar-adapter-emulator) for tests that unplug it, power-cycle the
module behind it or make its transfers fail, while programs under umockdev-wrapper use it."""

import os
import shutil
import subprocess
import sys
from pathlib import Path
from typing import Any, Optional

EMULATOR = os.environ.get("VEXAR_ADAPTER_EMULATOR", "vexar-adapter-emulator")
WRAPPER = shutil.which("umockdev-wrapper")


def missing() -> Optional[str]:
    """Why the emulation cannot run here, or None."""
    if WRAPPER is None:
        return "umockdev-wrapper is not installed"
    if shutil.which(EMULATOR) is None:
        return f"{EMULATOR} was not built (libumockdev-dev missing)"
    return None


class EmulatedAdapter:
    """/dev/i2c-1 with the simulated module behind it, for the programs run()/popen() start."""

    def __init__(self) -> None:
        self.process = subprocess.Popen([EMULATOR], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        assert self.process.stdout is not None
        ready = self.process.stdout.readline().strip()
        assert ready.startswith("ready UMOCKDEV_DIR="), ready
        self.root = Path(ready.split("=", 1)[1])
        asan = os.environ.get("ASAN_OPTIONS", "")
        # The preload goes before a sanitizer's runtime; its socket path must stay short.
        self.env = {**os.environ, "UMOCKDEV_DIR": str(self.root), "TMPDIR": "/tmp",
                    "ASAN_OPTIONS": asan + ":verify_asan_link_order=0"}

    def command(self, line: str) -> str:
        assert self.process.stdin is not None and self.process.stdout is not None
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().strip()
        assert answer.startswith("ok"), f"{line}: {answer}"
        return answer

    def argv(self, *args: str) -> list[str]:
        assert WRAPPER is not None
        return [WRAPPER, *args]

    def run(self, *args: str, **kwargs: Any) -> subprocess.CompletedProcess:
        return subprocess.run(self.argv(*args), env=self.env, capture_output=True, text=True,
                              timeout=60, **kwargs)

    def python(self, code: str, **kwargs: Any) -> subprocess.Popen:
        """A Python program on the adapter, talking over its standard input and output."""
        return subprocess.Popen(self.argv(sys.executable, "-c", code), env=self.env,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, **kwargs)

    def close(self) -> None:
        if self.process.stdin:
            self.process.stdin.close()
        self.process.wait(timeout=10)
