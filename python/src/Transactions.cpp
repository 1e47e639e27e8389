#include "Transactions.h"

#include <utility>

#include "PythonBus.h"

namespace vexar::python {

TransactionCallback transactionCallback(py::object callable) {
    // The last holder may be a camera thread that has let the GIL go again.
    const std::shared_ptr<py::object> callback(new py::object(std::move(callable)),
                                               [](py::object* held) {
                                                   py::gil_scoped_acquire gil;
                                                   delete held;
                                               });
    return [callback](const Transaction& transaction) {
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
    };
}

}  // namespace vexar::python
