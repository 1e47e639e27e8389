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

namespace Lumivor {

namespace {

struct ComponentPair {
    std::uint32_t type;
    std::uint16_t version;
};

// Illumination drivers whose voltage can be set. The third pair differs between the sides.
constexpr ComponentPair kLeftIlluminationDrivers[] = {
    {4, 0x0001}, {0x104, 0x2000}, {0x107, 0x2100}};
constexpr ComponentPair kRightIlluminationDrivers[] = {
    {4, 0x0001}, {0x104, 0x2000}, {0x108, 0x2100}};

bool qualifies(const ComponentIdentity& component, std::span<const ComponentPair> pairs) {
    return component.present != 0 &&
           std::any_of(pairs.begin(), pairs.end(), [&](const ComponentPair& p) {
               return p.type == component.type && p.version == component.version;
           });
}

enum class Gate {
    Always,
    LeftDriverQualifies,
    RightDriverQualifies,
    PassedOverWhenDealiasingOff,
};

struct StateWrite {
    ParameterType id;
    Gate gate;
};

// Each conversion finds the fields it depends on already written: the frame rate needs the
// micro-frame number and raw output mode, the integration time needs the frame rate.
constexpr StateWrite kWriteOrder[] = {
    {MicroFrameNumber, Gate::Always},
    {IlluminationMode, Gate::Always},
    {MixingSignalsMode, Gate::Always},
    {RawOutputMode, Gate::Always},
    {MixingVoltage, Gate::Always},
    {LeftIlluminationVoltage, Gate::LeftDriverQualifies},
    {RightIlluminationVoltage, Gate::RightDriverQualifies},
    {RegionOfInterest, Gate::Always},
    {FrameRate, Gate::Always},
    {ModulationFrequency, Gate::Always},
    {DealiasingFrequency, Gate::PassedOverWhenDealiasingOff},
    {DealiasingOn, Gate::Always},
    {IntegrationTime, Gate::Always},
};

constexpr ParameterType kReadsBeforeVoltages[] = {
    NativeFrameFormat, MicroFrameNumber, IlluminationMode, MixingSignalsMode, RawOutputMode,
};
// The voltage drivers cannot be read back; a saved state reports this for each.
constexpr ParameterType kVoltages[] = {
    LeftIlluminationVoltage,
    RightIlluminationVoltage,
    MixingVoltage,
};
constexpr float kReportedVoltage = 50.0f;
constexpr ParameterType kReadsAfterVoltages[] = {
    RegionOfInterest, ModulationFrequency, IntegrationTime,
    FrameRate,        DealiasingFrequency, DealiasingOn,
};

// Whether a step of the write order is taken for this module: an illumination voltage only
// when its driver qualifies. Its record is needed exactly when the step is taken.
bool takes(const StateWrite& step, bool leftQualifies, bool rightQualifies) {
    return (step.gate != Gate::LeftDriverQualifies || leftQualifies) &&
           (step.gate != Gate::RightDriverQualifies || rightQualifies);
}

// Keeps in missing the lowest of the identifiers the table holds no value for.
void noteMissing(const ValueTable& table, ParameterType id, std::optional<std::uint32_t>& missing) {
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
void readAll(FieldAccess& access, ValueTable& table, std::span<const ParameterType> ids) {
    for (const ParameterType id : ids) {
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
    const bool leftQualifies = qualifies(descriptor.components[3], kLeftIlluminationDrivers);
    const bool rightQualifies = qualifies(descriptor.components[4], kRightIlluminationDrivers);
    std::optional<std::uint32_t> missing;
    for (const StateWrite& step : kWriteOrder) {
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
    for (const StateWrite& step : kWriteOrder) {
        if (!takes(step, leftQualifies, rightQualifies)) {
            continue;
        }
        if (step.gate == Gate::PassedOverWhenDealiasingOff && !dealiasingOn) {
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
    for (const auto ids : {std::span<const ParameterType>(kReadsBeforeVoltages),
                           std::span<const ParameterType>(kVoltages),
                           std::span<const ParameterType>(kReadsAfterVoltages)}) {
        for (const ParameterType id : ids) {
            noteMissing(table, id, missing);
        }
    }
    if (missing) {
        setLastError(lacksParameter(*missing));
        return Error::InvalidArgument;
    }

    FieldAccess access(*this);
    readAll(access, table, kReadsBeforeVoltages);
    for (const ParameterType id : kVoltages) {
        table.findAs<float>(id)->setValue(kReportedVoltage);
    }
    readAll(access, table, kReadsAfterVoltages);
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
