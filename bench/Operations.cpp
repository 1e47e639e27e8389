#include "bench/Operations.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "core/VEXARParameterInterpreter.h"
#include "host/ParameterTypes.h"
#include "host/ROM.h"
#include "sim/SimulatedModule.h"
#include "yorind/ModuleDescription.h"

namespace Lumivor::Bench {

namespace {

namespace Field = yorind::Field;

// The sub-register operations are not exported; they are reached, as the parameters reach
// them, through the instance's virtual operations.
VEXARParameterInterpreter& interpreterOf(PluginOnBus& p) {
    return *static_cast<VEXARParameterInterpreter*>(p.instance);
}

void require(std::int32_t status, const char* what) {
    if (status != 0) {
        throw std::runtime_error(std::string(what) + " failed with " + std::to_string(status));
    }
}

// Preparations: states in which the measured call succeeds and does its full work.
void programModulation(PluginOnBus& p) {
    require(writeFloat(p.instance, ParameterType::ModulationFrequency, 30.0f),
            "modulation frequency 30");
}
void programDealiasing(PluginOnBus& p) {
    programModulation(p);
    require(writeFloat(p.instance, ParameterType::DealiasingFrequency, 20.0f),
            "dealiasing frequency 20");
}
// Only a system state switches dealiasing on through the exports; the field is set directly.
void enableDealiasing(PluginOnBus& p) {
    programDealiasing(p);
    require(interpreterOf(p).writeSubRegister(Field::DealiasingEnable, 1), "dealiasing enable");
}
void programCalibration(PluginOnBus& p) {
    const std::vector<std::uint8_t> record = calibrationRecord();
    require(writeCalibration(p.instance, record.data(), static_cast<std::uint32_t>(record.size())),
            "writeCalibration");
}

std::int32_t readFloatOf(PluginOnBus& p, std::uint32_t id) {
    float value = 0.0f;
    return readFloat(p.instance, id, &value);
}
std::int32_t readIntOf(PluginOnBus& p, std::uint32_t id) {
    std::int32_t value = 0;
    return readInt(p.instance, id, &value);
}
std::int32_t readBoolOf(PluginOnBus& p, std::uint32_t id) {
    bool value = false;
    return readBool(p.instance, id, &value);
}
std::int32_t rangeOf(PluginOnBus& p, std::uint32_t id) {
    std::uint8_t buffer[64];
    std::uint32_t size = sizeof buffer;
    return getParameterRange(p.instance, id, buffer, &size);
}

const std::vector<std::uint8_t>& stateRecords() {
    static const std::vector<std::uint8_t> records = fullSystemState();
    return records;
}
const std::vector<std::uint8_t>& calibrationBytes() {
    static const std::vector<std::uint8_t> bytes = calibrationRecord();
    return bytes;
}

// A record: the identifier byte, then the payload least significant byte first.
void appendRecord(std::vector<std::uint8_t>& out, std::uint8_t id, std::uint64_t payload,
                  int bytes) {
    out.push_back(id);
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(payload >> (8 * i)));
    }
}
void appendFloat(std::vector<std::uint8_t>& out, std::uint8_t id, float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    appendRecord(out, id, bits, 4);
}
void appendInt(std::vector<std::uint8_t>& out, std::uint8_t id, std::int32_t value) {
    appendRecord(out, id, static_cast<std::uint32_t>(value), 4);
}
void appendBool(std::vector<std::uint8_t>& out, std::uint8_t id, bool value) {
    appendRecord(out, id, value ? 0xFF : 0x00, 1);
}
// x, y, width and height as four 16-bit numbers.
void appendRegion(std::vector<std::uint8_t>& out, std::uint8_t id, std::uint16_t x, std::uint16_t y,
                  std::uint16_t width, std::uint16_t height) {
    appendRecord(out, id,
                 std::uint64_t{x} | std::uint64_t{y} << 16 | std::uint64_t{width} << 32 |
                     std::uint64_t{height} << 48,
                 8);
}

