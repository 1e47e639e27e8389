#include "Files.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include "Errors.h"
#include "io/OutputWriter.h"

namespace vexar::detail {

namespace fs = std::filesystem;

namespace {
fs::path resolve(const fs::path& base, const std::string& name) {
    if (name.empty()) {
        throw badInput("an empty file name (a name, or - for the standard stream)");
    }
    return base.empty() ? fs::path(name) : base / name;
}
}  // namespace

std::vector<std::uint8_t> readFile(const fs::path& base, const std::string& name,
                                   std::istream& standardInput, const io::InputKind& kind) {
    if (name == "-") {
        return asBytes(io::readStream(standardInput, "standard input", kind));
    }
    return asBytes(io::readInput(resolve(base, name), kind));
}

void writeFile(const fs::path& base, const std::string& name,
               const std::vector<std::uint8_t>& bytes, std::ostream& standardOutput) {
    if (name == "-") {
        errno = 0;
        standardOutput << asText(bytes);
        standardOutput.flush();
        if (!standardOutput) {
            throw badInput(std::string("cannot write standard output") +
                           (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
        }
        return;
    }
    io::writeOutput(resolve(base, name), asText(bytes));
}

std::string asText(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> asBytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

bool looksLikeJson(const std::vector<std::uint8_t>& bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

}  // namespace vexar::detail
