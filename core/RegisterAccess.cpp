#include <cstdint>

#include "core/VEXARParameterInterpreter.h"
#include "interface/ByteOrder.h"

namespace Lumivor {

namespace {
// The register travels least significant byte first, in the three bytes the transfer moved;
// bits 24 to 31 are 0. The bytes are taken one by one: a callback that returns at once has
// stored them a moment ago, and one wide load across those separate stores would wait for
// them to reach the cache.
std::uint32_t fromBus(const std::uint8_t (&bytes)[4]) {
    return Bytes::loadLittleEndian(bytes, kRegisterBytes);
}

void toBus(std::uint32_t value, std::uint8_t (&bytes)[4]) {
    Bytes::storeLittleEndian(bytes, value, sizeof bytes);
}

ErrorCode readRegister(const AccessContext& context, const SubRegister& field,
                       std::uint32_t* value) {
    std::uint8_t bytes[4] = {0, 0, 0, 0};
    const ErrorCode status = context.readCallback(context.hostContext, field.at.device,
                                                  field.at.reg, bytes, kRegisterBytes);
    if (status == Error::Success) {
        *value = fromBus(bytes);
    }
    return status;
}
}  // namespace

// The one read-modify-write of the plug-in: every field write goes through here, and nothing
// is cached, so each write reads the register afresh and sees earlier writes to other fields.
ErrorCode VEXARParameterInterpreter::writeSubRegister(std::uint32_t index, std::uint32_t value) {
    const SubRegister* field = subRegisters_.find(index);
    if (field == nullptr) {
        return Error::NotSupported;
    }
    if (value > field->mask) {
        return Error::OutOfRange;
    }
    std::uint32_t registerValue = 0;
    if (const ErrorCode status = readRegister(context_, *field, &registerValue);
        status != Error::Success) {
        return status;
    }
    registerValue =
        (registerValue & ~(field->mask << field->lsb)) | ((value & field->mask) << field->lsb);
    std::uint8_t bytes[4];
    toBus(registerValue, bytes);
    return context_.writeCallback(context_.hostContext, field->at.device, field->at.reg, bytes,
                                  kRegisterBytes);
}

ErrorCode VEXARParameterInterpreter::readSubRegister(std::uint32_t index, std::uint32_t* value) {
    const SubRegister* field = subRegisters_.find(index);
    if (field == nullptr) {
        return Error::NotSupported;
    }
    if (value == nullptr) {
        return Error::InvalidArgument;
    }
    std::uint32_t registerValue = 0;
    if (const ErrorCode status = readRegister(context_, *field, &registerValue);
        status != Error::Success) {
        return status;
    }
    *value = (registerValue >> field->lsb) & field->mask;
    return Error::Success;
}

ErrorCode VEXARParameterInterpreter::getSubRegisterMaximum(std::uint32_t index,
                                                           std::uint32_t* maximum) {
    const SubRegister* field = subRegisters_.find(index);
    if (field == nullptr) {
        return Error::NotSupported;
    }
    if (maximum == nullptr) {
        return Error::InvalidArgument;
    }
    *maximum = field->mask;
    return Error::Success;
}

}  // namespace Lumivor
