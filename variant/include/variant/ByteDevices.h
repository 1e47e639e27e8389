#pragma once

#include <cstdint>

#include "core/AccessContext.h"
#include "core/ErrorCode.h"
#include "yorind/ModuleDescription.h"

namespace Lumivor::YorinD {

// The module's one-byte devices take one byte into one register and cannot be read back; these
// are not sensor registers, so they bypass the sub-register operations.
using yorind::ByteDevice;
using yorind::findByteDevice;
using yorind::kByteDevices;
namespace Device = yorind::Device;

// The host's own result comes back unchanged, so its failure codes reach the caller as they are.
inline ErrorCode writeByte(const AccessContext& context, ByteDevice device, std::uint8_t byte) {
    return context.writeCallback(context.hostContext, device.address, device.reg, &byte, 1);
}

}  // namespace Lumivor::YorinD
