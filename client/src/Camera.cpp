#include "vexar/camera.hpp"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>

#include "CalibrationJson.h"
#include "Conversions.h"
#include "Errors.h"
#include "ModuleIdentity.h"
#include "Parameters.h"
#include "PluginLoader.h"
#include "Session.h"
#include "StateRecords.h"
#include "bus/Backend.h"
#include "bus/Probe.h"
#include "interface/ByteOrder.h"
#include "io/BoundedJson.h"
#include "yorind/ModuleDescription.h"

namespace vexar {

namespace {

Error::Details about(std::string subject) {
    Error::Details details;
    details.subject = std::move(subject);
    return details;
}

constexpr const char* kPluginName = "libVEXAR_ParamInterp_YORINDImpl.so";

std::unique_ptr<detail::bus::Backend> openBackend(std::string_view where) {
    if (where == "sim") {
        return std::make_unique<detail::bus::SimulatedBackend>();
    }
    if (where.starts_with("image:")) {
        const std::string_view path = where.substr(6);
        if (path.empty()) {
            throw detail::badInput("image: needs a file name");
        }
        return std::make_unique<detail::bus::ImageBackend>(std::filesystem::path(path));
    }
    if (!where.empty() && (where.starts_with("/dev/") ||
                           where.find_first_not_of("0123456789") == std::string_view::npos)) {
        return std::make_unique<detail::bus::I2cDevBackend>(std::string(where));
    }
    throw detail::badInput("no camera at '" + std::string(where) +
                           "': give sim, image:PATH or /dev/i2c-N");
}

// Why the exports refuse what no value could change.
std::string accessHint(detail::Session& session, const detail::ParameterInfo& parameter,
                       detail::AccessMode refused) {
    std::uint32_t access = 0;
    if (session.api().getAccessMode(session.instance(), parameter.id, &access) == VEXAR_SUCCESS &&
        access == detail::code(refused)) {
        return " (" + std::string(parameter.name) + " is " +
               (refused == detail::AccessMode::WriteOnly ? "write-only" : "read-only") + ")";
    }
    return {};
}

bool stateOnly(std::uint32_t id) {
    return id == detail::DealiasingOn || id == detail::RegionOfInterest;
}
}  // namespace

struct Camera::Impl {
    mutable std::recursive_mutex mutex;
    std::unique_ptr<detail::bus::Backend> bus;
    std::unique_ptr<detail::Session> session;
    std::chrono::milliseconds lockTimeout{};
    int depth = 0;

    // One call: serialised with the others, the bus held for its duration (or the hold's).
    class Operation {
      public:
        explicit Operation(Impl& impl) : impl_(impl), lock_(impl.mutex) {
            if (impl_.bus == nullptr) {
                throw detail::badInput("the camera is closed");
            }
            if (impl_.depth == 0) {
                impl_.bus->begin(impl_.lockTimeout);
            }
            ++impl_.depth;
            impl_.bus->markFailures();
        }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;
        // Ends the operation as one that succeeded; what ending fails with is its error.
        void finish() {
            done_ = true;
            if (--impl_.depth == 0) {
                impl_.bus->end(true);
            }
        }
        ~Operation() {
            if (done_) {
                return;
            }
            if (--impl_.depth == 0) {
                try {
                    impl_.bus->end(false);
                } catch (const Error&) {
                    // The operation's own error is the one to tell.
                }
            }
        }

      private:
        Impl& impl_;
        std::unique_lock<std::recursive_mutex> lock_;
        bool done_ = false;
    };

    template <typename F>
    auto run(F&& body) {
        Operation operation(*this);
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            operation.finish();
        } else {
            auto result = body();
            operation.finish();
            return result;
        }
    }

    detail::Value read(const detail::ParameterInfo& parameter) {
        detail::Value value;
        const std::int32_t status = session->read(parameter, value);
        if (status != VEXAR_SUCCESS) {
            session->check(status, std::string(parameter.name),
                           status == VEXAR_NOT_SUPPORTED
                               ? accessHint(*session, parameter, detail::AccessMode::WriteOnly)
                               : std::string());
        }
        return value;
    }

