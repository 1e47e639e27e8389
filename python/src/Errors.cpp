#include "Errors.h"

#include <array>
#include <new>
#include <string>

namespace vexar::python {

namespace {

// The class of each kind, by the kind's number; the client library's table names them.
std::array<py::handle, 9> classes;

py::handle classOf(ErrorKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < classes.size() && classes[index]
               ? classes[index]
               : classes[static_cast<std::size_t>(ErrorKind::Internal)];
}

// What Python adds to the library's table: the builtin a class also is, and its help.
struct PythonSide {
    ErrorKind kind;
    PyObject* builtin;  // besides its parent; nullptr for none
    ErrorKind parent;   // Internal: vexar.Error itself
    const char* doc;
};

// Parents come before their children.
const PythonSide kSides[] = {
    {ErrorKind::Internal, nullptr, ErrorKind::Internal,
     "Every failure of the camera, and itself what nobody foresaw. Attributes: kind (the client "
     "library's name of what went wrong, such as 'Refused'), code (the plug-in's result code, or "
     "None), code_name (its name, such as 'OutOfRange', or None), last_error (the plug-in's "
     "last-error text, or None) and allowed (what the range allows where a value was refused, "
     "or None)."},
    {ErrorKind::Refused, nullptr, ErrorKind::Internal,
     "The plug-in refused the operation: a value outside what the module takes, a parameter "
     "that is read-only or changes only with a state."},
    {ErrorKind::BadInput, PyExc_ValueError, ErrorKind::Internal,
     "A name, value, record or file that cannot be used: an unknown parameter, a value of the "
     "wrong type, a non-finite number, a malformed state or profile. Also a ValueError."},
    {ErrorKind::Unsupported, nullptr, ErrorKind::Internal,
     "What the camera's backend cannot do: reset to power-on, or reading a one-byte device back, "
     "on a module on an adapter."},
    {ErrorKind::LoadFailure, nullptr, ErrorKind::Internal,
     "The plug-in cannot be loaded or lacks one of its exports."},
    {ErrorKind::BusFailure, PyExc_OSError, ErrorKind::Internal,
     "The bus failed or could not be opened: an adapter that cannot be opened, a device that "
     "does not answer, a Python bus that raised. Also an OSError; errno is the failed "
     "transfer's."},
    {ErrorKind::Busy, nullptr, ErrorKind::BusFailure,
     "Another process held the adapter or the image past the lock timeout; waiting longer may "
     "help. A BusError with errno EBUSY."},
    {ErrorKind::Disconnected, nullptr, ErrorKind::BusFailure,
     "The adapter went away: its device node was removed, or its transfers fail with ENODEV. "
     "Camera.reconnect() opens it again once it is back. A BusError with the transfer's errno."},
};

py::handle define(py::module_& module, const PythonSide& side) {
    const ErrorKindInfo& info = kindInfo(side.kind);
    const std::string name(info.pythonClass);
    const std::string qualified = "vexar." + name;
    py::object bases =
        side.kind == ErrorKind::Internal ? py::reinterpret_borrow<py::object>(PyExc_Exception)
        : side.builtin != nullptr
            ? py::object(py::make_tuple(classOf(side.parent), py::handle(side.builtin)))
            : py::object(py::make_tuple(classOf(side.parent)));
    PyObject* type =
        PyErr_NewExceptionWithDoc(qualified.c_str(), side.doc, bases.ptr(), /*dict=*/nullptr);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    module.add_object(name.c_str(), py::handle(type));  // takes the reference the module keeps
    py::handle(type).attr("kind") = std::string(info.name);
    return type;
}

py::object orNone(const std::string& text) {
    return text.empty() ? py::object(py::none()) : py::object(py::str(text));
}

// vexar.NoSuchParameter: both BadInput and KeyError.
py::handle noSuchParameter;

void raise(const Error& error, py::handle type, py::handle cause = {}) {
    const py::object instance = type(error.what());
    instance.attr("kind") = std::string(error.kindName());
    if (error.code()) {
        instance.attr("code") = *error.code();
    }
    instance.attr("code_name") = orNone(error.codeName());
    instance.attr("last_error") = orNone(error.lastError());
    instance.attr("allowed") = orNone(error.allowed());
    if (error.busErrno()) {
        instance.attr("errno") = *error.busErrno();
    }
    if (cause) {
        PyException_SetCause(instance.ptr(), cause.inc_ref().ptr());  // steals the reference
    }
    PyErr_SetObject(type.ptr(), instance.ptr());
}

}  // namespace

void raiseCausedBy(const Error& error, py::handle cause) {
    raise(error, classOf(error.kind()), cause);
    throw py::error_already_set();
}

void defineErrors(py::module_& module) {
    for (const PythonSide& side : kSides) {
        classes[static_cast<std::size_t>(side.kind)] = define(module, side);
    }
    // A KeyError that prints as the other errors do, not as the repr of its message.
    const py::object bases =
        py::make_tuple(classOf(ErrorKind::BadInput), py::handle(PyExc_KeyError));
    noSuchParameter = PyErr_NewExceptionWithDoc(
        "vexar.NoSuchParameter",
        "No parameter has the name or identifier looked up as a key (cam[name], "
        "cam.settings[name]). Both a BadInput and a KeyError.",
        bases.ptr(), nullptr);
    if (!noSuchParameter) {
        throw py::error_already_set();
    }
    module.add_object("NoSuchParameter", noSuchParameter);
    noSuchParameter.attr("__str__") = py::handle(PyExc_Exception).attr("__str__");
    const py::handle base = classOf(ErrorKind::Internal);
    for (const char* attribute : {"code", "code_name", "last_error", "allowed"}) {
        base.attr(attribute) = py::none();
    }
    // The library's table as the faces use it, for the tests that hold them to it.
    module.def(
        "_error_kinds",
        [] {
            py::list rows;
            for (const ErrorKindInfo& info : errorKinds()) {
                rows.append(py::make_tuple(std::string(info.name), info.exitStatus, info.httpStatus,
                                           classOf(info.kind)));
            }
            return rows;
        },
        "_error_kinds()\n--\n\n");
    // The statuses that are no kind's, for the package's commands.
    module.def(
        "_exit_statuses",
        [] {
            py::dict statuses;
            statuses["Success"] = ExitStatus::Success;
            statuses["Differs"] = ExitStatus::Differs;
            statuses["UnitFailed"] = ExitStatus::UnitFailed;
            return statuses;
        },
        "_exit_statuses()\n--\n\n");

    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const NoSuchParameter& error) {
            raise(error, noSuchParameter);
        } catch (const Error& error) {
            raise(error, classOf(error.kind()));
        } catch (const py::builtin_exception&) {
            throw;  // pybind11's own, which its translator turns into TypeError and the like
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& other) {
            raise(Error(ErrorKind::Internal, other.what()), classOf(ErrorKind::Internal));
        }
    });
}

}  // namespace vexar::python
