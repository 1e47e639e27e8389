// The extension module vexar._vexar: the client library's Camera, one call deep. Arguments
// are converted with the GIL held, each call into the camera runs with it released, or on a
// camera that waits only in Python with it kept until the call would wait for another thread
// (so that a thread waiting for the camera's lock never holds it), and results are converted
// once it is held again.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <yorind/ModuleDescription.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <thread>
#include <vexar/camera.hpp>
#include <vexar/compare.hpp>
#include <vexar/json.hpp>
#include <vexar/options.hpp>
#include <vexar/presets.hpp>
#include <vexar/watch.hpp>

#include "Applied.h"
#include "Conversions.h"
#include "Errors.h"
#include "Exit.h"
#include "FastCalls.h"
#include "PythonBus.h"
#include "Transactions.h"

namespace vexar::python {

// The camera, and where it was opened as the caller named it ("image:cam.img", where backend()
// says "simulated module").
struct PyCamera {
    Camera camera;
    std::string place;
    // Where its calls let the GIL go.
    Gil gil = Gil::ReleasedForCall;
};

// cam.watch(): the library's Watch, and the changes of the last look not yet handed out.
struct Watching {
    std::unique_ptr<Watch> watch;
    std::chrono::milliseconds interval;
    std::deque<py::tuple> pending;
};

// A hold and the place of its camera, for its repr.
struct PyHold {
    // A hold ending as its object goes away waits for its thread to be between calls; that
    // thread may need the GIL to get there.
    struct EndWithoutGil {
        void operator()(Hold* hold) const {
            PyThreadState* const thread = PyEval_SaveThread();
            delete hold;
            PyEval_RestoreThread(thread);
        }
    };
    std::unique_ptr<Hold, EndWithoutGil> hold;
    std::string place;
    bool released = false;
};

namespace {

py::handle assumedWarning;
py::handle outsideRangeWarning;
py::object* settingsType = nullptr;  // vexar._settings.Settings, held for the process's life

std::string fspath(const py::object& path) {
    return py::str(py::module_::import("os").attr("fspath")(path)).cast<std::string>();
}

OpenOptions optionsOf(const py::object& plugin, const py::object& module,
                      const py::object& lockTimeout) {
    OpenOptions options;
    // Ctrl-C ends a wait for another process or thread, as it ends time.sleep().
    options.interrupted = signalArrived;
    options.beforeWait = letGilGoToWait;
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
    const std::string shownPlace = pythonBus ? pythonBus->name() : place;
    std::optional<Camera> camera;
    cameraCall([&] {
        camera.emplace(pythonBus ? Camera::open(std::move(pythonBus), options)
                                 : Camera::open(place, options));
    });
    // Neither this process's own simulated module (the one module no other process shares)
    // nor a Python bus waits outside Python; an image or an adapter waits for its lock and
    // its transfers.
    const Gil gil = bus.is_none() && camera->shared() ? Gil::ReleasedForCall : Gil::ReleasedToWait;
    return std::make_unique<PyCamera>(PyCamera{std::move(*camera), shownPlace, gil});
}

// With the GIL, once the call has done its work; a warning filtered into an error raises.
void warn(py::handle category, const std::string& message) {
    if (PyErr_WarnEx(category.ptr(), message.c_str(), 1) != 0) {
        throw py::error_already_set();
    }
}

void warnAssumed(const std::string& what, const StateWritten& written) {
    if (written.assumed.empty()) {
        return;
    }
    std::string names;
    for (const std::string& name : written.assumed) {
        names += (names.empty() ? "" : ", ") + name;
    }
    warn(assumedWarning, what + ": " + names +
                             " written at the power-on value 50, nothing being known of " +
                             (written.assumed.size() == 1 ? "it" : "them"));
}

void warnOutside(const Applied& applied) {
    if (applied.outsideAdvertisedRange && applied.range) {
        warn(outsideRangeWarning, applied.name + " = " + applied.requested.toString() +
                                      ": outside the advertised range " +
                                      applied.range->toString());
    }
}

// An unknown name looked up as a key is a KeyError; anything else fails as the call does.
void requireKnown(const Key& key) {
    if (findParameter(key.text)) {
        return;
    }
    try {
        parameterNamed(key.text);
    } catch (const Error& error) {
        throw NoSuchParameter(error.kind(), error.what());
    }
}

// A number as people read it: 33.333, 60, 1e-07.
std::string brief(double number, const char* format = "%.6g") {
    char text[32];
    std::snprintf(text, sizeof text, format, number);
    std::string shown = text;
    if (shown.find('.') != std::string::npos && shown.find('e') == std::string::npos) {
        shown.erase(shown.find_last_not_of('0') + 1);
        if (shown.back() == '.') {
            shown.pop_back();
        }
    }
    return shown;
}

std::string briefRange(const std::optional<Range>& range) {
    if (!range) {
        return "None";
    }
    struct Brief {
        std::string operator()(const Bounds<std::int32_t>& b) const {
            return "Bounds(" + std::to_string(b.minimum) + ", " + std::to_string(b.maximum) + ", " +
                   std::to_string(b.step) + ")";
        }
        std::string operator()(const Bounds<float>& b) const {
            return "Bounds(" + brief(widen(b.minimum)) + ", " + brief(widen(b.maximum)) + ", " +
                   brief(widen(b.step)) + ")";
        }
        std::string operator()(const std::vector<std::int32_t>& values) const {
            std::string text;
            for (const std::int32_t value : values) {
                text += (text.empty() ? "" : ", ") + std::to_string(value);
            }
            return "(" + text + (values.size() == 1 ? ",)" : ")");
        }
        std::string operator()(const RegionBounds& r) const {
            return "RegionBounds(x=" + (*this)(r.x) + ", y=" + (*this)(r.y) +
                   ", width=" + (*this)(r.width) + ", height=" + (*this)(r.height) + ")";
        }
    };
    return std::visit(Brief{}, range->numbers);
}

std::string milliseconds(double value) {
    return brief(value, "%.3f") + " ms";
}

std::string directionName(Direction direction) {
    return direction == Direction::Read ? "read" : "write";
}

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
        .def(
            "__repr__",
            [](const Parameter& p) {
                return py::str(
                           "Parameter(name={!r}, id={}, type={!r}, unit={!r}, access={!r}, "
                           "range={})")
                    .format(p.name, p.id, typeName(p.type), p.unit, accessName(p.access),
                            briefRange(p.range));
            },
            "__repr__(self, /)\n--\n\n");

