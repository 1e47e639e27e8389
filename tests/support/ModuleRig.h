#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "host/ErrorCode.h"
#include "host/ROM.h"
#include "sim/SimulatedModule.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor::Testing {

// An interpreter initialised on a simulated module of its own, its log empty; for tests and
// fuzz targets that need many independent instances rather than one fixture.
struct ModuleRig {
    explicit ModuleRig(
        const ModuleDescriptor& descriptor = Sim::SimulatedModule::moduleDescriptor()) {
        initialised = interp.initialize(module.hostContext(), &Sim::SimulatedModule::readCallback,
                                        &Sim::SimulatedModule::writeCallback,
                                        Sim::SimulatedModule::moduleKey(), descriptor);
        module.clearLog();
    }
    ModuleRig(const ModuleRig&) = delete;
    ModuleRig& operator=(const ModuleRig&) = delete;
    ~ModuleRig() { interp.dispose(); }

    Sim::SimulatedModule module;
    VEXAR_ParamInterp_YORINDImpl interp;
    ErrorCode initialised = Error::NotSupported;
};

// A calibration record as the host serialises it.
inline std::vector<std::uint8_t> calibrationRecord(std::int16_t offset1, std::int16_t offset2,
                                                   std::uint32_t kind,
                                                   std::vector<float> temperatures,
                                                   std::vector<float> coefficients) {
    ROM::Configuration record;
    record.phaseOffset1(ROM::PhaseOffset(offset1));
    record.phaseOffset2(ROM::PhaseOffset(offset2));
    ROM::TemperatureCalibrationData calibration;
    calibration.setValues(std::move(temperatures));
    record.temperatureCalibration1(std::move(calibration));
    ROM::TemperatureCompensationData compensation(kind);
    compensation.setValues(std::move(coefficients));
    record.temperatureCompensation1(std::move(compensation));
    return record.serialize();
}

}  // namespace Lumivor::Testing
