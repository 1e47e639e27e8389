// Whole files in and out for every face: named relative to a base, "-" the standard stream
// given. Reading goes through io::readInput under the kind's limit, writing through
// io::writeOutput.
#include "Files.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include "Errors.h"
#include "io/InputReader.h"
#include "io/OutputWriter.h"

namespace vexar::detail {

std::string asText(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> asBytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace vexar::detail

namespace vexar {

namespace fs = std::filesystem;

namespace {
fs::path resolve(const fs::path& base, const std::string& name) {
    if (name.empty()) {
        throw detail::badInput("an empty file name (a name, or - for the standard stream)");
    }
    return base.empty() ? fs::path(name) : base / name;
}

const detail::io::InputKind& inputKind(FileKind kind) {
    switch (kind) {
        case FileKind::Calibration:
            return detail::io::kCalibrationInput;
        case FileKind::ModuleIdentity:
            return detail::io::kModuleIdentityInput;
        case FileKind::State:
            break;
    }
    return detail::io::kStateInput;
}
}  // namespace

std::vector<std::uint8_t> readFile(const fs::path& base, const std::string& name,
                                   std::istream& standardInput, FileKind kind) {
    if (name == "-") {
        return detail::asBytes(
            detail::io::readStream(standardInput, "standard input", inputKind(kind)));
    }
    return detail::asBytes(detail::io::readInput(resolve(base, name), inputKind(kind)));
}

void writeFile(const fs::path& base, const std::string& name,
               const std::vector<std::uint8_t>& bytes, std::ostream& standardOutput) {
    if (name == "-") {
        errno = 0;
        standardOutput << detail::asText(bytes);
        standardOutput.flush();
        if (!standardOutput) {
            throw detail::badInput(std::string("cannot write standard output") +
                                   (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
        }
        return;
    }
    detail::io::writeOutput(resolve(base, name), detail::asText(bytes));
}

// The JSON forms begin with '{' after any white space or byte-order mark; binary state and
// calibration never do (a state begins with an identifier below 16, a calibration with its
// magic).
bool looksLikeJson(const std::vector<std::uint8_t>& bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

}  // namespace vexar
