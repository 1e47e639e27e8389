#pragma once

#include <pybind11/pybind11.h>

#include <utility>
#include <vexar/error.hpp>

#include "PythonBus.h"

namespace vexar::python {

namespace py = pybind11;

// vexar.Error and its subclasses in the module, and the translation of vexar::Error (and of
// anything else a call lets escape) into them.
void defineErrors(py::module_& module);

// Runs a camera call; a bus failure that a Python bus caused carries what it raised. Needs no
// GIL: the note is the calling thread's own.
template <typename Call>
decltype(auto) withBusNote(Call&& call) {
    const FailureNoteScope scope;
    try {
        return std::forward<Call>(call)();
    } catch (const Error& error) {
        if (error.kind() != ErrorKind::BusFailure || failureNote().empty()) {
            throw;
        }
        throw Error(error.kind(), error.reason() + " (" + failureNote() + ")", error.details());
    }
}

}  // namespace vexar::python
