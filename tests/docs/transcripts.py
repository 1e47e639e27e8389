"""Runs the shell sessions of the documents and holds what each command prints to the output
shown below it (the session format and the placeholders are described in docs/testing.md).

  transcripts.py TOOL_DIR PLUGIN DOCUMENT...

VEXAR_DOCS_UPDATE=1 rewrites the shown output from what was printed."""

import difflib
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path
from typing import Iterator

NEEDS_A_MODULE = re.compile(r"(^|\s)--bus[\s=]|^i2c")
HERE_DOCUMENT = re.compile(r"<<-?\s*'?(\w+)'?")
URL = re.compile(r"(https?://[^/\s]+):(\d+)/\?token=[0-9a-f]{64}")


def commands(lines: list[str]) -> Iterator[tuple[str, int, int]]:
    """Each command of the sessions (fenced blocks without a language whose first line begins
    with "$ "), with the [first, end) lines of the output shown for it."""
    at = 0
    while at < len(lines):
        if lines[at] != "```" or not lines[at + 1].startswith("$ "):
            at += 1 + (lines[at].startswith("```") and lines.index("```", at + 1) - at)
            continue
        end, at = lines.index("```", at + 1), at + 1
        while at < end:
            command, at = lines[at][2:], at + 1
            if here := HERE_DOCUMENT.search(command):
                body = lines.index(here[1], at) + 1
                command, at = "\n".join([command, *lines[at:body]]), body
            shown = at
            while at < end and not lines[at].startswith("$ "):
                at += 1
            last = at
            while last > shown and not lines[last - 1]:
                last -= 1
            yield command, shown, last
        at += 1


def run(command: str, folder: str, plugin: str) -> list[str]:
    """What a person at a terminal sees: with a pipe, standard output would be block-buffered
    and standard error would jump ahead of it."""
    controller, terminal = os.openpty()
    process = subprocess.Popen(["sh", "-c", command], cwd=folder, stdin=subprocess.DEVNULL,
                               stdout=terminal, stderr=terminal, start_new_session=True)
    os.close(terminal)
    printed = b""
    try:
        while chunk := os.read(controller, 65536):
            printed += chunk
    except OSError:  # EIO: every holder of the terminal has closed it
        pass
    os.close(controller)
    text = printed.decode().replace("\r\n", "\n")  # the terminal's newline is CR LF
    text = text.replace(plugin, "<checkout>/build/bin/" + Path(plugin).name)
    text = text.replace(os.path.join(folder, "config"), "<config>")
    # A port the command names stays; one the tool picks is a placeholder.
    text = URL.sub(lambda url: url[1] + ":" + (url[2] if ":" + url[2] in command else "<port>")
                   + "/?token=<token>", text)
    status = process.wait()
    return text.splitlines() + ([f"[exit status {status}]"] if status else [])


def check(document: Path, plugin: str, update: bool) -> list[str]:
    """Runs the document's sessions in order in one scratch folder; the differences."""
    lines, ran, skipped = document.read_text().split("\n"), 0, 0
    differences: list[str] = []
    fixes: list[tuple[int, int, list[str]]] = []
    with tempfile.TemporaryDirectory(prefix="vexar-docs-") as folder:
        os.environ["XDG_CONFIG_HOME"] = os.path.join(folder, "config")  # presets of the session
        for command, shown, last in list(commands(lines)):
            if NEEDS_A_MODULE.search(command):
                skipped += 1
                continue
            ran, printed = ran + 1, run(command, folder, plugin)
            if printed != lines[shown:last]:
                differences += difflib.unified_diff(lines[shown:last], printed,
                                                    f"{document}:{shown + 1}", "printed",
                                                    lineterm="")
                fixes.append((shown, last, printed))
    print(f"{document}: {ran} commands run, {skipped} skipped (they need a real module)")
    for shown, last, printed in reversed(fixes if update else []):
        lines[shown:last] = printed
    if update and fixes:
        document.write_text("\n".join(lines))
    return differences


def main() -> int:
    tools, plugin, *documents = [os.path.abspath(argument) for argument in sys.argv[1:]]
    os.environ["PATH"] = tools + os.pathsep + os.environ["PATH"]
    # Profiles say when they were saved: the sessions show them saved at one fixed time.
    os.environ["SOURCE_DATE_EPOCH"] = "1796688000"
    update = bool(os.environ.get("VEXAR_DOCS_UPDATE"))
    differences = [line for document in documents
                   for line in check(Path(document), plugin, update)]
    print("\n".join(differences))
    if differences and not update:
        print("the documents show other output than the tool prints "
              "(VEXAR_DOCS_UPDATE=1 rewrites it)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