    defineApplied(m);

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
        .def("__str__", &Transaction::toString, "__str__(self, /)\n--\n\n")
        .def(
            "__repr__", [](const Transaction& t) { return "<Transaction " + t.toString() + ">"; },
            "__repr__(self, /)\n--\n\n");

    py::class_<DryRun>(m, "DryRun",
                       "What apply_profile() would do, found on a simulated module seeded with "
                       "the module's registers; nothing was written. apply_dry_run() writes it.")
        .def_property_readonly(
            "applied", [](const DryRun& d) { return Profile{toJson(d.applied)}; },
            "Every member of the state as the module would hold it: {name: value}.")
        .def_property_readonly(
            "changed", [](const DryRun& d) { return changesOf(d.written); },
            "The other values the write would move: {name: (before, after)}.")
        .def_property_readonly(
            "assumed", [](const DryRun& d) { return d.written.assumed; },
            "The voltages it would write at their power-on value (force).")
        .def_property_readonly(
            "fields",
            [](const DryRun& d) {
                py::dict fields;
                for (const FieldChange& f : d.fields) {
                    const py::object key = f.field.name.empty()
                                               ? py::object(py::int_(f.field.index))
                                               : py::object(py::str(f.field.name));
                    fields[key] = py::make_tuple(f.field.value, f.willBe);
                }
                return fields;
            },
            "The fields that would change: {name (or index): (was, will_be)}.")
        .def_property_readonly(
            "devices",
            [](const DryRun& d) {
                py::dict devices;
                for (const ByteChange& b : d.devices) {
                    devices[py::str(b.role)] =
                        py::make_tuple(b.was ? py::object(py::int_(*b.was)) : py::none(), b.willBe);
                }
                return devices;
            },
            "The one-byte devices that would get a new byte: {role: (was or None, will_be)}.")
        .def_readonly("transactions", &DryRun::transactions,
                      "The bus transactions the write would make, in order.")
        .def_property_readonly(
            "registers_read",
            [](const DryRun& d) {
                py::dict read;
                for (const RegisterValue& r : d.seed) {
                    read[py::int_(r.address)] = r.value;
                }
                return read;
            },
            "The sensor registers read from the module: {address: value}.")
        .def_readonly("phase_count", &DryRun::phaseCount)
        .def(
            "__repr__",
            [](const DryRun& d) {
                const auto writes = std::ranges::count_if(d.transactions, [](const Transaction& t) {
                    return t.direction == Direction::Write;
                });
                return py::str(
                           "<DryRun: {} fields would change, {} transactions ({} writes) "
                           "from {} registers read>")
                    .format(d.fields.size(), d.transactions.size(), writes, d.seed.size());
            },
            "__repr__(self, /)\n--\n\n");

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
        .def("to_text", &Timing::toText, "to_text(self, /)\n--\n\nThe lines vexar-ctl prints.")
        .def("to_svg", &Timing::toSvg, "to_svg(self, /)\n--\n\nA drawing of it, as SVG.")
        .def(
            "__repr__",
            [](const Timing& t) {
                return "Timing(frame_period=" + milliseconds(t.framePeriod) +
                       ", micro_frames=" + std::to_string(t.microFrames) +
                       ", integration=" + milliseconds(t.integration) +
                       ", idle=" + milliseconds(t.idle) + ")";
            },
            "__repr__(self, /)\n--\n\n");