const std::vector<Operation> kOperations{
    // What the measuring loop costs by itself, and what every transaction adds to it.
    {kEmptyCall, "baseline", Target::None, false, nullptr, [](PluginOnBus&) { return 0; }},
    {kReadCallback, "baseline", Target::None, false, nullptr,
     [](PluginOnBus& p) {
         std::uint8_t bytes[4] = {0, 0, 0, 0};
         const std::uint32_t address = yorind::kFields[Field::ClockMhz].address;
         return p.readCallback(p.hostContext, yorind::bankDevice(address),
                               yorind::bankRegister(address), bytes, yorind::kRegisterBytes);
     }},
    {kWriteCallback, "baseline", Target::None, false, nullptr,
     [](PluginOnBus& p) {
         std::uint8_t bytes[4] = {48, 0, 0, 0};
         const std::uint32_t address = yorind::kFields[Field::ClockMhz].address;
         return p.writeCallback(p.hostContext, yorind::bankDevice(address),
                                yorind::bankRegister(address), bytes, yorind::kRegisterBytes);
     }},

    {"readSubRegister (clock)", "sub-register", Target::SubRegister, true, nullptr,
     [](PluginOnBus& p) {
         std::uint32_t value = 0;
         return interpreterOf(p).readSubRegister(Field::ClockMhz, &value);
     }},
    {"writeSubRegister (integration fraction)", "sub-register", Target::SubRegister, true, nullptr,
     [](PluginOnBus& p) {
         return interpreterOf(p).writeSubRegister(Field::IntegrationFraction, 20);
     }},

    {"readFloat 3 frame rate", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return readFloatOf(p, ParameterType::FrameRate); }},
    {"readInt 4 micro-frame number", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return readIntOf(p, ParameterType::MicroFrameNumber); }},
    {"readFloat 5 integration time", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return readFloatOf(p, ParameterType::IntegrationTime); }},
    {"readFloat 6 modulation frequency", "parameter read", Target::Parameter, true,
     programModulation,
     [](PluginOnBus& p) { return readFloatOf(p, ParameterType::ModulationFrequency); }},
    {"readBool 7 dealiasing on", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return readBoolOf(p, ParameterType::DealiasingOn); }},
    {"readFloat 8 dealiasing frequency", "parameter read", Target::Parameter, true,
     programDealiasing,
     [](PluginOnBus& p) { return readFloatOf(p, ParameterType::DealiasingFrequency); }},
    {"readInt 9 mixing signals mode", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return readIntOf(p, ParameterType::MixingSignalsMode); }},
    {"readInt 10 illumination mode", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return readIntOf(p, ParameterType::IlluminationMode); }},
    {"readInt 11 raw output mode", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return readIntOf(p, ParameterType::RawOutputMode); }},
    {"readFloat 12 range, dealiasing off", "parameter read", Target::Parameter, true,
     programDealiasing, [](PluginOnBus& p) { return readFloatOf(p, ParameterType::Range); }},
    {"readFloat 12 range, dealiasing on", "parameter read", Target::Parameter, true,
     enableDealiasing, [](PluginOnBus& p) { return readFloatOf(p, ParameterType::Range); }},
    {"getRegionOfInterest (13)", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) {
         RegionOfInterestInternal roi{};
         return getRegionOfInterest(p.instance, &roi);
     }},
    {"readBool 14 stream enable", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return readBoolOf(p, ParameterType::StreamEnable); }},
    {"readInt 15 native frame format", "parameter read", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return readIntOf(p, ParameterType::NativeFrameFormat); }},

    {"writeFloat 0 left illumination 50 %", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) {
         return writeFloat(p.instance, ParameterType::LeftIlluminationVoltage, 50.0f);
     }},
    {"writeFloat 1 right illumination 50 %", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) {
         return writeFloat(p.instance, ParameterType::RightIlluminationVoltage, 50.0f);
     }},
    {"writeFloat 2 mixing voltage 50 %", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return writeFloat(p.instance, ParameterType::MixingVoltage, 50.0f); }},
    {"writeFloat 3 frame rate 30", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return writeFloat(p.instance, ParameterType::FrameRate, 30.0f); }},
    // The accepted counts come from the parameter's own range object, which the write makes.
    {"writeInt 4 micro-frame number 4", "parameter write", Target::Parameter, false, nullptr,
     [](PluginOnBus& p) { return writeInt(p.instance, ParameterType::MicroFrameNumber, 4); }},
    {"writeFloat 5 integration time 1 ms", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return writeFloat(p.instance, ParameterType::IntegrationTime, 1.0f); }},
    {"writeFloat 6 modulation frequency 30", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) {
         return writeFloat(p.instance, ParameterType::ModulationFrequency, 30.0f);
     }},
    // A frequency the synthesiser makes exactly ends the search early; one it cannot make
    // scans every setting.
    {"writeFloat 6 modulation frequency 30.1 (inexact)", "parameter write", Target::Parameter, true,
     nullptr,
     [](PluginOnBus& p) {
         return writeFloat(p.instance, ParameterType::ModulationFrequency, 30.1f);
     }},
    {"writeFloat 8 dealiasing frequency 20", "parameter write", Target::Parameter, true,
     programModulation,
     [](PluginOnBus& p) {
         return writeFloat(p.instance, ParameterType::DealiasingFrequency, 20.0f);
     }},
    {"writeFloat 8 dealiasing frequency 19.9 (inexact)", "parameter write", Target::Parameter, true,
     programModulation,
     [](PluginOnBus& p) {
         return writeFloat(p.instance, ParameterType::DealiasingFrequency, 19.9f);
     }},
    {"writeInt 9 mixing signals mode 3", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return writeInt(p.instance, ParameterType::MixingSignalsMode, 3); }},
    {"writeInt 10 illumination mode 1", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return writeInt(p.instance, ParameterType::IlluminationMode, 1); }},
    {"writeInt 11 raw output mode 3", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return writeInt(p.instance, ParameterType::RawOutputMode, 3); }},
    {"writeBool 14 stream enable", "parameter write", Target::Parameter, true, nullptr,
     [](PluginOnBus& p) { return writeBool(p.instance, ParameterType::StreamEnable, true); }},

    {"getParameterRange 3 (float min/max/step)", "range", Target::None, false, nullptr,
     [](PluginOnBus& p) { return rangeOf(p, ParameterType::FrameRate); }},
    {"getParameterRange 4 (int discrete set)", "range", Target::None, false, nullptr,
     [](PluginOnBus& p) { return rangeOf(p, ParameterType::MicroFrameNumber); }},
    {"getParameterRange 13 (region of interest)", "range", Target::None, false, nullptr,
     [](PluginOnBus& p) { return rangeOf(p, ParameterType::RegionOfInterest); }},

    {"writeSystemState (78 bytes)", "system state", Target::SystemState, false, nullptr,
     [](PluginOnBus& p) {
         const std::vector<std::uint8_t>& records = stateRecords();
         return writeSystemState(p.instance, records.data(),
                                 static_cast<std::uint32_t>(records.size()));
     }},
    {"readSystemState (78 bytes)", "system state", Target::None, false, programDealiasing,
     [](PluginOnBus& p) {
         std::uint8_t buffer[78];
         std::memcpy(buffer, stateRecords().data(), sizeof buffer);
         return readSystemState(p.instance, buffer, sizeof buffer);
     }},

    {"writeCalibration", "calibration", Target::None, false, nullptr,
     [](PluginOnBus& p) {
         const std::vector<std::uint8_t>& bytes = calibrationBytes();
         return writeCalibration(p.instance, bytes.data(),
                                 static_cast<std::uint32_t>(bytes.size()));
     }},
    {"readCalibration", "calibration", Target::None, false, programCalibration,
     [](PluginOnBus& p) {
         std::uint8_t buffer[256];
         std::uint32_t size = sizeof buffer;
         return readCalibration(p.instance, buffer, &size);
     }},

    {"getPhaseScaling, dealiasing off", "phase scaling", Target::None, true, nullptr,
     [](PluginOnBus& p) {
         float factor = 0.0f;
         return getPhaseScaling(p.instance, &factor);
     }},
    {"getPhaseScaling, dealiasing on", "phase scaling", Target::None, true, enableDealiasing,
     [](PluginOnBus& p) {
         float factor = 0.0f;
         return getPhaseScaling(p.instance, &factor);
     }},
};

}  // namespace

