#include "ImageFile.h"

#include <charconv>
#include <cstdio>
#include <sstream>
#include <vector>

#include "Errors.h"
#include "io/BoundedJson.h"
#include "yorind/ModuleDescription.h"

namespace vexar::detail {

namespace {
std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(" \t\r", at)) != std::string_view::npos) {
        const std::size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// Whole hexadecimal words only: "0x100000183" must not pass as 0x183.
std::optional<std::uint64_t> hexWord(std::string_view word) {
    if (word.starts_with("0x") || word.starts_with("0X")) {
        word.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
    if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return value;
}
}  // namespace

RegisterImage parseImage(std::string_view text, const std::string& shown) {
    RegisterImage image;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++number;
        const auto fail = [&](const std::string& why) {
            return badInput("register image " + shown + " line " + std::to_string(number) + ": " +
                            why + ": " + io::excerpt(line, 80));
        };
        std::vector<std::string_view> words = wordsOf(line);
        if (words.empty() || words.front().starts_with('#')) {
            continue;
        }
        const bool byte = words.front() == "byte";
        if (byte) {
            words.erase(words.begin());
        }
        if (words.size() != 2) {
            throw fail("expected " + std::string(byte ? "byte 0xDEV 0xVALUE" : "0xADDR 0xVALUE"));
        }
        const auto address = hexWord(words[0]);
        const auto value = hexWord(words[1]);
        if (!address || !value) {
            throw fail("not a hexadecimal number");
        }
        if (byte) {
            if (yorind::findByteDevice(static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(*address, 0xFFFFFFFF))) == nullptr) {
                throw fail("no one-byte device at that address");
            }
            if (*value > 0xFF) {
                throw fail("a byte device holds 8 bits");
            }
            if (!image.bytes
                     .emplace(static_cast<std::uint16_t>(*address),
                              static_cast<std::uint8_t>(*value))
                     .second) {
                throw fail("the device is given twice");
            }
        } else {
            if (*address >= yorind::kSensorRegisterCount) {
                throw fail("no sensor register at that address (0x000-0x1ff)");
            }
            if (*value > ((1u << yorind::kRegisterBits) - 1)) {
                throw fail("a register holds 24 bits");
            }
            if (!image.registers
                     .emplace(static_cast<std::uint32_t>(*address),
                              static_cast<std::uint32_t>(*value))
                     .second) {
                throw fail("the register is given twice");
            }
        }
    }
    return image;
}

void applyImage(Lumivor::Sim::SimulatedModule& module, const RegisterImage& image) {
    module.reset();
    for (const auto& [address, value] : image.registers) {
        module.setRegisterValue(address, value);
    }
    for (const auto& [address, value] : image.bytes) {
        std::uint8_t byte = value;
        Lumivor::Sim::SimulatedModule::writeCallback(
            module.hostContext(), address, yorind::findByteDevice(address)->reg, &byte, 1);
    }
}

std::string imageText(const Lumivor::Sim::SimulatedModule& module) {
    std::ostringstream text;
    module.saveImage(text);
    return text.str();
}

}  // namespace vexar::detail
