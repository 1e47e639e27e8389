"""Runs the shell sessions shown in the documents and compares what they print with what the
documents show.

A session is a fenced block without a language whose first line begins with "$ ". Each "$ "
line is a command (a here-document's lines up to its end word belong to it); the lines up to
the next command are what it printed, standard output and standard error as a terminal shows
them, then "[exit status N]" when the status is not 0. The sessions of one document run in
order in one scratch folder, with vexar-ctl first on PATH and a pseudo-terminal as their
standard output and error. A command that names an adapter (--bus) or runs an i2c-tools
program needs a real module: it is not run and its output is not checked.

What changes from run to run is written as placeholders: the plug-in's path as
<checkout>/build/bin/libVEXAR_ParamInterp_YORINDImpl.so, the served panel's port as <port>
(unless the command names it) and its token as <token>.

  transcripts.py TOOL_DIR PLUGIN DOCUMENT...
VEXAR_DOCS_UPDATE=1 rewrites each document's shown output from what was printed and shows the
diff."""

import difflib
import os
import re
import select
import subprocess
import sys
import tempfile
import time
from pathlib import Path

NEEDS_A_MODULE = re.compile(r"(^|\s)--bus[\s=]|^i2c")
HERE_DOCUMENT = re.compile(r"<<-?\s*'?(\w+)'?")
URL = re.compile(r"(https?://[^/\s]+):(\d+)/\?token=[0-9a-f]{64}")


def sessions(lines: list[str]) -> list[tuple[int, int]]:
    """The [first, end) line ranges of the session blocks' contents."""
    found, fence = [], None
    for number, line in enumerate(lines):
        if fence is None and line.startswith("```"):
            fence = number if line == "```" else -1
        elif fence is not None and line.startswith("```"):
            if fence >= 0 and lines[fence + 1].startswith("$ "):
                found.append((fence + 1, number))
            fence = None
    return found


def commands(lines: list[str], first: int, end: int) -> list[tuple[str, int, int]]:
    """Each command of a session with the [first, end) lines of its shown output."""
    found, at = [], first
    while at < end:
        command, at = lines[at][2:], at + 1
        here = HERE_DOCUMENT.search(command)
        if here:
            while at < end and lines[at] != here.group(1):
                command, at = command + "\n" + lines[at], at + 1
            command, at = command + "\n" + here.group(1), at + 1
        shown = at
        while at < end and not lines[at].startswith("$ "):
            at += 1
        last = at
        while last > shown and not lines[last - 1]:
            last -= 1
        found.append((command, shown, last))
    return found


def terminal_run(command: str, folder: str) -> tuple[str, int]:
    """Runs the command with a pseudo-terminal as its standard output and error, so that the two
    interleave as a person sees them (a pipe would make standard output block-buffered)."""
    controller, terminal = os.openpty()
    try:
        process = subprocess.Popen(["sh", "-c", command], cwd=folder, stdin=subprocess.DEVNULL,
                                   stdout=terminal, stderr=terminal, start_new_session=True)
    finally:
        os.close(terminal)
    printed, deadline = b"", time.monotonic() + 60
    try:
        while select.select([controller], [], [], max(0, deadline - time.monotonic()))[0]:
            try:
                chunk = os.read(controller, 65536)
            except OSError:  # EIO: every holder of the terminal has closed it
                break
            if not chunk:
                break
            printed += chunk
        else:
            process.kill()
            raise TimeoutError(f"{command!r} did not end within 60 s")
    finally:
        os.close(controller)
    # The terminal turns each newline into CR LF.
    return printed.decode().replace("\r\n", "\n"), process.wait()


def run(command: str, folder: str, plugin: str) -> list[str]:
    printed, status = terminal_run(command, folder)
    printed = printed.replace(plugin, "<checkout>/build/bin/" + Path(plugin).name)
    # A port the command names stays; one the tool picks is a placeholder.
    printed = URL.sub(lambda url: url[1] + ":" + (url[2] if ":" + url[2] in command else "<port>")
                      + "/?token=<token>", printed)
    return printed.splitlines() + ([f"[exit status {status}]"] if status else [])


def check(document: Path, plugin: str, update: bool) -> tuple[int, int, list[str]]:
    """Runs the document's sessions: the commands run, those skipped, and the differences."""
    lines = document.read_text().split("\n")
    ran, skipped = 0, 0
    differences: list[str] = []
    fixes: list[tuple[int, int, list[str]]] = []
    with tempfile.TemporaryDirectory(prefix="vexar-docs-") as folder:
        for first, end in sessions(lines):
            for command, shown, last in commands(lines, first, end):
                if NEEDS_A_MODULE.search(command):
                    skipped += 1
                    continue
                ran += 1
                printed = run(command, folder, plugin)
                if printed != lines[shown:last]:
                    differences += difflib.unified_diff(lines[shown:last], printed,
                                                        f"{document}:{shown + 1}", "printed",
                                                        lineterm="")
                    fixes.append((shown, last, printed))
    if update and fixes:
        for shown, last, printed in reversed(fixes):
            lines[shown:last] = printed
        document.write_text("\n".join(lines))
    return ran, skipped, differences


def main() -> int:
    tools, plugin, *documents = [os.path.abspath(argument) for argument in sys.argv[1:]]
    os.environ["PATH"] = tools + os.pathsep + os.environ["PATH"]
    update = bool(os.environ.get("VEXAR_DOCS_UPDATE"))
    failed = False
    for document in map(Path, documents):
        ran, skipped, differences = check(document, plugin, update)
        print(f"{document}: {ran} commands run, {skipped} skipped (they need a module)")
        print("\n".join(differences))
        failed = failed or bool(differences) and not update
    if failed:
        print("the documents show other output than the tool prints "
              "(VEXAR_DOCS_UPDATE=1 rewrites it)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