    std::vector<std::uint8_t> readState() {
        std::vector<std::uint8_t> state = detail::stateReadTemplate();
        session->check(session->api().readSystemState(session->instance(), state.data(),
                                                      static_cast<std::uint32_t>(state.size())),
                       "state save");
        return state;
    }

    void writeState(std::span<const std::uint8_t> state, const std::string& what) {
        // A damaged state is bad input, not for the plug-in.
        const std::vector<detail::StateRecord> records = detail::decodeState(state);
        try {
            session->check(
                session->api().writeSystemState(session->instance(), state.data(),
                                                static_cast<std::uint32_t>(state.size())),
                what);
        } catch (const Error& error) {
            throw detail::nameRefusedRecord(error, records);
        }
    }
};

Camera::Camera(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Camera::Camera(Camera&&) noexcept = default;
Camera& Camera::operator=(Camera&&) noexcept = default;
Camera::~Camera() = default;

std::string defaultPluginPath() {
    Dl_info self{};
    if (::dladdr(reinterpret_cast<const void*>(&defaultPluginPath), &self) != 0 &&
        self.dli_fname != nullptr) {
        std::error_code ignored;
        const auto beside = std::filesystem::path(self.dli_fname).parent_path() / kPluginName;
        if (std::filesystem::exists(beside, ignored)) {
            return beside.string();
        }
    }
    return kPluginName;  // as the loader's search path finds it
}

std::array<std::uint32_t, 3> pluginVersion(const std::string& path) {
    detail::PluginLibrary library;
    if (!library.load(path)) {
        throw Error(ErrorKind::LoadFailure, "cannot load plug-in " + path + ": " + library.error());
    }
    std::array<std::uint32_t, 3> version{};
    library.api().getPluginVersion(&version[0], &version[1], &version[2]);
    return version;
}

namespace {
Camera::Impl* openImpl(std::unique_ptr<detail::bus::Backend> bus, const OpenOptions& options,
                       std::unique_ptr<Camera::Impl>& impl) {
    impl = std::make_unique<Camera::Impl>();
    impl->bus = std::move(bus);
    impl->lockTimeout = options.lockTimeout;
    const std::string plugin = options.plugin.empty() ? defaultPluginPath() : options.plugin;
    const detail::ModuleIdentity identity =
        options.identity
            ? detail::ModuleIdentity{options.identity->key, options.identity->descriptor,
                                     options.identity->source}
            : detail::builtInIdentity();
    // Initialising reads the module but must not make an image that does not exist yet: only
    // an operation that succeeds on it does.
    Camera::Impl::Operation operation(*impl);
    impl->session = std::make_unique<detail::Session>(plugin, *impl->bus, identity);
    impl->bus->clearLog();
    return impl.get();
}
}  // namespace

Camera Camera::open(std::string_view where, const OpenOptions& options) {
    std::unique_ptr<Impl> impl;
    openImpl(openBackend(where), options, impl);
    return Camera(std::move(impl));
}

Camera Camera::open(std::unique_ptr<Bus> bus, const OpenOptions& options) {
    if (bus == nullptr) {
        throw detail::badInput("no bus given");
    }
    std::unique_ptr<Impl> impl;
    openImpl(std::make_unique<detail::bus::CallerBackend>(std::move(bus)), options, impl);
    return Camera(std::move(impl));
}

void Camera::close() {
    if (impl_ == nullptr) {
        return;
    }
    std::lock_guard lock(impl_->mutex);
    if (impl_->session != nullptr) {
        Impl::Operation operation(*impl_);
        impl_->session.reset();
        operation.finish();
    }
    impl_->bus.reset();
}

std::string Camera::backend() const {
    std::lock_guard lock(impl_->mutex);
    if (impl_->bus == nullptr) {
        return "closed";
    }
    return impl_->bus->name();
}

const std::string& Camera::pluginPath() const {
    return impl_->session->pluginPath();
}

const ModuleIdentity& Camera::identity() const {
    return impl_->session->publicIdentity();
}

Versions Camera::versions() const {
    const auto& api = impl_->session->api();
    Versions v{};
    api.getPluginVersion(&v.plugin[0], &v.plugin[1], &v.plugin[2]);
    api.getSDKVersion(&v.sdk[0], &v.sdk[1], &v.sdk[2], &v.sdk[3]);
    const GUID g = api.getImplGUID();
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1,
                  g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4],
                  g.data4[5], g.data4[6], g.data4[7]);
    v.guid = text;
    v.implementationType = api.getImplType();
    return v;
}