PluginOnBus::PluginOnBus()
    : PluginOnBus(nullptr, &ZeroCostBus::readCallback, &ZeroCostBus::writeCallback) {}

PluginOnBus::PluginOnBus(void* context, RegisterReadCallback read, RegisterWriteCallback write)
    : hostContext(context == nullptr ? bus.hostContext() : context),
      readCallback(read),
      writeCallback(write),
      instance(createAndInitialize(hostContext, readCallback, writeCallback)) {}

PluginOnBus::~PluginOnBus() {
    disposeAndDestroy(instance);
}

const std::vector<Operation>& operations() {
    return kOperations;
}

void* createAndInitialize(ZeroCostBus& bus) {
    return createAndInitialize(bus.hostContext(), &ZeroCostBus::readCallback,
                               &ZeroCostBus::writeCallback);
}

// The module identity is the simulated module's, which is the one the plug-in serves.
void* createAndInitialize(void* hostContext, RegisterReadCallback readCallback,
                          RegisterWriteCallback writeCallback) {
    void* instance = createInstance();
    if (instance == nullptr) {
        throw std::runtime_error("createInstance returned null");
    }
    const std::int32_t status =
        initialize(instance, hostContext, readCallback, writeCallback,
                   Sim::SimulatedModule::moduleKey(), Sim::SimulatedModule::moduleDescriptor());
    if (status != 0) {
        destroyInstance(instance);
        throw std::runtime_error("initialize failed with " + std::to_string(status));
    }
    return instance;
}

