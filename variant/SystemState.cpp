#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "core/FieldAccess.h"
#include "core/ValueRecords.h"
#include "core/ValueTable.h"
#include "host/Format.h"
#include "variant/ModuleConstants.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"
#include "yorind/ModuleDescription.h"

namespace Lumivor {

namespace {

using yorind::StateGate;
using yorind::StateWrite;

bool qualifies(const ComponentIdentity& component, std::span<const yorind::Driver> drivers) {
    return component.present != 0 &&
           std::any_of(drivers.begin(), drivers.end(), [&](const yorind::Driver& d) {
               return d.type == component.type && d.version == component.version;
           });
}

// Whether a step of the write order is taken for this module: an illumination voltage only
// when its driver qualifies. Its record is needed exactly when the step is taken.
bool takes(const StateWrite& step, bool leftQualifies, bool rightQualifies) {
    return (step.gate != StateGate::LeftDriverQualifies || leftQualifies) &&
           (step.gate != StateGate::RightDriverQualifies || rightQualifies);
}

// Keeps in missing the lowest of the identifiers the table holds no value for.
void noteMissing(const ValueTable& table, std::uint32_t id, std::optional<std::uint32_t>& missing) {
    if (!table.contains(id) && (!missing || id < *missing)) {
        missing = id;
    }
}

// Calls visit with a value of the parameter's own value type, so that the typed write or read
// matching the record is chosen. A record of no known type is refused like a failed access.
template <typename Visitor>
void visitValueType(FieldAccess& access, const ValueTable& table, std::uint32_t id,
                    Visitor&& visit) {
    switch (static_cast<ValueType>(table.find(id)->getValueType())) {
        case ValueType::Float:
            return visit(float{});
        case ValueType::Int:
            return visit(int{});
        case ValueType::Bool:
            return visit(bool{});
        case ValueType::RegionOfInterest:
            return visit(RegionOfInterestInternal{});
    }
    access.fail(Error::InvalidArgument);
}

void writeFromTable(FieldAccess& access, const ValueTable& table, std::uint32_t id) {
    visitValueType(access, table, id, [&]<typename T>(T) {
        access.writeValue<T>(id, table.findAs<T>(id)->getValue());
    });
}

// The record keeps its value unless the read succeeds.
// A voltage cannot be read back; a saved state reports the same value for each.
void readAll(FieldAccess& access, ValueTable& table) {
    for (const yorind::StateRead& entry : yorind::kStateReadOrder) {
        const std::uint32_t id = entry.id;
        if (!entry.readBack) {
            table.findAs<float>(id)->setValue(yorind::kReportedVoltage);
            continue;
        }
        visitValueType(access, table, id, [&]<typename T>(T) {
            const T value = access.readValue<T>(id);
            if (access.ok()) {
                table.findAs<T>(id)->setValue(value);
            }
        });
    }
}

// The two modes both drive one shared bit; only the pairs on which they agree can be applied.
bool compatibleModes(int mixingSignalsMode, int illuminationMode) {
    using namespace YorinD::MixingMode;
    return ((mixingSignalsMode == Selected || mixingSignalsMode == Unselected) &&
            illuminationMode == 1) ||
           (mixingSignalsMode == Off && illuminationMode == 0);
}

std::string lacksParameter(std::uint32_t id) {
    return Utils::Format("system state lacks parameter %") % id;
}

}  // namespace

// Both directions start from the caller's records; a buffer that cannot hold them is refused.
ErrorCode VEXAR_ParamInterp_YORINDImpl::decodeState(ValueTable& table, const std::uint8_t* buffer,
                                                    std::uint32_t size) {
    if (buffer == nullptr && size > 0) {
        return Error::InvalidArgument;
    }
    const ErrorCode status = decodeValueRecords(*this, table, buffer, size);
    if (status != Error::Success) {
        setLastError("failed to unmarshal data");
    }
    return status;
}

ErrorCode VEXAR_ParamInterp_YORINDImpl::writeSystemState(const std::uint8_t* buffer,
                                                         std::uint32_t size) {
    ValueTable table;
    ErrorCode status = decodeState(table, buffer, size);
    if (status != Error::Success) {
        return status;
    }

    const ModuleDescriptor& descriptor = moduleDescriptor();
    const bool leftQualifies = qualifies(descriptor.components[yorind::kLeftIllumination],
                                         yorind::kLeftIlluminationDrivers);
    const bool rightQualifies = qualifies(descriptor.components[yorind::kRightIllumination],
                                          yorind::kRightIlluminationDrivers);
    std::optional<std::uint32_t> missing;
    for (const StateWrite& step : yorind::kStateWriteOrder) {
        if (takes(step, leftQualifies, rightQualifies)) {
            noteMissing(table, step.id, missing);
        }
    }
    if (missing) {
        setLastError(lacksParameter(*missing));
        return Error::InvalidArgument;
    }

    const bool dealiasingOn = table.findAs<bool>(DealiasingOn)->getValue();
    setPhaseCount(YorinD::phaseCount(dealiasingOn));

    if (!compatibleModes(table.findAs<int>(MixingSignalsMode)->getValue(),
                         table.findAs<int>(IlluminationMode)->getValue())) {
        setLastError("incompatible Mixing signals mode and Illumination mode");
        return Error::InvalidArgument;
    }

    FieldAccess access(*this);
    for (const StateWrite& step : yorind::kStateWriteOrder) {
        if (!takes(step, leftQualifies, rightQualifies)) {
            continue;
        }
        if (step.gate == StateGate::PassedOverWhenDealiasingOff && !dealiasingOn) {
            // Tried all the same, through an accessor of its own, so that its failure stops
            // nothing: the frequency goes unused while dealiasing is off.
            if (access.ok()) {
                FieldAccess attempt(*this);
                writeFromTable(attempt, table, step.id);
            }
            continue;
        }
        writeFromTable(access, table, step.id);
    }
    return access.status();
}

ErrorCode VEXAR_ParamInterp_YORINDImpl::readSystemState(std::uint8_t* buffer, std::uint32_t size) {
    ValueTable table;
    ErrorCode status = decodeState(table, buffer, size);
    if (status != Error::Success) {
        return status;
    }
    // Every record is read back or reported, so every one is needed.
    std::optional<std::uint32_t> missing;
    for (const yorind::StateRead& entry : yorind::kStateReadOrder) {
        noteMissing(table, entry.id, missing);
    }
    if (missing) {
        setLastError(lacksParameter(*missing));
        return Error::InvalidArgument;
    }

    FieldAccess access(*this);
    readAll(access, table);
    if (!access.ok()) {
        return access.status();
    }

    status = encodeValueRecords(*this, table, buffer, size);
    if (status != Error::Success) {
        setLastError("failed to marshal data");
    }
    return status;
}

}  // namespace Lumivor
