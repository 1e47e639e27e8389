#include <nlohmann/json.hpp>

#include "tools/ctl/CalibrationJson.h"
#include "tools/ctl/Commands.h"
#include "tools/ctl/Errors.h"
#include "tools/ctl/Files.h"
#include "tools/ctl/StateRecords.h"

namespace Lumivor::Ctl {

namespace {
Json parseJson(const std::vector<std::uint8_t>& bytes, const std::string& file) {
    try {
        return Json::parse(bytes.begin(), bytes.end());
    } catch (const Json::parse_error& error) {
        throw badInput(file + " is not JSON: " + error.what());
    }
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
    std::vector<std::uint8_t> state = readFile(context.base, file, context.in);
    if (json || looksLikeJson(state)) {
        state = encodeState(stateFromJson(parseJson(state, file)));
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
    std::vector<std::uint8_t> record = readFile(context.base, file, context.in);
    if (json || looksLikeJson(record)) {
        record = calibrationFromJson(parseJson(record, file)).serialize();
    }
    context.session.check(
        context.session.api().writeCalibration(context.session.instance(), record.data(),
                                               static_cast<std::uint32_t>(record.size())),
        "calib write " + file);
}

}  // namespace Lumivor::Ctl
