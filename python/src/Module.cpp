// The extension module vexar._vexar: the client library's Camera, one call deep. Arguments
// are converted with the GIL held, each call into the camera runs with it released (so that
// a thread waiting for the camera's lock never holds it), and results are converted once it
// is taken back.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <deque>
#include <map>
#include <optional>
#include <thread>
#include <vexar/camera.hpp>
#include <vexar/compare.hpp>
#include <vexar/presets.hpp>
#include <vexar/watch.hpp>

#include "Conversions.h"
#include "Errors.h"
#include "Exit.h"
#include "PythonBus.h"
#include "Transactions.h"

namespace vexar::python {

// The camera and the Python callback its transactions go to.
struct PyCamera {
    Camera camera;
    std::shared_ptr<Listeners> listeners;
};

// cam.watch(): the library's Watch, and the changes of the last look not yet handed out.
struct Watching {
    std::unique_ptr<Watch> watch;
    std::chrono::milliseconds interval;
    std::deque<py::tuple> pending;
};

// fields(): name (or index, for a field without one) to value.
struct FieldValues {
    std::vector<Field> fields;
};

}  // namespace vexar::python

namespace pybind11::detail {
template <>
struct type_caster<vexar::python::FieldValues> {
    PYBIND11_TYPE_CASTER(vexar::python::FieldValues, const_name("dict[str | int, int]"));
    bool load(handle, bool) { return false; }
    static handle cast(const vexar::python::FieldValues& from, return_value_policy, handle) {
        dict values;
        for (const vexar::Field& field : from.fields) {
            const object key =
                field.name.empty() ? object(int_(field.index)) : object(str(field.name));
            values[key] = int_(field.value);
        }
        return values.release();
    }
};
}  // namespace pybind11::detail

