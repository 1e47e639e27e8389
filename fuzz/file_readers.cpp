// The tool's file readers on any bytes: a state (binary or JSON), a calibration record (binary
// or JSON), a module identity, a register image, each parsed as the tool parses that file.
//
// Input: one selector byte (its value modulo 4 picks the reader), then the file.
//
// Properties: a reader either accepts or refuses as bad input; nothing else escapes. A refusal's
// message is short and printable, whatever the file quotes. What is accepted comes back the
// same through the tool's own output: a binary state re-encodes to its bytes, a JSON state
// and a calibration survive being written out and read again, an image its own text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "CalibrationJson.h"
#include "Errors.h"
#include "Files.h"
#include "ImageFile.h"
#include "ModuleIdentity.h"
#include "StateRecords.h"
#include "fuzz/FuzzInput.h"
#include "io/BoundedJson.h"
#include "io/Failure.h"

namespace {

using namespace Lumivor;
using Ctl::Json;

constexpr std::size_t kLongestMessage = 600;

void readState(const std::vector<std::uint8_t>& bytes) {
    if (Ctl::looksLikeJson(bytes)) {
        const auto records = Ctl::stateFromJson(Io::parseBoundedJson(Ctl::asText(bytes), "s"));
        const std::string written = Ctl::stateToJson(records).dump(2);
        const auto again = Ctl::stateFromJson(Io::parseBoundedJson(written, "again"));
        FUZZ_CHECK(Ctl::encodeState(again) == Ctl::encodeState(records));
    } else {
        // Any non-zero flag byte reads as true and is written back as 0xFF, so the encoding
        // settles after one round rather than reproducing the input.
        const auto encoded = Ctl::encodeState(Ctl::decodeState(bytes));
        FUZZ_CHECK(encoded.size() == bytes.size());
        FUZZ_CHECK(Ctl::encodeState(Ctl::decodeState(encoded)) == encoded);
    }
}

void readCalibration(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> record;
    if (Ctl::looksLikeJson(bytes)) {
        record =
            Ctl::calibrationFromJson(Io::parseBoundedJson(Ctl::asText(bytes), "c")).serialize();
    } else if (Ctl::parseCalibration(bytes) != nullptr) {
        record = bytes;
    } else {
        return;
    }
    const auto parsed = Ctl::parseCalibration(record);
    FUZZ_CHECK(parsed != nullptr);
    const std::string written = Ctl::calibrationToJson(*parsed).dump(2);
    const auto again = Ctl::calibrationFromJson(Io::parseBoundedJson(written, "again"));
    FUZZ_CHECK(Ctl::parseCalibration(again.serialize()) != nullptr);
}

void readImage(std::string_view text) {
    Sim::SimulatedModule module;
    Ctl::applyImage(module, Ctl::parseImage(text, "i"));
    const std::string written = Ctl::imageText(module);
    Sim::SimulatedModule again;
    Ctl::applyImage(again, Ctl::parseImage(written, "again"));
    FUZZ_CHECK(Ctl::imageText(again) == written);
}

void checkMessage(const std::string& message) {
    FUZZ_CHECK(message.size() <= kLongestMessage);
    for (const char c : message) {
        FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::vector<std::uint8_t> bytes(data + 1, data + size);
    try {
        switch (data[0] % 4) {
            case 0:
                readState(bytes);
                break;
            case 1:
                readCalibration(bytes);
                break;
            case 2:
                Ctl::parseModuleIdentity(Ctl::asText(bytes), "m");
                break;
            default:
                readImage(Ctl::asText(bytes));
                break;
        }
    } catch (const Io::Failure& failure) {
        FUZZ_CHECK(failure.kind() == Io::FailureKind::BadInput);
        checkMessage(failure.what());
    }
    return 0;
}
