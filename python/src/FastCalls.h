#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <cstddef>
#include <tuple>
#include <typeinfo>

namespace vexar::python {

namespace py = pybind11;

// Camera.get and Camera.set are what a measuring loop calls thousands of times a second, and
// through pybind11's dispatcher (an argument tuple, the overload record's vectors, a type lookup
// by name for self and for the result) the binding cost about as much as the call into the
// camera itself. These few pieces let such a method be a plain CPython method taking its
// arguments as a vector (METH_FASTCALL), with the same arguments, conversions and exceptions as
// every other method.

// A method's parameters: the first `positional` may also be passed by position, the rest only by
// keyword; the first `required` must be given.
struct FastParameters {
    const char* method;  // for the messages: "set"
    std::array<const char*, 4> names;
    std::size_t count;
    std::size_t positional;
    std::size_t required;
};

// Puts the call's arguments in the order of the parameters, nullptr where one was not given.
// Sets a TypeError, worded as Python words its own, and answers false on a mismatch.
bool placeArguments(const FastParameters& parameters, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** placed);

// Sets the Python exception of the C++ exception being handled, as pybind11's dispatcher
// would (vexar::Error through the module's translator), and answers nullptr. A thread being
// ended unwinds on. Called in a catch (...) block.
PyObject* raiseHandled();

// pybind11's record of the class bound for T, looked up by the type's name once rather than
// on every call.
template <typename T>
const py::detail::type_info* recordOf() {
    static const py::detail::type_info* const record = py::detail::get_type_info(typeid(T), true);
    return record;
}

// The C++ object of a pybind11 instance of the class bound for T; py::type_error when self
// holds none.
void* instanceOf(PyObject* self, const py::detail::type_info* record);
template <typename T>
T& instanceOf(PyObject* self) {
    return *static_cast<T*>(instanceOf(self, recordOf<T>()));
}

// The method of a PyMethodDef (METH_FASTCALL | METH_KEYWORDS) that places the arguments by
// parameters, finds self's T and runs body on them; a C++ exception becomes the Python one.
template <typename T, const FastParameters& parameters,
          py::object (*body)(T& self, PyObject* const* given)>
PyCFunction fastMethod() {
    _PyCFunctionFastWithKeywords method = [](PyObject* self, PyObject* const* args,
                                             Py_ssize_t nargs, PyObject* kwnames) -> PyObject* {
        std::array<PyObject*, std::tuple_size_v<decltype(parameters.names)>> given{};
        if (!placeArguments(parameters, args, nargs, kwnames, given.data())) {
            return nullptr;
        }
        try {
            return body(instanceOf<T>(self), given.data()).release().ptr();
        } catch (...) {
            return raiseHandled();
        }
    };
    // CPython's own way: the flags tell it the function's true type.
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(method));
}

// Makes definition (kept for the process's life: CPython points into it) a method of the bound
// class. Its ml_doc starts with the text signature, as every other method's docstring here.
void addFastMethod(py::handle type, PyMethodDef& definition);

}  // namespace vexar::python
