#include "ModuleIdentity.h"

#include <bit>
#include <limits>
#include <nlohmann/json.hpp>

#include "Errors.h"
#include "io/BoundedJson.h"
#include "io/InputReader.h"
#include "sim/SimulatedModule.h"
#include "vexar/json.hpp"
#include "yorind/ModuleDescription.h"

namespace vexar::detail {

namespace {
template <typename T>
T number(const Json& json, const std::string& where) {
    if (!json.is_number_unsigned() || json.get<std::uint64_t>() > std::numeric_limits<T>::max()) {
        throw badInput(where + " is not a number from 0 to " +
                       std::to_string(std::numeric_limits<T>::max()));
    }
    return json.get<T>();
}
}  // namespace

ModuleIdentity parseModuleIdentity(std::string_view text, const std::string& where) {
    const Json json = io::parseBoundedJson(text, where);
    if (!json.is_object()) {
        throw badInput(where + " is not a JSON object");
    }
    ModuleIdentity identity = ModuleIdentity::builtIn();
    // The keys as info prints them, or as it printed them before 0.2 ("moduleKey").
    const auto member = [&](const char* name, const char* before) -> const Json* {
        if (json.contains(name)) return &json[name];
        return json.contains(before) ? &json[before] : nullptr;
    };
    if (const Json* found = member("module_key", "moduleKey")) {
        const Json& key = *found;
        if (!key.is_array() || key.size() != 4) {
            throw badInput(where + ": module_key must be four numbers");
        }
        std::uint32_t* words[] = {&identity.key.word0, &identity.key.word1, &identity.key.word2,
                                  &identity.key.word3};
        for (std::size_t i = 0; i < 4; ++i) {
            *words[i] = number<std::uint32_t>(key[i], where + ": module_key");
        }
    }
    if (const Json* header = member("header_value", "headerValue")) {
        identity.descriptor.headerValue = number<std::uint32_t>(*header, where);
        identity.descriptor.headerValid = 1;
    }
    const Json components = json.value("components", Json::object());
    if (!components.is_object()) {
        throw badInput(where + ": components must be an object by role");
    }
    for (const auto& item : components.items()) {
        const std::string& name = item.key();  // clang 14 cannot capture a structured binding
        const Json& fields = item.value();
        const auto role = std::ranges::find_if(
            yorind::kComponents, [&](const yorind::Component& c) { return name == c.role; });
        if (role == std::end(yorind::kComponents) || !fields.is_object()) {
            throw badInput(where + ": unknown component \"" + io::excerpt(name) +
                           "\" (sensor board, module, left illumination, right illumination)");
        }
        vexar::ComponentIdentity& component = identity.descriptor.components[role->index];
        const std::string what = where + ": " + name;
        if (fields.contains("type")) {
            component.type = number<std::uint32_t>(fields["type"], what + " type");
        }
        if (fields.contains("version")) {
            component.version = number<std::uint16_t>(fields["version"], what + " version");
        }
        component.present = 1;
    }
    return identity;
}

}  // namespace vexar::detail

namespace vexar {

ModuleIdentity ModuleIdentity::builtIn() {
    return {std::bit_cast<ModuleKey>(Lumivor::Sim::SimulatedModule::moduleKey()),
            std::bit_cast<ModuleDescriptor>(Lumivor::Sim::SimulatedModule::moduleDescriptor()),
            "built-in"};
}

ModuleIdentity ModuleIdentity::load(const std::string& file) {
    ModuleIdentity identity = detail::parseModuleIdentity(
        detail::io::readInput(file, detail::io::kModuleIdentityInput), "module identity " + file);
    identity.source = file;
    return identity;
}

}  // namespace vexar
