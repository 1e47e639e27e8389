#include "host/Format.h"

#include <cstdio>
#include <utility>

namespace Lumivor::Utils {

namespace {
constexpr char kHexPlaceholder[] = "%{:x}";
constexpr std::string::size_type kHexPlaceholderLength = sizeof(kHexPlaceholder) - 1;

std::string hexOf(unsigned long long value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%llx", value);
    return buffer;
}
}  // namespace

Format::Format(std::string text) : text_(std::move(text)), next_(0) {}

Format& Format::operator%(int value) {
    return fill(value);
}
Format& Format::operator%(unsigned int value) {
    return fill(value);
}
Format& Format::operator%(unsigned short value) {
    return fill(value);
}
Format& Format::operator%(long long value) {
    return fill(value);
}
Format& Format::operator%(const std::string& value) {
    return fillText(value, value);
}

Format& Format::fill(long long value) {
    // A negative number in hexadecimal shows its 32-bit two's complement, as the registers do.
    const unsigned long long bits =
        value < 0 ? static_cast<unsigned long long>(static_cast<unsigned int>(value))
                  : static_cast<unsigned long long>(value);
    return fillText(std::to_string(value), hexOf(bits));
}

Format& Format::fillText(const std::string& decimal, const std::string& hexadecimal) {
    const auto at = text_.find('%', next_);
    if (at == std::string::npos) {
        return *this;
    }
    if (text_.compare(at, kHexPlaceholderLength, kHexPlaceholder) == 0) {
        text_.replace(at, kHexPlaceholderLength, hexadecimal);
        next_ = at + hexadecimal.size();
    } else {
        text_.replace(at, 1, decimal);
        next_ = at + decimal.size();
    }
    return *this;
}

Format::operator std::string() const {
    return text_;
}

const std::string& Format::str() const {
    return text_;
}

}  // namespace Lumivor::Utils