void disposeAndDestroy(void* instance) {
    dispose(instance);
    destroyInstance(instance);
}

// Dealiasing on with modes (3, 1), so that every write of the state has work to do.
std::vector<std::uint8_t> fullSystemState() {
    std::vector<std::uint8_t> out;
    appendFloat(out, ParameterType::LeftIlluminationVoltage, 50.0f);
    appendFloat(out, ParameterType::RightIlluminationVoltage, 50.0f);
    appendFloat(out, ParameterType::MixingVoltage, 50.0f);
    appendFloat(out, ParameterType::FrameRate, 30.0f);
    appendInt(out, ParameterType::MicroFrameNumber, 4);
    appendFloat(out, ParameterType::IntegrationTime, 1.0f);
    appendFloat(out, ParameterType::ModulationFrequency, 30.0f);
    appendBool(out, ParameterType::DealiasingOn, true);
    appendFloat(out, ParameterType::DealiasingFrequency, 20.0f);
    appendInt(out, ParameterType::MixingSignalsMode, 3);
    appendInt(out, ParameterType::IlluminationMode, 1);
    appendInt(out, ParameterType::RawOutputMode, 1);
    appendFloat(out, ParameterType::Range, 0.0f);
    appendRegion(out, ParameterType::RegionOfInterest, 0, 0, 320, 240);
    appendBool(out, ParameterType::StreamEnable, false);
    appendInt(out, ParameterType::NativeFrameFormat, 4);
    return out;
}

std::vector<std::uint8_t> calibrationRecord() {
    ROM::Configuration record;
    record.phaseOffset1(ROM::PhaseOffset(1000));
    record.phaseOffset2(ROM::PhaseOffset(-7));
    ROM::TemperatureCalibrationData temperatures;
    temperatures.setValues({25.7f, 40.2f});
    ROM::TemperatureCompensationData compensation(3);
    compensation.setValues({1.25f, -1.25f});
    record.temperatureCalibration1(temperatures);
    record.temperatureCompensation1(compensation);
    return record.serialize();
}

}  // namespace Lumivor::Bench