namespace vexar::python {

namespace {

std::string fspath(const py::object& path) {
    return py::str(py::module_::import("os").attr("fspath")(path)).cast<std::string>();
}

OpenOptions optionsOf(const py::object& plugin, const py::object& module,
                      const py::object& lockTimeout) {
    OpenOptions options;
    // Ctrl-C ends a wait for another process or thread, as it ends time.sleep().
    options.interrupted = signalArrived;
    if (!plugin.is_none()) {
        options.plugin = fspath(plugin);
    }
    if (!module.is_none()) {
        options.identity = ModuleIdentity::load(fspath(module));
    }
    if (!lockTimeout.is_none()) {
        try {
            options.lockTimeout = lockTimeoutFromSeconds(lockTimeout.cast<double>());
        } catch (const Error& error) {
            throw Error(ErrorKind::BadInput, std::string("lock_timeout: ") + error.what());
        }
    }
    return options;
}

std::unique_ptr<PyCamera> openCamera(const py::object& where, const py::object& bus,
                                     const py::object& plugin, const py::object& module,
                                     const py::object& lockTimeout) {
    if (!where.is_none() && !bus.is_none()) {
        throw Error(ErrorKind::BadInput, "open() takes a place or a bus, not both");
    }
    if (!where.is_none() && !PyUnicode_Check(where.ptr())) {
        throw Error(ErrorKind::BadInput,
                    "the place to open is a str such as \"sim\", \"image:PATH\" or \"/dev/i2c-1\"");
    }
    const OpenOptions options = optionsOf(plugin, module, lockTimeout);
    const std::string place = where.is_none() ? "sim" : where.cast<std::string>();
    std::unique_ptr<Bus> pythonBus = bus.is_none() ? nullptr : std::make_unique<PythonBus>(bus);
    auto listeners = std::make_shared<Listeners>();
    std::optional<Camera> camera;
    cameraCall([&] {
        camera.emplace(pythonBus ? Camera::open(std::move(pythonBus), options)
                                 : Camera::open(place, options));
        camera->onTransaction([listeners](const Transaction& t) { (*listeners)(t); });
    });
    return std::make_unique<PyCamera>(PyCamera{std::move(*camera), std::move(listeners)});
}

// Other values a write moved, as Python returns them: {name: (before, after)}.
using Changes = std::map<std::string, std::pair<PyValue, PyValue>>;

Changes changesOf(const StateWritten& written) {
    Changes changes;
    for (const Change& change : written.changed) {
        changes.emplace(change.name, std::pair{PyValue{change.before, std::nullopt},
                                               PyValue{change.after, std::nullopt}});
    }
    return changes;
}

// Called without the GIL, from a call that has done its work: the warning says what it assumed.
void warnAssumed(const std::string& what, const StateWritten& written) {
    if (written.assumed.empty()) {
        return;
    }
    std::string names;
    for (const std::string& name : written.assumed) {
        names += (names.empty() ? "" : ", ") + name;
    }
    py::gil_scoped_acquire acquire;
    const py::object category = py::module_::import("vexar._vexar").attr("AssumedWarning");
    const std::string message = what + ": " + names +
                                " written at the power-on value 50, nothing being known of " +
                                (written.assumed.size() == 1 ? "it" : "them");
    if (PyErr_WarnEx(category.ptr(), message.c_str(), 2) != 0) {
        throw py::error_already_set();
    }
}

std::string directionName(Direction direction) {
    return direction == Direction::Read ? "read" : "write";
}

// A hold ending as its object goes away waits for its thread to be between calls; that thread
// may need the GIL to get there.
struct EndWithoutGil {
    void operator()(Hold* hold) const {
        PyThreadState* const thread = PyEval_SaveThread();
        delete hold;
        PyEval_RestoreThread(thread);
    }
};

void defineValueClasses(py::module_& m) {
    py::class_<Parameter>(m, "Parameter",
                          "A parameter as the plug-in advertises it: name, id, type ('float', "
                          "'int', 'bool' or 'region'), unit, access ('read-write', 'read-only' "
                          "or 'write-only') and range (a Bounds, a tuple of the allowed values, "
                          "a RegionBounds, or None).")
        .def_readonly("name", &Parameter::name)
        .def_readonly("id", &Parameter::id)
        .def_property_readonly("type", [](const Parameter& p) { return typeName(p.type); })
        .def_readonly("unit", &Parameter::unit)
        .def_property_readonly("access", [](const Parameter& p) { return accessName(p.access); })
        .def_property_readonly("range", [](const Parameter& p) { return fromRange(p.range); })
        .def_readonly("state_only", &Parameter::stateOnly,
                      "Changes only through load_state or apply_profile.")
        .def_property_readonly("readable", &Parameter::readable)
        .def_property_readonly("writable", &Parameter::writable, "set() may change it.")
        .def("__repr__", [](const Parameter& p) {
            return py::str("Parameter(name={!r}, id={}, type={!r}, unit={!r}, access={!r})")
                .format(p.name, p.id, typeName(p.type), p.unit, accessName(p.access));
        });

    py::class_<Applied>(m, "Applied",
                        "What set() did: the value requested, the value the module holds "
                        "afterwards (applied; None for a write-only parameter) and whether the "
                        "request lay outside the advertised range (outside_range).")
        .def_readonly("name", &Applied::name)
        .def_property_readonly("requested", [](const Applied& a) { return fromValue(a.requested); })
        .def_property_readonly(
            "applied",
            [](const Applied& a) { return a.applied ? fromValue(*a.applied) : py::none(); })
        .def_readonly("outside_range", &Applied::outsideAdvertisedRange)
        .def_readonly("through_state", &Applied::throughState,
                      "Written through a system state built from the current values.")
        .def_property_readonly(
            "changed", [](const Applied& a) { return changesOf(a.state); },
            "Every other value the write moved: {name: (before, after)}.")
        .def_property_readonly(
            "assumed", [](const Applied& a) { return a.state.assumed; },
            "The voltages written at their power-on value, nothing being known of them (force).")
        .def("__repr__", [](const Applied& a) {
            return py::str("Applied(name={!r}, requested={!r}, applied={!r}, outside_range={})")
                .format(a.name, fromValue(a.requested),
                        a.applied ? fromValue(*a.applied) : py::none(), a.outsideAdvertisedRange);
        });

    py::class_<Transaction>(m, "Transaction",
                            "One transfer on the module's bus: direction ('read' or 'write'), "
                            "device, register, the bytes written or read back, and result (0, "
                            "or the bus's negative errno).")
        .def_property_readonly("direction",
                               [](const Transaction& t) { return directionName(t.direction); })
        .def_readonly("device", &Transaction::device)
        .def_readonly("register", &Transaction::reg)
        .def_property_readonly("bytes",
                               [](const Transaction& t) {
                                   return py::bytes(reinterpret_cast<const char*>(t.bytes.data()),
                                                    t.bytes.size());
                               })
        .def_readonly("result", &Transaction::result)
        .def("__str__", &Transaction::toString)
        .def("__repr__", [](const Transaction& t) { return "<Transaction " + t.toString() + ">"; });

    py::class_<Timing>(m, "Timing",
                       "The frame timing the settings give, in milliseconds: frame_period, "
                       "micro_frames of micro_frame_period each, phases_per_micro_frame, and "
                       "the integration window and idle rest of each micro-frame.")
        .def_readonly("frame_period", &Timing::framePeriod)
        .def_readonly("micro_frames", &Timing::microFrames)
        .def_readonly("micro_frame_period", &Timing::microFramePeriod)
        .def_readonly("phases_per_micro_frame", &Timing::phasesPerMicroFrame)
        .def_readonly("integration", &Timing::integration)
        .def_readonly("idle", &Timing::idle)
        .def("to_text", &Timing::toText, "The lines vexar-ctl prints for it.")
        .def("to_svg", &Timing::toSvg, "A drawing of it, as an SVG document.")
        .def("__repr__", [](const Timing& t) {
            return py::str("Timing(frame_period={}, micro_frames={}, integration={}, idle={})")
                .format(t.framePeriod, t.microFrames, t.integration, t.idle);
        });

    py::class_<Hold, std::unique_ptr<Hold, EndWithoutGil>>(
        m, "Hold",
        "Keeps the bus (an adapter's or an image's lock) and other threads out of "
        "the camera across several calls, until the with block ends or release() "
        "is called.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Hold& hold, const py::args&) { cameraCall([&] { hold.release(); }); })
        .def(
            "release", [](Hold& hold) { cameraCall([&] { hold.release(); }); },
            "Ends the hold now, writing back an image the calls changed.\n\n"
            "Raises:\n    BadInput: the image could not be written.");

    py::class_<Watching>(m, "Watch",
                         "An iterator of the changes on the module, look after look: tuples "
                         "(name, before, after), and ('reset', None, None) when every field went "
                         "back to its power-on value. Ctrl-C ends the wait for the next.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](Watching& w) {
            while (w.pending.empty()) {
                const auto until = std::chrono::steady_clock::now() + w.interval;
                while (std::chrono::steady_clock::now() < until) {
                    cameraCall([&] {
                        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                            std::chrono::milliseconds(50),
                            until - std::chrono::steady_clock::now()));
                    });
                    if (PyErr_CheckSignals() != 0) {
                        throw py::error_already_set();
                    }
                }
                const WatchLook look = cameraCall([&] { return w.watch->look(); });
                if (look.reset) {
                    w.pending.push_back(py::make_tuple("reset", py::none(), py::none()));
                }
                for (const WatchedChange& change : look.changes) {
                    w.pending.push_back(py::make_tuple(change.name, fromValue(change.before),
                                                       fromValue(change.after)));
                }
            }
            py::tuple next = w.pending.front();
            w.pending.pop_front();
            return next;
        });

