#include "Conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <string_view>

namespace vexar::python {

namespace {

// Held for the life of the process: released at exit they would be freed after the
// interpreter that owns them.
py::object* regionType = nullptr;
py::object* boundsType = nullptr;
py::object* regionBoundsType = nullptr;

// Nesting deeper than this is no profile or calibration record but a mistake (or a cycle).
constexpr int kMaxDepth = 32;

std::string pythonTypeName(py::handle object) {
    return Py_TYPE(object.ptr())->tp_name;
}

bool isInt(py::handle object) {
    return PyLong_Check(object.ptr()) && !PyBool_Check(object.ptr());
}

std::int32_t int32Of(py::handle object, const char* what) {
    const long long number = py::detail::integerOf(object);
    if (number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max()) {
        throw Error(ErrorKind::BadInput, std::string(what) + " " + std::to_string(number) +
                                             " does not fit a 32-bit integer");
    }
    return static_cast<std::int32_t>(number);
}

// A Region, or any tuple or list of four integers.
std::optional<Region> regionOf(py::handle object) {
    if (!PyTuple_Check(object.ptr()) && !PyList_Check(object.ptr())) {
        return std::nullopt;
    }
    const auto items = py::reinterpret_borrow<py::sequence>(object);
    if (items.size() != 4) {
        throw Error(ErrorKind::BadInput, "a region has four fields (x, y, width, height), not " +
                                             std::to_string(items.size()));
    }
    return Region{int32Of(items[0], "region field"), int32Of(items[1], "region field"),
                  int32Of(items[2], "region field"), int32Of(items[3], "region field")};
}

std::string nonFiniteText(double number) {
    if (std::isnan(number)) {
        return std::signbit(number) ? "-nan" : "nan";
    }
    return number > 0 ? "inf" : "-inf";
}

Json jsonFromPython(py::handle object, int depth) {
    if (depth > kMaxDepth) {
        throw Error(ErrorKind::BadInput,
                    "JSON nested deeper than " + std::to_string(kMaxDepth) + " levels");
    }
    PyObject* o = object.ptr();
    if (o == Py_None) return nullptr;
    if (PyBool_Check(o)) return o == Py_True;
    if (PyLong_Check(o)) {
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(o, &overflow);
        if (overflow == 0) return number;
        const unsigned long long large = PyLong_AsUnsignedLongLong(o);
        if (PyErr_Occurred() != nullptr) {
            PyErr_Clear();
            throw Error(ErrorKind::BadInput,
                        "the integer " + py::str(object).cast<std::string>() + " is too large");
        }
        return large;
    }
    if (PyFloat_Check(o)) {
        const double number = PyFloat_AS_DOUBLE(o);
        return std::isfinite(number) ? Json(number) : Json(nonFiniteText(number));
    }
    if (PyUnicode_Check(o)) return object.cast<std::string>();
    if (PyTuple_Check(o) || PyList_Check(o)) {
        Json array = Json::array();
        for (const py::handle item : object) {
            array.push_back(jsonFromPython(item, depth + 1));
        }
        return array;
    }
    if (PyDict_Check(o)) {
        Json members = Json::object();
        for (const auto& [key, item] : py::reinterpret_borrow<py::dict>(object)) {
            members[py::detail::keyText(key)] = jsonFromPython(item, depth + 1);
        }
        return members;
    }
    throw Error(ErrorKind::BadInput, "a " + pythonTypeName(object) + " has no JSON form");
}

}  // namespace

void loadTypes() {
    const py::module_ types = py::module_::import("vexar._types");
    regionType = new py::object(types.attr("Region"));
    boundsType = new py::object(types.attr("Bounds"));
    regionBoundsType = new py::object(types.attr("RegionBounds"));
}

py::object makeRegion(const Region& region) {
    return (*regionType)(region.x, region.y, region.width, region.height);
}

double widen(float value) {
    if (!std::isfinite(value) || value == std::trunc(value)) {
        return value;
    }
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double shortest = value;
    std::from_chars(text, written.ptr, shortest);
    return shortest;
}

Value toValue(py::handle object) {
    PyObject* o = object.ptr();
    if (PyBool_Check(o)) return Value(o == Py_True);
    if (PyLong_Check(o)) return Value(int32Of(object, "the value"));
    if (PyFloat_Check(o)) return Value(PyFloat_AS_DOUBLE(o));
    if (const auto region = regionOf(object)) return Value(*region);
    // Integer and float types of other libraries (numpy's among them).
    if (PyIndex_Check(o)) return Value(int32Of(object, "the value"));
    if (Py_TYPE(o)->tp_as_number != nullptr && Py_TYPE(o)->tp_as_number->nb_float != nullptr) {
        const double number = PyFloat_AsDouble(o);
        if (PyErr_Occurred() == nullptr) return Value(number);
        throw py::error_already_set();
    }
    throw Error(ErrorKind::BadInput,
                "a parameter value is a bool, an int, a float or a Region, not a " +
                    pythonTypeName(object));
}

Changes changesOf(const StateWritten& written) {
    Changes changes;
    for (const Change& change : written.changed) {
        changes.emplace(change.name, std::pair{PyValue{change.before, std::nullopt},
                                               PyValue{change.after, std::nullopt}});
    }
    return changes;
}

PyValue toPyValue(py::handle object) {
    if (PyUnicode_Check(object.ptr())) {
        return PyValue{Value(false), object.cast<std::string>()};
    }
    return PyValue{toValue(object), std::nullopt};
}

py::object fromValue(const Value& value) {
    switch (value.type()) {
        case ValueType::Float:
            return py::float_(widen(value.asFloat()));
        case ValueType::Int:
            return py::int_(value.asInt());
        case ValueType::Bool:
            return py::bool_(value.asBool());
        case ValueType::Region:
            return makeRegion(value.asRegion());
    }
    return py::none();
}

py::object fromRange(const std::optional<Range>& range) {
    if (!range) {
        return py::none();
    }
    struct Converter {
        py::object bounds(const Bounds<std::int32_t>& b) const {
            return (*boundsType)(b.minimum, b.maximum, b.step);
        }
        py::object operator()(const Bounds<std::int32_t>& b) const { return bounds(b); }
        py::object operator()(const Bounds<float>& b) const {
            return (*boundsType)(widen(b.minimum), widen(b.maximum), widen(b.step));
        }
        py::object operator()(const std::vector<std::int32_t>& values) const {
            py::tuple set(values.size());
            for (std::size_t i = 0; i < values.size(); ++i) {
                set[i] = py::int_(values[i]);
            }
            return set;
        }
        py::object operator()(const RegionBounds& r) const {
            return (*regionBoundsType)(bounds(r.x), bounds(r.y), bounds(r.width), bounds(r.height));
        }
    };
    return std::visit(Converter{}, range->numbers);
}

std::vector<std::uint8_t> toBytes(py::handle object, const char* what) {
    Py_buffer view{};
    if (PyObject_GetBuffer(object.ptr(), &view, PyBUF_SIMPLE) != 0) {
        PyErr_Clear();
        throw Error(ErrorKind::BadInput, std::string(what) +
                                             " must be bytes (or another buffer of bytes), not a " +
                                             pythonTypeName(object));
    }
    const auto* begin = static_cast<const std::uint8_t*>(view.buf);
    std::vector<std::uint8_t> bytes(begin, begin + view.len);
    PyBuffer_Release(&view);
    return bytes;
}

Json jsonFromPython(py::handle object) {
    return jsonFromPython(object, 0);
}

py::object pythonFromJson(const Json& json) {
    switch (json.type()) {
        case Json::value_t::null:
            return py::none();
        case Json::value_t::boolean:
            return py::bool_(json.get<bool>());
        case Json::value_t::number_integer:
            return py::int_(json.get<std::int64_t>());
        case Json::value_t::number_unsigned:
            return py::int_(json.get<std::uint64_t>());
        case Json::value_t::number_float:
            return py::float_(json.get<double>());
        case Json::value_t::string:
            return py::str(json.get_ref<const std::string&>());
        case Json::value_t::array: {
            py::list items;
            for (const Json& item : json) {
                items.append(pythonFromJson(item));
            }
            return items;
        }
        case Json::value_t::object: {
            py::dict members;
            for (const auto& [key, item] : json.items()) {
                members[py::str(key)] = pythonFromJson(item);
            }
            return members;
        }
        case Json::value_t::binary:
        case Json::value_t::discarded:
            break;
    }
    return py::none();
}

namespace {
// A dict, or any other mapping as a dict.
py::dict asDict(py::handle object, const char* what) {
    if (PyDict_Check(object.ptr())) {
        return py::reinterpret_borrow<py::dict>(object);
    }
    if (py::isinstance(object, py::module_::import("collections.abc").attr("Mapping"))) {
        return py::dict(object.attr("items")());
    }
    throw Error(ErrorKind::BadInput, std::string(what) + ", not a " + pythonTypeName(object));
}

// {"Name": value}: a region may be a vexar.Region or a tuple, and a member is named once.
Json membersToJson(py::handle object) {
    const py::dict given =
        asDict(object, "a profile's parameters are a mapping of \"Name\": value members");
    Json members = Json::object();
    std::map<std::string, std::string> spelled;
    for (const auto& [key, item] : given) {
        const std::string name = py::detail::keyText(key);
        const std::string shown = py::repr(key).cast<std::string>();
        if (const auto [first, fresh] = spelled.emplace(name, shown); !fresh) {
            // 3 and "3" are one member: which of the two values was meant cannot be told.
            throw Error(ErrorKind::BadInput, "the profile names " + name + " twice: as " +
                                                 first->second + " and as " + shown);
        }
        if (const auto region = regionOf(item)) {
            members[name] = {{"x", region->x},
                             {"y", region->y},
                             {"width", region->width},
                             {"height", region->height}};
        } else {
            members[name] = jsonFromPython(item, 1);
        }
    }
    return members;
}
}  // namespace

Json toProfile(py::handle object) {
    const py::dict dict = asDict(object,
                                 "a profile is a mapping: the document profile() gives, "
                                 "or \"Name\": value members");
    if (!dict.contains("format")) {
        return membersToJson(dict);
    }
    Json document = Json::object();
    for (const auto& [key, item] : dict) {
        const std::string name = py::detail::keyText(key);
        document[name] = name == "parameters" ? membersToJson(item) : jsonFromPython(item, 1);
    }
    return document;
}

std::uint32_t narrow(const Integer& number, long long maximum, const char* what) {
    if (number.value < 0 || number.value > maximum) {
        throw Error(ErrorKind::BadInput, std::string(what) + " " + std::to_string(number.value) +
                                             " is not in 0 to " + std::to_string(maximum));
    }
    return static_cast<std::uint32_t>(number.value);
}

}  // namespace vexar::python

