#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <ostream>

#include "CalibrationJson.h"
#include "tools/ctl/Commands.h"
#include "tools/ctl/Errors.h"
#include "Files.h"
#include "StateRecords.h"
#include "io/BoundedJson.h"

namespace Lumivor::Ctl {

namespace {
Json parseJson(const std::vector<std::uint8_t>& bytes, const std::string& file) {
    return Io::parseBoundedJson(asText(bytes), file);
}

std::vector<std::uint8_t> readInput(const Context& context, const std::string& file,
                                    const Io::InputKind& kind) {
    std::vector<std::uint8_t> bytes = readFile(context.base, file, context.in, kind);
    if (bytes.empty()) {
        throw badInput(file + " is empty");
    }
    return bytes;
}

// The plug-in writes a state's records one by one and stops at the first it refuses; its
// text names that one by number only.
const StateRecord* refusedRecord(const std::string& text, const std::vector<StateRecord>& records) {
    static constexpr std::string_view kFailed = "failed to write parameter ";
    const std::size_t at = text.find(kFailed);
    if (at == std::string::npos) {
        return nullptr;
    }
    std::uint32_t id = 0;
    const char* digits = text.data() + at + kFailed.size();
    if (std::from_chars(digits, text.data() + text.size(), id).ec != std::errc()) {
        return nullptr;
    }
    const auto named =
        std::ranges::find_if(records, [&](const StateRecord& r) { return r.parameter->id == id; });
    return named == records.end() ? nullptr : &*named;
}

bool notANumber(const Value& value) {
    const float* number = std::get_if<float>(&value);
    return number != nullptr && !std::isfinite(*number);
}

// The plug-in writes only numbers back; the dealiasing frequency alone is passed over while
// dealiasing is off.
std::vector<const StateRecord*> unloadable(const std::vector<StateRecord>& records) {
    const auto dealiasing = std::ranges::find_if(
        records, [](const StateRecord& r) { return r.parameter->id == DealiasingOn; });
    const bool dealiasingOn = dealiasing != records.end() && std::get<bool>(dealiasing->value);
    std::vector<const StateRecord*> found;
    for (const StateRecord& record : records) {
        if (notANumber(record.value) &&
            (record.parameter->id != DealiasingFrequency || dealiasingOn)) {
            found.push_back(&record);
        }
    }
    return found;
}

std::string assignment(const StateRecord& record) {
    return std::string(record.parameter->name) + " = " + formatValue(record.value);
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
    const std::vector<StateRecord> records = decodeState(state);
    writeFile(context.base, file, json ? jsonBytes(stateToJson(records)) : state, context.out);
    for (const StateRecord* record : unloadable(records)) {
        context.err << "vexar-ctl: warning: state save: " << assignment(*record)
                    << " cannot be loaded back; write " << record->parameter->name
                    << " first (it is not a number at power-on) and save again\n";
    }
}

void runStateLoad(Context& context, const std::string& file, bool json) {
    std::vector<std::uint8_t> state = readInput(context, file, Io::kStateInput);
    std::vector<StateRecord> records;
    if (json || looksLikeJson(state)) {
        records = stateFromJson(parseJson(state, file));
        state = encodeState(records);
    } else {
        records = decodeState(state);  // a damaged file is bad input, not for the plug-in
    }
    const std::string what = "state load " + file;
    try {
        context.session.check(
            context.session.api().writeSystemState(context.session.instance(), state.data(),
                                                   static_cast<std::uint32_t>(state.size())),
            what);
    } catch (const CommandError& error) {
        const StateRecord* refused = refusedRecord(error.what(), records);
        if (refused == nullptr) {
            throw;
        }
        std::string message = error.what();
        message.insert(what.size() + 2, assignment(*refused) + ": ");
        if (notANumber(refused->value)) {
            message += " (saved while " + std::string(refused->parameter->name) +
                       " was not a number, as at power-on: write it, then save the state again)";
        }
        throw CommandError(error.status(), message);
    }
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
    std::vector<std::uint8_t> record = readInput(context, file, Io::kCalibrationInput);
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
