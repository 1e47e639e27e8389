#pragma once

#include <cxxabi.h>
#include <pybind11/pybind11.h>

#include <exception>
#include <type_traits>
#include <utility>
#include <vexar/error.hpp>

#include "Gil.h"
#include "PythonBus.h"

namespace vexar::python {

namespace py = pybind11;

// vexar.Error and its subclasses in the module, and the translation of vexar::Error (and of
// anything else a call lets escape) into them.
void defineErrors(py::module_& module);

// An unknown parameter looked up as a mapping's key: raised as vexar.NoSuchParameter, which is
// also a KeyError.
class NoSuchParameter : public Error {
  public:
    using Error::Error;
};

// Sets the Python exception of error, with cause as its __cause__, and throws
// error_already_set. Needs the GIL.
[[noreturn]] void raiseCausedBy(const Error& error, py::handle cause);

// A camera call from Python, made with the GIL held: the call itself runs without it, or as gil
// says. A bus failure that a Python bus caused carries what it raised; what the call kept to
// raise as it is (a KeyboardInterrupt in a bus, Ctrl-C while it waited) is raised instead of
// its result.
template <typename Call>
auto cameraCall(Gil gil, Call&& call) -> decltype(call()) {
    CallScope scope;
    const auto noted = [&]() -> decltype(call()) {
        try {
            return call();
        } catch (const Error& error) {
            if (error.kind() != ErrorKind::BusFailure || scope.note().empty()) {
                throw;
            }
            throw Error(error.kind(), error.reason() + " (" + scope.note() + ")", error.details());
        }
    };
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            withGil(gil, noted);
            scope.raisePending();
            return;
        } else {
            auto result = withGil(gil, noted);
            scope.raisePending();
            return result;
        }
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (const py::error_already_set&) {
        throw;
    } catch (const Error& error) {
        scope.raisePending();
        // What the Python bus raised is the cause of the bus failure it made.
        if (const py::handle cause = scope.cause();
            cause && (error.kind() == ErrorKind::BusFailure || error.kind() == ErrorKind::Busy)) {
            raiseCausedBy(error, cause);
        }
        throw;
    } catch (...) {
        scope.raisePending();
        throw;
    }
}

template <typename Call>
auto cameraCall(Call&& call) -> decltype(call()) {
    return cameraCall(Gil::ReleasedForCall, std::forward<Call>(call));
}

}  // namespace vexar::python