    py::class_<PyHold>(m, "Hold",
                       "Keeps the bus (an adapter's or an image's lock) and other threads out of "
                       "the camera across several calls, until the with block ends or release() "
                       "is called.")
        .def(
            "__enter__", [](py::object self) { return self; }, "__enter__(self, /)\n--\n\n")
        .def(
            "__exit__",
            [](PyHold& h, const py::args&) {
                cameraCall([&] { h.hold->release(); });
                h.released = true;
            },
            "__exit__(self, /, *args)\n--\n\n")
        .def(
            "release",
            [](PyHold& h) {
                cameraCall([&] { h.hold->release(); });
                h.released = true;
            },
            "release(self, /)\n--\n\n"
            "Ends the hold now, writing back an image the calls changed.\n\n"
            "Raises:\n    BadInput: the image could not be written.")
        .def(
            "__repr__",
            [](const PyHold& h) {
                return "<Hold on " + h.place + (h.released ? ", released>" : ">");
            },
            "__repr__(self, /)\n--\n\n");

    py::class_<Watching>(m, "Watch",
                         "An iterator of the changes on the module, look after look: tuples "
                         "(name, before, after), and ('reset', None, None) when every field went "
                         "back to its power-on value; ('disconnected', None, message) when the "
                         "adapter went away and ('reconnected', None, None) when it is back (the "
                         "camera reconnected, restoring nothing). Ctrl-C ends the wait for the "
                         "next.")
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
                if (look.bus == WatchedBus::WentAway) {
                    w.pending.push_back(py::make_tuple("disconnected", py::none(), look.why));
                } else if (look.bus == WatchedBus::CameBack) {
                    w.pending.push_back(py::make_tuple("reconnected", py::none(), py::none()));
                }
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
        .def(
            "__enter__",
            [](py::object self) {
                Trace& trace = self.cast<Trace&>();
                trace.recording.emplace(trace.camera->camera.trace());
                return self;
            },
            "__enter__(self, /)\n--\n\n")
        .def(
            "__exit__",
            [](Trace& trace, const py::args&) {
                if (trace.recording) {
                    trace.recording->stop();
                }
            },
            "__exit__(self, /, *args)\n--\n\n")
        .def_property_readonly("transactions",
                               [](Trace& trace) {
                                   return trace.recording ? trace.recording->transactions()
                                                          : std::vector<Transaction>{};
                               })
        .def(
            "__repr__",
            [](Trace& trace) {
                const std::size_t count =
                    trace.recording ? trace.recording->transactions().size() : 0;
                return "<Trace " + std::to_string(count) +
                       (count == 1 ? " transaction>" : " transactions>");
            },
            "__repr__(self, /)\n--\n\n");
}

// The named tuples of vexar._types that only the camera's calls return.
struct Tuples {
    py::object field, registerValue, byteDevice, versions, identity, reconnection;
};
Tuples* tuples = nullptr;  // held for the process's life, as the types of Conversions are

py::object fieldsOf(const std::vector<Field>& fields) {
    py::list list;
    for (const Field& f : fields) {
        list.append(tuples->field(f.name.empty() ? py::object(py::none()) : py::str(f.name),
                                  f.index, f.address, f.lsb, f.msb, f.value, f.reset));
    }
    return list;
}

py::object registersOf(const std::vector<RegisterValue>& registers) {
    py::list list;
    for (const RegisterValue& r : registers) {
        list.append(tuples->registerValue(r.address, r.value, r.reset));
    }
    return list;
}

py::object byteDevicesOf(const std::vector<ByteDeviceValue>& devices) {
    py::list list;
    for (const ByteDeviceValue& d : devices) {
        list.append(tuples->byteDevice(d.role, d.device, d.reg,
                                       d.latched ? py::object(py::int_(*d.latched)) : py::none()));
    }
    return list;
}

py::object versionsOf(const Versions& v) {
    return tuples->versions(py::make_tuple(v.plugin[0], v.plugin[1], v.plugin[2]),
                            py::make_tuple(v.sdk[0], v.sdk[1], v.sdk[2], v.sdk[3]), v.guid,
                            v.implementationType);
}

py::object identityOf(const ModuleIdentity& identity) {
    py::dict components;
    for (const yorind::Component& component : yorind::kComponents) {
        const ComponentIdentity& id = identity.descriptor.components[component.index];
        components[py::str(std::string(component.role))] = py::make_tuple(id.type, id.version);
    }
    const ModuleKey& key = identity.key;
    return tuples->identity(identity.source,
                            py::make_tuple(key.word0, key.word1, key.word2, key.word3),
                            identity.descriptor.headerValue, components);
}

template <typename Call, typename Result, typename... Args>
auto onCamera(Call call, Result (Call::*)(Camera&, Args...) const) {
    return [call](PyCamera& c, Args... args) -> Result {
        return cameraCall(c.gil,
                          [&]() -> Result { return call(c.camera, std::forward<Args>(args)...); });
    };
}

// A call on the camera as a method of PyCamera with the same arguments, the GIL let go as the
// camera's gil says; pybind11 reads the signature from it.
template <typename Call>
auto on(Call call) {
    return onCamera(call, &Call::operator());
}

// A read-only property whose value comes from a call on the camera.
template <typename Call>
py::cpp_function property(Call call) {
    return py::cpp_function(on(call));
}

// A flag argument, taken as pybind11 takes a bool (True, False, None, or what converts itself
// to a truth value); anything else is BadInput, as a value of the wrong type is.
bool flagOf(PyObject* given, const char* name) {
    if (given == nullptr) {
        return false;
    }
    py::detail::make_caster<bool> flag;
    if (!flag.load(given, true)) {
        throw Error(ErrorKind::BadInput,
                    std::string(name) + " is a bool, not a " + Py_TYPE(given)->tp_name);
    }
    return static_cast<bool>(flag);
}

// get and set, bound as plain CPython methods (see FastCalls.h).
constexpr FastParameters kGet{"get", {"name"}, 1, 1, 1};
py::object getValue(PyCamera& c, PyObject* const* given) {
    const std::string name = py::detail::keyText(given[0]);
    return fromValue(cameraCall(c.gil, [&] { return c.camera.get(name); }));
}

constexpr FastParameters kSet{"set", {"name", "value", "allow_non_finite", "force"}, 4, 2, 2};
py::object setValue(PyCamera& c, PyObject* const* given) {
    const std::string name = py::detail::keyText(given[0]);
    const PyValue value = toPyValue(given[1]);
    const WriteOptions options{flagOf(given[2], "allow_non_finite"), flagOf(given[3], "force")};
    Applied applied =
        cameraCall(c.gil, [&] { return c.camera.set(name, value.forParameter(name), options); });
    warnAssumed(applied.name, applied.state);
    warnOutside(applied);
    return toPython(std::move(applied));
}

PyMethodDef getDefinition{"get", fastMethod<PyCamera, kGet, getValue>(),
                          METH_FASTCALL | METH_KEYWORDS,
                          "get($self, name)\n--\n\n"
                          "The value of a parameter, by name or identifier: a bool, int, float or "
                          "vexar.Region, by the parameter's type.\n\n"
                          "Raises:\n    BadInput: unknown parameter.\n"
                          "    Refused: the plug-in refused (a write-only parameter).\n"
                          "    BusError: the bus failed."};

PyMethodDef setDefinition{
    "set", fastMethod<PyCamera, kSet, setValue>(), METH_FASTCALL | METH_KEYWORDS,
    "set($self, name, value, *, allow_non_finite=False, force=False)\n--\n\n"
    "Writes a parameter, by name or identifier, and returns a vexar.Applied with the "
    "value it holds afterwards. An int is taken for a float parameter and an integral "
    "float for an int one; a str as vexar-ctl reads it (\"0x8\", \"on\", "
    "\"16,8,160,120\"); NaN and the infinities only with allow_non_finite. A value "
    "beyond the advertised range that the module takes is warned of with a "
    "vexar.OutsideRangeWarning.\n\n"
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
    "    BusError: the bus failed."};

void defineCamera(py::module_& m) {
    py::class_<PyCamera> camera(
        m, "Camera",
        "The camera module through the parameter-interpreter plug-in; made by vexar.open(). "
        "settings is a mapping of the readable parameters' names to their values; the camera "
        "itself takes cam[name], cam[name] = value, 'FrameRate' in cam and iterates over every "
        "parameter's name. A context manager that closes it. Calls from several threads take "
        "turns. Every method raises vexar.Error (see its subclasses) on failure.");
    camera
        .def_property_readonly("parameters", property([](Camera& cam) { return cam.parameters(); }),
                               "Every parameter, as a list of vexar.Parameter.")
        .def("parameter", on([](Camera& cam, const Key& key) { return cam.parameter(key.text); }),
             py::arg("name"),
             "parameter(self, name)\n--\n\n"
             "The parameter of a name (any letter case) or identifier.\n\n"
             "Raises:\n    BadInput: no parameter has the name.")
        .def_property_readonly(
            "settings",
            [](py::object self) {
                // Looked up on first use: vexar._settings imports this module.
                if (settingsType == nullptr) {
                    settingsType =
                        new py::object(py::module_::import("vexar._settings").attr("Settings"));
                }
                return (*settingsType)(self);
            },
            "The readable parameters as a mutable mapping of name to value (a "
            "collections.abc.MutableMapping): dict(cam.settings), cam.settings.update(...).")
        .def("__getitem__", on([](Camera& cam, const Key& key) {
                 requireKnown(key);
                 return PyValue{cam.get(key.text), std::nullopt};
             }),
             "__getitem__(self, name, /)\n--\n\n"
             "cam[name]: get(name); an unknown name is a KeyError (vexar.NoSuchParameter).")
        .def(
            "__setitem__",
            [](PyCamera& c, const Key& key, const PyValue& value) {
                requireKnown(key);
                const Applied applied = cameraCall(
                    c.gil, [&] { return c.camera.set(key.text, value.forParameter(key.text)); });
                warnOutside(applied);
            },
            "__setitem__(self, name, value, /)\n--\n\n"
            "cam[name] = value: set(name, value), without its result.")
        .def(
            "__contains__",
            [](PyCamera&, const py::object& key) {
                if (PyBool_Check(key.ptr()) ||
                    (!PyUnicode_Check(key.ptr()) && !PyLong_Check(key.ptr()))) {
                    return false;
                }
                return findParameter(py::detail::keyText(key)).has_value();
            },
            "__contains__(self, name, /)\n--\n\nWhether a parameter has the name or identifier.")
        .def(
            "__iter__",
            [](PyCamera& c) {
                std::vector<std::string> names;
                for (const Parameter& p : cameraCall([&] { return c.camera.parameters(); })) {
                    names.push_back(p.name);
                }
                return py::iter(py::cast(names));
            },
            "__iter__(self, /)\n--\n\nThe parameters' names.")
        .def("__len__", on([](Camera& cam) { return cam.parameters().size(); }),
             "__len__(self, /)\n--\n\nThe number of parameters.")
        .def("save_state", on([](Camera& cam) { return Blob{cam.saveState()}; }),
             "save_state(self)\n--\n\n"
             "The system state: the plug-in's records of the parameters it keeps, as bytes.\n\n"
             "Raises:\n    Refused, BusError.")
        .def("load_state", on([](Camera& cam, const Blob& state) { cam.loadState(state.bytes); }),
             py::arg("state"),
             "load_state(self, state)\n--\n\n"
             "Loads a system state that save_state() (or vexar-ctl state save) gave.\n\n"
             "Raises:\n    BadInput: the bytes are no state.\n"
             "    Refused: the plug-in refused it (a state holding NaN cannot be loaded back).\n"
             "    BusError: the bus failed.")
        .def_static(
            "unloadable",
            [](const Blob& state) { return Profile{toJson(Camera::unloadable(state.bytes))}; },
            py::arg("state"),
            "unloadable(state)\n--\n\n"
            "The records of a state that cannot be loaded back as they are (a frequency that "
            "is not a number, as at power-on), as a profile dict; empty when it can.\n\n"
            "Raises:\n    BadInput: the bytes are no state.")
        .def("profile", on([](Camera& cam) { return Profile{toJson(cam.profile())}; }),
             "profile(self)\n--\n\n"
             "The system state as the dict that vexar-ctl state save --format json writes: "
             "\"Name\": value in record order, a region as {'x', 'y', 'width', 'height'}, a NaN "
             "as the string 'nan' or '-nan'; json.dump() of it loads in vexar-ctl.\n\n"
             "Raises:\n    Refused, BusError.")
        .def(
            "apply_profile",
            [](PyCamera& c, const Profile& profile, bool force, bool dryRun) -> py::object {
                const vexar::Profile document = profileFromJson(profile.json);
                const WriteOptions options{false, force, force};
                if (dryRun) {
                    return py::cast(cameraCall([&] { return c.camera.dryRun(document, options); }));
                }
                const StateWritten written =
                    cameraCall([&] { return c.camera.applyProfile(document, options); });
                warnAssumed("profile", written);
                return py::cast(changesOf(written));
            },
            py::arg("profile"), py::kw_only(), py::arg("force") = false, py::arg("dry_run") = false,
            "apply_profile(self, profile, *, force=False, dry_run=False)\n--\n\n"
            "Loads a profile (any mapping): the document profile() gives, or members by name or "
            "identifier; a profile of another module is refused unless force; a region may also be "
            "a vexar.Region or a 4-tuple, a NaN a float or 'nan'. Parameters the profile leaves "
            "out keep their values, the voltages as set() keeps them (force as there). "
            "Returns every value the profile did not name that it moved: {name: (before, "
            "after)}. With dry_run=True nothing is written: returns a vexar.DryRun of what the "
            "write would do, which apply_dry_run() then writes.\n\n"
            "Raises:\n    BadInput: an unknown name, a value of the wrong type.\n"
            "    Refused: the plug-in refused the state.\n"
            "    BusError: the bus failed.")
        .def(
            "apply_dry_run",
            [](PyCamera& c, const DryRun& dryRun) {
                const StateWritten written = cameraCall([&] { return c.camera.apply(dryRun); });
                warnAssumed("profile", written);
                return changesOf(written);
            },
            py::arg("dry_run"),
            "apply_dry_run(self, dry_run)\n--\n\n"
            "Writes what a dry run showed, as apply_profile() returns; inside the hold the dry "
            "run was made in (with cam.hold():) nothing else can change the module between.\n\n"
            "Raises:\n    Refused: the dry run is stale (a register it read changed since): "
            "make it again.\n"
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
            "diff(self, a, b=None, *, registers=False, force=False)\n--\n\n"
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
            "watch(self, names=[], *, interval=1.0, registers=False)\n--\n\n"
            "The changes of the parameters named (every readable one by default), and with "
            "registers=True of every field, looked for every interval seconds, as vexar-ctl "
            "watch prints them: an iterator of (name, before, after).")
        .def(
            "save_preset",
            [](PyCamera& c, const std::string& name, const std::string& note) {
                checkPresetName(name);
                // Released throughout: writing the file waits for the disk.
                cameraCall([&] {
                    vexar::Profile profile = c.camera.profile();
                    profile.note = note;
                    savePreset(name, std::move(profile));
                });
            },
            py::arg("name"), py::kw_only(), py::arg("note") = "",
            "save_preset(self, name, *, note='')\n--\n\n"
            "Saves the profile as the named preset, which vexar-ctl preset shares "
            "(a file in $XDG_CONFIG_HOME/vexar/presets/).\n\n"
            "Raises:\n    BadInput: a name that is not 1 to 64 letters, digits, '-', '_' and "
            "'.', or a folder that cannot be written.")
        .def(
            "load_preset",
            [](PyCamera& c, const std::string& name, bool force, bool dryRun) -> py::object {
                const WriteOptions options{false, force, force};
                if (dryRun) {
                    return py::cast(
                        cameraCall([&] { return c.camera.dryRun(loadPreset(name), options); }));
                }
                const StateWritten written =
                    cameraCall([&] { return c.camera.applyProfile(loadPreset(name), options); });
                warnAssumed("preset " + name, written);
                return py::cast(changesOf(written));
            },
            py::arg("name"), py::kw_only(), py::arg("force") = false, py::arg("dry_run") = false,
            "load_preset(self, name, *, force=False, dry_run=False)\n--\n\n"
            "Loads the named preset as apply_profile() loads a profile, or with dry_run=True "
            "returns the vexar.DryRun of it.\n\n"
            "Raises:\n    BadInput: no such preset, or one of another module (unless force).\n"
            "    Refused, BusError.")
        .def("read_calibration", on([](Camera& cam) { return Blob{cam.readCalibration()}; }),
             "read_calibration(self)\n--\n\n"
             "The calibration record as bytes, in the host library's container format.\n\n"
             "Raises:\n    Refused, BusError.")
        .def("read_calibration_json",
             on([](Camera& cam) { return JsonDoc{calibrationToJson(cam.readCalibration())}; }),
             "read_calibration_json(self)\n--\n\n"
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
             "write_calibration(self, record)\n--\n\n"
             "Programs a calibration record: bytes as read_calibration() gives them, or a dict "
             "as read_calibration_json() does (members left out keep their defaults).\n\n"
             "Raises:\n    BadInput: a record that does not decode.\n"
             "    Refused: the plug-in refused it.\n"
             "    BusError: the bus failed.")
        .def(
            "fields",
            [](PyCamera& c) { return fieldsOf(cameraCall([&] { return c.camera.fields(); })); },
            "fields(self)\n--\n\n"
            "Every sub-register, read from the sensor, as a list of vexar.Field (name, index, "
            "address, lsb, msb, value, reset).\n\n"
            "Raises:\n    BusError.")
        .def(
            "registers",
            [](PyCamera& c) {
                return registersOf(cameraCall([&] { return c.camera.registers(); }));
            },
            "registers(self)\n--\n\n"
            "Every sensor register, read from the sensor, as a list of vexar.Register "
            "(address, value, reset).\n\n"
            "Raises:\n    BusError.")
        .def(
            "byte_devices",
            [](PyCamera& c) {
                return byteDevicesOf(cameraCall([&] { return c.camera.byteDevices(); }));
            },
            "byte_devices(self)\n--\n\n"
            "The module's one-byte devices as a list of vexar.ByteDevice (role, device, "
            "register, latched: the byte it holds where the simulated module can tell, else "
            "None).")
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
             "read_register(self, register, device=None)\n--\n\n"
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
             "write_register(self, register, value, device=None)\n--\n\n"
             "Writes a register of the sensor, or with device= of a one-byte device, behind the "
             "plug-in's back.\n\n"
             "Raises:\n    BadInput: a register or value the device does not have.\n"
             "    BusError: the bus failed.")
        .def("transactions", on([](Camera& cam) { return cam.transactions(); }),
             "transactions(self)\n--\n\n"
             "The recent bus transactions, oldest first (a bounded record that is always kept).")
        .def("clear_transactions", on([](Camera& cam) { cam.clearTransactions(); }),
             "clear_transactions(self)\n--\n\nEmpties the record of transactions().")
        .def(
            "trace",
            [](PyCamera& c) {
                return Trace{&c, std::nullopt};
            },
            py::keep_alive<0, 1>(),
            "trace(self)\n--\n\n"
            "A context manager whose transactions are the bus transactions of its with "
            "block:\n\n    with cam.trace() as t:\n        cam.set('MicroFrameNumber', 8)\n"
            "    print(*t.transactions, sep='\\n')")
        .def(
            "on_transaction",
            [](PyCamera& c, py::object callback) {
                if (!callback.is_none() && !PyCallable_Check(callback.ptr())) {
                    throw Error(ErrorKind::BadInput, "on_transaction takes a callable or None");
                }
                TransactionCallback told =
                    callback.is_none() ? TransactionCallback{} : transactionCallback(callback);
                cameraCall([&] { c.camera.onTransaction(std::move(told)); });
            },
            py::arg("callback"),
            "on_transaction(self, callback)\n--\n\n"
            "Calls callback(transaction) for each bus transaction as it happens, from the "
            "thread that made the call, with the camera's lock held (so it must not call the "
            "camera); None removes it. What it raises is reported as unraisable.")
        .def("timing", on([](Camera& cam) { return cam.timing(); }),
             "timing(self)\n--\n\n"
             "The frame timing the settings give, as a vexar.Timing.\n\nRaises:\n    BusError.")
        .def(
            "hold",
            [](PyCamera& c) {
                return PyHold{std::unique_ptr<Hold, PyHold::EndWithoutGil>(
                                  new Hold(cameraCall([&] { return c.camera.hold(); }))),
                              c.place};
            },
            py::keep_alive<0, 1>(),
            "hold(self)\n--\n\n"
            "A context manager that keeps the bus and the camera to this thread across the "
            "calls of its with block, as one vexar-ctl command does.")
        .def("reset", on([](Camera& cam) { cam.reset(); }),
             "reset(self)\n--\n\n"
             "Puts the simulated module (or image) back to power-on (see can_reset).\n\n"
             "Raises:\n    Unsupported: on an adapter or a Python bus.")
        .def(
            "reconnect",
            [](PyCamera& c, bool restore) {
                const Reconnection done = cameraCall([&] { return c.camera.reconnect(restore); });
                py::tuple lost(done.lost.size());
                for (std::size_t i = 0; i < done.lost.size(); ++i) {
                    lost[i] = py::str(done.lost[i]);
                }
                return tuples->reconnection(done.backend, Profile{toJson(done.settings)}, lost,
                                            done.atPowerOn, done.restored, changesOf(done.written),
                                            py::tuple(py::cast(done.transactions)));
            },
            py::kw_only(), py::arg("restore") = false,
            "reconnect(self, *, restore=False)\n--\n\n"
            "Opens the camera's bus again once it is back (after a Disconnected: the adapter "
            "went away) and initialises a new plug-in instance on it; with restore, writes back "
            "the settings the module was last known to hold, as apply_profile does. Also for a "
            "module power-cycled behind an adapter that stayed. Returns a vexar.Reconnection.\n\n"
            "Raises:\n    BusError, Disconnected: the bus or the module is not back yet (the "
            "camera stays as it was).\n"
            "    BadInput: inside a hold.")
        .def_property_readonly("can_reset", property([](Camera& cam) { return cam.canReset(); }),
                               "Whether reset() can put the module back to power-on.")
        .def_property_readonly(
            "versions",
            [](PyCamera& c) { return versionsOf(cameraCall([&] { return c.camera.versions(); })); },
            "The plug-in's versions, GUID and implementation type, as a vexar.Versions.")
        .def_property_readonly(
            "identity",
            [](PyCamera& c) { return identityOf(cameraCall([&] { return c.camera.identity(); })); },
            "Who the plug-in was initialised as, as a vexar.ModuleIdentity.")
        .def_property_readonly("phase_count",
                               property([](Camera& cam) { return cam.phaseCount(); }),
                               "Phases per micro-frame: 6 with DealiasingOn, else 4.")
        .def_property_readonly("phase_scaling", property([](Camera& cam) {
                                   return static_cast<double>(widen(cam.phaseScaling()));
                               }),
                               "The plug-in's phase scaling factor for the current settings.")
        .def_property_readonly("closed", property([](Camera& cam) { return cam.closed(); }),
                               "Whether close() has been done; later calls raise BadInput.")
        .def_property_readonly(
            "backend", property([](Camera& cam) { return cam.backend(); }),
            "What the camera is on: 'simulated module' (also for an image), '/dev/i2c-1' or the "
            "Python bus's name.")
        .def_property_readonly(
            "shared", property([](Camera& cam) { return cam.shared(); }),
            "Whether other processes may change the module too (an image, an adapter, a Python "
            "bus): what they change shows only on a fresh read. False only for 'sim'.")
        .def_property_readonly("plugin_path",
                               property([](Camera& cam) { return cam.pluginPath(); }),
                               "The plug-in that was loaded.")
        .def("close", on([](Camera& cam) { cam.close(); }),
             "close(self)\n--\n\n"
             "Disposes the plug-in instance and releases the bus; later calls raise BadInput.")
        .def(
            "__enter__", [](py::object self) { return self; }, "__enter__(self, /)\n--\n\n")
        .def(
            "__exit__", [](PyCamera& c, const py::args&) { cameraCall([&] { c.camera.close(); }); },
            "__exit__(self, /, *args)\n--\n\n")
        .def(
            "__repr__",
            [](PyCamera& c) {
                return cameraCall([&] { return c.camera.closed(); })
                           ? "<vexar.Camera on " + c.place + ", closed>"
                           : "<vexar.Camera on " + c.place + ">";
            },
            "__repr__(self, /)\n--\n\n");
    addFastMethod(camera, getDefinition);
    addFastMethod(camera, setDefinition);
}

}  // namespace

}  // namespace vexar::python

