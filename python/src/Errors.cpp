#include "Errors.h"

#include <new>
#include <string>

namespace vexar::python {

namespace {

struct Classes {
    py::handle error, refused, badInput, loadError, busError;
};
Classes classes;

py::handle define(py::module_& module, const char* name, const char* doc, py::handle bases) {
    const std::string qualified = std::string("vexar.") + name;
    PyObject* type =
        PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), /*dict=*/nullptr);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    module.add_object(name, py::handle(type));  // takes the reference the module keeps
    return type;
}

py::handle classOf(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Refused:
            return classes.refused;
        case ErrorKind::BadInput:
            return classes.badInput;
        case ErrorKind::LoadFailure:
            return classes.loadError;
        case ErrorKind::BusFailure:
            return classes.busError;
    }
    return classes.error;
}

py::object orNone(const std::string& text) {
    return text.empty() ? py::object(py::none()) : py::object(py::str(text));
}

void raise(const Error& error) {
    const py::handle type = classOf(error.kind());
    const py::object instance = type(error.what());
    if (error.code()) {
        instance.attr("code") = *error.code();
    }
    instance.attr("code_name") = orNone(error.codeName());
    instance.attr("last_error") = orNone(error.lastError());
    instance.attr("allowed") = orNone(error.allowed());
    if (error.busErrno()) {
        instance.attr("errno") = *error.busErrno();
    }
    PyErr_SetObject(type.ptr(), instance.ptr());
}

}  // namespace

void defineErrors(py::module_& module) {
    classes.error = define(module, "Error",
                           "Every failure of the camera. Attributes: code (the plug-in's result "
                           "code, or None), code_name (its name, such as 'OutOfRange', or None), "
                           "last_error (the plug-in's last-error text, or None) and allowed "
                           "(what the range allows where a value was refused, or None).",
                           PyExc_Exception);
    for (const char* attribute : {"code", "code_name", "last_error", "allowed"}) {
        classes.error.attr(attribute) = py::none();
    }
    classes.refused = define(module, "Refused",
                             "The plug-in refused the operation: a value outside what the module "
                             "takes, a parameter that is read-only or changes only with a state.",
                             classes.error);
    classes.badInput = define(module, "BadInput",
                              "A name, value, record or file that cannot be used: an unknown "
                              "parameter, a value of the wrong type, a non-finite number, a "
                              "malformed state or profile. Also a ValueError.",
                              py::make_tuple(classes.error, py::handle(PyExc_ValueError)));
    classes.loadError =
        define(module, "LoadError", "The plug-in cannot be loaded or lacks one of its exports.",
               classes.error);
    classes.busError = define(module, "BusError",
                              "The bus failed or could not be had: an adapter that cannot be "
                              "opened or is held elsewhere, a device that does not answer, a "
                              "Python bus that raised. Also an OSError; errno is the failed "
                              "transfer's.",
                              py::make_tuple(classes.error, py::handle(PyExc_OSError)));

    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const Error& error) {
            raise(error);
        } catch (const py::builtin_exception&) {
            throw;  // pybind11's own, which its translator turns into TypeError and the like
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& other) {
            PyErr_SetString(classes.error.ptr(), other.what());
        }
    });
}

}  // namespace vexar::python
