#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>
#include <vexar/bus.hpp>

namespace vexar::python {

namespace py = pybind11;

// The one transaction callback a camera has, shared by the traces that are open on it and the
// Python callback of on_transaction. It is called with the camera's lock held and without
// the GIL: recording needs only its own mutex, and the Python callback takes the GIL for
// each call.
class Listeners {
  public:
    using Recording = std::vector<Transaction>;

    void operator()(const Transaction& transaction);

    void start(const std::shared_ptr<Recording>& recording);
    void stop(const std::shared_ptr<Recording>& recording);
    std::vector<Transaction> recorded(const Recording& recording);
    // An empty callback (None) removes it. Needs the GIL.
    void setCallback(py::object callback);

  private:
    std::mutex mutex_;
    std::atomic<int> count_{0};
    std::vector<std::shared_ptr<Recording>> recordings_;
    std::shared_ptr<py::object> callback_;
};

// What cam.trace() returns: while its block runs, it collects the camera's transactions.
struct Trace {
    std::shared_ptr<Listeners> listeners;
    std::shared_ptr<Listeners::Recording> recording = std::make_shared<Listeners::Recording>();
};

}  // namespace vexar::python
