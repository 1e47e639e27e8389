#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <vector>
#include <vexar/bus.hpp>
#include <vexar/camera.hpp>
#include <vexar/options.hpp>

namespace vexar::python {

namespace py = pybind11;

// What the camera calls for each transaction when Python asked to be told: the callable, called
// with the GIL taken. Installed only while there is one, so that a camera nobody watches
// dispatches nothing. Needs the GIL.
TransactionCallback transactionCallback(py::object callback);

struct PyCamera;

// What cam.trace() returns: while its block runs, the client library records the camera's
// transactions for it.
struct Trace {
    PyCamera* camera;
    std::optional<TraceRecording> recording;
};

}  // namespace vexar::python