PYBIND11_MODULE(_vexar, m) {
    using namespace vexar::python;
    // Each docstring starts with its text signature, which inspect.signature() and help() read;
    // pybind11's own would name the C++ types and give Python none.
    py::options options;
    options.disable_function_signatures();
    m.doc() = "The client library's Camera; import it as the package vexar.";
    m.attr("__version__") = VEXAR_PYTHON_VERSION;
    loadTypes();
    const py::module_ types = py::module_::import("vexar._types");
    tuples = new Tuples{types.attr("Field"),          types.attr("Register"),
                        types.attr("ByteDevice"),     types.attr("Versions"),
                        types.attr("ModuleIdentity"), types.attr("Reconnection")};
    defineErrors(m);
    const auto warning = [&](const char* name, const char* doc) {
        const std::string qualified = std::string("vexar.") + name;
        PyObject* type =
            PyErr_NewExceptionWithDoc(qualified.c_str(), doc, PyExc_UserWarning, nullptr);
        if (type == nullptr) {
            throw py::error_already_set();
        }
        m.add_object(name, py::handle(type));
        return py::handle(type);
    };
    assumedWarning = warning(
        "AssumedWarning",
        "A write through a system state wrote a voltage at its power-on value, nothing being "
        "known of it (force=True).");
    outsideRangeWarning = warning(
        "OutsideRangeWarning",
        "set() wrote a value beyond the parameter's advertised range, which the module took "
        "(Applied.outside_range says so too). warnings filters silence it; -W error makes it "
        "fatal.");
    defineValueClasses(m);
    defineCamera(m);
    py::module_::import("atexit").attr("register")(py::cpp_function(awaitCallsAtExit));
    // Users meet them as vexar.X: that is how they print and how help() names them.
    for (const char* name :
         {"Parameter", "Transaction", "Timing", "Hold", "Trace", "Watch", "Camera"}) {
        m.attr(name).attr("__module__") = "vexar";
    }
    m.def(
        "presets", [] { return cameraCall([] { return vexar::presetNames(); }); },
        "presets()\n--\n\nThe names of the saved presets, sorted.");
    m.def("open", &openCamera, py::arg("where") = py::none(), py::kw_only(),
          py::arg("bus") = py::none(), py::arg("plugin") = py::none(),
          py::arg("module") = py::none(), py::arg("lock_timeout") = py::none(),
          "open(where=None, *, bus=None, plugin=None, module=None, lock_timeout=None)\n--\n\n"
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
