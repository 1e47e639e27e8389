#pragma once

#include <pybind11/pybind11.h>

#include <vexar/camera.hpp>

namespace vexar::python {

namespace py = pybind11;

// vexar.Applied, what set() returns: a plain CPython type holding the client library's Applied
// and answering its attributes from it. set() makes one per call; as a pybind11 class each cost
// an instance registry entry made and removed, about half of what the binding added to set().
void defineApplied(py::module_& module);

// A vexar.Applied that takes applied over.
py::object toPython(Applied&& applied);

}  // namespace vexar::python