float Camera::phaseScaling() {
    return impl_->run([&] {
        float scaling = 0;
        impl_->session->check(
            impl_->session->api().getPhaseScaling(impl_->session->instance(), &scaling),
            "phase scaling");
        return scaling;
    });
}

int Camera::phaseCount() {
    return impl_->run([&] {
        return static_cast<int>(yorind::phaseCount(
            std::get<bool>(impl_->read(*detail::parameterById(detail::DealiasingOn)))));
    });
}

bool Camera::canReset() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->bus != nullptr && impl_->bus->canReset();
}

bool Camera::shared() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->bus != nullptr && impl_->bus->shared();
}

std::vector<Parameter> Camera::parameters() {
    return impl_->run([&] {
        std::vector<Parameter> all;
        for (const detail::ParameterInfo& info : detail::parameters()) {
            all.push_back(parameter(std::to_string(info.id)));
        }
        return all;
    });
}

Parameter Camera::parameter(std::string_view nameOrId) {
    return impl_->run([&] {
        const detail::ParameterInfo& info = detail::requireParameter(nameOrId);
        detail::Session& session = *impl_->session;
        const std::string what(info.name);
        Parameter p{info.id,           std::string(info.name), detail::toPublic(info.type), 0, {},
                    Access::ReadWrite, std::nullopt,           stateOnly(info.id)};
        p.unitCode = session.unit(info, what);
        p.unit = detail::unitName(p.unitCode);
        p.access = detail::toPublicAccess(session.access(info, what));
        if (const auto range = session.range(info, what)) {
            p.range = detail::toPublic(*range);
        }
        return p;
    });
}

Value Camera::get(std::string_view nameOrId) {
    return impl_->run(
        [&] { return detail::toPublic(impl_->read(detail::requireParameter(nameOrId))); });
}

Applied Camera::set(std::string_view nameOrId, const Value& value, bool allowNonFinite) {
    return impl_->run([&] {
        const detail::ParameterInfo& info = detail::requireParameter(nameOrId);
        const std::string name(info.name);
        const auto converted = value.as(detail::toPublic(info.type));
        if (!converted) {
            throw Error(ErrorKind::BadInput,
                        "takes " + aValueOf(detail::toPublic(info.type)) + ", not " +
                            aValueOf(value.type()),
                        about(name + " = " + value.toString()));
        }
        const std::string what = name + " = " + converted->toString();
        if (converted->isFloat() && !std::isfinite(converted->asFloat()) && !allowNonFinite) {
            throw Error(ErrorKind::BadInput, "not a finite number", about(what));
        }
        detail::Session& session = *impl_->session;
        const auto range = session.range(info, what);
        session.takeLastError();  // the range query's text must not pass for the write's
        const std::int32_t status = session.write(info, detail::toInternal(*converted));
        const std::string allowed = range ? detail::describeRange(*range) : std::string();
        if (status != VEXAR_SUCCESS) {
            std::string hint;
            if (status == VEXAR_NOT_SUPPORTED) {
                hint = stateOnly(info.id) ? " (the plug-in's exports do not write " + name +
                                                "; a system state does: see 'state load')"
                                          : accessHint(session, info, detail::AccessMode::ReadOnly);
            } else if (range) {
                hint = " (allowed: " + allowed + ")";
            }
            session.check(status, what, hint, allowed);
        }
        Applied applied{name, *converted, std::nullopt,
                        range && !detail::toPublic(*range).contains(*converted),
                        range ? std::optional(detail::toPublic(*range)) : std::nullopt};
        // What the module holds may differ from what was asked: quantised to register steps or
        // cut to a field's width. Only a readable parameter can tell.
        detail::Value held;
        if (session.read(info, held) == VEXAR_SUCCESS) {
            applied.applied = detail::toPublic(held);
        } else {
            session.takeLastError();
        }
        return applied;
    });
}

