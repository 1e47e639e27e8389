#include <ostream>

#include "Commands.h"
#include "Errors.h"
#include "vexar/files.hpp"
#include "vexar/json.hpp"

namespace vexar::ctl {

namespace {
std::string asText(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> jsonBytes(const vexar::Json& json) {
    const std::string text = json.dump(2) + "\n";
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> readInput(const Context& context, const std::string& file,
                                    vexar::FileKind kind) {
    std::vector<std::uint8_t> bytes = vexar::readFile(context.base, file, context.in, kind);
    if (bytes.empty()) {
        throw badInput(file + " is empty");
    }
    return bytes;
}

// A file's bytes as JSON when asked for or when they look like it.
std::optional<vexar::Json> asJson(const std::vector<std::uint8_t>& bytes, const std::string& file,
                                  bool json) {
    if (!json && !vexar::looksLikeJson(bytes)) {
        return std::nullopt;
    }
    return vexar::parseJson(asText(bytes), file);
}
}  // namespace

void runStateSave(Context& context, const std::string& file, bool json) {
    const std::vector<std::uint8_t> state = context.camera.saveState();
    vexar::writeFile(context.base, file,
                     json ? jsonBytes(vexar::toJson(context.camera.profile())) : state,
                     context.out);
    for (const auto& [name, value] : vexar::Camera::unloadable(state)) {
        context.err << "vexar-ctl: warning: state save: " << name << " = " << value.toString()
                    << " cannot be loaded back; write " << name
                    << " first (it is not a number at power-on) and save again\n";
    }
}

void runStateLoad(Context& context, const std::string& file, bool json) {
    const std::vector<std::uint8_t> bytes = readInput(context, file, vexar::FileKind::State);
    const auto profile = asJson(bytes, file, json);
    // A profile may leave members out, which keep their values; a saved state is loaded whole.
    if (profile) {
        // Every bad member at once, as the panel lists them, so that one edit fixes the file.
        const std::vector<vexar::ProfileProblem> problems = vexar::profileProblems(*profile);
        if (problems.size() > 1) {
            std::string listed;
            for (const vexar::ProfileProblem& problem : problems) {
                listed += "; " + problem.reason;
            }
            throw badInput(file + ": " + std::to_string(problems.size()) + " bad members" + listed);
        }
    }
    const std::optional<vexar::Profile> document =
        profile ? std::optional(vexar::profileFromJson(*profile)) : std::nullopt;
    const std::string what = "state load " + file;
    try {
        if (document) {
            reportStateWritten(
                context, what,
                context.camera.applyProfile(*document, {false, context.force, context.force}));
        } else {
            context.camera.loadState(bytes);
        }
    } catch (const vexar::Error& error) {
        if (error.kind() == vexar::ErrorKind::BadInput) {
            throw;  // a damaged file, named by the library
        }
        throw retold(what, error);
    }
}

void runCalibRead(Context& context, const std::string& file, bool json) {
    vexar::writeFile(context.base, file,
                     json ? jsonBytes(vexar::calibrationToJson(context.camera.readCalibration()))
                          : context.camera.readCalibration(),
                     context.out);
}

void runCalibWrite(Context& context, const std::string& file, bool json) {
    const std::vector<std::uint8_t> bytes = readInput(context, file, vexar::FileKind::Calibration);
    const auto record = asJson(bytes, file, json);
    try {
        if (record) {
            context.camera.writeCalibration(vexar::calibrationFromJson(*record));
        } else {
            context.camera.writeCalibration(bytes);
        }
    } catch (const vexar::Error& error) {
        if (error.kind() == vexar::ErrorKind::BadInput) {
            throw badInput(record ? error.what() : file + " is " + error.reason());
        }
        throw retold("calib write " + file, error);
    }
}

}  // namespace vexar::ctl
