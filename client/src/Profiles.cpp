// A profile as a document that says what it is: the format and its version, the module and the
// plug-in it was saved from, when, and the values.
#include "Profiles.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "Errors.h"
#include "StateRecords.h"
#include "io/BoundedJson.h"
#include "vexar/camera.hpp"
#include "vexar/json.hpp"
#include "yorind/ModuleDescription.h"

namespace vexar {

namespace {
constexpr const char* kFormat = "vexar-profile";
// The document's members, in the order it is written; "parameters" last, since it is long.
constexpr const char* kMembers[] = {"format", "version", "module", "plugin",
                                    "saved",  "name",    "note",   "parameters"};

std::string hex(std::uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", number);
    return text;
}

[[noreturn]] void refuse(const std::string& what) {
    throw detail::badInput("profile: " + what);
}

std::uint32_t word(const Json& json, const std::string& what) {
    // Compared as the JSON's own type: a large or negative number must not wrap into range.
    const bool fits = json.is_number_unsigned()
                          ? json.get<std::uint64_t>() <= 0xffffffffu
                          : json.is_number_integer() && json.get<std::int64_t>() >= 0 &&
                                json.get<std::int64_t>() <= 0xffffffff;
    if (!fits) {
        refuse(what + " must be a whole number from 0 to 4294967295");
    }
    return json.get<std::uint32_t>();
}

std::string text(const Json& document, const char* member) {
    const auto found = document.find(member);
    if (found == document.end()) {
        return "";
    }
    if (!found->is_string()) {
        refuse(std::string(member) + " must be a string");
    }
    return found->get<std::string>();
}

// Format version 1 named the hardware version in the style of the C structures.
const char* hardwareVersionKey(int version) {
    return version >= 2 ? "hardware_version" : "hardwareVersion";
}

ProfileModule moduleFromJson(const Json& json, int version) {
    const std::string hardware = hardwareVersionKey(version);
    if (!json.is_object() || !json.contains("key") || !json.contains("type") ||
        !json.contains(hardware) || json.size() != 3) {
        refuse("module must be {\"key\": [4 numbers], \"type\": N, \"" + hardware + "\": N}");
    }
    ProfileModule module;
    const Json& key = json["key"];
    if (!key.is_array() || key.size() != module.key.size()) {
        refuse("module key must be 4 numbers");
    }
    for (std::size_t i = 0; i < module.key.size(); ++i) {
        module.key[i] = word(key[i], "module key");
    }
    module.type = word(json["type"], "module type");
    module.hardwareVersion = word(json[hardware], "module " + hardware);
    return module;
}

// The header of a document (everything but its parameters); Error(BadInput) for the first
// thing wrong with it.
Profile headerFromJson(const Json& document) {
    for (const auto& item : document.items()) {
        const std::string& key = item.key();
        if (std::ranges::none_of(kMembers, [&](const char* m) { return key == m; })) {
            refuse("unknown member \"" + detail::io::excerpt(key) + "\"");
        }
    }
    if (document["format"] != kFormat) {
        refuse(std::string("format must be \"") + kFormat + "\"");
    }
    const Json& version = document.contains("version") ? document["version"] : Json();
    if (!version.is_number_integer() || version.get<std::int64_t>() < 1) {
        refuse("version must be a whole number from 1");
    }
    if (version.get<std::int64_t>() > Profile::kFormatVersion) {
        refuse("format version " + std::to_string(version.get<std::int64_t>()) +
               " is newer than this vexar reads (" + std::to_string(Profile::kFormatVersion) +
               "); save it again with this version, or update vexar");
    }
    Profile profile;
    profile.version = version.get<int>();
    if (document.contains("module")) {
        profile.module = moduleFromJson(document["module"], profile.version);
    }
    profile.plugin = text(document, "plugin");
    profile.saved = text(document, "saved");
    profile.name = text(document, "name");
    profile.note = text(document, "note");
    if (!document.contains("parameters")) {
        refuse("a profile has \"parameters\"");
    }
    return profile;
}

bool isDocument(const Json& json) {
    return json.is_object() && json.contains("format");
}
}  // namespace

ProfileModule ProfileModule::of(const ModuleIdentity& identity) {
    ProfileModule module;
    module.key = {identity.key.word0, identity.key.word1, identity.key.word2, identity.key.word3};
    module.type = identity.descriptor.components[yorind::kModule].type;
    module.hardwareVersion = identity.descriptor.components[yorind::kModule].version;
    return module;
}

std::string ProfileModule::toString() const {
    return "key " + hex(key[0]) + " " + hex(key[1]) + " " + hex(key[2]) + " " + hex(key[3]) +
           ", type " + hex(type) + ", hardware version " + hex(hardwareVersion);
}

Json toJson(const Profile& profile) {
    Json json = Json::object();
    json["format"] = kFormat;
    json["version"] = Profile::kFormatVersion;
    if (profile.module) {
        json["module"] = {
            {"key", profile.module->key},
            {"type", profile.module->type},
            {hardwareVersionKey(Profile::kFormatVersion), profile.module->hardwareVersion}};
    }
    json["plugin"] = profile.plugin;
    json["saved"] = profile.saved;
    if (!profile.name.empty()) {
        json["name"] = profile.name;
    }
    if (!profile.note.empty()) {
        json["note"] = profile.note;
    }
    json["parameters"] = toJson(profile.parameters);
    return json;
}

Profile profileFromJson(const Json& json) {
    if (!isDocument(json)) {
        Profile bare;
        bare.version = 0;
        bare.parameters = settingsFromJson(json);
        return bare;
    }
    Profile profile = headerFromJson(json);
    profile.parameters = settingsFromJson(json["parameters"]);
    return profile;
}

std::vector<ProfileProblem> profileProblems(const Json& profile) {
    std::vector<ProfileProblem> problems;
    const Json* members = &profile;
    if (isDocument(profile)) {
        try {
            headerFromJson(profile);
            members = &profile["parameters"];
        } catch (const Error& error) {
            return {{"", error.what()}};
        }
    }
    for (auto& [member, reason] : detail::stateProblems(*members)) {
        problems.push_back({std::move(member), std::move(reason)});
    }
    return problems;
}

namespace detail {
std::string utcNow() {
    // The reproducible-builds convention: a fixed time for documents that must compare equal.
    const char* fixed = std::getenv("SOURCE_DATE_EPOCH");
    const std::time_t now = fixed != nullptr
                                ? static_cast<std::time_t>(std::strtoll(fixed, nullptr, 10))
                                : std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}
}  // namespace detail

}  // namespace vexar
