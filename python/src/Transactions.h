#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>
#include <vexar/bus.hpp>
#include <vexar/camera.hpp>

namespace vexar::python {

namespace py = pybind11;

// The one transaction callback a camera has, shared by the traces that are open on it and the
// Python callback of on_transaction. It is called with the camera's lock held and without
// the GIL: recording needs only its own mutex, and the Python callback takes the GIL for
// each call.
class Listeners {
  public:
    void operator()(const Transaction& transaction);
    // An empty callback (None) removes it. Needs the GIL.
    void setCallback(py::object callback);

  private:
    std::mutex mutex_;
    std::shared_ptr<py::object> callback_;
};

struct PyCamera;

// What cam.trace() returns: while its block runs, the client library records the camera's
// transactions for it.
struct Trace {
    PyCamera* camera;
    std::optional<TraceRecording> recording;
};

}  // namespace vexar::python
