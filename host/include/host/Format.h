#pragma once

#include <string>

#include "host/Export.h"

namespace Lumivor::Utils {

// Message text with placeholders filled left to right: "%" takes a value in decimal,
// "%{:x}" in hexadecimal (lower case, no prefix). Placeholders left unfilled stay as written.
class LUMIVOR_API Format {
  public:
    explicit Format(std::string text);

    Format& operator%(int value);
    Format& operator%(unsigned int value);
    Format& operator%(unsigned short value);
    Format& operator%(long long value);
    Format& operator%(const std::string& value);

    operator std::string() const;
    const std::string& str() const;

  private:
    Format& fill(long long value);
    Format& fillText(const std::string& decimal, const std::string& hexadecimal);

    std::string text_;
    std::string::size_type next_;  // where the search for the next placeholder starts
};

}  // namespace Lumivor::Utils
