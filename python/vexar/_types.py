"""Plain value types of the vexar package, shared by the extension and its users."""

from typing import NamedTuple, Protocol, Union


class Region(NamedTuple):
    """A rectangle of the 320 x 240 sensor, in pixels."""

    x: int
    y: int
    width: int
    height: int


class Bounds(NamedTuple):
    """What a numeric parameter's range allows: minimum to maximum in steps of step."""

    minimum: float
    maximum: float
    step: float


class RegionBounds(NamedTuple):
    """The bounds of each field of a region parameter."""

    x: Bounds
    y: Bounds
    width: Bounds
    height: Bounds


class Bus(Protocol):
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
