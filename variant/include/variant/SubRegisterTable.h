#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/SubRegister.h"
#include "yorind/ModuleDescription.h"

namespace Lumivor::YorinD {

// The sub-register map of the plug-in, built from the module description's one table of fields.

inline constexpr std::uint16_t kLowBankDevice = yorind::kLowBankDevice;
inline constexpr std::uint16_t kHighBankDevice = yorind::kHighBankDevice;
inline constexpr std::uint32_t kSensorRegisterCount = yorind::kSensorRegisterCount;
using yorind::sensorRegisterAddress;
namespace Field = yorind::Field;

static_assert(yorind::kRegisterBytes == kRegisterBytes,
              "the module's registers are as wide as the interpreter moves them");

constexpr BusLocation sensorRegisterLocation(std::uint32_t address) {
    return BusLocation{yorind::bankDevice(address), yorind::bankRegister(address)};
}

inline constexpr std::size_t kSubRegisterCount = yorind::kFieldCount;

constexpr std::array<SubRegister, kSubRegisterCount> buildSubRegisters() {
    std::array<SubRegister, kSubRegisterCount> fields{};
    for (const yorind::FieldRow& row : yorind::kFields) {
        fields[row.index] = SubRegister{row.address,
                                        sensorRegisterLocation(row.address),
                                        fieldMask(row.lsb, row.msb),
                                        row.lsb,
                                        row.msb,
                                        row.reset};
    }
    return fields;
}

// The fields by index, masks and bus locations computed once at compile time.
inline constexpr std::array<SubRegister, kSubRegisterCount> kSubRegisters = buildSubRegisters();

}  // namespace Lumivor::YorinD
