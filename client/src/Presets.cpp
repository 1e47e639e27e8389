// Named profiles in the user's configuration folder, shared by the tool, Python and the panel.
#include "vexar/presets.hpp"

#include <algorithm>
#include <cstdlib>

#include "Errors.h"
#include "io/BoundedJson.h"
#include "io/InputReader.h"
#include "io/OutputWriter.h"
#include "vexar/json.hpp"

namespace vexar {

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kLongestName = 64;
constexpr std::string_view kSuffix = ".json";

bool nameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

fs::path presetFile(std::string_view name) {
    checkPresetName(name);
    return presetFolder() / (std::string(name) + std::string(kSuffix));
}

bool isPreset(const fs::path& file) {
    std::error_code ignored;
    return fs::is_regular_file(file, ignored);
}

[[noreturn]] void noSuchPreset(std::string_view name) {
    const std::vector<std::string> names = presetNames();
    const std::optional<std::string> nearest = nearestWord(name, names);
    throw detail::badInput("no preset '" + std::string(name) + "' in " + presetFolder().string() +
                           (nearest ? "; did you mean '" + *nearest + "'?"
                                    : std::string(names.empty() ? " (there is none)" : "")));
}
}  // namespace

void checkPresetName(std::string_view name) {
    if (name.empty() || name.size() > kLongestName || name.front() == '.' ||
        !std::ranges::all_of(name, nameCharacter)) {
        throw detail::badInput("'" + detail::io::excerpt(std::string(name)) +
                               "' is not a preset name: 1 to 64 letters, digits, '-', '_' and "
                               "'.', not starting with '.'");
    }
}

fs::path presetFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // The base directory convention: a relative setting is to be ignored.
    if (config != nullptr && config[0] == '/') {
        return fs::path(config) / "vexar" / "presets";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        throw detail::badInput("no folder for presets: neither XDG_CONFIG_HOME nor HOME is set");
    }
    return fs::path(home) / ".config" / "vexar" / "presets";
}

std::vector<std::string> presetNames() {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(presetFolder(), error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string file = entry->path().filename().string();
        if (!file.ends_with(kSuffix) || !entry->is_regular_file(error)) {
            continue;
        }
        const std::string name = file.substr(0, file.size() - kSuffix.size());
        try {
            checkPresetName(name);
            names.push_back(name);
        } catch (const Error&) {
            // Not one of ours (an editor's backup, say): it cannot be named either.
        }
    }
    std::ranges::sort(names);
    return names;
}

Profile loadPreset(std::string_view name) {
    const fs::path file = presetFile(name);
    if (!isPreset(file)) {
        noSuchPreset(name);
    }
    const std::string text = detail::io::readInput(file, detail::io::kStateInput);
    return profileFromJson(parseJson(text, "preset " + std::string(name)));
}

void savePreset(std::string_view name, Profile profile) {
    const fs::path file = presetFile(name);
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (error) {
        throw detail::badInput("cannot make the preset folder " + file.parent_path().string() +
                               ": " + error.message());
    }
    profile.name = std::string(name);
    detail::io::writeOutput(file, toJson(profile).dump(2) + "\n");
}

void removePreset(std::string_view name) {
    const fs::path file = presetFile(name);
    std::error_code error;
    if (!fs::remove(file, error)) {
        if (error) {
            throw detail::badInput("cannot remove " + file.string() + ": " + error.message());
        }
        noSuchPreset(name);
    }
}

}  // namespace vexar
