#include "Session.h"

#include <bit>

#include "bus/Probe.h"
#include "host/RangeDecoder.h"

namespace vexar::detail {

namespace {
// A module whose sensor does not answer would only make every command fail on its first read,
// with a message about a parameter rather than about the wiring.
void requireSensor(bus::Backend& bus) {
    for (const bus::Answer& answer : bus::probe(bus, bus::sensorDevices())) {
        if (answer.result != 0) {
            throw bus.busFailure(*bus.firstFailure(), "the sensor does not answer: ");
        }
    }
}
}  // namespace

Session::Session(const std::string& pluginPath, bus::Backend& bus, const ModuleIdentity& identity)
    : pluginPath_(pluginPath), bus_(&bus), identity_(identity) {
    if (!library_.load(pluginPath)) {
        throw vexar::Error(vexar::ErrorKind::LoadFailure,
                           "cannot load plug-in " + pluginPath + ": " + library_.error());
    }
    bus_->clearLog();
    requireSensor(*bus_);
    bus_->clearLog();
    instance_ = api().createInstance();
    if (instance_ == nullptr) {
        throw vexar::Error(vexar::ErrorKind::Refused, "createInstance returned no instance");
    }
    const std::int32_t status =
        api().initialize(instance_, bus_->hostContext(), &bus::Backend::readCallback,
                         &bus::Backend::writeCallback, std::bit_cast<::ModuleKey>(identity_.key),
                         std::bit_cast<::ModuleDescriptor>(identity_.descriptor));
    if (status != VEXAR_SUCCESS) {
        try {
            check(status, "initialize");
        } catch (const vexar::Error&) {
            api().destroyInstance(instance_);
            instance_ = nullptr;
            throw;
        }
    }
}

Session::~Session() {
    if (instance_ != nullptr) {
        api().dispose(instance_);
        api().destroyInstance(instance_);
    }
}

std::string Session::takeLastError() const {
    return library_.lastError(instance_);
}

void Session::check(std::int32_t code, const std::string& what, const std::string& hint,
                    const std::string& allowed) const {
    if (code == VEXAR_SUCCESS) {
        return;
    }
    const std::string lastError = takeLastError();
    const std::string text = lastError.empty() ? "(no error text)" : lastError;
    vexar::Error::Details details{code, lastError, allowed, std::nullopt, what};
    if (const bus::Transaction* failed = bus_->firstFailure()) {
        throw bus_->busFailure(*failed,
                               lastError.empty() ? "bus failure " : lastError + ": bus failure ",
                               std::move(details));
    }
    throw vexar::Error(vexar::ErrorKind::Refused, describeCode(code) + ": " + text + hint,
                       std::move(details));
}

// The typed exports are where the library's values meet the plug-in's own types.
std::int32_t Session::read(const ParameterInfo& parameter, std::optional<Value>& value) const {
    switch (parameter.type) {
        case ValueType::Float: {
            float v = 0;
            const std::int32_t code = api().readFloat(instance_, parameter.id, &v);
            value = v;
            return code;
        }
        case ValueType::Int: {
            std::int32_t v = 0;
            const std::int32_t code = api().readInt(instance_, parameter.id, &v);
            value = v;
            return code;
        }
        case ValueType::Bool: {
            bool v = false;
            const std::int32_t code = api().readBool(instance_, parameter.id, &v);
            value = v;
            return code;
        }
        case ValueType::Region: {
            RegionOfInterestInternal v{};
            const std::int32_t code = api().getRegionOfInterest(instance_, &v);
            value = Region{v.x, v.y, v.width, v.height};
            return code;
        }
    }
    return VEXAR_NOT_SUPPORTED;
}

std::int32_t Session::write(const ParameterInfo& parameter, const Value& value) const {
    switch (value.type()) {
        case ValueType::Float:
            return api().writeFloat(instance_, parameter.id, value.asFloat());
        case ValueType::Int:
            return api().writeInt(instance_, parameter.id, value.asInt());
        case ValueType::Bool:
            return api().writeBool(instance_, parameter.id, value.asBool());
        case ValueType::Region:
            break;
    }
    const Region r = value.asRegion();
    const RegionOfInterestInternal region{r.x, r.y, r.width, r.height};
    return api().setRegionOfInterest(instance_, &region);
}

std::uint32_t Session::unit(const ParameterInfo& parameter, const std::string& what) const {
    std::uint32_t unit = 0;
    check(api().getUnitType(instance_, parameter.id, &unit), what);
    return unit;
}

namespace {
vexar::Access publicAccess(std::uint32_t access) {
    switch (static_cast<AccessMode>(access)) {
        case AccessMode::ReadOnly:
            return vexar::Access::ReadOnly;
        case AccessMode::WriteOnly:
            return vexar::Access::WriteOnly;
        case AccessMode::ReadWrite:
            break;
    }
    return vexar::Access::ReadWrite;
}

template <typename T>
vexar::Bounds<T> publicBounds(const Lumivor::RangeWire::Bounds<T>& b) {
    return {b.minimum, b.maximum, b.step};
}

// The range as the host library decodes the plug-in's bytes, in the library's form.
vexar::Range publicRange(const Lumivor::RangeWire::RangeDescription& range) {
    struct Convert {
        vexar::Range operator()(const Lumivor::RangeWire::Bounds<int>& b) const {
            return {publicBounds(b)};
        }
        vexar::Range operator()(const Lumivor::RangeWire::Bounds<float>& b) const {
            return {publicBounds(b)};
        }
        vexar::Range operator()(const std::vector<int>& values) const {
            return {std::vector<std::int32_t>(values.begin(), values.end())};
        }
        vexar::Range operator()(const Lumivor::RangeWire::RegionBounds& r) const {
            return {vexar::RegionBounds{publicBounds(r.x), publicBounds(r.y), publicBounds(r.width),
                                        publicBounds(r.height)}};
        }
    };
    return std::visit(Convert{}, range.numbers);
}
}  // namespace

vexar::Access Session::access(const ParameterInfo& parameter, const std::string& what) const {
    std::uint32_t access = 0;
    check(api().getAccessMode(instance_, parameter.id, &access), what);
    return publicAccess(access);
}

std::optional<vexar::Access> Session::accessIfTold(const ParameterInfo& parameter) const {
    std::uint32_t access = 0;
    if (api().getAccessMode(instance_, parameter.id, &access) != VEXAR_SUCCESS) {
        return std::nullopt;
    }
    return publicAccess(access);
}

std::optional<vexar::Range> Session::range(const ParameterInfo& parameter,
                                           const std::string& what) const {
    std::uint32_t size = 0;
    std::int32_t code = api().getParameterRange(instance_, parameter.id, nullptr, &size);
    if (code == VEXAR_NOT_SUPPORTED) {
        takeLastError();  // "Could not get range for parameter N": expected, not news
        return std::nullopt;
    }
    if (code != VEXAR_BUFFER_TOO_SMALL) {
        check(code, what);
    }
    std::vector<std::uint8_t> bytes(size);
    check(api().getParameterRange(instance_, parameter.id, bytes.data(), &size), what);
    bytes.resize(size);
    Lumivor::RangeWire::DecodedRange decoded = Lumivor::RangeWire::decodeRange(bytes);
    if (!decoded) {
        throw vexar::Error(vexar::ErrorKind::Refused,
                           what + ": the plug-in's range does not decode: " + decoded.error);
    }
    return publicRange(*decoded.range);
}

}  // namespace vexar::detail
