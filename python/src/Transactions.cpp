#include "Transactions.h"

#include <utility>

#include "PythonBus.h"

namespace vexar::python {

void Listeners::operator()(const Transaction& transaction) {
    std::shared_ptr<py::object> callback;
    {
        const std::lock_guard lock(mutex_);
        callback = callback_;
    }
    if (callback) {
        py::gil_scoped_acquire gil;
        try {
            (*callback)(py::cast(transaction, py::return_value_policy::copy));
        } catch (py::error_already_set& raised) {
            CallScope* const scope = CallScope::current();
            if (scope != nullptr &&
                (!raised.matches(PyExc_Exception) || raised.matches(PyExc_MemoryError))) {
                scope->keep(std::move(raised));  // Ctrl-C stops the program, once the call ends
            } else {
                // Nowhere to raise it: the camera's call goes on. Python reports it as it does
                // an exception in a __del__.
                raised.discard_as_unraisable("vexar transaction callback");
            }
        }
        callback.reset();
    }
}

void Listeners::setCallback(py::object callback) {
    std::shared_ptr<py::object> replacement;
    if (!callback.is_none()) {
        // The last holder may be a camera thread that has let the GIL go again.
        replacement =
            std::shared_ptr<py::object>(new py::object(std::move(callback)), [](py::object* held) {
                py::gil_scoped_acquire gil;
                delete held;
            });
    }
    std::shared_ptr<py::object> previous;
    {
        const std::lock_guard lock(mutex_);
        previous = std::exchange(callback_, replacement);
    }
}

}  // namespace vexar::python
