#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/SimulatedModule.h"
#include "support/SimulatedCamera.h"
#include "variant/ParameterCatalogue.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor::Testing {
namespace {

bool sameBytes(const ModuleDescriptor& a, const ModuleDescriptor& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(InterpreterLifecycle, FreshInstanceHoldsTheDefaultDescriptorAndFourPhases) {
    VEXAR_ParamInterp_YORINDImpl interp;
    ModuleDescriptor expected;
    std::memset(&expected, 0, sizeof expected);
    for (ComponentIdentity& component : expected.components) {
        component.reservedHalf = 0x0100;
    }
    EXPECT_TRUE(sameBytes(interp.moduleDescriptor(), expected));
    EXPECT_EQ(interp.getPhaseCount(), 4u);
    EXPECT_EQ(interp.lastError(), "");
}

TEST(InterpreterLifecycle, ValueTypesFollowTheCatalogueAndTheRegionsIsKnownWithoutOne) {
    VEXAR_ParamInterp_YORINDImpl interp;
    std::uint32_t type = 0;
    EXPECT_EQ(interp.getValueType(13, &type), 0);
    EXPECT_EQ(type, 4u);
    type = 9;
    EXPECT_EQ(interp.getValueType(3, &type), Error::NotSupported);
    EXPECT_EQ(type, 9u);

    Sim::SimulatedModule module;
    ASSERT_EQ(initialiseOn(interp, module), 0);
    // 1 float, 2 int, 3 bool, 4 region of interest, by identifier 0..15.
    const std::uint32_t expected[16] = {1, 1, 1, 1, 2, 1, 1, 3, 1, 2, 2, 2, 1, 4, 3, 2};
    for (std::uint32_t id = 0; id < 16; ++id) {
        ASSERT_EQ(interp.getValueType(id, &type), 0) << id;
        EXPECT_EQ(type, expected[id]) << id;
    }
    EXPECT_EQ(interp.getValueType(16, &type), Error::NotSupported);
    interp.dispose();
    EXPECT_EQ(interp.getValueType(3, &type), Error::NotSupported);
    EXPECT_EQ(interp.getValueType(13, &type), 0);
}

TEST(InterpreterLifecycle, RefusedInitialiseStillStoresContextAndDescriptor) {
    VEXAR_ParamInterp_YORINDImpl interp;
    Sim::SimulatedModule module;
    ModuleDescriptor descriptor = Sim::SimulatedModule::moduleDescriptor();
    descriptor.components[2].version = 0x2001;
    descriptor.auxValue = 0x12345678;
    ASSERT_EQ(initialiseOn(interp, module, descriptor), Error::NotSupported);
    EXPECT_TRUE(sameBytes(interp.moduleDescriptor(), descriptor));
    EXPECT_EQ(interp.accessContext().hostContext, module.hostContext());
    EXPECT_EQ(interp.accessContext().readCallback, &Sim::SimulatedModule::readCallback);
    EXPECT_EQ(interp.accessContext().writeCallback, &Sim::SimulatedModule::writeCallback);
    EXPECT_EQ(interp.accessContext().interpreter, &interp);
}

TEST(InterpreterLifecycle, InitialiseLeavesPhaseCountAndAnEarlierTextAlone) {
    VEXAR_ParamInterp_YORINDImpl interp;
    Sim::SimulatedModule module;
    interp.setPhaseCount(6);
    interp.setLastError("earlier");
    ASSERT_EQ(initialiseOn(interp, module), 0);
    EXPECT_EQ(interp.getPhaseCount(), 6u);
    EXPECT_EQ(interp.lastError(), "earlier");
    interp.dispose();
    EXPECT_EQ(interp.getPhaseCount(), 6u);
}

TEST(InterpreterLifecycle, NullCallbackLeavesNoFieldReachable) {
    VEXAR_ParamInterp_YORINDImpl interp;
    Sim::SimulatedModule module;
    ASSERT_EQ(initialiseOn(interp, module), 0);
    ASSERT_EQ(interp.initialize(module.hostContext(), &Sim::SimulatedModule::readCallback, nullptr,
                                Sim::SimulatedModule::moduleKey(),
                                Sim::SimulatedModule::moduleDescriptor()),
              Error::InvalidArgument);
    // A write here would have called the null write callback.
    EXPECT_EQ(interp.writeSubRegister(0, 0), Error::NotSupported);
    std::uint32_t value = 0;
    EXPECT_EQ(interp.readSubRegister(0, &value), Error::NotSupported);
    EXPECT_EQ(interp.lastError(), "register callbacks must not be null");
    EXPECT_EQ(module.transactionCount(), 0u);
}

// An interpreter whose parameter table is served but whose register map is not: the second
// selection step is the only way to see its text.
class RegisterlessInterpreter final : public VEXARParameterInterpreter {
  public:
    ErrorCode writeSystemState(const std::uint8_t*, std::uint32_t) override { return 0; }
    ErrorCode readSystemState(std::uint8_t*, std::uint32_t) override { return 0; }
    ErrorCode writeCalibration(const std::uint8_t*, std::uint32_t) override { return 0; }
    ErrorCode readCalibration(std::uint8_t*, std::uint32_t*) override { return 0; }
    ErrorCode getPhaseScaling(float*) override { return 0; }

  protected:
    ErrorCode selectParameterTable(ModuleKey, ModuleDescriptor, ParameterTable& table) override {
        ParameterTable fresh = YorinD::buildParameterTable();
        table.swap(fresh);
        return Error::Success;
    }
    ErrorCode selectSubRegisterMap(ModuleKey, ModuleDescriptor, SubRegisterMap&) override {
        return Error::NotSupported;
    }
};

TEST(InterpreterLifecycle, RefusedRegisterMapReportsItsOwnTextAndKeepsTheParameters) {
    RegisterlessInterpreter interp;
    Sim::SimulatedModule module;
    ModuleKey key{0x451, 0x9100, 7, 0};
    ModuleDescriptor descriptor = Sim::SimulatedModule::moduleDescriptor();
    descriptor.components[2].type = 0x80000000;
    EXPECT_EQ(initialiseOn(interp, module, descriptor, key), Error::NotSupported);
    EXPECT_EQ(interp.lastError(),
              "registers not found for [ 0x451, 0x9100, 7 ] with [ moduleType: -2147483648, "
              "hwVersion: 8192 ]");
    // The parameter table of the first step stays installed, the register map stays empty.
    std::uint32_t unit = 0;
    EXPECT_EQ(interp.getUnitType(3, &unit), 0);
    std::uint32_t maximum = 0;
    EXPECT_EQ(interp.getSubRegisterMaximum(0, &maximum), Error::NotSupported);
    interp.dispose();
}

// ---- Typed access by identifier ----

using TypedAccess = SimulatedCameraTest;

// The boundary checks the other mismatches; a region is only reachable from inside.
TEST_F(TypedAccess, RegionValueForAParameterOfAnotherTypeIsRefusedWithItsText) {
    RegionOfInterestInternal roi{1, 2, 3, 4};
    EXPECT_EQ(interp.readValue(3, &roi), Error::InvalidArgument);
    EXPECT_EQ(interp.lastError(), "failed to read parameter 3");
    EXPECT_EQ(interp.writeValue(4, roi), Error::InvalidArgument);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 4");
    EXPECT_EQ(roi, (RegionOfInterestInternal{1, 2, 3, 4}));
    EXPECT_EQ(module.transactionCount(), 0u);
}

TEST_F(TypedAccess, MissingOperationOfTheRightTypeKeepsTheParametersOwnCode) {
    float real = 1.5f;
    int integer = 3;
    EXPECT_EQ(interp.readValue(1, &real), Error::NotSupported);
    EXPECT_EQ(real, 1.5f);
    EXPECT_EQ(interp.lastError(), "failed to read parameter 1");
    EXPECT_EQ(interp.writeValue(15, integer), Error::NotSupported);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 15");
}

TEST_F(TypedAccess, AbsentIdentifierKeepsTheTextOfTheLastFailure) {
    float real = 0;
    ASSERT_EQ(interp.readValue(0, &real), Error::NotSupported);
    ASSERT_EQ(interp.readValue(2, &real), Error::NotSupported);
    EXPECT_EQ(interp.lastError(), "failed to read parameter 2");  // replaced, not appended
    EXPECT_EQ(interp.readValue(99, &real), Error::NotSupported);
    EXPECT_EQ(interp.writeValue(16, real), Error::NotSupported);
    EXPECT_EQ(interp.writeValue(0xFFFFFFFFu, real), Error::NotSupported);
    EXPECT_EQ(interp.lastError(), "failed to read parameter 2");
}

}  // namespace
}  // namespace Lumivor::Testing
