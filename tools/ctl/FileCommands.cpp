#include <nlohmann/json.hpp>
#include <set>

#include "tools/ctl/CalibrationJson.h"
#include "tools/ctl/Commands.h"
#include "tools/ctl/Errors.h"
#include "tools/ctl/Files.h"
#include "tools/ctl/StateRecords.h"

namespace Lumivor::Ctl {

namespace {
// Strict JSON: a member named twice in one object is an error rather than last-one-wins, and
// every failure of the parser (a number beyond a double, say) is bad input.
Json parseJson(const std::vector<std::uint8_t>& bytes, const std::string& file) {
    std::vector<std::set<std::string>> open;
    std::string repeated;
    const Json::parser_callback_t check = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            open.emplace_back();
        } else if (event == Json::parse_event_t::object_end && !open.empty()) {
            open.pop_back();
        } else if (event == Json::parse_event_t::key && !open.empty() &&
                   !open.back().insert(parsed.get<std::string>()).second && repeated.empty()) {
            repeated = parsed.get<std::string>();
        }
        return true;
    };
    Json json;
    try {
        json = Json::parse(bytes.begin(), bytes.end(), check);
    } catch (const Json::exception& error) {
        throw badInput(file + " is not JSON: " + error.what());
    }
    if (!repeated.empty()) {
        throw badInput(file + ": member \"" + repeated + "\" appears twice");
    }
    return json;
}

std::vector<std::uint8_t> readInput(const Context& context, const std::string& file) {
    std::vector<std::uint8_t> bytes = readFile(context.base, file, context.in);
    if (bytes.empty()) {
        throw badInput(file + " is empty");
    }
    return bytes;
}

std::vector<std::uint8_t> jsonBytes(const Json& json) {
    return asBytes(json.dump(2) + "\n");
}
}  // namespace

void runStateSave(Context& context, const std::string& file, bool json) {
    std::vector<std::uint8_t> state = stateReadTemplate();
    context.session.check(
        context.session.api().readSystemState(context.session.instance(), state.data(),
                                              static_cast<std::uint32_t>(state.size())),
        "state save");
    writeFile(context.base, file, json ? jsonBytes(stateToJson(decodeState(state))) : state,
              context.out);
}

void runStateLoad(Context& context, const std::string& file, bool json) {
    std::vector<std::uint8_t> state = readInput(context, file);
    if (json || looksLikeJson(state)) {
        state = encodeState(stateFromJson(parseJson(state, file)));
    } else {
        decodeState(state);  // a damaged file is bad input, not something to ask the plug-in
    }
    context.session.check(
        context.session.api().writeSystemState(context.session.instance(), state.data(),
                                               static_cast<std::uint32_t>(state.size())),
        "state load " + file);
}

void runCalibRead(Context& context, const std::string& file, bool json) {
    const auto& api = context.session.api();
    void* instance = context.session.instance();
    std::uint32_t size = 0;
    const std::int32_t query = api.readCalibration(instance, nullptr, &size);
    if (query != VEXAR_BUFFER_TOO_SMALL) {
        context.session.check(query, "calib read");
    }
    std::vector<std::uint8_t> record(size);
    context.session.check(api.readCalibration(instance, record.data(), &size), "calib read");
    record.resize(size);
    if (json) {
        const auto parsed = parseCalibration(record);
        if (!parsed) {
            throw CommandError(Exit::Refused, "calib read: the plug-in's record does not read");
        }
        record = jsonBytes(calibrationToJson(*parsed));
    }
    writeFile(context.base, file, record, context.out);
}

void runCalibWrite(Context& context, const std::string& file, bool json) {
    std::vector<std::uint8_t> record = readInput(context, file);
    if (json || looksLikeJson(record)) {
        record = calibrationFromJson(parseJson(record, file)).serialize();
    } else if (!parseCalibration(record)) {
        throw badInput(file + " is not a calibration record");
    }
    context.session.check(
        context.session.api().writeCalibration(context.session.instance(), record.data(),
                                               static_cast<std::uint32_t>(record.size())),
        "calib write " + file);
}

}  // namespace Lumivor::Ctl