std::vector<std::uint8_t> Camera::saveState() {
    return impl_->run([&] { return impl_->readState(); });
}

void Camera::loadState(std::span<const std::uint8_t> state) {
    impl_->run([&] { impl_->writeState(state, "state load"); });
}

Settings Camera::profile() {
    return impl_->run([&] { return detail::toSettings(detail::decodeState(impl_->readState())); });
}

void Camera::applyProfile(const Settings& profile) {
    const std::vector<detail::StateRecord> given = detail::fromSettings(profile);
    impl_->run([&] {
        // Whatever the profile leaves out keeps its current value: it is written as the
        // current state with the profile's members changed.
        std::vector<detail::StateRecord> records = detail::decodeState(impl_->readState());
        for (const detail::StateRecord& member : given) {
            const auto same = std::ranges::find_if(records, [&](const detail::StateRecord& r) {
                return r.parameter->id == member.parameter->id;
            });
            if (same == records.end()) {
                throw Error(ErrorKind::BadInput, "is not part of a system state",
                            about(std::string(member.parameter->name)));
            }
            same->value = member.value;
        }
        impl_->writeState(detail::encodeState(records), "profile");
    });
}

Settings Camera::unloadable(std::span<const std::uint8_t> state) {
    Settings found;
    const std::vector<detail::StateRecord> records = detail::decodeState(state);
    for (const detail::StateRecord* record : detail::unloadableRecords(records)) {
        found.emplace_back(std::string(record->parameter->name), detail::toPublic(record->value));
    }
    return found;
}

Settings Camera::stateToSettings(std::span<const std::uint8_t> state) {
    return detail::toSettings(detail::decodeState(state));
}

std::vector<std::uint8_t> Camera::stateFromSettings(const Settings& members) {
    return detail::encodeState(detail::fromSettings(members));
}

std::optional<ParameterName> findParameter(std::string_view nameOrId) {
    const detail::ParameterInfo* info = detail::findParameter(nameOrId);
    if (info == nullptr) {
        return std::nullopt;
    }
    return ParameterName{info->id, std::string(info->name), detail::toPublic(info->type)};
}

ParameterName parameterNamed(std::string_view nameOrId) {
    const detail::ParameterInfo& info = detail::requireParameter(nameOrId);
    return ParameterName{info.id, std::string(info.name), detail::toPublic(info.type)};
}

std::vector<ParameterName> parameterNames() {
    std::vector<ParameterName> all;
    for (const detail::ParameterInfo& info : detail::parameters()) {
        all.push_back({info.id, std::string(info.name), detail::toPublic(info.type)});
    }
    return all;
}

void Camera::reset() {
    impl_->run([&] { impl_->bus->reset(); });
}

std::vector<std::uint8_t> Camera::readCalibration() {
    return impl_->run([&] {
        detail::Session& session = *impl_->session;
        std::uint32_t size = 0;
        const std::int32_t query =
            session.api().readCalibration(session.instance(), nullptr, &size);
        if (query != VEXAR_BUFFER_TOO_SMALL) {
            session.check(query, "calib read");
        }
        std::vector<std::uint8_t> record(size);
        session.check(session.api().readCalibration(session.instance(), record.data(), &size),
                      "calib read");
        record.resize(size);
        return record;
    });
}

