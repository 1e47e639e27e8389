#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "vexar/camera.hpp"
#include "vexar/export.hpp"

// Named profiles, kept as files that every face shares: NAME.json in $XDG_CONFIG_HOME/vexar/presets/
// (~/.config/vexar/presets/ when it is not set), each replaced atomically.
namespace vexar {

// A name is 1 to 64 letters, digits, '-', '_' and '.', not starting with '.': it can name no
// path. Error(BadInput) saying so otherwise.
VEXAR_CLIENT_API void checkPresetName(std::string_view name);
VEXAR_CLIENT_API std::filesystem::path presetFolder();
// The presets there, sorted by name; none when the folder does not exist.
VEXAR_CLIENT_API std::vector<std::string> presetNames();
// Error(BadInput) for a bad name, a preset that does not exist (with the nearest name) or a
// file that is no profile.
VEXAR_CLIENT_API Profile loadPreset(std::string_view name);
// Saved under the name (which the profile then carries), replacing a preset of that name; the
// folder is made when missing.
VEXAR_CLIENT_API void savePreset(std::string_view name, Profile profile);
VEXAR_CLIENT_API void removePreset(std::string_view name);

}  // namespace vexar
