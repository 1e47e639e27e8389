#include "Applied.h"

#include <pybind11/stl.h>

#include <new>
#include <utility>

#include "Conversions.h"
#include "FastCalls.h"

namespace vexar::python {

namespace {

struct AppliedObject {
    PyObject head;  // what PyObject_HEAD declares
    Applied applied;
};

PyTypeObject* appliedType = nullptr;  // held for the process's life

const Applied& of(PyObject* self) {
    return reinterpret_cast<AppliedObject*>(self)->applied;
}

// A getter that may throw (a conversion's allocation), as CPython calls one.
template <py::object (*Get)(const Applied&)>
PyObject* attribute(PyObject* self, void*) {
    try {
        return Get(of(self)).release().ptr();
    } catch (...) {
        return raiseHandled();
    }
}

py::object appliedValue(const Applied& a) {
    return a.applied ? fromValue(*a.applied) : py::none();
}

PyGetSetDef attributes[] = {
    {"name", attribute<[](const Applied& a) -> py::object { return py::str(a.name); }>, nullptr,
     "The parameter's name.", nullptr},
    {"requested", attribute<[](const Applied& a) { return fromValue(a.requested); }>, nullptr,
     "The value asked for.", nullptr},
    {"applied", attribute<appliedValue>, nullptr,
     "The value the module holds afterwards; None for a write-only parameter.", nullptr},
    {"outside_range",
     attribute<[](const Applied& a) -> py::object { return py::bool_(a.outsideAdvertisedRange); }>,
     nullptr, "Whether the request lay outside the advertised range.", nullptr},
    {"through_state",
     attribute<[](const Applied& a) -> py::object { return py::bool_(a.throughState); }>, nullptr,
     "Written through a system state built from the current values.", nullptr},
    {"changed", attribute<[](const Applied& a) { return py::cast(changesOf(a.state)); }>, nullptr,
     "Every other value the write moved: {name: (before, after)}.", nullptr},
    {"assumed", attribute<[](const Applied& a) { return py::cast(a.state.assumed); }>, nullptr,
     "The voltages written at their power-on value, nothing being known of them (force).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* repr(PyObject* self) {
    try {
        const Applied& a = of(self);
        return py::str("Applied(name={!r}, requested={!r}, applied={!r}, outside_range={})")
            .format(a.name, fromValue(a.requested), appliedValue(a), a.outsideAdvertisedRange)
            .release()
            .ptr();
    } catch (...) {
        return raiseHandled();
    }
}

void dealloc(PyObject* self) {
    PyTypeObject* const type = Py_TYPE(self);
    reinterpret_cast<AppliedObject*>(self)->applied.~Applied();
    type->tp_free(self);
    Py_DECREF(type);  // each instance of a heap type holds a reference to it
}

char doc[] =
    "What set() did: the value requested, the value the module holds afterwards (applied; None "
    "for a write-only parameter) and whether the request lay outside the advertised range "
    "(outside_range, also warned of with a vexar.OutsideRangeWarning).";

PyType_Slot slots[] = {
    {Py_tp_doc, doc},
    {Py_tp_getset, attributes},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {0, nullptr},
};

PyType_Spec appliedShape{"vexar.Applied", sizeof(AppliedObject), 0,
                         Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, slots};

}  // namespace

void defineApplied(py::module_& module) {
    PyObject* const type = PyType_FromSpec(&appliedShape);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    appliedType = reinterpret_cast<PyTypeObject*>(type);
    module.add_object("Applied", py::handle(type));
}

py::object toPython(Applied&& applied) {
    PyObject* const self = appliedType->tp_alloc(appliedType, 0);
    if (self == nullptr) {
        throw py::error_already_set();
    }
    new (&reinterpret_cast<AppliedObject*>(self)->applied) Applied(std::move(applied));
    return py::reinterpret_steal<py::object>(self);
}

}  // namespace vexar::python