namespace pybind11::detail {

std::string keyText(handle source) {
    if (PyUnicode_Check(source.ptr())) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(source.ptr(), &size);
        if (text == nullptr) throw error_already_set();
        return std::string(text, static_cast<std::size_t>(size));
    }
    if (vexar::python::isInt(source)) {
        return std::to_string(integerOf(source));
    }
    throw vexar::Error(vexar::ErrorKind::BadInput,
                       "a parameter is named by a str or an int identifier, not a " +
                           vexar::python::pythonTypeName(source));
}

long long integerOf(handle source) {
    if (!vexar::python::isInt(source) && !PyIndex_Check(source.ptr())) {
        throw vexar::Error(vexar::ErrorKind::BadInput,
                           "expected an int, not a " + vexar::python::pythonTypeName(source));
    }
    const object number = reinterpret_steal<object>(PyNumber_Index(source.ptr()));
    if (!number) throw error_already_set();
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0) {
        throw vexar::Error(vexar::ErrorKind::BadInput,
                           "the integer " + str(source).cast<std::string>() + " is too large");
    }
    return value;
}

handle type_caster<vexar::python::PyValue>::cast(const vexar::python::PyValue& from,
                                                 return_value_policy, handle) {
    return vexar::python::fromValue(from.value).release();
}

handle type_caster<vexar::python::Blob>::cast(const vexar::python::Blob& from, return_value_policy,
                                              handle) {
    const auto* data = reinterpret_cast<const char*>(from.bytes.data());
    return bytes(data, from.bytes.size()).release();
}

handle type_caster<vexar::python::JsonDoc>::cast(const vexar::python::JsonDoc& from,
                                                 return_value_policy, handle) {
    return vexar::python::pythonFromJson(from.json).release();
}

handle type_caster<vexar::python::Profile>::cast(const vexar::python::Profile& from,
                                                 return_value_policy, handle) {
    return vexar::python::pythonFromJson(from.json).release();
}

bool type_caster<vexar::python::Calibration>::load(handle source, bool) {
    if (PyDict_Check(source.ptr())) {
        value.record = vexar::python::jsonFromPython(source);
    } else {
        value.record = vexar::python::toBytes(source, "a calibration record");
    }
    return true;
}

}  // namespace pybind11::detail
