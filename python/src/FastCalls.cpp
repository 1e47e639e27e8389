#include "FastCalls.h"

#include <cxxabi.h>

#include <string>

namespace vexar::python {

namespace {

bool fail(const FastParameters& parameters, const std::string& message) {
    PyErr_SetString(PyExc_TypeError, (std::string(parameters.method) + "()" + message).c_str());
    return false;
}

}  // namespace

bool placeArguments(const FastParameters& parameters, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** placed) {
    const auto given = static_cast<std::size_t>(nargs);
    if (given > parameters.positional) {
        return fail(parameters, " takes at most " + std::to_string(parameters.positional) +
                                    " positional arguments (" + std::to_string(given) + " given)");
    }
    for (std::size_t i = 0; i < parameters.count; ++i) {
        placed[i] = i < given ? args[i] : nullptr;
    }
    const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject* const keyword = PyTuple_GET_ITEM(kwnames, k);
        std::size_t i = 0;
        while (i < parameters.count &&
               PyUnicode_CompareWithASCIIString(keyword, parameters.names[i]) != 0) {
            ++i;
        }
        if (i == parameters.count) {
            return fail(parameters, std::string(" got an unexpected keyword argument '") +
                                        PyUnicode_AsUTF8(keyword) + "'");
        }
        if (placed[i] != nullptr) {
            return fail(parameters, std::string(" got multiple values for argument '") +
                                        parameters.names[i] + "'");
        }
        placed[i] = args[nargs + k];
    }
    for (std::size_t i = 0; i < parameters.required; ++i) {
        if (placed[i] == nullptr) {
            return fail(parameters,
                        std::string(" missing required argument '") + parameters.names[i] + "'");
        }
    }
    return true;
}

PyObject* raiseHandled() {
    try {
        throw;
    } catch (py::error_already_set& raised) {
        raised.restore();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        if (!py::detail::apply_exception_translators(
                py::detail::get_local_internals().registered_exception_translators) &&
            !py::detail::apply_exception_translators(
                py::detail::get_internals().registered_exception_translators)) {
            PyErr_SetString(PyExc_SystemError, "an exception escaped every translator");
        }
    }
    return nullptr;
}

void* instanceOf(PyObject* self, const py::detail::type_info* record) {
    py::detail::type_caster_generic caster(record);
    if (!caster.load(self, false) || caster.value == nullptr) {
        throw py::type_error(std::string("the object is not an initialised ") +
                             Py_TYPE(self)->tp_name);
    }
    return caster.value;
}

void addFastMethod(py::handle type, PyMethodDef& definition) {
    PyObject* const method =
        PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(type.ptr()), &definition);
    if (method == nullptr || PyObject_SetAttrString(type.ptr(), definition.ml_name, method) != 0) {
        Py_XDECREF(method);
        throw py::error_already_set();
    }
    Py_DECREF(method);
}

}  // namespace vexar::python
