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

// Inside the library's namespace, as the readers it attacks are.
namespace vexar::detail {
namespace {

constexpr std::size_t kLongestMessage = 600;

void readState(const std::vector<std::uint8_t>& bytes) {
    if (looksLikeJson(bytes)) {
        const auto records = stateFromJson(io::parseBoundedJson(asText(bytes), "s"));
        const std::string written = stateToJson(records).dump(2);
        const auto again = stateFromJson(io::parseBoundedJson(written, "again"));
        FUZZ_CHECK(encodeState(again) == encodeState(records));
    } else {
        // Any non-zero flag byte reads as true and is written back as 0xFF, so the encoding
        // settles after one round rather than reproducing the input.
        const auto encoded = encodeState(decodeState(bytes));
        FUZZ_CHECK(encoded.size() == bytes.size());
        FUZZ_CHECK(encodeState(decodeState(encoded)) == encoded);
    }
}

void readCalibration(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> record;
    if (looksLikeJson(bytes)) {
        record = calibrationFromJson(io::parseBoundedJson(asText(bytes), "c")).serialize();
    } else if (parseCalibration(bytes) != nullptr) {
        record = bytes;
    } else {
        return;
    }
    const auto parsed = parseCalibration(record);
    FUZZ_CHECK(parsed != nullptr);
    const std::string written = calibrationToJson(*parsed).dump(2);
    const auto again = calibrationFromJson(io::parseBoundedJson(written, "again"));
    FUZZ_CHECK(parseCalibration(again.serialize()) != nullptr);
}

void readImage(std::string_view text) {
    Lumivor::Sim::SimulatedModule module;
    applyImage(module, parseImage(text, "i"));
    const std::string written = imageText(module);
    Lumivor::Sim::SimulatedModule again;
    applyImage(again, parseImage(written, "again"));
    FUZZ_CHECK(imageText(again) == written);
}

void checkMessage(const std::string& message) {
    FUZZ_CHECK(message.size() <= kLongestMessage);
    for (const char c : message) {
        FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    }
}

}  // namespace
}  // namespace vexar::detail

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::vector<std::uint8_t> bytes(data + 1, data + size);
    try {
        switch (data[0] % 4) {
            case 0:
                vexar::detail::readState(bytes);
                break;
            case 1:
                vexar::detail::readCalibration(bytes);
                break;
            case 2:
                vexar::detail::parseModuleIdentity(vexar::detail::asText(bytes), "m");
                break;
            default:
                vexar::detail::readImage(vexar::detail::asText(bytes));
                break;
        }
    } catch (const vexar::detail::io::Failure& failure) {
        FUZZ_CHECK(failure.kind() == vexar::detail::io::FailureKind::BadInput);
        vexar::detail::checkMessage(failure.what());
    }
    return 0;
}
