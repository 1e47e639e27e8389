#include <ostream>

#include "Commands.h"
#include "Errors.h"
#include "vexar/json.hpp"
#include "vexar/presets.hpp"

namespace vexar::ctl {

void runPresetList(bool json, std::ostream& out) {
    Json listed = Json::array();
    for (const std::string& name : vexar::presetNames()) {
        if (!json) {
            out << name << '\n';
            continue;
        }
        Json entry = {{"name", name}};
        try {
            const vexar::Profile preset = vexar::loadPreset(name);
            entry["saved"] = preset.saved;
            entry["note"] = preset.note;
        } catch (const vexar::Error& error) {
            entry["error"] = error.what();  // listed all the same: rm can still remove it
        }
        listed.push_back(std::move(entry));
    }
    if (json) {
        out << listed.dump(2) << '\n';
    }
}

void runPresetShow(const std::string& name, std::ostream& out) {
    out << vexar::toJson(vexar::loadPreset(name)).dump(2) << '\n';
}

void runPresetRemove(const std::string& name) {
    vexar::removePreset(name);
}

void runPresetSave(Context& context, const std::string& name, const std::string& note) {
    vexar::checkPresetName(name);  // before the module is read
    vexar::Profile profile = context.camera.profile();
    profile.note = note;
    vexar::savePreset(name, std::move(profile));
}

void runPresetLoad(Context& context, const std::string& name, bool dryRun) {
    const vexar::Profile preset = vexar::loadPreset(name);
    const std::string what = "preset load " + name;
    try {
        if (dryRun) {
            printDryRun(context, what,
                        context.camera.dryRun(preset, {false, context.force, context.force}));
            return;
        }
        reportStateWritten(
            context, what,
            context.camera.applyProfile(preset, {false, context.force, context.force}));
    } catch (const vexar::Error& error) {
        if (error.kind() == vexar::ErrorKind::BadInput) {
            throw;
        }
        throw retold(what, error);
    }
}

}  // namespace vexar::ctl
