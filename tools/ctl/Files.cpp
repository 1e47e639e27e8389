#include "tools/ctl/Files.h"

#include <fstream>
#include <iterator>

#include "tools/ctl/Errors.h"

namespace Lumivor::Ctl {

namespace {
std::filesystem::path resolve(const std::filesystem::path& base, const std::string& name) {
    return base.empty() ? std::filesystem::path(name) : base / name;
}
}  // namespace

std::vector<std::uint8_t> readFile(const std::filesystem::path& base, const std::string& name,
                                   std::istream& standardInput) {
    if (name == "-") {
        return asBytes(std::string(std::istreambuf_iterator<char>(standardInput), {}));
    }
    std::ifstream in(resolve(base, name), std::ios::binary);
    if (!in) {
        throw badInput("cannot read " + name);
    }
    return asBytes(std::string(std::istreambuf_iterator<char>(in), {}));
}

void writeFile(const std::filesystem::path& base, const std::string& name,
               const std::vector<std::uint8_t>& bytes, std::ostream& standardOutput) {
    const std::string text = asText(bytes);
    if (name == "-") {
        standardOutput << text;
        return;
    }
    std::ofstream out(resolve(base, name), std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        throw badInput("cannot write " + name);
    }
}

std::string asText(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> asBytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

bool looksLikeJson(const std::vector<std::uint8_t>& bytes) {
    return !bytes.empty() && bytes.front() == '{';
}

}  // namespace Lumivor::Ctl