void Camera::writeCalibration(std::span<const std::uint8_t> record) {
    if (!detail::parseCalibration({record.begin(), record.end()})) {
        throw detail::badInput("not a calibration record");
    }
    impl_->run([&] {
        impl_->session->check(
            impl_->session->api().writeCalibration(impl_->session->instance(), record.data(),
                                                   static_cast<std::uint32_t>(record.size())),
            "calib write");
    });
}

namespace {
// One sensor register over the bus, recorded as any transfer is.
std::uint32_t readSensorOnBus(detail::bus::Backend& bus, std::uint32_t address) {
    std::uint8_t bytes[yorind::kRegisterBytes] = {};
    if (bus.read(yorind::bankDevice(address), yorind::bankRegister(address), bytes,
                 yorind::kRegisterBytes) != 0) {
        throw Error(ErrorKind::BusFailure, bus.describeFailure(*bus.firstFailure()));
    }
    return Lumivor::Bytes::loadLittleEndian(bytes, yorind::kRegisterBytes);
}

// Seen without a transaction where the backend can, so that looking adds none.
std::uint32_t readSensor(detail::bus::Backend& bus, std::uint32_t address) {
    if (const auto seen = bus.peekRegister(address)) {
        return *seen;
    }
    return readSensorOnBus(bus, address);
}

void checkSensorAddress(std::uint32_t address) {
    if (address >= yorind::kSensorRegisterCount) {
        throw detail::badInput("no sensor register there (0x000-0x1ff)");
    }
}
}  // namespace

std::vector<Field> Camera::fields() {
    return impl_->run([&] {
        std::vector<Field> all;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> last;  // address, value
        for (const yorind::FieldRow& f : yorind::kFields) {
            if (!last || last->first != f.address) {
                last = {f.address, readSensor(*impl_->bus, f.address)};
            }
            all.push_back({std::string(f.name), f.index, f.address, f.lsb, f.msb,
                           (last->second >> f.lsb) & yorind::fieldMask(f), f.reset});
        }
        return all;
    });
}

std::vector<Field> Camera::fieldTable() {
    std::vector<Field> all;
    for (const yorind::FieldRow& f : yorind::kFields) {
        all.push_back({std::string(f.name), f.index, f.address, f.lsb, f.msb, 0, f.reset});
    }
    return all;
}

std::vector<RegisterValue> Camera::registers() {
    return impl_->run([&] {
        std::vector<RegisterValue> all;
        for (const std::uint32_t address : Lumivor::Sim::SimulatedModule::knownRegisters()) {
            all.push_back({static_cast<std::uint16_t>(address), readSensor(*impl_->bus, address),
                           Lumivor::Sim::SimulatedModule::resetValue(address)});
        }
        return all;
    });
}

std::vector<ByteDeviceValue> Camera::byteDevices() {
    return impl_->run([&] {
        std::vector<ByteDeviceValue> all;
        for (const yorind::ByteDevice& device : yorind::kByteDevices) {
            all.push_back({device.role, device.address, device.reg,
                           impl_->bus->latchedByte(device.address).value_or(std::nullopt)});
        }
        return all;
    });
}

std::uint32_t Camera::readRegister(std::uint32_t address) {
    checkSensorAddress(address);
    return impl_->run([&] { return readSensorOnBus(*impl_->bus, address); });
}

void Camera::writeRegister(std::uint32_t address, std::uint32_t value) {
    checkSensorAddress(address);
    if (value > ((1u << yorind::kRegisterBits) - 1)) {
        throw detail::badInput("the value must lie in 0 to " +
                               std::to_string(((1u << yorind::kRegisterBits) - 1)));
    }
    impl_->run([&] {
        detail::bus::Backend& bus = *impl_->bus;
        std::uint8_t bytes[yorind::kRegisterBytes];
        Lumivor::Bytes::storeLittleEndian(bytes, value, yorind::kRegisterBytes);
        if (bus.write(yorind::bankDevice(address), yorind::bankRegister(address), bytes,
                      yorind::kRegisterBytes) != 0) {
            throw Error(ErrorKind::BusFailure, bus.describeFailure(*bus.firstFailure()));
        }
    });
}

