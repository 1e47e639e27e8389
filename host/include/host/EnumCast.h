#pragma once

#include <cstdint>
#include <type_traits>

namespace Lumivor {

// The enumerator whose number is the given byte; value records carry identifiers as one byte.
template <typename Enum>
constexpr Enum enum_cast(std::uint8_t value) {
    static_assert(std::is_enum_v<Enum>);
    return static_cast<Enum>(static_cast<std::underlying_type_t<Enum>>(value));
}

}  // namespace Lumivor
