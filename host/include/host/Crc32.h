#pragma once

#include <cstdint>
#include <span>

#include "host/Export.h"

namespace Lumivor::Utils {

// CRC-32 with the reflected polynomial 0xEDB88320, initial value and final xor 0xFFFFFFFF (the
// checksum of zip files and PNG chunks). Chains like the classic crc32(crc, data, length): pass
// the checksum of the bytes so far to continue over more bytes; 0 starts afresh.
LUMIVOR_API std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace Lumivor::Utils