namespace {
const yorind::ByteDevice& byteDevice(std::uint16_t device, std::uint8_t reg) {
    const yorind::ByteDevice* known = yorind::findByteDevice(device);
    if (known == nullptr || known->reg != reg) {
        std::string list;
        for (const yorind::ByteDevice& d : yorind::kByteDevices) {
            char one[16];
            std::snprintf(one, sizeof one, "%s0x%02x:0x%02x", list.empty() ? "" : ", ", d.address,
                          d.reg);
            list += one;
        }
        throw detail::badInput("no one-byte device there (" + list + ")");
    }
    return *known;
}
}  // namespace

std::optional<std::uint8_t> Camera::readRegister(std::uint16_t device, std::uint8_t reg) {
    const yorind::ByteDevice& known = byteDevice(device, reg);
    return impl_->run([&] {
        const auto latched = impl_->bus->latchedByte(known.address);
        if (!latched) {
            throw detail::badInput("the device is write-only; on a real bus it cannot be read");
        }
        return *latched;
    });
}

void Camera::writeRegister(std::uint16_t device, std::uint8_t reg, std::uint8_t value) {
    const yorind::ByteDevice& known = byteDevice(device, reg);
    impl_->run([&] {
        detail::bus::Backend& bus = *impl_->bus;
        std::uint8_t byte = value;
        if (bus.write(known.address, known.reg, &byte, 1) != 0) {
            throw Error(ErrorKind::BusFailure, bus.describeFailure(*bus.firstFailure()));
        }
    });
}

std::vector<Transaction> Camera::transactions() const {
    std::lock_guard lock(impl_->mutex);
    if (impl_->bus == nullptr) {
        return {};
    }
    return {impl_->bus->transactions().begin(), impl_->bus->transactions().end()};
}

void Camera::clearTransactions() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->bus != nullptr) {
        impl_->bus->clearLog();
    }
}

void Camera::onTransaction(std::function<void(const Transaction&)> callback) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->bus != nullptr) {
        impl_->bus->onTransaction(std::move(callback));
    }
}

Timing Camera::timing() {
    return impl_->run([&] {
        const auto number = [&](std::uint32_t id) {
            const detail::Value v = impl_->read(*detail::parameterById(id));
            return std::holds_alternative<float>(v)
                       ? double{std::get<float>(v)}
                       : static_cast<double>(std::get<std::int32_t>(v));
        };
        return Timing::fromSettings(
            number(detail::FrameRate), static_cast<int>(number(detail::MicroFrameNumber)),
            number(detail::IntegrationTime),
            std::get<bool>(impl_->read(*detail::parameterById(detail::DealiasingOn))));
    });
}

struct Hold::State {
    std::unique_ptr<Camera::Impl::Operation> operation;
};

Hold::Hold(std::shared_ptr<State> state) : state_(std::move(state)) {}
Hold::Hold(Hold&&) noexcept = default;
Hold::~Hold() = default;

void Hold::release() {
    if (state_ && state_->operation) {
        const auto operation = std::move(state_->operation);
        operation->finish();
    }
}

Hold Camera::hold() {
    auto state = std::make_shared<Hold::State>();
    state->operation = std::make_unique<Impl::Operation>(*impl_);
    return Hold(std::move(state));
}

ProbeResult probe(std::string_view where, const OpenOptions& options) {
    const std::unique_ptr<detail::bus::Backend> bus = openBackend(where);
    bus->begin(options.lockTimeout);
    ProbeResult answers{bus->name(), {}};
    for (const detail::bus::Answer& answer :
         detail::bus::probe(*bus, detail::bus::moduleDevices())) {
        answers.devices.push_back({answer.device->role, answer.device->address, answer.result});
    }
    bus->end(true);
    return answers;
}

}  // namespace vexar
