#!/usr/bin/python3
"""Writes the overloads of Camera.get and Camera.__getitem__ into vexar/_vexar.pyi, one for
each value type with the names of the readable parameters of that type as a Literal, from
the parameter list of the built package, so that a type checker knows get("FrameRate") is a
float. Names not known statically keep the union.

    PYTHONPATH=BUILD/python /usr/bin/python3 python/tools/stub_overloads.py [--check]

--check changes nothing and exits 1 when the stub differs from what would be written.
"""

import sys
from pathlib import Path

import vexar

STUB = Path(__file__).resolve().parents[1] / "vexar" / "_vexar.pyi"
BEGIN = "    # BEGIN overloads of get by name: python/tools/stub_overloads.py writes them\n"
END = "    # END overloads of get by name\n"
RESULT = {"float": "float", "int": "int", "bool": "bool", "region": "Region"}


def overloads() -> str:
    """The block between the markers, from the plug-in's parameters."""
    with vexar.open("sim") as cam:
        parameters = [p for p in cam.parameters if p.readable]
    lines = []
    for method in ("get", "__getitem__"):
        for kind, result in RESULT.items():
            names = ", ".join(f'"{p.name}"' for p in parameters if p.type == kind)
            if names:
                lines += ["    @overload\n",
                          f"    def {method}(self, name: Literal[{names}]) -> {result}: ...\n"]
        lines += ["    @overload\n", f"    def {method}(self, name: _Name) -> Value: ...\n"]
    return "".join(lines)


def regenerated(stub: str) -> str:
    """The stub with the block between its markers written anew."""
    head, rest = stub.split(BEGIN)
    _, tail = rest.split(END)
    return head + BEGIN + overloads() + END + tail


def main() -> int:
    """Writes the stub, or with --check tells whether it is up to date."""
    stub = STUB.read_text()
    fresh = regenerated(stub)
    if "--check" in sys.argv[1:]:
        return int(fresh != stub)
    STUB.write_text(fresh)
    return 0


if __name__ == "__main__":
    sys.exit(main())
