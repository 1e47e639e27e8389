// Sequences of export calls, as a careless or hostile host might make them, against two
// simulated modules with injected bus faults.
//
// The input is a program: each step is an operation byte followed by its arguments (see
// run()). Besides the sanitizers, every step checks the plug-in's promises: only its own codes
// or a host's code come back; a host's code comes back exactly, from the transaction that
// failed, with nothing after it on the bus; operations that have no business on the bus stay
// off it; the last-error protocol holds.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "bus/Backend.h"
#include "fuzz/FuzzInput.h"
#include "sim/SimulatedModule.h"
#include "vexar_param_interp.h"

namespace {

using Lumivor::Fuzz::InputReader;
using Lumivor::Sim::SimulatedModule;

// The steps of a program: an operation byte (taken modulo Count), a slot byte
// (bit 0 picks one of two instances, each with its own module), then the operation's own
// arguments as run() reads them.
// clang-format off
enum class Op : std::uint8_t {
    Create, Destroy, Initialize, Dispose, Read, Write, UnitAndAccess, Range, WriteState, ReadState,
    WriteCalibration, ReadCalibration, PhaseScaling, LastError, FailNth, FailDevice, ClearFaults,
    ResetModule, SetRegister, Count
};
// clang-format on

constexpr std::int32_t kFaultBase = 20000;  // injected codes: ±(20000 ... 20511)
constexpr std::uint16_t kDevices[] = {0x5C, 0x58, 0x2A, 0x2B, 0x28, 0x21};
constexpr std::size_t kMaxBuffer = 1024;

bool isPluginCode(std::int32_t status) {
    return status == VEXAR_SUCCESS || status == VEXAR_NOT_SUPPORTED ||
           status == VEXAR_INVALID_ARGUMENT || status == VEXAR_OUT_OF_RANGE ||
           status == VEXAR_BUFFER_TOO_SMALL;
}

bool isInjected(std::int32_t status) {
    const std::int32_t magnitude = status < 0 ? -status : status;
    return magnitude >= kFaultBase && magnitude < kFaultBase + 512;
}

std::int32_t faultCode(InputReader& in) {
    const std::uint16_t raw = in.u16();
    const std::int32_t magnitude = kFaultBase + (raw & 0x1FF);
    return (raw & 0x200) != 0 ? -magnitude : magnitude;
}

struct Slot {
    vexar::detail::bus::SimulatedBackend bus;
    SimulatedModule& module = bus.module();
    void* instance = nullptr;
    // Whether the instance holds its tables: only then may anything reach the bus or succeed.
    bool tables = false;
};

// What a failed transaction must do to the result of the operation it happened in.
enum class Faults {
    Propagate,   // the first failure ends the operation with its code
    MayPassOver  // a system-state write may go on past a failed dealiasing-frequency write
};

void checkBus(const Slot& slot, std::int32_t status, Faults faults) {
    FUZZ_CHECK(isPluginCode(status) || isInjected(status));
    if (!slot.tables) {
        // Uninitialised, refused with null callbacks, or disposed: every lookup fails.
        FUZZ_CHECK(slot.bus.transactions().empty());
        FUZZ_CHECK(status == VEXAR_NOT_SUPPORTED || status == VEXAR_INVALID_ARGUMENT ||
                   status == VEXAR_OUT_OF_RANGE);
    }
    const auto& log = slot.bus.transactions();
    std::size_t firstFailure = log.size();
    for (std::size_t i = 0; i < log.size(); ++i) {
        // The plug-in addresses only devices and lengths the module answers.
        FUZZ_CHECK(log[i].result != Lumivor::Sim::kNack);
        if (log[i].result != 0 && firstFailure == log.size()) {
            firstFailure = i;
        }
    }
    if (isInjected(status)) {
        FUZZ_CHECK(!log.empty() && log.back().result == status);
    }
    if (faults == Faults::Propagate && firstFailure != log.size()) {
        FUZZ_CHECK(status == log[firstFailure].result);
        FUZZ_CHECK(firstFailure + 1 == log.size());
    }
}

void checkNoBus(const vexar::detail::bus::Backend& bus) {
    FUZZ_CHECK(bus.transactions().empty());
}

// Whatever size the host claims, with or without a buffer: the text fits where it is copied.
void lastErrorWithAnySize(void* instance, std::int32_t size, bool nullBuffer) {
    std::vector<char> text(static_cast<std::size_t>(std::max(size, 0)));
    const std::int32_t given = size;
    const std::int32_t status =
        getLastError(instance, nullBuffer || text.empty() ? nullptr : text.data(), &size);
    if (status == VEXAR_SUCCESS) {
        FUZZ_CHECK(!text.empty() && std::memchr(text.data(), 0, text.size()) != nullptr);
        FUZZ_CHECK(size == given);
    } else if (status == VEXAR_BUFFER_TOO_SMALL) {
        FUZZ_CHECK(size >= 1 && size > given);
    } else {
        FUZZ_CHECK(status == VEXAR_INVALID_ARGUMENT && given >= 1);
    }
}

std::int32_t initializeSlot(Slot& slot, InputReader& in) {
    ModuleKey key = SimulatedModule::moduleKey();
    ModuleDescriptor descriptor = SimulatedModule::moduleDescriptor();
    RegisterReadCallback read = &vexar::detail::bus::Backend::readCallback;
    RegisterWriteCallback write = &vexar::detail::bus::Backend::writeCallback;
    switch (in.u8() % 5) {
        case 1:
            read = nullptr;
            break;
        case 2:
            write = nullptr;
            break;
        case 3: {
            std::uint32_t* words[] = {&key.word0, &key.word1, &key.word2, &key.word3};
            *words[in.u8() % 4] ^= in.u32();
            break;
        }
        case 4: {
            auto* bytes = reinterpret_cast<std::uint8_t*>(&descriptor);
            bytes[in.u8() % sizeof descriptor] ^= in.u8();
            break;
        }
        default:
            break;
    }
    return initialize(slot.instance, slot.bus.hostContext(), read, write, key, descriptor);
}

std::int32_t readParameter(void* instance, InputReader& in) {
    const std::uint8_t id = in.u8();
    const std::uint8_t how = in.u8();
    const bool null = (how & 0x80) != 0;
    switch (how % 4) {
        case 0: {
            float v = 0.0f;
            return readFloat(instance, id, null ? nullptr : &v);
        }
        case 1: {
            std::int32_t v = 0;
            return readInt(instance, id, null ? nullptr : &v);
        }
        case 2: {
            bool v = false;
            return readBool(instance, id, null ? nullptr : &v);
        }
        default: {
            RegionOfInterestInternal v{};
            return getRegionOfInterest(instance, null ? nullptr : &v);
        }
    }
}

std::int32_t writeParameter(void* instance, InputReader& in) {
    const std::uint8_t id = in.u8();
    switch (in.u8() % 3) {
        case 0:
            return writeFloat(instance, id, in.f32());
        case 1:
            return writeInt(instance, id, in.i32());
        default:
            return writeBool(instance, id, (in.u8() & 1) != 0);
    }
}

std::int32_t parameterRange(void* instance, InputReader& in) {
    const std::uint8_t id = in.u8();
    const std::uint8_t capacity = in.u8();
    std::vector<std::uint8_t> buffer(capacity & 0x7F);
    std::uint32_t size = capacity & 0x7F;
    const bool null = (capacity & 0x80) != 0;
    const std::int32_t status =
        getParameterRange(instance, id, null ? nullptr : buffer.data(), &size);
    if (status == VEXAR_SUCCESS) {
        FUZZ_CHECK(size <= buffer.size());
    }
    return status;
}

std::int32_t stateBuffer(void* instance, InputReader& in, bool write) {
    const std::uint8_t length = in.u8();
    if (length == 0xFF) {
        // No buffer, yet a size.
        const std::uint32_t size = in.u8();
        const std::int32_t status = write ? writeSystemState(instance, nullptr, size)
                                          : readSystemState(instance, nullptr, size);
        FUZZ_CHECK(size == 0 || status == VEXAR_INVALID_ARGUMENT);
        return status;
    }
    std::vector<std::uint8_t> buffer = in.bytes(length);
    const auto size = static_cast<std::uint32_t>(buffer.size());
    if (write) {
        return writeSystemState(instance, buffer.data(), size);
    }
    const std::vector<std::uint8_t> before = buffer;
    const std::int32_t status = readSystemState(instance, buffer.data(), size);
    // Identifier bytes stay where they were; only payloads change.
    if (status == VEXAR_SUCCESS && !before.empty()) {
        FUZZ_CHECK(buffer[0] == before[0]);
    }
    return status;
}

std::int32_t calibrationWrite(void* instance, InputReader& in) {
    const std::vector<std::uint8_t> record = in.bytes(in.u16() % kMaxBuffer);
    return writeCalibration(instance, record.empty() ? nullptr : record.data(),
                            static_cast<std::uint32_t>(record.size()));
}

std::int32_t calibrationRead(void* instance, InputReader& in) {
    const std::uint8_t capacity = in.u8();
    std::vector<std::uint8_t> buffer(capacity);
    std::uint32_t size = capacity;
    const std::int32_t status =
        readCalibration(instance, capacity == 0 ? nullptr : buffer.data(), &size);
    if (status == VEXAR_BUFFER_TOO_SMALL) {
        FUZZ_CHECK(size > capacity);
    }
    return status;
}

void run(Slot (&slots)[2], InputReader& in) {
    const auto op = static_cast<Op>(in.u8() % static_cast<std::uint8_t>(Op::Count));
    Slot& slot = slots[in.u8() & 1];
    SimulatedModule& module = slot.module;
    vexar::detail::bus::Backend& bus = slot.bus;
    void* instance = slot.instance;
    bus.clearLog();
    switch (op) {
        case Op::Create:
            if (slot.instance == nullptr) {
                slot.instance = createInstance();
                slot.tables = false;
                FUZZ_CHECK(slot.instance != nullptr);
            }
            break;
        case Op::Destroy:
            // A careless host may skip dispose; that must not leak either.
            if ((in.u8() & 1) != 0) {
                dispose(instance);
            }
            destroyInstance(instance);
            slot.instance = nullptr;
            slot.tables = false;
            checkNoBus(bus);
            break;
        case Op::Initialize: {
            const std::int32_t status = initializeSlot(slot, in);
            FUZZ_CHECK(status == VEXAR_SUCCESS || status == VEXAR_NOT_SUPPORTED ||
                       status == VEXAR_INVALID_ARGUMENT);
            // A refused module keeps the tables as they were; null callbacks drop them.
            if (status == VEXAR_SUCCESS) {
                slot.tables = true;
            } else if (status == VEXAR_INVALID_ARGUMENT) {
                slot.tables = false;
            }
            checkNoBus(bus);
            break;
        }
        case Op::Dispose:
            dispose(instance);
            slot.tables = false;
            checkNoBus(bus);
            break;
        case Op::Read:
            checkBus(slot, readParameter(instance, in), Faults::Propagate);
            break;
        case Op::Write:
            checkBus(slot, writeParameter(instance, in), Faults::Propagate);
            break;
        case Op::UnitAndAccess: {
            const std::uint8_t id = in.u8();
            std::uint32_t unit = 0;
            std::uint32_t mode = 0;
            const std::int32_t a = getUnitType(instance, id, &unit);
            const std::int32_t b = getAccessMode(instance, id, &mode);
            FUZZ_CHECK(a == b);
            if (instance == nullptr) {
                FUZZ_CHECK(a == VEXAR_INVALID_ARGUMENT);
            } else {
                FUZZ_CHECK(a == (slot.tables && id < 16 ? VEXAR_SUCCESS : VEXAR_NOT_SUPPORTED));
            }
            FUZZ_CHECK(a != VEXAR_SUCCESS || (unit >= 1 && unit <= 6 && mode >= 1 && mode <= 3));
            checkNoBus(bus);
            break;
        }
        case Op::Range: {
            const std::int32_t status = parameterRange(instance, in);
            FUZZ_CHECK(isPluginCode(status));
            FUZZ_CHECK(slot.tables || status == VEXAR_NOT_SUPPORTED ||
                       status == VEXAR_INVALID_ARGUMENT);
            checkNoBus(bus);
            break;
        }
        case Op::WriteState:
            checkBus(slot, stateBuffer(instance, in, true), Faults::MayPassOver);
            break;
        case Op::ReadState: {
            checkBus(slot, stateBuffer(instance, in, false), Faults::Propagate);
            for (const auto& t : bus.transactions()) {
                FUZZ_CHECK(t.direction == vexar::Direction::Read);
            }
            break;
        }
        case Op::WriteCalibration:
            checkBus(slot, calibrationWrite(instance, in), Faults::Propagate);
            break;
        case Op::ReadCalibration: {
            checkBus(slot, calibrationRead(instance, in), Faults::Propagate);
            for (const auto& t : bus.transactions()) {
                FUZZ_CHECK(t.direction == vexar::Direction::Read);
            }
            break;
        }
        case Op::PhaseScaling: {
            float factor = 0.0f;
            checkBus(slot, getPhaseScaling(instance, (in.u8() & 1) != 0 ? nullptr : &factor),
                     Faults::Propagate);
            break;
        }
        case Op::LastError: {
            const std::uint8_t mode = in.u8();
            if (instance == nullptr) {
                std::int32_t size = 0;
                FUZZ_CHECK(getLastError(nullptr, nullptr, &size) == VEXAR_INVALID_ARGUMENT);
            } else {
                // Bit 0 clear: room for any text; set: whatever size the host claims.
                const std::int32_t size = (mode & 1) == 0 ? 127 : static_cast<std::int8_t>(in.u8());
                lastErrorWithAnySize(instance, size, (mode & 2) != 0);
            }
            checkNoBus(bus);
            break;
        }
        case Op::FailNth: {
            const std::size_t n = 1 + in.u8() % 64;
            module.failNthTransaction(n, faultCode(in));
            break;
        }
        case Op::FailDevice: {
            const std::uint16_t device = kDevices[in.u8() % std::size(kDevices)];
            module.failDevice(device, faultCode(in));
            break;
        }
        case Op::ClearFaults:
            module.clearFaults();
            break;
        case Op::ResetModule:
            module.reset();
            break;
        case Op::SetRegister: {
            // Flipping bits keeps most of a sensible image, as a camera left in another state.
            const auto& known = SimulatedModule::knownRegisters();
            const std::uint32_t address = known[in.u8() % known.size()];
            module.setRegisterValue(address, module.registerValue(address) ^ in.u32());
            break;
        }
        case Op::Count:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputReader in(data, size);
    Slot slots[2];
    for (Slot& slot : slots) {
        slot.instance = createInstance();
        FUZZ_CHECK(initialize(slot.instance, slot.bus.hostContext(),
                              &vexar::detail::bus::Backend::readCallback,
                              &vexar::detail::bus::Backend::writeCallback,
                              SimulatedModule::moduleKey(),
                              SimulatedModule::moduleDescriptor()) == VEXAR_SUCCESS);
        slot.tables = true;
    }
    while (!in.done()) {
        run(slots, in);
    }
    for (Slot& slot : slots) {
        dispose(slot.instance);
        destroyInstance(slot.instance);
    }
    return 0;
}
