#pragma once

// Between Python objects and the client library's types. Everything here runs with the GIL
// held: the casters below convert arguments before a call releases it and results after it
// has taken it back.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>
#include <vexar/camera.hpp>
#include <vexar/json.hpp>

namespace vexar::python {

namespace py = pybind11;

// The named tuples of vexar._types, looked up once when the module is imported.
void loadTypes();
py::object makeRegion(const Region& region);

// A float as the shortest decimal that reads back as it: 0.01f becomes 0.01, not the double
// nearest to the float, so that what Python prints is what the tool prints.
double widen(float value);

Value toValue(py::handle object);
py::object fromValue(const Value& value);
py::object fromRange(const std::optional<Range>& range);

// Any contiguous buffer of bytes (bytes, bytearray, memoryview); Error(BadInput) otherwise.
std::vector<std::uint8_t> toBytes(py::handle object, const char* what);

// JSON of the tool's own form: NaN and the infinities as the strings "nan", "-nan", "inf" and
// "-inf", which is how vexar-ctl writes them; keys of a dict may be str or int.
Json jsonFromPython(py::handle object);
py::object pythonFromJson(const Json& json);
// A profile: a mapping of "Name" or identifier to value, where a region may also be a Region or
// any sequence of four integers.
Json toProfile(py::handle object);

// Argument types of the bound calls, each with a caster below.
struct Key {
    std::string text;  // a name, or an identifier in decimal
};
// A value as given: text ("0x8", "on", "16,8,160,120") is read by the type of the parameter it
// is for, as every face reads it.
struct PyValue {
    Value value{false};
    std::optional<std::string> text;
    Value forParameter(const std::string& nameOrId) const {
        return text ? valueFor(parameterNamed(nameOrId), *text) : value;
    }
};
PyValue toPyValue(py::handle object);
struct Blob {
    std::vector<std::uint8_t> bytes;
};
struct JsonDoc {
    Json json;
};
struct Profile {
    Json json;
};
struct Calibration {
    std::variant<std::vector<std::uint8_t>, Json> record;
};
// An integer argument: a Python int of any size, range-checked by its user.
struct Integer {
    long long value = 0;
};

// Other values a write moved, as Python returns them: {name: (before, after)}.
using Changes = std::map<std::string, std::pair<PyValue, PyValue>>;
Changes changesOf(const StateWritten& written);

// The register argument narrowed to what the device holds; Error(BadInput) when it does not fit.
std::uint32_t narrow(const Integer& number, long long maximum, const char* what);

}  // namespace vexar::python

namespace pybind11::detail {

// Loading throws vexar::Error(BadInput) rather than answering false, so that a wrong argument
// raises vexar.BadInput with a message instead of pybind11's "incompatible arguments".
#define VEXAR_PYTHON_CASTER(Type, pyName, loadExpr)                                       \
    template <>                                                                           \
    struct type_caster<vexar::python::Type> {                                             \
        PYBIND11_TYPE_CASTER(vexar::python::Type, const_name(pyName));                    \
        bool load(handle source, bool) {                                                  \
            value = vexar::python::Type{loadExpr};                                        \
            return true;                                                                  \
        }                                                                                 \
        static handle cast(const vexar::python::Type& from, return_value_policy, handle); \
    };

std::string keyText(handle source);
long long integerOf(handle source);

VEXAR_PYTHON_CASTER(Key, "str | int", keyText(source))
VEXAR_PYTHON_CASTER(PyValue, "bool | int | float | Region | str", vexar::python::toPyValue(source))
VEXAR_PYTHON_CASTER(Blob, "bytes", vexar::python::toBytes(source, "data"))
VEXAR_PYTHON_CASTER(JsonDoc, "dict", vexar::python::jsonFromPython(source))
VEXAR_PYTHON_CASTER(Profile, "Mapping", vexar::python::toProfile(source))
VEXAR_PYTHON_CASTER(Integer, "int", integerOf(source))

template <>
struct type_caster<vexar::python::Calibration> {
    PYBIND11_TYPE_CASTER(vexar::python::Calibration, const_name("bytes | dict"));
    bool load(handle source, bool);
};

#undef VEXAR_PYTHON_CASTER

}  // namespace pybind11::detail
