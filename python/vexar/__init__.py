"""The YORIN_D time-of-flight camera module from Python.

    import vexar
    with vexar.open("sim") as cam:
        cam.set("FrameRate", 25)
        print(cam.get("IntegrationTime"))

vexar.open() takes "sim", "image:PATH", "/dev/i2c-N" or bus=an object of your own (see
vexar.Bus). Failures raise vexar.Error: Refused, BadInput (a ValueError), Unsupported,
LoadError, BusError (an OSError), Busy or Disconnected (both BusErrors); NoSuchParameter (a BadInput and a
KeyError) for an unknown name looked up as a key; .kind names what went wrong as the
client library, vexar-ctl and the control panel do.
"""

from ._types import (
    Bounds,
    Bus,
    ByteDevice,
    Field,
    ModuleIdentity,
    Reconnection,
    Region,
    RegionBounds,
    Register,
    Value,
    Versions,
)
from ._vexar import (
    Applied,
    AssumedWarning,
    BadInput,
    BusError,
    Busy,
    Camera,
    Disconnected,
    DryRun,
    Error,
    Hold,
    LoadError,
    NoSuchParameter,
    OutsideRangeWarning,
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
from ._settings import Settings  # noqa: E402, after the extension it extends

__all__ = [
    "Applied",
    "AssumedWarning",
    "BadInput",
    "Bounds",
    "Bus",
    "BusError",
    "Busy",
    "ByteDevice",
    "Camera",
    "Disconnected",
    "DryRun",
    "Error",
    "Field",
    "Hold",
    "LoadError",
    "ModuleIdentity",
    "NoSuchParameter",
    "OutsideRangeWarning",
    "Parameter",
    "Reconnection",
    "Refused",
    "Region",
    "RegionBounds",
    "Register",
    "Settings",
    "Timing",
    "Trace",
    "Transaction",
    "Unsupported",
    "Value",
    "Versions",
    "__version__",
    "open",
    "presets",
]