    py::class_<Trace>(m, "Trace",
                      "The bus transactions of a with block (of every thread using the camera "
                      "meanwhile); transactions lists them, oldest first.")
        .def("__enter__",
             [](py::object self) {
                 Trace& trace = self.cast<Trace&>();
                 trace.recording.emplace(trace.camera->camera.trace());
                 return self;
             })
        .def("__exit__",
             [](Trace& trace, const py::args&) {
                 if (trace.recording) {
                     trace.recording->stop();
                 }
             })
        .def_property_readonly("transactions", [](Trace& trace) {
            return trace.recording ? trace.recording->transactions() : std::vector<Transaction>{};
        });
}

template <typename Call, typename Result, typename... Args>
auto onCamera(Call call, Result (Call::*)(Camera&, Args...) const) {
    return [call](PyCamera& c, Args... args) -> Result {
        return cameraCall([&]() -> Result { return call(c.camera, std::forward<Args>(args)...); });
    };
}

// A call on the camera as a method of PyCamera with the same arguments; pybind11 reads the
// signature from it.
template <typename Call>
auto on(Call call) {
    return onCamera(call, &Call::operator());
}

void defineCamera(py::module_& m) {
    py::class_<PyCamera> camera(
        m, "Camera",
        "The camera module through the parameter-interpreter plug-in; made by vexar.open(). "
        "Also a mapping of parameter names to values (cam['FrameRate'], 'FrameRate' in cam, "
        "iteration over the names) and a context manager that closes it. Calls from several "
        "threads take turns. Every method raises vexar.Error (see its subclasses) on failure.");
    camera
        .def_property_readonly("parameters",
                               py::cpp_function(on([](Camera& cam) { return cam.parameters(); })),
                               "Every parameter, as a list of vexar.Parameter.")
        .def("parameter", on([](Camera& cam, const Key& key) { return cam.parameter(key.text); }),
             py::arg("name"),
             "The parameter of a name (any letter case) or identifier.\n\n"
             "Raises:\n    BadInput: no parameter has the name.")
        .def("get", on([](Camera& cam, const Key& key) {
                 return PyValue{cam.get(key.text), std::nullopt};
             }),
             py::arg("name"),
             "The value of a parameter, by name or identifier: a bool, int, float or "
             "vexar.Region, by the parameter's type.\n\n"
             "Raises:\n    BadInput: unknown parameter.\n"
             "    Refused: the plug-in refused (a write-only parameter).\n"
             "    BusError: the bus failed.")
        .def("set",
             on([](Camera& cam, const Key& key, const PyValue& value, bool allowNonFinite,
                   bool force) {
                 Applied applied = cam.set(key.text, value.forParameter(key.text),
                                           WriteOptions{allowNonFinite, force});
                 warnAssumed(applied.name, applied.state);
                 return applied;
             }),
             py::arg("name"), py::arg("value"), py::kw_only(), py::arg("allow_non_finite") = false,
             py::arg("force") = false,
             "Writes a parameter, by name or identifier, and returns a vexar.Applied with the "
             "value it holds afterwards. An int is taken for a float parameter and an integral "
             "float for an int one; a str as vexar-ctl reads it (\"0x8\", \"on\", "
             "\"16,8,160,120\"); NaN and the infinities only with allow_non_finite.\n\n"
             "RegionOfInterest and DealiasingOn are written through a system state built from "
             "the current values: the write-only voltages are what is known of them (what this "
             "camera wrote last, or what the simulated module latched); with force, one of "
             "which nothing is known is written at its power-on value 50, with a "
             "vexar.AssumedWarning. Applied.changed lists every other value the write moved.\n\n"
             "Raises:\n    BadInput: unknown parameter, a value of the wrong type, a non-finite "
             "number.\n"
             "    Refused: the plug-in refused the value (code_name and allowed say why), the "
             "parameter is read-only, or a write through a state found a voltage unknown or a "
             "frequency that is not a number.\n"
             "    BusError: the bus failed.")
        .def("__getitem__", on([](Camera& cam, const Key& key) {
                 return PyValue{cam.get(key.text), std::nullopt};
             }),
             "cam[name]: get(name).")
        .def("__setitem__", on([](Camera& cam, const Key& key, const PyValue& value) {
                 cam.set(key.text, value.forParameter(key.text));
             }),
             "cam[name] = value: set(name, value), without its result.")
        .def(
            "__contains__",
            [](PyCamera& c, const py::object& key) {
                if (!PyUnicode_Check(key.ptr()) && !PyLong_Check(key.ptr())) {
                    return false;
                }
                const std::string text = py::detail::keyText(key);
                try {
                    cameraCall([&] { return c.camera.parameter(text); });
                    return true;
                } catch (const Error& error) {
                    if (error.kind() != ErrorKind::BadInput) throw;
                    return false;
                }
            },
            "Whether a parameter has the name or identifier.")
        .def(
            "__iter__",
            [](PyCamera& c) {
                std::vector<std::string> names;
                for (const Parameter& p : cameraCall([&] { return c.camera.parameters(); })) {
                    names.push_back(p.name);
                }
                return py::iter(py::cast(names));
            },
            "The parameters' names.")
        .def("__len__", on([](Camera& cam) { return cam.parameters().size(); }),
             "The number of parameters.")
        .def("save_state", on([](Camera& cam) { return Blob{cam.saveState()}; }),
             "The system state: the plug-in's records of the parameters it keeps, as bytes.\n\n"
             "Raises:\n    Refused, BusError.")
        .def("load_state", on([](Camera& cam, const Blob& state) { cam.loadState(state.bytes); }),
             py::arg("state"),
             "Loads a system state that save_state() (or vexar-ctl state save) gave.\n\n"
             "Raises:\n    BadInput: the bytes are no state.\n"
             "    Refused: the plug-in refused it (a state holding NaN cannot be loaded back).\n"
             "    BusError: the bus failed.")
        .def("profile", on([](Camera& cam) { return Profile{toJson(cam.profile())}; }),
             "The system state as the dict that vexar-ctl state save --format json writes: "
             "\"Name\": value in record order, a region as {'x', 'y', 'width', 'height'}, a NaN "
             "as the string 'nan' or '-nan'; json.dump() of it loads in vexar-ctl.\n\n"
             "Raises:\n    Refused, BusError.")
        .def("apply_profile", on([](Camera& cam, const Profile& profile, bool force) {
                 const StateWritten written = cam.applyProfile(profileFromJson(profile.json),
                                                               WriteOptions{false, force, force});
                 warnAssumed("profile", written);
                 return changesOf(written);
             }),
             py::arg("profile"), py::kw_only(), py::arg("force") = false,
             "Loads a profile: members by name or identifier; a region may also be a "
             "vexar.Region or a 4-tuple, a NaN a float or 'nan'. Parameters the profile leaves "
             "out keep their values, the voltages as set() keeps them (force as there). "
             "Returns every value the profile did not name that it moved: {name: (before, "
             "after)}.\n\n"
             "Raises:\n    BadInput: an unknown name, a value of the wrong type.\n"
             "    Refused: the plug-in refused the state.\n"
             "    BusError: the bus failed.")
        .def(
            "diff",
            [](PyCamera& c, const Profile& a, const std::optional<Profile>& b, bool registers,
               bool force) {
                const vexar::Profile first = profileFromJson(a.json);
                const auto [parameters, module] = cameraCall([&] {
                    const vexar::Profile second = b ? profileFromJson(b->json) : c.camera.profile();
                    return std::pair{compareSettings(first.parameters, second.parameters),
                                     registers ? compareOnModule(c.camera, first, second,
                                                                 WriteOptions{false, force, force})
                                               : ModuleDifference{}};
                });
                py::dict answer;
                py::dict values;
                const auto shown = [](const std::optional<Value>& v) {
                    return v ? fromValue(*v) : py::none();
                };
                for (const ParameterDifference& d : parameters) {
                    values[py::str(d.name)] = py::make_tuple(shown(d.a), shown(d.b));
                }
                answer["parameters"] = values;
                if (registers) {
                    py::dict fields;
                    for (const FieldDifference& d : module.fields) {
                        const py::object key = d.field.name.empty()
                                                   ? py::object(py::int_(d.field.index))
                                                   : py::object(py::str(d.field.name));
                        fields[key] = py::make_tuple(d.field.value, d.b);
                    }
                    py::dict words;
                    for (const RegisterDifference& d : module.registers) {
                        words[py::int_(d.address)] = py::make_tuple(d.a, d.b);
                    }
                    answer["fields"] = fields;
                    answer["registers"] = words;
                }
                return answer;
            },
            py::arg("a"), py::arg("b") = py::none(), py::kw_only(), py::arg("registers") = false,
            py::arg("force") = false,
            "Where profile a differs from profile b, or from what the module holds now, as "
            "vexar-ctl state diff tells it: {'parameters': {name: (a, b)}} (None: left out); "
            "with registers=True also 'fields' {name: (a, b)} and 'registers' {address: (a, b)}, "
            "what the two would leave in the module, found on simulated copies of it.")
        .def(
            "watch",
            [](PyCamera& c, const std::vector<std::string>& names, double interval,
               bool registers) {
                if (!(interval >= 0.01 && interval <= 3600)) {
                    throw Error(ErrorKind::BadInput, "interval: seconds from 0.01 to 3600");
                }
                auto watch =
                    cameraCall([&] { return std::make_unique<Watch>(c.camera, names, registers); });
                cameraCall([&] { watch->look(); });
                return Watching{
                    std::move(watch), std::chrono::milliseconds(std::llround(interval * 1000)), {}};
            },
            py::arg("names") = std::vector<std::string>{}, py::kw_only(), py::arg("interval") = 1.0,
            py::arg("registers") = false, py::keep_alive<0, 1>(),
            "The changes of the parameters named (every readable one by default), and with "
            "registers=True of every field, looked for every interval seconds, as vexar-ctl "
            "watch prints them: an iterator of (name, before, after).")
        .def("save_preset", on([](Camera& cam, const std::string& name, const std::string& note) {
                 checkPresetName(name);
                 vexar::Profile profile = cam.profile();
                 profile.note = note;
                 savePreset(name, std::move(profile));
             }),
             py::arg("name"), py::kw_only(), py::arg("note") = "",
             "Saves the profile as the named preset, which vexar-ctl preset and the panel share "
             "(a file in $XDG_CONFIG_HOME/vexar/presets/).\n\n"
             "Raises:\n    BadInput: a name that is not 1 to 64 letters, digits, '-', '_' and "
             "'.', or a folder that cannot be written.")
        .def("load_preset", on([](Camera& cam, const std::string& name, bool force) {
                 const StateWritten written =
                     cam.applyProfile(loadPreset(name), WriteOptions{false, force, force});
                 warnAssumed("preset " + name, written);
                 return changesOf(written);
             }),
             py::arg("name"), py::kw_only(), py::arg("force") = false,
             "Loads the named preset as apply_profile() loads a profile.\n\n"
             "Raises:\n    BadInput: no such preset, or one of another module (unless force).\n"
             "    Refused, BusError.")
        .def("read_calibration", on([](Camera& cam) { return Blob{cam.readCalibration()}; }),
             "The calibration record as bytes, in the host library's container format.\n\n"
             "Raises:\n    Refused, BusError.")
        .def("read_calibration_json",
             on([](Camera& cam) { return JsonDoc{calibrationToJson(cam.readCalibration())}; }),
             "The calibration record as the dict vexar-ctl calib read --format json writes.\n\n"
             "Raises:\n    Refused, BusError.")
        .def("write_calibration", on([](Camera& cam, const Calibration& record) {
                 if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&record.record)) {
                     cam.writeCalibration(*bytes);
                 } else {
                     cam.writeCalibration(calibrationFromJson(std::get<Json>(record.record)));
                 }
             }),
             py::arg("record"),
             "Programs a calibration record: bytes as read_calibration() gives them, or a dict "
             "as read_calibration_json() does (members left out keep their defaults).\n\n"
             "Raises:\n    BadInput: a record that does not decode.\n"
             "    Refused: the plug-in refused it.\n"
             "    BusError: the bus failed.")
        .def("fields", on([](Camera& cam) { return FieldValues{cam.fields()}; }),
             "Every sub-register, read from the sensor: a dict of field name (the index for a "
             "field without one) to value.\n\n"
             "Raises:\n    BusError.")
        .def("read_register",
             on([](Camera& cam, const Integer& reg, const std::optional<Integer>& device) {
                 if (!device) {
                     return std::optional<std::uint32_t>(
                         cam.readRegister(narrow(reg, 0xFFFFFFFF, "register")));
                 }
                 const auto byte =
                     cam.readRegister(static_cast<std::uint16_t>(narrow(*device, 0xFFFF, "device")),
                                      static_cast<std::uint8_t>(narrow(reg, 0xFF, "register")));
                 return byte ? std::optional<std::uint32_t>(*byte) : std::nullopt;
             }),
             py::arg("register"), py::arg("device") = py::none(),
             "A register of the sensor (its 24-bit value), or with device= the byte a one-byte "
             "device latched: None when it was never written (only the simulated module can "
             "tell; on hardware Unsupported).\n\n"
             "Raises:\n    BadInput: a register the device does not have.\n"
             "    BusError: the bus failed.")
        .def("write_register",
             on([](Camera& cam, const Integer& reg, const Integer& value,
                   const std::optional<Integer>& device) {
                 if (!device) {
                     cam.writeRegister(narrow(reg, 0xFFFFFFFF, "register"),
                                       narrow(value, 0xFFFFFFFF, "value"));
                 } else {
                     cam.writeRegister(
                         static_cast<std::uint16_t>(narrow(*device, 0xFFFF, "device")),
                         static_cast<std::uint8_t>(narrow(reg, 0xFF, "register")),
                         static_cast<std::uint8_t>(narrow(value, 0xFF, "value")));
                 }
             }),
             py::arg("register"), py::arg("value"), py::arg("device") = py::none(),
             "Writes a register of the sensor, or with device= of a one-byte device, behind the "
             "plug-in's back.\n\n"
             "Raises:\n    BadInput: a register or value the device does not have.\n"
             "    BusError: the bus failed.")
        .def("transactions", on([](Camera& cam) { return cam.transactions(); }),
             "The recent bus transactions, oldest first (a bounded record that is always kept).")
        .def("clear_transactions", on([](Camera& cam) { cam.clearTransactions(); }),
             "Empties the record of transactions().")
        .def(
            "trace",
            [](PyCamera& c) {
                return Trace{&c, std::nullopt};
            },
            py::keep_alive<0, 1>(),
            "A context manager whose transactions are the bus transactions of its with "
            "block:\n\n    with cam.trace() as t:\n        cam.set('MicroFrameNumber', 8)\n"
            "    print(*t.transactions, sep='\\n')")
        .def(
            "on_transaction",
            [](PyCamera& c, py::object callback) {
                if (!callback.is_none() && !PyCallable_Check(callback.ptr())) {
                    throw Error(ErrorKind::BadInput, "on_transaction takes a callable or None");
                }
                c.listeners->setCallback(std::move(callback));
            },
            py::arg("callback"),
            "Calls callback(transaction) for each bus transaction as it happens, from the "
            "thread that made the call, with the camera's lock held (so it must not call the "
            "camera); None removes it. What it raises is reported as unraisable.")
        .def("timing", on([](Camera& cam) { return cam.timing(); }),
             "The frame timing the settings give, as a vexar.Timing.\n\nRaises:\n    BusError.")
        .def("hold", on([](Camera& cam) { return cam.hold(); }), py::keep_alive<0, 1>(),
             "A context manager that keeps the bus and the camera to this thread across the "
             "calls of its with block, as one vexar-ctl command does.")
        .def("reset", on([](Camera& cam) { cam.reset(); }),
             "Puts the simulated module (or image) back to power-on.\n\n"
             "Raises:\n    Unsupported: on an adapter.")
        .def_property_readonly(
            "backend", py::cpp_function(on([](Camera& cam) { return cam.backend(); })),
            "What the camera is on: 'simulated module' (also for an image), '/dev/i2c-1' or the "
            "Python bus's name.")
        .def_property_readonly(
            "shared", py::cpp_function(on([](Camera& cam) { return cam.shared(); })),
            "Whether other processes may change the module too (an image, an adapter, a Python "
            "bus): what they change shows only on a fresh read. False only for 'sim'.")
        .def_property_readonly("plugin_path",
                               py::cpp_function(on([](Camera& cam) { return cam.pluginPath(); })),
                               "The plug-in that was loaded.")
        .def("close", on([](Camera& cam) { cam.close(); }),
             "Disposes the plug-in instance and releases the bus; later calls raise BadInput.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__",
             [](PyCamera& c, const py::args&) { cameraCall([&] { c.camera.close(); }); })
        .def("__repr__", [](PyCamera& c) {
            std::string backend;
            try {
                backend = cameraCall([&] { return c.camera.backend(); });
            } catch (const Error&) {
                return std::string("<vexar.Camera, closed>");
            }
            return "<vexar.Camera on " + backend + ">";
        });
}

}  // namespace

}  // namespace vexar::python

