// The C++ face of the cross-face table: one request as JSON on standard input, its outcome as
// JSON on standard output, on the register image named by the only argument. It uses the
// public headers alone, as an integrator's program does.
#include <iostream>
#include <iterator>
#include <string>

#include "vexar/camera.hpp"
#include "vexar/json.hpp"
#include "vexar/options.hpp"

namespace {

using vexar::Json;

// What the request's value is for the parameter: {"text": "0x8"} as people type it, else the
// JSON value itself.
vexar::Value requested(const vexar::ParameterName& parameter, const Json& given) {
    if (given.is_object() && given.contains("text")) {
        return vexar::valueFor(parameter, given["text"].get<std::string>());
    }
    if (given.is_number_integer()) {
        return vexar::Value(given.get<long long>());
    }
    if (given.is_number()) {
        return vexar::Value(given.get<double>());
    }
    if (const auto value = vexar::valueFromJson(parameter.type, given)) {
        return *value;
    }
    throw vexar::Error(vexar::ErrorKind::BadInput, "not a value: " + given.dump());
}

Json text(const std::optional<vexar::Value>& value) {
    return value ? Json(value->toString()) : Json(nullptr);
}

Json run(vexar::Camera& camera, const Json& request) {
    const std::string op = request["op"];
    const bool force = request.value("force", false);
    if (op == "get") {
        return {{"ok", true}, {"text", camera.get(request["name"].get<std::string>()).toString()}};
    }
    if (op == "set") {
        const auto parameter = vexar::findParameter(request["name"].get<std::string>());
        if (!parameter) {
            // Let the library say what is wrong with the name.
            camera.get(request["name"].get<std::string>());
        }
        const vexar::Applied applied =
            camera.set(request["name"].get<std::string>(), requested(*parameter, request["value"]),
                       vexar::WriteOptions{force, force});
        Json changed = Json::object();
        for (const vexar::Change& change : applied.state.changed) {
            changed[change.name] = {change.before.toString(), change.after.toString()};
        }
        return {{"ok", true},
                {"applied", text(applied.applied)},
                {"outside_range", applied.outsideAdvertisedRange},
                {"changed", changed}};
    }
    if (op == "profile") {
        camera.applyProfile(vexar::profileFromJson(request["value"]), {false, force, force});
        return {{"ok", true}};
    }
    if (op == "dry_run") {
        const vexar::DryRun dry =
            camera.dryRun(vexar::profileFromJson(request["value"]), {false, force, force});
        Json fields = Json::object();
        for (const vexar::FieldChange& f : dry.fields) {
            fields[f.field.name.empty() ? std::to_string(f.field.index) : f.field.name] = {
                f.field.value, f.willBe};
        }
        const auto writes = std::ranges::count(dry.transactions, vexar::Direction::Write,
                                               &vexar::Transaction::direction);
        return {{"ok", true}, {"fields", fields}, {"writes", writes}};
    }
    if (op == "sequence") {
        for (const Json& step : request["steps"]) {
            run(camera, step);
        }
        return {{"ok", true}};
    }
    throw vexar::Error(vexar::ErrorKind::BadInput, "unknown op " + op);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: cpp-face IMAGE < REQUEST\n";
        return 2;
    }
    const std::string input(std::istreambuf_iterator<char>(std::cin), {});
    Json outcome;
    try {
        const Json request = Json::parse(input);
        vexar::OpenOptions options;
        options.plugin = request.value("plugin", "");
        if (request.contains("lock_timeout")) {
            options.lockTimeout = std::chrono::milliseconds(
                static_cast<long>(request["lock_timeout"].get<double>() * 1000));
        }
        const std::string where = argv[1];
        auto camera =
            vexar::Camera::open(where.starts_with("/dev/") ? where : "image:" + where, options);
        outcome = run(camera, request);
    } catch (const vexar::Error& error) {
        outcome = {{"ok", false},
                   {"kind", std::string(error.kindName())},
                   {"code", error.code() ? Json(*error.code()) : Json(nullptr)},
                   {"code_name", error.codeName().empty() ? Json(nullptr) : Json(error.codeName())},
                   {"allowed", error.allowed().empty() ? Json(nullptr) : Json(error.allowed())},
                   {"errno", error.busErrno() ? Json(*error.busErrno()) : Json(nullptr)},
                   {"message", error.what()}};
    }
    std::cout << outcome.dump() << '\n';
    return 0;
}
