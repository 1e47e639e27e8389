#include "tools/ctl/Session.h"

#include "tools/ctl/Errors.h"

namespace Lumivor::Ctl {

Session::Session(const std::string& pluginPath) : pluginPath_(pluginPath) {
    if (!library_.load(pluginPath)) {
        throw CommandError(Exit::NoPlugin,
                           "cannot load plug-in " + pluginPath + ": " + library_.error());
    }
    instance_ = api().createInstance();
    if (instance_ == nullptr) {
        throw CommandError(Exit::Refused, "createInstance returned no instance");
    }
    const std::int32_t status =
        api().initialize(instance_, module_.hostContext(), &Sim::SimulatedModule::readCallback,
                         &Sim::SimulatedModule::writeCallback, Sim::SimulatedModule::moduleKey(),
                         Sim::SimulatedModule::moduleDescriptor());
    if (status != VEXAR_SUCCESS) {
        const std::string text = takeLastError();
        api().destroyInstance(instance_);
        instance_ = nullptr;
        throw CommandError(Exit::Refused, "initialize: " + describeCode(status) + ": " + text);
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

void Session::check(std::int32_t code, const std::string& what, const std::string& hint) const {
    if (code == VEXAR_SUCCESS) {
        return;
    }
    std::string text = takeLastError();
    if (text.empty()) {
        text = "(no error text)";
    }
    throw CommandError(Exit::Refused, what + ": " + describeCode(code) + ": " + text + hint);
}

std::int32_t Session::read(const ParameterInfo& parameter, Value& value) const {
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
        case ValueType::RegionOfInterest: {
            RegionOfInterestInternal v{};
            const std::int32_t code = api().getRegionOfInterest(instance_, &v);
            value = v;
            return code;
        }
    }
    return VEXAR_NOT_SUPPORTED;
}

std::int32_t Session::write(const ParameterInfo& parameter, const Value& value) const {
    struct Writer {
        const Tools::PluginApi& api;
        void* instance;
        std::uint32_t id;
        std::int32_t operator()(float v) const { return api.writeFloat(instance, id, v); }
        std::int32_t operator()(std::int32_t v) const { return api.writeInt(instance, id, v); }
        std::int32_t operator()(bool v) const { return api.writeBool(instance, id, v); }
        std::int32_t operator()(const RegionOfInterestInternal& v) const {
            return api.setRegionOfInterest(instance, &v);
        }
    };
    return std::visit(Writer{api(), instance_, parameter.id}, value);
}

std::uint32_t Session::unit(const ParameterInfo& parameter, const std::string& what) const {
    std::uint32_t unit = 0;
    check(api().getUnitType(instance_, parameter.id, &unit), what);
    return unit;
}

std::uint32_t Session::access(const ParameterInfo& parameter, const std::string& what) const {
    std::uint32_t access = 0;
    check(api().getAccessMode(instance_, parameter.id, &access), what);
    return access;
}

std::optional<RangeWire::RangeDescription> Session::range(const ParameterInfo& parameter,
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
    RangeWire::DecodedRange decoded = RangeWire::decodeRange(bytes);
    if (!decoded) {
        throw CommandError(Exit::Refused,
                           what + ": the plug-in's range does not decode: " + decoded.error);
    }
    return std::move(*decoded.range);
}

}  // namespace Lumivor::Ctl
