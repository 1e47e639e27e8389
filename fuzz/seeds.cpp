// Writes the seed corpora of the fuzz targets: fuzz_seeds DIR writes DIR/<target>/<name>.
// Every seed is made by the plug-in and its host library themselves (serialised records,
// marshalled ranges) or is a program of well-formed sequence steps, so that fuzzing starts
// from inputs that reach deep.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "fuzz/SequenceOps.h"
#include "host/ParameterTypes.h"
#include "tests/support/ModuleRig.h"
#include "variant/SubRegisterTable.h"

namespace {

using namespace Lumivor;
using Fuzz::InputWriter;
using Testing::calibrationRecord;
using Rig = Testing::ModuleRig;
using Fuzz::Op;
using Bytes = std::vector<std::uint8_t>;

std::filesystem::path root;

void save(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path dir = root / target;
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes withFlags(std::uint8_t flags, const Bytes& bytes) {
    Bytes out{flags};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

std::vector<Bytes> calibrationRecords() {
    return {
        calibrationRecord(1000, -24, 3, {25.7f, 40.2f}, {1.25f, -1.25f}),
        calibrationRecord(-8, 20000, 0, {}, {}),
        calibrationRecord(7, -7, 3, {255.9f, 0.0f}, {100.3f, -65536.0f}),
        calibrationRecord(0, 0, 3, {256.0f, 10.0f}, {0.0f, 0.0f}),
        calibrationRecord(0, 0, 3, {-1.0f, 10.0f}, {0.5f, 0.5f}),
        calibrationRecord(0, 0, 3, {20.0f}, {1.0f, 2.0f}),
        calibrationRecord(0, 0, 3, {20.0f, 30.0f}, {1.0f, 2.0f, 3.0f}),
        calibrationRecord(-16384, 16383, 7, {20.0f, 30.0f, 40.0f}, {1e9f, -1e9f}),
    };
}

void calibrationSeeds() {
    int n = 0;
    for (const Bytes& r : calibrationRecords()) {
        save("calibration", "record" + std::to_string(n++), withFlags(0, r));
    }
    // The record the plug-in hands back, with its state words.
    Rig rig;
    const Bytes written = calibrationRecords()[0];
    rig.interp.writeCalibration(written.data(), static_cast<std::uint32_t>(written.size()));
    std::uint32_t size = 0;
    rig.interp.readCalibration(nullptr, &size);
    Bytes back(size);
    rig.interp.readCalibration(back.data(), &size);
    save("calibration", "read-back", withFlags(0, back));
    // A record with an unknown entry, resealed by the target.
    Bytes extended = calibrationRecord(8, 16, 0, {}, {});
    extended.resize(extended.size() - 4);
    const std::uint8_t unknown[] = {9, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0xAB, 0xCD};
    extended.insert(extended.end(), std::begin(unknown), std::end(unknown));
    extended[10] = static_cast<std::uint8_t>(extended[10] + 1);
    extended.insert(extended.end(), 4, 0);
    save("calibration", "unknown-entry", withFlags(3, extended));
}

void rangeSeeds() {
    Rig rig;
    for (std::uint32_t id = 0; id < 16; ++id) {
        Bytes bytes(128);
        auto size = static_cast<std::uint32_t>(bytes.size());
        if (rig.interp.getParameterRange(id, bytes.data(), &size) == 0) {
            bytes.resize(size);
            save("range_decoder", "parameter" + std::to_string(id), bytes);
        }
    }
    const auto marshalled = [](const ParameterRangeBaseInternal& range) {
        std::uint32_t size = 0;
        range.marshal(nullptr, &size);
        Bytes bytes(size);
        range.marshal(bytes.data(), &size);
        return bytes;
    };
    save("range_decoder", "int-bounds",
         marshalled(ParameterRangeInternal<int>(MinMaxStepRange, -5, 5, 1)));
    save("range_decoder", "empty-set", marshalled(ParameterDiscreteSetInternal<int>({})));
}

// A state record for every parameter, ascending, as a host saves one.
Bytes fullState(bool dealiasing, float frameRate = 30.0f) {
    InputWriter w;
    w.u8(0).f32(60.0f).u8(1).f32(40.0f).u8(2).f32(55.0f).u8(3).f32(frameRate);
    w.u8(4).u32(2).u8(5).f32(0.2f).u8(6).f32(20.0f).u8(7).u8(dealiasing ? 1 : 0);
    w.u8(8).f32(16.0f).u8(9).u32(2).u8(10).u32(1).u8(11).u32(3).u8(12).f32(7.5f);
    w.u8(13).u16(16).u16(8).u16(160).u16(120).u8(14).u8(1).u8(15).u32(4);
    return w.bytes();
}

void stateSeeds() {
    save("system_state", "full-dealiasing-off", withFlags(0, fullState(false)));
    save("system_state", "full-dealiasing-on", withFlags(2, fullState(true)));
    save("system_state", "no-drivers", withFlags(1, fullState(false, 12.5f)));
    Bytes cut = fullState(true);
    cut.resize(cut.size() - 2);
    save("system_state", "last-record-cut", withFlags(0, cut));
    Bytes twice = fullState(false);
    const Bytes more = fullState(true, 60.0f);
    twice.insert(twice.end(), more.begin(), more.begin() + 25);
    save("system_state", "repeated-records", withFlags(0, twice));
    Bytes modes = fullState(false);
    modes[43] = 0;  // mixing signals mode 0 with illumination mode 1
    save("system_state", "incompatible-modes", withFlags(0, modes));
}

// Sequence programs.
struct Program {
    InputWriter w;
    Program& op(Op o, std::uint8_t slot = 0) {
        w.u8(static_cast<std::uint8_t>(o)).u8(slot);
        return *this;
    }
    Program& writeFloat(std::uint8_t id, float v) {
        op(Op::Write).w.u8(id).u8(0).f32(v);
        return *this;
    }
    Program& writeInt(std::uint8_t id, std::int32_t v) {
        op(Op::Write).w.u8(id).u8(1).u32(static_cast<std::uint32_t>(v));
        return *this;
    }
    Program& writeBool(std::uint8_t id, bool v) {
        op(Op::Write).w.u8(id).u8(2).u8(v ? 1 : 0);
        return *this;
    }
    // Reads every parameter with the typed read of its value type.
    Program& readAll(std::uint8_t slot = 0) {
        constexpr std::uint8_t kKinds[16] = {0, 0, 0, 0, 1, 0, 0, 2, 0, 1, 1, 1, 0, 3, 2, 1};
        for (std::uint8_t id = 0; id < 16; ++id) {
            op(Op::Read, slot).w.u8(id).u8(kKinds[id]);
        }
        return *this;
    }
    Program& failNth(std::uint8_t n, std::uint16_t code) {
        op(Op::FailNth).w.u8(n).u16(code);
        return *this;
    }
    Program& setField(std::uint8_t index, std::uint32_t value) {
        op(Op::SetField).w.u8(index).u32(value);
        return *this;
    }
    Program& calibration(const Bytes& r) {
        op(Op::WriteCalibration).w.u16(static_cast<std::uint16_t>(r.size())).append(r);
        return *this;
    }
    const Bytes& bytes() const { return w.bytes(); }
};

void sequenceSeeds() {
    Program settings;
    settings.writeInt(MicroFrameNumber, 2)
        .writeInt(RawOutputMode, 3)
        .writeFloat(FrameRate, 30.0f)
        .writeFloat(ModulationFrequency, 20.0f)
        .writeFloat(DealiasingFrequency, 16.0f)
        .writeFloat(IntegrationTime, 0.2f)
        .writeFloat(LeftIlluminationVoltage, 60.0f)
        .writeFloat(MixingVoltage, 55.0f)
        .writeInt(MixingSignalsMode, 2)
        .writeInt(IlluminationMode, 1)
        .writeBool(StreamEnable, true)
        .readAll();
    for (std::uint8_t id = 0; id < 16; ++id) {
        settings.op(Op::Range).w.u8(id).u8(64);
        settings.op(Op::UnitAndAccess).w.u8(id);
    }
    settings.op(Op::LastError).w.u8(0);
    settings.op(Op::LastError).w.u8(3).u8(0xFF);
    save("sequence", "settings", settings.bytes());

    Program faults;
    faults.failNth(3, 0x0042).writeFloat(FrameRate, 25.0f).op(Op::LastError).w.u8(0);
    faults.failNth(1, 0x0201).readAll();
    faults.op(Op::FailDevice).w.u8(2).u16(0x0007);
    faults.writeFloat(LeftIlluminationVoltage, 40.0f).op(Op::ClearFaults);
    faults.setField(YorinD::Field::DealiasingEnable, 1).failNth(4, 0x0100);
    faults.op(Op::PhaseScaling).w.u8(0);
    faults.op(Op::PhaseScaling).w.u8(0);
    save("sequence", "faults", faults.bytes());

    Program calibration;
    calibration.calibration(calibrationRecords()[0]).op(Op::ReadCalibration).w.u8(200);
    calibration.failNth(5, 0x0033).calibration(calibrationRecords()[1]);
    calibration.op(Op::ReadCalibration).w.u8(0);
    calibration.setField(YorinD::Field::PhaseOffsetDisable, 1);
    calibration.op(Op::ReadCalibration).w.u8(120);
    save("sequence", "calibration", calibration.bytes());

    Program state;
    const Bytes off = fullState(false);
    const Bytes on = fullState(true);
    state.op(Op::WriteState).w.u8(static_cast<std::uint8_t>(off.size())).append(off);
    state.op(Op::ReadState).w.u8(static_cast<std::uint8_t>(on.size())).append(on);
    state.failNth(30, 0x0123);
    state.op(Op::WriteState).w.u8(static_cast<std::uint8_t>(on.size())).append(on);
    state.op(Op::ReadState).w.u8(0xFF).u8(78);
    state.failNth(40, 0x0321);
    state.op(Op::WriteState).w.u8(static_cast<std::uint8_t>(off.size())).append(off);
    state.op(Op::LastError).w.u8(1).u8(4);
    state.failNth(7, 0x0111);
    state.op(Op::ReadState).w.u8(static_cast<std::uint8_t>(off.size())).append(off);
    save("sequence", "state", state.bytes());

    Program lifecycle;
    lifecycle.op(Op::Dispose).readAll().op(Op::Initialize).w.u8(0);
    lifecycle.readAll().op(Op::Initialize).w.u8(3).u8(0).u32(1);
    lifecycle.op(Op::LastError).w.u8(0);
    lifecycle.op(Op::Initialize).w.u8(1);
    lifecycle.readAll().op(Op::Destroy).w.u8(0);
    lifecycle.readAll().op(Op::Create).op(Op::Initialize).w.u8(4).u8(96).u8(0xFF);
    lifecycle.readAll(1).op(Op::Destroy, 1).w.u8(1);
    lifecycle.op(Op::SetRegion).w.u32(0).u32(0).u32(320).u32(240);
    lifecycle.op(Op::Identity);
    save("sequence", "lifecycle", lifecycle.bytes());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    root = argv[1];
    calibrationSeeds();
    rangeSeeds();
    stateSeeds();
    sequenceSeeds();
    return 0;
}
