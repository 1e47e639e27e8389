"""The YORIN_D time-of-flight camera module from Python.

    import vexar
    with vexar.open("sim") as cam:
        cam.set("FrameRate", 25)
        print(cam.get("IntegrationTime"))

vexar.open() takes "sim", "image:PATH", "/dev/i2c-N" or bus=an object of your own (see
vexar.Bus). Failures raise vexar.Error: Refused, BadInput (a ValueError), Unsupported,
LoadError, BusError (an OSError) or Busy (a BusError); .kind names what went wrong as the
client library, vexar-ctl and the control panel do.
"""

from ._types import Bounds, Bus, Region, RegionBounds, Value
from ._vexar import (
    Applied,
    AssumedWarning,
    BadInput,
    BusError,
    Busy,
    Camera,
    Error,
    Hold,
    LoadError,
    Parameter,
    Refused,
    Timing,
    Trace,
    Transaction,
    Unsupported,
    __version__,
    open,
    presets,
)

__all__ = [
    "Applied",
    "AssumedWarning",
    "BadInput",
    "Bounds",
    "Bus",
    "BusError",
    "Busy",
    "Camera",
    "Error",
    "Hold",
    "LoadError",
    "Parameter",
    "Refused",
    "Region",
    "RegionBounds",
    "Timing",
    "Trace",
    "Transaction",
    "Unsupported",
    "Value",
    "__version__",
    "open",
    "presets",
]
