"""Plain value types of the vexar package, shared by the extension and its users."""

from dataclasses import dataclass
import typing
from typing import Optional, Union


class Region(typing.NamedTuple):
    """A rectangle of the 320 x 240 sensor, in pixels."""

    x: int
    y: int
    width: int
    height: int


class Bounds(typing.NamedTuple):
    """What a numeric parameter's range allows: minimum to maximum in steps of step."""

    minimum: float
    maximum: float
    step: float


class RegionBounds(typing.NamedTuple):
    """The bounds of each field of a region parameter."""

    x: Bounds
    y: Bounds
    width: Bounds
    height: Bounds


# A dataclass rather than a named tuple, whose index() would hide the field's index.
@dataclass(frozen=True)
class Field:
    """A sub-register of the sensor: its place (the 24-bit register at address, bits lsb to
    msb), what it holds now and at power-on. name is None for a field known by index alone."""

    name: Optional[str]
    index: int
    address: int
    lsb: int
    msb: int
    value: int
    reset: int


class Register(typing.NamedTuple):
    """A 24-bit sensor register: what it holds now and at power-on."""

    address: int
    value: int
    reset: int


class ByteDevice(typing.NamedTuple):
    """A one-byte device of the module, what it drives, and the byte it latched (None where
    that cannot be told: never written, or a module on a real bus)."""

    role: str
    device: int
    register: int
    latched: Optional[int]


class Versions(typing.NamedTuple):
    """What the plug-in reports of itself."""

    plugin: tuple[int, int, int]
    sdk: tuple[int, int, int, int]
    guid: str
    implementation_type: int


class ModuleIdentity(typing.NamedTuple):
    """Who the plug-in was initialised as: the module key, the descriptor's header value and
    each component's (type, version) by role, and where it came from ("built-in" or a
    file)."""

    source: str
    key: tuple[int, int, int, int]
    header_value: int
    components: dict[str, tuple[int, int]]


@dataclass(frozen=True)
class Reconnection:
    """What Camera.reconnect() did. settings: what the module was last known to hold (the
    last state read or written, with each write since; a voltage as this camera wrote it),
    which restoring writes back; lost: those of them the module no longer holds (after a
    power cycle, all it changed from power-on); changed: what the restore moved beside them;
    transactions: the restore's (vexar.Transaction)."""

    backend: str
    settings: dict[str, "Value"]
    lost: tuple[str, ...]
    at_power_on: bool
    restored: bool
    changed: dict[str, tuple["Value", "Value"]]
    transactions: tuple[typing.Any, ...]


class Bus(typing.Protocol):
    """What vexar.open(bus=...) drives the module through: byte transfers to a device's
    register. Raising, or answering a read with a wrong number of bytes, fails the transfer;
    an OSError's errno becomes the bus error's."""

    def read(self, device: int, register: int, length: int) -> bytes:
        """Reads length bytes from the register of a device."""
        ...

    def write(self, device: int, register: int, data: bytes) -> None:
        """Writes data to the register of a device."""
        ...


#: A parameter's value, by its type.
Value = Union[bool, int, float, Region]
