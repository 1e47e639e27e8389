"""cam.settings: the camera's values as a mutable mapping of parameter names."""

import collections.abc
import typing
from typing import Union

from . import _vexar
from ._types import Value


class Settings(collections.abc.MutableMapping[str, Value]):
    """The readable parameters by name, in the plug-in's order, each read from the module when
    it is looked up: dict(cam.settings) is a snapshot, cam.settings.update(...) writes several.
    A name may also be given in any letter case or as an identifier. Assigning a write-only
    parameter writes it; it is not among the keys, since it cannot be read back. Parameters
    cannot be deleted (TypeError); an unknown name is a KeyError (vexar.NoSuchParameter)."""

    __slots__ = ("_camera",)

    def __init__(self, camera: _vexar.Camera) -> None:
        self._camera = camera

    def _names(self) -> list[str]:
        return [p.name for p in self._camera.parameters if p.readable]

    def __getitem__(self, name: Union[str, int]) -> Value:
        return self._camera[name]

    def __setitem__(self, name: Union[str, int], value: Union[Value, str]) -> None:
        self._camera[name] = value

    def __delitem__(self, name: Union[str, int]) -> None:
        raise TypeError(f"a parameter cannot be deleted ({name!r})")

    def __contains__(self, name: object) -> bool:
        if not isinstance(name, (str, int)) or name not in self._camera:
            return False
        return self._camera.parameter(name).readable

    def __iter__(self) -> typing.Iterator[str]:
        return iter(self._names())

    def __len__(self) -> int:
        return len(self._names())

    def __repr__(self) -> str:
        return f"<Settings of {self._camera!r}>"
