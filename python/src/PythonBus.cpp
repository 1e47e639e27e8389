#include "PythonBus.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <vexar/error.hpp>

#include "Exit.h"

namespace vexar::python {

namespace {

thread_local CallScope* innermost = nullptr;

std::string hex(unsigned number) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", number);
    return text;
}

// str() of the exception, which may itself raise: then only its type is told.
std::string describe(py::error_already_set& raised) {
    std::string text = py::handle(raised.type()).attr("__name__").cast<std::string>();
    try {
        const std::string message = py::str(raised.value()).cast<std::string>();
        if (!message.empty()) {
            text += ": " + message;
        }
    } catch (const py::error_already_set&) {
    }
    return text;
}

}  // namespace

CallScope::CallScope() : outer_(std::exchange(innermost, this)) {}
CallScope::~CallScope() {
    innermost = outer_;
}
CallScope* CallScope::current() {
    return innermost;
}
void CallScope::noteFailure(const std::string& text) {
    // The first failure of a call is the one that decided its outcome.
    if (note_.empty()) {
        note_ = text;
    }
}
void CallScope::keep(py::error_already_set&& raised) {
    if (!pending_) {
        pending_.emplace(std::move(raised));
    }
}
void CallScope::keepCause(py::error_already_set&& raised) {
    if (!cause_) {
        cause_.emplace(std::move(raised));
    }
}
void CallScope::raisePending() {
    if (pending_) {
        py::error_already_set raised = std::move(*pending_);
        pending_.reset();
        throw raised;
    }
}

bool signalArrived() {
    if (exiting()) {
        return true;
    }
    CallScope* const scope = CallScope::current();
    if (scope == nullptr) {
        return false;
    }
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) {
        return false;
    }
    scope->keep(py::error_already_set());
    return true;
}

PythonBus::PythonBus(py::object target) : target_(std::move(target)) {
    for (const char* method : {"read", "write"}) {
        if (!py::hasattr(target_, method) || !PyCallable_Check(target_.attr(method).ptr())) {
            throw Error(ErrorKind::BadInput,
                        std::string("a bus has read(device, register, length) and write(device, "
                                    "register, data) methods; a ") +
                            Py_TYPE(target_.ptr())->tp_name + " has no " + method + "()");
        }
    }
    read_ = target_.attr("read");
    write_ = target_.attr("write");
    name_ = std::string("Python bus ") + Py_TYPE(target_.ptr())->tp_name;
}

PythonBus::~PythonBus() {
    // The camera may drop its bus with the GIL released (in close()).
    py::gil_scoped_acquire gil;
    read_ = py::object();
    write_ = py::object();
    target_ = py::object();
}

int PythonBus::read(std::uint16_t device, std::uint8_t reg, std::span<std::uint8_t> data) {
    const auto call = [&] {
        return "read(" + hex(device) + ", " + hex(reg) + ", " + std::to_string(data.size()) + ")";
    };
    if (const CallScope* scope = CallScope::current(); scope && scope->interrupted()) {
        return failed(call(), "not called: the call was interrupted", EINTR);
    }
    py::gil_scoped_acquire gil;
    try {
        const py::object answer = read_(device, reg, data.size());
        Py_buffer view{};
        const std::string wanted =
            "; the bus's read must return bytes of length " + std::to_string(data.size());
        if (PyObject_GetBuffer(answer.ptr(), &view, PyBUF_SIMPLE) != 0) {
            PyErr_Clear();
            return failed(
                call(), std::string("returned a ") + Py_TYPE(answer.ptr())->tp_name + wanted, EIO);
        }
        const auto size = static_cast<std::size_t>(view.len);
        if (size == data.size()) {
            std::memcpy(data.data(), view.buf, size);
        }
        PyBuffer_Release(&view);
        return size == data.size()
                   ? 0
                   : failed(call(), "returned " + std::to_string(size) + " bytes" + wanted, EIO);
    } catch (py::error_already_set& raised) {
        return failedWith(call(), raised);
    }
}

int PythonBus::write(std::uint16_t device, std::uint8_t reg, std::span<const std::uint8_t> data) {
    const std::string call =
        "write(" + hex(device) + ", " + hex(reg) + ", " + std::to_string(data.size()) + " bytes)";
    if (const CallScope* scope = CallScope::current(); scope && scope->interrupted()) {
        return failed(call, "not called: the call was interrupted", EINTR);
    }
    py::gil_scoped_acquire gil;
    try {
        write_(device, reg, py::bytes(reinterpret_cast<const char*>(data.data()), data.size()));
        return 0;
    } catch (py::error_already_set& raised) {
        return failedWith(call, raised);
    }
}

int PythonBus::failed(const std::string& call, const std::string& what, int error) {
    if (CallScope* scope = CallScope::current()) {
        scope->noteFailure(name_ + ": " + call + " " + what);
    }
    return -error;
}

int PythonBus::failedWith(const std::string& call, py::error_already_set& raised) {
    // MemoryError is an Exception, but no more a bus failure than Ctrl-C is.
    if (!raised.matches(PyExc_Exception) || raised.matches(PyExc_MemoryError)) {
        const std::string what = "raised " + describe(raised);
        CallScope* scope = CallScope::current();
        if (scope == nullptr) {
            raised.discard_as_unraisable("vexar Python bus");  // no call to raise it from
            return failed(call, what, EINTR);
        }
        scope->keep(std::move(raised));
        return failed(call, what, EINTR);
    }
    int error = EIO;
    // An OSError says what went wrong in its errno, which the camera then reports.
    if (raised.matches(PyExc_OSError)) {
        const py::object number = py::getattr(raised.value(), "errno", py::none());
        if (PyLong_Check(number.ptr()) && number.cast<long long>() > 0 &&
            number.cast<long long>() < 4096) {
            error = number.cast<int>();
        }
    }
    const std::string what = "raised " + describe(raised);
    if (CallScope* scope = CallScope::current()) {
        scope->keepCause(std::move(raised));
    }
    return failed(call, what, error);
}

}  // namespace vexar::python