PYBIND11_MODULE(_vexar, m) {
    using namespace vexar::python;
    m.doc() = "The client library's Camera; import it as the package vexar.";
    m.attr("__version__") = VEXAR_PYTHON_VERSION;
    loadTypes();
    defineErrors(m);
    m.attr("AssumedWarning") = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "vexar.AssumedWarning",
        "A write through a system state wrote a voltage at its power-on value, nothing being "
        "known of it (force=True).",
        PyExc_UserWarning, nullptr));
    defineValueClasses(m);
    defineCamera(m);
    py::module_::import("atexit").attr("register")(py::cpp_function(awaitCallsAtExit));
    // Users meet them as vexar.X: that is how they print and how help() names them.
    for (const char* name :
         {"Parameter", "Applied", "Transaction", "Timing", "Hold", "Trace", "Watch", "Camera"}) {
        m.attr(name).attr("__module__") = "vexar";
    }
    m.def(
        "presets", [] { return cameraCall([] { return vexar::presetNames(); }); },
        "The names of the saved presets, sorted.");
    m.def("open", &openCamera, py::arg("where") = py::none(), py::kw_only(),
          py::arg("bus") = py::none(), py::arg("plugin") = py::none(),
          py::arg("module") = py::none(), py::arg("lock_timeout") = py::none(),
          "Opens the camera module and returns a vexar.Camera.\n\n"
          "where: 'sim' (a fresh simulated module, the default), 'image:PATH' (the simulated "
          "module kept in a file that several processes share) or '/dev/i2c-N' (a Linux "
          "adapter). bus: instead of where, an object with read(device, register, length) -> "
          "bytes and write(device, register, data). plugin: the plug-in to load (default: the "
          "one beside libvexar-client.so). module: a JSON file of the module identity, as "
          "vexar-ctl info --format json prints it. lock_timeout: seconds to wait for another "
          "process holding the adapter or image (default 10).\n\n"
          "Raises:\n    BadInput: a bad argument or identity file.\n"
          "    LoadError: the plug-in cannot be loaded.\n"
          "    Refused: the plug-in refused the module.\n"
          "    BusError: the bus cannot be opened or the sensor does not answer.\n"
          "    Busy: another process held the bus past lock_timeout.");
}
