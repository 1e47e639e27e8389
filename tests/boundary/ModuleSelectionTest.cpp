#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/PluginHost.h"

namespace Lumivor::Testing {
namespace {

// The refusal text built independently of the plug-in's own formatter.
std::string refusalText(const char* what, const ModuleKey& key,
                        const ModuleDescriptor& descriptor) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "%s not found for [ 0x%x, 0x%x, %u ] with [ moduleType: %d, hwVersion: %u ]",
                  what, key.word0, key.word1, key.word2,
                  static_cast<int>(descriptor.components[2].type),
                  static_cast<unsigned>(descriptor.components[2].version));
    return text;
}

struct Variation {
    const char* name;
    std::function<void(ModuleKey&, ModuleDescriptor&)> change;
};
void PrintTo(const Variation& value, std::ostream* os) {
    *os << value.name;
}

std::string nameOf(const ::testing::TestParamInfo<Variation>& info) {
    return info.param.name;
}

// ---- Each field that selection tests, changed on its own, refuses the module ----

class RefusedModule : public PluginHostTest, public ::testing::WithParamInterface<Variation> {};

TEST_P(RefusedModule, AnswersNotSupportedWithTheParametersText) {
    ModuleKey key = Sim::SimulatedModule::moduleKey();
    ModuleDescriptor descriptor = Sim::SimulatedModule::moduleDescriptor();
    GetParam().change(key, descriptor);

    EXPECT_EQ(initializeWith(key, descriptor), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(takeLastError(), refusalText("parameters", key, descriptor));
    // Nothing was installed and nothing went to the bus.
    std::uint32_t unit = 0;
    EXPECT_EQ(api->getUnitType(instance, 3, &unit), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(bus.transactions().size(), 0u);
}

const Variation kRefusals[] = {
    {"Word0", [](auto& k, auto&) { k.word0 = 0x452; }},
    {"Word1", [](auto& k, auto&) { k.word1 = 0x9101; }},
    {"Word2", [](auto& k, auto&) { k.word2 = 1; }},
    {"Word3", [](auto& k, auto&) { k.word3 = 1; }},
    {"HeaderInvalid", [](auto&, auto& d) { d.headerValid = 0; }},
    {"HeaderInvalidWhateverItsValue",
     [](auto&, auto& d) {
         d.headerValid = 0;
         d.headerValue = 0xFFFFFFFF;
     }},
    {"HeaderValue0x101", [](auto&, auto& d) { d.headerValue = 0x101; }},
    {"ModuleAbsent", [](auto&, auto& d) { d.components[2].present = 0; }},
    {"ModuleType", [](auto&, auto& d) { d.components[2].type = 0x103; }},
    {"ModuleVersion", [](auto&, auto& d) { d.components[2].version = 0x2001; }},
    {"SensorBoardAbsent", [](auto&, auto& d) { d.components[1].present = 0; }},
    {"SensorBoardType", [](auto&, auto& d) { d.components[1].type = 0x102; }},
    {"SensorBoardVersion0x1001", [](auto&, auto& d) { d.components[1].version = 0x1001; }},
    // The components are told apart by position, not found by type.
    {"ComponentsSwapped", [](auto&, auto& d) { std::swap(d.components[1], d.components[2]); }},
};
INSTANTIATE_TEST_SUITE_P(EachField, RefusedModule, ::testing::ValuesIn(kRefusals), nameOf);

// ---- What selection ignores, or accepts in more than one form ----

class ServedModule : public PluginHostTest, public ::testing::WithParamInterface<Variation> {};

TEST_P(ServedModule, InitialisesAndInstallsTheCatalogue) {
    ModuleKey key = Sim::SimulatedModule::moduleKey();
    ModuleDescriptor descriptor = Sim::SimulatedModule::moduleDescriptor();
    GetParam().change(key, descriptor);

    ASSERT_EQ(initializeWith(key, descriptor), VEXAR_SUCCESS);
    std::uint32_t unit = 0;
    EXPECT_EQ(api->getUnitType(instance, 12, &unit), VEXAR_SUCCESS);
    EXPECT_EQ(unit, 5u);
    // A successful initialise leaves no text and makes no bus traffic.
    EXPECT_EQ(takeLastError(), "");
    EXPECT_EQ(bus.transactions().size(), 0u);
}

const Variation kServed[] = {
    {"AsSimulated", [](auto&, auto&) {}},
    {"SensorBoardVersion0x1000", [](auto&, auto& d) { d.components[1].version = 0x1000; }},
    {"HeaderValue0x103", [](auto&, auto& d) { d.headerValue = 0x103; }},
    // At least 0x102 as an unsigned number: the top bit does not make it negative.
    {"HeaderValueTopBitSet", [](auto&, auto& d) { d.headerValue = 0x80000000; }},
    {"AnyNonZeroValidFlags",
     [](auto&, auto& d) {
         d.headerValid = 0xFF;
         d.components[1].present = 0x80;
         d.components[2].present = 2;
     }},
    {"UnreadFieldsScrambled",
     [](auto&, auto& d) {
         d.auxValue = 0xDEADBEEF;
         d.auxValid = 0;
         for (int i : {0, 3, 4}) {
             d.components[i] = ComponentIdentity{0xFFFFFFFF, 0xFFFF, 0xFFFF, 0xFFFFFFFF,
                                                 0xFFFF,     0xFFFF, 0,      {1, 2, 3}};
         }
         for (int i : {1, 2}) {
             d.components[i].reservedWord = 0x12345678;
             d.components[i].reservedHalf = 0;
             d.components[i].pad0 = 0xAAAA;
             d.components[i].pad1 = 0x5555;
         }
         d.pad0[0] = d.pad1[2] = 0x77;
     }},
};
INSTANTIATE_TEST_SUITE_P(Accepted, ServedModule, ::testing::ValuesIn(kServed), nameOf);

// ---- The refusal text itself ----

using RefusalText = PluginHostTest;

TEST_F(RefusalText, WritesHexInLowerCaseWord2UnsignedModuleTypeSignedAndReplacesTheLast) {
    ModuleKey earlier = Sim::SimulatedModule::moduleKey();
    earlier.word1 = 1;
    ASSERT_EQ(initializeWith(earlier, Sim::SimulatedModule::moduleDescriptor()),
              VEXAR_NOT_SUPPORTED);
    const ModuleKey key{0xABCDEF01, 0xFFFFFFFF, 0xFFFFFFFF, 0};
    ModuleDescriptor descriptor = Sim::SimulatedModule::moduleDescriptor();
    descriptor.components[2].type = 0xFFFFFFFE;
    descriptor.components[2].version = 0xFFFF;
    ASSERT_EQ(initializeWith(key, descriptor), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(takeLastError(),
              "parameters not found for [ 0xabcdef01, 0xffffffff, 4294967295 ] with [ "
              "moduleType: -2, hwVersion: 65535 ]");
}

// ---- Refusal and re-initialisation keep the instance usable ----

using Reinitialisation = PluginHostTest;

TEST_F(Reinitialisation, RefusalAfterSuccessKeepsTheInstalledTables) {
    ASSERT_EQ(initializeServed(), VEXAR_SUCCESS);
    ModuleDescriptor other = Sim::SimulatedModule::moduleDescriptor();
    other.components[2].version = 0x3000;
    ASSERT_EQ(initializeWith(Sim::SimulatedModule::moduleKey(), other), VEXAR_NOT_SUPPORTED);
    std::uint32_t mode = 0;
    EXPECT_EQ(api->getAccessMode(instance, 15, &mode), VEXAR_SUCCESS);
    EXPECT_EQ(mode, 2u);
}

TEST_F(Reinitialisation, DisposeEmptiesBothTablesAndInitialiseRestoresThem) {
    ASSERT_EQ(initializeServed(), VEXAR_SUCCESS);
    api->dispose(instance);

    std::uint32_t unit = 0, mode = 0;
    std::int32_t integer = 0;
    float real = 0;
    EXPECT_EQ(api->getUnitType(instance, 3, &unit), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(api->getAccessMode(instance, 3, &mode), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(api->readInt(instance, 4, &integer), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(api->writeFloat(instance, 3, 30.0f), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(api->readFloat(instance, 0, &real), VEXAR_NOT_SUPPORTED);
    // Absent identifiers leave no text, and nothing reached the bus.
    EXPECT_EQ(takeLastError(), "");
    EXPECT_EQ(bus.transactions().size(), 0u);

    // Run under the leak checker, initialising twice without a dispose also shows that the
    // first tables are not leaked; a second dispose in a row is harmless.
    ASSERT_EQ(initializeServed(), VEXAR_SUCCESS);
    ASSERT_EQ(initializeServed(), VEXAR_SUCCESS);
    EXPECT_EQ(api->getUnitType(instance, 3, &unit), VEXAR_SUCCESS);
    EXPECT_EQ(unit, 1u);
    api->dispose(instance);
    api->dispose(instance);
    EXPECT_EQ(api->getUnitType(instance, 3, &unit), VEXAR_NOT_SUPPORTED);
}

}  // namespace
}  // namespace Lumivor::Testing
