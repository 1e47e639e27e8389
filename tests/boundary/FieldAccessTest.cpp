#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/FieldAccess.h"
#include "host/ParameterTypes.h"
#include "sim/SimulatedModule.h"
#include "variant/SubRegisterTable.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor {
namespace {

namespace Field = YorinD::Field;

constexpr std::int32_t kBusFault = -42;
constexpr std::int32_t kLaterFault = -43;

class FieldAccessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(interpreter.initialize(module.hostContext(), &Sim::SimulatedModule::readCallback,
                                         &Sim::SimulatedModule::writeCallback,
                                         Sim::SimulatedModule::moduleKey(),
                                         Sim::SimulatedModule::moduleDescriptor()),
                  Error::Success);
        module.clearLog();
    }

    Sim::SimulatedModule module;
    VEXAR_ParamInterp_YORINDImpl interpreter;
};

// The first failure ends the conversion: nothing after it reaches the bus or the last-error
// text, reads give 0 rather than what the module holds, and neither a later fault nor a
// refusal replaces the code.
TEST_F(FieldAccessTest, AfterTheFirstFailureNothingRunsAndItsCodeStays) {
    module.setField(Field::ModeShared, 1);
    module.setField(Field::MixingSignalsSelect, 1);
    module.setField(Field::StreamEnable, 1);
    FieldAccess fields(interpreter);
    EXPECT_EQ(fields.read(Field::ModeShared), 1u);
    ASSERT_TRUE(fields.ok());

    module.failNthTransaction(1, kBusFault);
    EXPECT_EQ(fields.read(Field::MixingSignalsSelect), 0u);
    EXPECT_FALSE(fields.ok());
    EXPECT_EQ(fields.status(), kBusFault);
    const std::size_t transactions = module.transactionCount();
    const std::string lastError = interpreter.lastError();

    module.failNthTransaction(1, kLaterFault);
    EXPECT_EQ(fields.read(Field::StreamEnable), 0u);
    fields.write(Field::StreamEnable, 0);
    EXPECT_EQ(fields.maximum(Field::StreamEnable), 0u);
    EXPECT_EQ(fields.readValue<int>(ParameterType::MicroFrameNumber), 0);
    fields.writeValue<int>(ParameterType::MicroFrameNumber, 2);
    fields.fail(Error::OutOfRange);

    EXPECT_EQ(fields.status(), kBusFault);
    EXPECT_EQ(module.transactionCount(), transactions);
    EXPECT_EQ(interpreter.lastError(), lastError);
    EXPECT_EQ(module.field(Field::StreamEnable), 1u);
}

// Fields written before a failed write stay written; the failing one and those after it are
// left as they were.
TEST_F(FieldAccessTest, AFailedWriteKeepsWhatWentBeforeIt) {
    FieldAccess fields(interpreter);
    fields.write(Field::ModeShared, 1);
    module.failNthTransaction(1, kBusFault);
    fields.write(Field::MixingSignalsSelect, 1);
    fields.write(Field::StreamEnable, 1);
    EXPECT_EQ(fields.status(), kBusFault);
    EXPECT_EQ(module.field(Field::ModeShared), 1u);
    EXPECT_EQ(module.field(Field::MixingSignalsSelect), 0u);
    EXPECT_EQ(module.field(Field::StreamEnable), 0u);
}

// A failed typed read names its own parameter; the one after it is never asked.
TEST_F(FieldAccessTest, ATypedReadFailsWithTheParameterItNames) {
    FieldAccess fields(interpreter);
    module.failNthTransaction(1, kBusFault);
    EXPECT_EQ(fields.readValue<float>(ParameterType::FrameRate), 0.0f);
    EXPECT_EQ(fields.readValue<bool>(ParameterType::DealiasingOn), false);
    EXPECT_EQ(fields.status(), kBusFault);
    EXPECT_EQ(module.transactionCount(), 1u);
    EXPECT_EQ(interpreter.lastError(),
              "failed to read parameter " + std::to_string(ParameterType::FrameRate));
}

// A refusal by the conversion stops the accesses after it, and the first refusal is the answer.
TEST_F(FieldAccessTest, ARefusalEndsTheConversionLikeAFailedAccess) {
    FieldAccess fields(interpreter);
    fields.fail(Error::OutOfRange);
    fields.fail(Error::InvalidArgument);
    fields.write(Field::StreamEnable, 1);
    EXPECT_EQ(fields.status(), Error::OutOfRange);
    EXPECT_EQ(module.transactionCount(), 0u);
    EXPECT_EQ(module.field(Field::StreamEnable), 0u);
}

}  // namespace
}  // namespace Lumivor
