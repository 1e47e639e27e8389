#include <filesystem>
#include <ostream>

#include "Commands.h"
#include "Errors.h"
#include "vexar/compare.hpp"
#include "vexar/files.hpp"
#include "vexar/json.hpp"
#include "vexar/presets.hpp"

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

void runStateLoad(Context& context, const std::string& file, bool json, bool dryRun) {
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
        if (dryRun) {
            printDryRun(
                context, what,
                document ? context.camera.dryRun(*document, {false, context.force, context.force})
                         : context.camera.dryRun(bytes));
        } else if (document) {
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

namespace {
// A profile file, or else a preset of that name.
vexar::Profile profileNamed(Context& context, const std::string& given) {
    std::error_code ignored;
    if (given == "-" || std::filesystem::exists(context.base / given, ignored)) {
        const auto bytes = readInput(context, given, vexar::FileKind::State);
        return vexar::profileFromJson(vexar::parseJson(asText(bytes), given));
    }
    return vexar::loadPreset(given);
}

std::string shown(const std::optional<vexar::Value>& value) {
    return value ? value->toString() : "(left out)";
}

vexar::Json jsonOf(const std::optional<vexar::Value>& value) {
    return value ? vexar::toJson(*value) : vexar::Json();
}

std::string hex(std::uint32_t number, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, number);
    return text;
}
}  // namespace

void printDryRun(Context& context, const std::string& what, const vexar::DryRun& dryRun) {
    reportStateWritten(context, what + " --dry-run", dryRun.written);
    if (context.json) {
        context.out << vexar::toJson(dryRun).dump(2) << '\n';
        return;
    }
    std::ostream& out = context.out;
    out << "dry run: nothing written; the module would hold\n";
    for (const auto& [name, value] : dryRun.applied) {
        out << "  " << name << " = " << value.toString() << '\n';
    }
    for (const vexar::Change& change : dryRun.written.changed) {
        out << "moved: " << change.name << " " << change.before.toString() << " -> "
            << change.after.toString() << '\n';
    }
    for (const vexar::FieldChange& f : dryRun.fields) {
        out << "field " << f.field.index << (f.field.name.empty() ? "" : " " + f.field.name) << " ("
            << hex(f.field.address, 3) << " bits " << int(f.field.lsb) << "-" << int(f.field.msb)
            << "): " << hex(f.field.value, 1) << " -> " << hex(f.willBe, 1) << '\n';
    }
    for (const vexar::ByteChange& d : dryRun.devices) {
        out << d.role << " (" << hex(d.device, 2)
            << "): " << (d.was ? hex(*d.was, 2) : std::string("unknown")) << " -> "
            << hex(d.willBe, 2) << '\n';
    }
    std::size_t reads = 0;
    for (const vexar::Transaction& t : dryRun.transactions) {
        reads += t.direction == vexar::Direction::Read ? 1 : 0;
    }
    // The writes are what change the module; --format json lists the reads between them too.
    out << dryRun.transactions.size() << " transactions (" << reads << " reads of "
        << dryRun.seed.size() << " registers, " << dryRun.transactions.size() - reads
        << " writes):\n";
    for (const vexar::Transaction& t : dryRun.transactions) {
        if (t.direction == vexar::Direction::Write) {
            out << "  " << t.toString() << '\n';
        }
    }
}

bool runStateDiff(Context& context, const std::vector<std::string>& profiles, bool registers) {
    const vexar::Profile a = profileNamed(context, profiles.at(0));
    const vexar::Profile b =
        profiles.size() > 1 ? profileNamed(context, profiles[1]) : context.camera.profile();
    const auto parameters = vexar::compareSettings(a.parameters, b.parameters);
    const vexar::WriteOptions options{false, context.force, context.force};
    const vexar::ModuleDifference module =
        registers ? vexar::compareOnModule(context.camera, a, b, options)
                  : vexar::ModuleDifference{};
    if (context.json) {
        vexar::Json json = {{"parameters", vexar::Json::array()}};
        for (const auto& d : parameters) {
            json["parameters"].push_back(
                {{"name", d.name}, {"a", jsonOf(d.a)}, {"b", jsonOf(d.b)}});
        }
        if (registers) {
            json["fields"] = vexar::Json::array();
            for (const auto& d : module.fields) {
                json["fields"].push_back({{"index", d.field.index},
                                          {"name", d.field.name},
                                          {"address", d.field.address},
                                          {"lsb", d.field.lsb},
                                          {"msb", d.field.msb},
                                          {"a", d.field.value},
                                          {"b", d.b}});
            }
            json["registers"] = vexar::Json::array();
            for (const auto& d : module.registers) {
                json["registers"].push_back({{"address", d.address}, {"a", d.a}, {"b", d.b}});
            }
        }
        context.out << json.dump(2) << '\n';
    } else {
        for (const auto& d : parameters) {
            context.out << d.name << ": " << shown(d.a) << " | " << shown(d.b) << '\n';
        }
        for (const auto& d : module.fields) {
            context.out << "field " << d.field.index
                        << (d.field.name.empty() ? "" : " " + d.field.name) << " ("
                        << hex(d.field.address, 3) << " bits " << int(d.field.lsb) << "-"
                        << int(d.field.msb) << "): " << hex(d.field.value, 1) << " | "
                        << hex(d.b, 1) << '\n';
        }
        for (const auto& d : module.registers) {
            context.out << "register " << hex(d.address, 3) << ": " << hex(d.a, 6) << " | "
                        << hex(d.b, 6) << '\n';
        }
    }
    return !parameters.empty() || !module.fields.empty() || !module.registers.empty();
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
