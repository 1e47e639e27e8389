#include <cstring>
#include <memory>
#include <vector>

#include "core/FieldAccess.h"
#include "host/Format.h"
#include "host/ROM.h"
#include "variant/CalibrationFields.h"
#include "variant/SubRegisterTable.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor {

namespace {

using namespace YorinD;
using namespace YorinD::Calibration;

// The container hands us a record only when its section is a configuration.
ROM::Object* makeCalibrationRecord(void*, ROM::ContainerSectionType type, std::uint16_t) {
    if (type != ROM::ContainerSectionType::Configuration) {
        return nullptr;
    }
    return new ROM::Configuration();
}

}  // namespace

ErrorCode VEXAR_ParamInterp_YORINDImpl::writeCalibration(const std::uint8_t* data,
                                                         std::uint32_t size) {
    if (data == nullptr && size > 0) {
        return Error::InvalidArgument;
    }
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::unique_ptr<ROM::Configuration> record(
        ROM::Configuration::deserialize(bytes, 0, &makeCalibrationRecord, nullptr));
    if (!record) {
        setLastError("failed to unmarshal calibration");
        return Error::InvalidArgument;
    }

    const ROM::TemperatureCompensationData& compensation = record->temperatureCompensation1();
    const bool off = compensation.kind() == kNoCompensation;
    const std::uint32_t p1 = encodePhaseOffset(record->phaseOffset1().offset());
    const std::uint32_t p2 = encodePhaseOffset(record->phaseOffset2().offset());

    FieldAccess fields(*this);
    std::uint32_t illumination = 0;
    std::uint32_t sensor = 0;
    std::uint32_t c0 = 0;
    std::uint32_t c1 = 0;
    if (!off) {
        const std::vector<float>& coefficients = compensation.values();
        const std::vector<float>& temperatures = record->temperatureCalibration1().values();
        // The message names temperatures although it counts coefficients; a short temperature
        // list gets the same answer rather than a read past its end.
        if (coefficients.size() != kCoefficientCount ||
            temperatures.size() < kReferenceTemperatureCount) {
            setLastError("expecting 2 reference temperatures");
            return Error::InvalidArgument;
        }
        for (const float t : temperatures) {
            if (t < 0.0f) {
                setLastError("reference temperatures must be greater than 0 degree Celsius");
                return Error::OutOfRange;
            }
        }
        // The field maximum itself is accepted, whatever the message says.
        std::uint32_t maximum = fields.maximum(Field::IlluminationReferenceTemp);
        if (!fields.ok()) {
            return fields.status();
        }
        illumination = encodeTemperature(temperatures[0]);
        if (illumination > maximum) {
            setLastError(
                Utils::Format("illumination calibration must be less than % degree Celsius") %
                maximum);
            return Error::OutOfRange;
        }
        maximum = fields.maximum(Field::SensorReferenceTemp);
        if (!fields.ok()) {
            return fields.status();
        }
        sensor = encodeTemperature(temperatures[1]);
        if (sensor > maximum) {
            setLastError(Utils::Format("sensor calibration must be less than % degree Celsius") %
                         maximum);
            return Error::OutOfRange;
        }
        c0 = encodeCoefficient(coefficients[0]);
        c1 = encodeCoefficient(coefficients[1]);
    }

    // Clearing the disable bit first lets the offsets written next take effect; each
    // coefficient goes to its field and to the mirror of that field.
    fields.write(Field::PhaseOffsetDisable, 0);
    fields.write(Field::PhaseOffset1, p1);
    fields.write(Field::PhaseOffset2, p2);
    fields.write(Field::CompensationDisable, off ? 1u : 0u);
    fields.write(Field::IlluminationReferenceTemp, illumination);
    fields.write(Field::SensorReferenceTemp, sensor);
    fields.write(Field::Coefficient0, c0);
    fields.write(Field::Coefficient0Copy, c0);
    fields.write(Field::Coefficient1, c1);
    fields.write(Field::Coefficient1Copy, c1);
    return fields.status();
}

ErrorCode VEXAR_ParamInterp_YORINDImpl::readCalibration(std::uint8_t* buffer, std::uint32_t* size) {
    if (size == nullptr) {
        return Error::InvalidArgument;
    }

    // A field read after a failure is 0 and reads nothing, so the conditional reads below are
    // left out with the rest; nothing is built from them.
    FieldAccess fields(*this);
    const std::uint32_t offsetsDisabled = fields.read(Field::PhaseOffsetDisable);
    std::uint32_t offset1 = 0;
    std::uint32_t offset2 = 0;
    if (offsetsDisabled == 0) {
        offset1 = fields.read(Field::PhaseOffset1);
        offset2 = fields.read(Field::PhaseOffset2);
    }

    const std::uint32_t compensationDisabled = fields.read(Field::CompensationDisable);
    std::uint32_t illumination = 0;
    std::uint32_t sensor = 0;
    std::uint32_t c0 = 0;
    std::uint32_t c1 = 0;
    if (compensationDisabled == 0) {
        // The mirrors are read like the rest; only the primary fields make the record.
        illumination = fields.read(Field::IlluminationReferenceTemp);
        sensor = fields.read(Field::SensorReferenceTemp);
        c0 = fields.read(Field::Coefficient0);
        fields.read(Field::Coefficient0Copy);
        c1 = fields.read(Field::Coefficient1);
        fields.read(Field::Coefficient1Copy);
    }
    if (!fields.ok()) {
        return fields.status();
    }

    ROM::Configuration record;
    record.phaseOffset1(ROM::PhaseOffset(offsetsDisabled == 0 ? decodePhaseOffset(offset1) : 0));
    record.phaseOffset2(ROM::PhaseOffset(offsetsDisabled == 0 ? decodePhaseOffset(offset2) : 0));
    ROM::TemperatureCompensationData compensation;
    ROM::TemperatureCalibrationData temperatures;
    if (compensationDisabled == 0) {
        compensation.setKind(kCompensationKindEnabled);
        compensation.setValues({decodeCoefficient(c0), decodeCoefficient(c1)});
        temperatures.setValues({decodeTemperature(illumination), decodeTemperature(sensor)});
    }
    record.temperatureCompensation1(std::move(compensation));
    record.temperatureCalibration1(std::move(temperatures));
    record.phaseOffset1().state = kEntryState;
    record.phaseOffset2().state = kEntryState;
    record.temperatureCalibration1().state = kEntryState;
    record.temperatureCompensation1().state = kEntryState;

    const std::vector<std::uint8_t> bytes = record.serialize();
    if (*size < bytes.size()) {
        *size = static_cast<std::uint32_t>(bytes.size());
        return Error::BufferTooSmall;
    }
    if (buffer == nullptr) {
        return Error::InvalidArgument;
    }
    std::memcpy(buffer, bytes.data(), bytes.size());
    return Error::Success;
}

}  // namespace Lumivor
