// Every bus transaction of every operation that reaches the bus is made to fail in turn. The
// host's code must come back exactly, nothing may reach the bus after the failure, the
// operation must leave its own last-error text, and nothing may leak.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "host/Format.h"
#include "reliability/Rig.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Testing {
namespace {

namespace Field = YorinD::Field;

// What the last-error text holds before each operation; an operation that defines no text of
// its own must leave it there.
const std::string kEarlierText = "text of an earlier failure";

// A code no layer of the plug-in produces itself, different for every position and of both
// signs, so that a code that came back can only be the injected one.
std::int32_t faultCode(std::size_t position) {
    const auto magnitude = static_cast<std::int32_t>(7000 + position);
    return position % 2 == 1 ? -magnitude : magnitude;
}

struct BusOperation {
    std::string name;
    // Brings the module to the state the operation needs for its longest path; its traffic
    // is not part of the operation.
    std::function<void(Rig&)> prepare;
    std::function<ErrorCode(Interp&)> run;
    // The last-error text that a failure at the given transaction leaves, or nothing when the
    // operation sets no text of its own.
    std::function<std::optional<std::string>(std::size_t position)> failureText;
    // Positions whose failure the operation passes over and goes on; none when empty.
    std::function<bool(std::size_t position)> passedOver = nullptr;
};

void PrintTo(const BusOperation& operation, std::ostream* os) {
    *os << operation.name;
}

std::string withId(const char* text, std::uint32_t id) {
    return Utils::Format(text) % static_cast<int>(id);
}

auto constantText(std::string text) {
    return [text](std::size_t) { return std::optional<std::string>(text); };
}

std::optional<std::string> noText(std::size_t) {
    return std::nullopt;
}

void nothingToPrepare(Rig&) {}

std::uint32_t accessMode(std::uint32_t id) {
    Rig rig;
    std::uint32_t mode = 0;
    EXPECT_EQ(rig.interp.getAccessMode(id, &mode), 0);
    return mode;
}

// Parameters whose read is a constant of the module and never reaches the bus.
constexpr std::uint32_t kConstantReads[] = {NativeFrameFormat};

bool isConstantRead(std::uint32_t id) {
    return std::find(std::begin(kConstantReads), std::end(kConstantReads), id) !=
           std::end(kConstantReads);
}

// The dealiasing frequency is a ratio of the modulation frequency, which must be set first.
void preparationFor(std::uint32_t id, Rig& rig) {
    if (id == DealiasingFrequency) {
        ASSERT_EQ(
            writeParameter(rig.interp, ModulationFrequency, sampleValues().at(ModulationFrequency)),
            0);
    }
}

std::vector<BusOperation> parameterOperations() {
    std::vector<BusOperation> operations;
    for (const auto& [id, sample] : sampleValues()) {
        const std::uint32_t mode = accessMode(id);
        const auto prepare = [id](Rig& rig) { preparationFor(id, rig); };
        if (mode != code(AccessMode::WriteOnly) && !isConstantRead(id)) {
            operations.push_back({"Read" + std::to_string(id), prepare,
                                  [id, sample](Interp& interp) {
                                      ParameterValue value = sample;
                                      return readParameter(interp, id, value);
                                  },
                                  constantText(withId("failed to read parameter %", id))});
        }
        if (mode != code(AccessMode::ReadOnly)) {
            operations.push_back(
                {"Write" + std::to_string(id), prepare,
                 [id, sample](Interp& interp) { return writeParameter(interp, id, sample); },
                 constantText(withId("failed to write parameter %", id))});
        }
    }
    return operations;
}

std::vector<BusOperation> calibrationAndScalingOperations() {
    const auto writeRecord = [](std::vector<std::uint8_t> bytes) {
        return [bytes](Interp& interp) {
            return interp.writeCalibration(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        };
    };
    const auto readRecord = [](Interp& interp) {
        std::vector<std::uint8_t> buffer(256);
        auto size = static_cast<std::uint32_t>(buffer.size());
        return interp.readCalibration(buffer.data(), &size);
    };
    const auto phaseScaling = [](Interp& interp) {
        float factor = 0.0f;
        return interp.getPhaseScaling(&factor);
    };
    return {
        {"WriteCalibrationCompensated", nothingToPrepare,
         writeRecord(calibrationRecord(1000, -24, 3, {25.0f, 40.0f}, {1.5f, -2.0f})), noText},
        {"WriteCalibrationUncompensated", nothingToPrepare,
         writeRecord(calibrationRecord(-8, 16, 0, {}, {})), noText},
        {"ReadCalibrationEverythingEnabled", nothingToPrepare, readRecord, noText},
        {"ReadCalibrationEverythingDisabled",
         [](Rig& rig) {
             rig.module.setField(Field::PhaseOffsetDisable, 1);
             rig.module.setField(Field::CompensationDisable, 1);
         },
         readRecord, noText},
        {"PhaseScalingWithoutDealiasing", nothingToPrepare, phaseScaling, noText},
        {"PhaseScalingWithDealiasing",
         [](Rig& rig) { rig.module.setField(Field::DealiasingEnable, 1); }, phaseScaling, noText},
    };
}

using Accesses = std::vector<std::tuple<Sim::Direction, std::uint16_t, std::uint8_t>>;

Accesses accessesOf(const Sim::SimulatedModule& module, std::size_t count) {
    Accesses out;
    for (std::size_t i = 0; i < count && i < module.transactions().size(); ++i) {
        const Sim::Transaction& t = module.transactions()[i];
        out.emplace_back(t.direction, t.device, t.reg);
    }
    return out;
}

class FaultSweep : public ::testing::TestWithParam<BusOperation> {
  protected:
    // The operation once on an untouched module: it must succeed, leave the text alone and
    // reach the bus. Returns its transactions.
    Accesses cleanRun() {
        const BusOperation& operation = GetParam();
        Rig rig;
        operation.prepare(rig);
        rig.module.clearLog();
        rig.interp.setLastError(kEarlierText);
        EXPECT_EQ(operation.run(rig.interp), 0);
        EXPECT_EQ(rig.interp.lastError(), kEarlierText);
        return accessesOf(rig.module, rig.module.transactionCount());
    }
};

TEST_P(FaultSweep, EachTransactionFailsWithTheHostsCodeAndNothingFollows) {
    const BusOperation& operation = GetParam();
    const Accesses clean = cleanRun();
    ASSERT_GT(clean.size(), 0u);

    std::size_t passedOver = 0;
    for (std::size_t position = 1; position <= clean.size(); ++position) {
        SCOPED_TRACE("failing transaction " + std::to_string(position) + " of " +
                     std::to_string(clean.size()));
        Rig rig;
        operation.prepare(rig);
        rig.module.clearLog();
        rig.interp.setLastError(kEarlierText);
        const std::int32_t injected = faultCode(position);
        rig.module.failNthTransaction(position, injected);
        const ErrorCode status = operation.run(rig.interp);

        if (operation.passedOver && operation.passedOver(position)) {
            // The operation goes on past the failure and ends as its remaining steps do.
            EXPECT_EQ(status, Error::Success);
            EXPECT_GT(rig.module.transactionCount(), position);
            EXPECT_EQ(rig.module.transactions()[position - 1].result, injected);
            EXPECT_EQ(rig.interp.lastError(), operation.failureText(position));
            ++passedOver;
            continue;
        }
        EXPECT_EQ(status, injected);
        ASSERT_EQ(rig.module.transactionCount(), position) << rig.module.describeLog();
        EXPECT_EQ(rig.module.transactions().back().result, injected);
        EXPECT_EQ(accessesOf(rig.module, position),
                  Accesses(clean.begin(), clean.begin() + position))
            << "the failure changed what went before it";
        EXPECT_EQ(rig.interp.lastError(), operation.failureText(position).value_or(kEarlierText));
    }
    if (operation.passedOver) {
        EXPECT_GT(passedOver, 0u) << "no failure was passed over";
    }
    RecordProperty("faults_injected", static_cast<int>(clean.size()));
    expectNoLeaks();
}

// The system state goes parameter by parameter through the typed access, in a fixed order. A
// failure names the parameter being written or read: which one a transaction belongs to
// follows from making the same typed calls one by one on a module of its own.
constexpr ParameterType kStateWriteOrder[] = {
    MicroFrameNumber, IlluminationMode,        MixingSignalsMode,        RawOutputMode,
    MixingVoltage,    LeftIlluminationVoltage, RightIlluminationVoltage, RegionOfInterest,
    FrameRate,        ModulationFrequency,     DealiasingFrequency,      DealiasingOn,
    IntegrationTime,
};
constexpr ParameterType kStateReadOrder[] = {
    NativeFrameFormat, MicroFrameNumber,    IlluminationMode,    MixingSignalsMode,
    RawOutputMode,     RegionOfInterest,    ModulationFrequency, IntegrationTime,
    FrameRate,         DealiasingFrequency, DealiasingOn,
};

struct Segment {
    std::uint32_t id;
    std::size_t last;  // position of the parameter's last transaction
};

std::vector<Segment> segments(std::span<const ParameterType> order, bool write, bool dealiasing) {
    Rig rig;
    rig.interp.setPhaseCount(dealiasing ? 6 : 4);
    std::vector<Segment> out;
    for (const ParameterType id : order) {
        ParameterValue value = sampleValues().at(id);
        if (id == DealiasingOn) {
            value = dealiasing;
        }
        if (write) {
            writeParameter(rig.interp, id, value);
        } else {
            readParameter(rig.interp, id, value);
        }
        out.push_back({id, rig.module.transactionCount()});
    }
    return out;
}

std::uint32_t parameterAt(const std::vector<Segment>& parts, std::size_t position) {
    for (const Segment& part : parts) {
        if (position <= part.last) {
            return part.id;
        }
    }
    ADD_FAILURE() << "transaction " << position << " belongs to no parameter";
    return ~0u;
}

BusOperation stateWrite(bool dealiasing) {
    const std::vector<std::uint8_t> state = sampleState(dealiasing);
    const auto partsOf = [dealiasing] { return segments(kStateWriteOrder, true, dealiasing); };
    BusOperation operation{
        dealiasing ? "WriteStateDealiasingOn" : "WriteStateDealiasingOff", nothingToPrepare,
        [state](Interp& interp) {
            return interp.writeSystemState(state.data(), static_cast<std::uint32_t>(state.size()));
        },
        [partsOf](std::size_t position) {
            return std::optional<std::string>(
                withId("failed to write parameter %", parameterAt(partsOf(), position)));
        },
        nullptr};
    // With dealiasing off a failed dealiasing-frequency write is passed over.
    if (!dealiasing) {
        operation.passedOver = [partsOf](std::size_t position) {
            return parameterAt(partsOf(), position) == DealiasingFrequency;
        };
    }
    return operation;
}

BusOperation stateRead() {
    const std::vector<std::uint8_t> state = sampleState(true);
    return {"ReadState", nothingToPrepare,
            [state](Interp& interp) {
                std::vector<std::uint8_t> buffer = state;
                const ErrorCode status = interp.readSystemState(
                    buffer.data(), static_cast<std::uint32_t>(buffer.size()));
                if (status != Error::Success) {
                    EXPECT_EQ(buffer, state) << "a failed read changed the caller's buffer";
                }
                return status;
            },
            [](std::size_t position) {
                return std::optional<std::string>(
                    withId("failed to read parameter %",
                           parameterAt(segments(kStateReadOrder, false, false), position)));
            },
            nullptr};
}

INSTANTIATE_TEST_SUITE_P(Parameters, FaultSweep, ::testing::ValuesIn(parameterOperations()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(CalibrationAndScaling, FaultSweep,
                         ::testing::ValuesIn(calibrationAndScalingOperations()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(SystemState, FaultSweep,
                         ::testing::Values(stateWrite(true), stateWrite(false), stateRead()),
                         [](const auto& info) { return info.param.name; });

// Ranges and the native frame format are fixed numbers: asking for them must not reach the
// bus, so a fault armed before is still waiting for the next transaction afterwards.
TEST(BusFreeOperations, LeaveTheBusAndAnArmedFaultUntouched) {
    std::vector<std::pair<std::string, std::function<ErrorCode(Interp&)>>> operations;
    for (std::uint32_t id = 0; id < 16; ++id) {
        operations.emplace_back("range of parameter " + std::to_string(id), [id](Interp& interp) {
            std::vector<std::uint8_t> buffer(64);
            auto size = static_cast<std::uint32_t>(buffer.size());
            const ErrorCode status = interp.getParameterRange(id, buffer.data(), &size);
            return status == Error::NotSupported ? Error::Success : status;
        });
    }
    for (const std::uint32_t id : kConstantReads) {
        operations.emplace_back("read of parameter " + std::to_string(id), [id](Interp& interp) {
            ParameterValue value = sampleValues().at(id);
            return readParameter(interp, id, value);
        });
    }
    for (const auto& [name, run] : operations) {
        SCOPED_TRACE(name);
        Rig rig;
        rig.module.failNthTransaction(1, faultCode(1));
        EXPECT_EQ(run(rig.interp), Error::Success);
        EXPECT_EQ(rig.module.transactionCount(), 0u);

        float factor = 0.0f;
        EXPECT_EQ(rig.interp.getPhaseScaling(&factor), faultCode(1));
    }
    expectNoLeaks();
}

}  // namespace
}  // namespace Lumivor::Testing
