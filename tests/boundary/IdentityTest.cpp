#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "boundary/PluginHost.h"

namespace Lumivor::Testing {
namespace {

TEST(PluginIdentity, AnswersVersionsAndTypeWithoutAnInstanceEvenToPartlyNullPointers) {
    const Tools::PluginApi& api = pluginLibrary().api();
    std::uint32_t major = 7, minor = 7, patch = 7;
    api.getPluginVersion(&major, &minor, &patch);
    EXPECT_EQ(major, 0u);
    EXPECT_EQ(minor, 1u);
    EXPECT_EQ(patch, 0u);

    std::uint32_t a = 7, b = 7, c = 7, d = 7;
    api.getSDKVersion(&a, &b, &c, &d);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 9u);
    EXPECT_EQ(c, 0u);
    EXPECT_EQ(d, 5u);

    EXPECT_EQ(api.getImplType(), 9);

    // Partly null pointers: the others are still filled in.
    std::uint32_t minor2 = 7, last = 7;
    api.getPluginVersion(nullptr, &minor2, nullptr);
    api.getSDKVersion(nullptr, nullptr, nullptr, &last);
    EXPECT_EQ(minor2, 1u);
    EXPECT_EQ(last, 5u);
}

TEST(PluginIdentity, GuidCrossesTheBoundaryAsTheSixteenStandardBytes) {
    const GUID guid = pluginLibrary().api().getImplGUID();
    std::array<std::uint8_t, 16> bytes{};
    std::memcpy(bytes.data(), &guid, bytes.size());
    const std::array<std::uint8_t, 16> expected{0x41, 0x9D, 0x3B, 0x5E, 0x2A, 0x7C, 0x86, 0x4F,
                                                0xA1, 0xD0, 0x2B, 0x6C, 0x8E, 0x94, 0xF7, 0x13};
    EXPECT_EQ(bytes, expected);
    // The same identity read as the record's fields, {5E3B9D41-7C2A-4F86-A1D0-2B6C8E94F713}.
    EXPECT_EQ(guid.data1, 0x5E3B9D41u);
    EXPECT_EQ(guid.data2, 0x7C2A);
    EXPECT_EQ(guid.data3, 0x4F86);
}

// What the dynamic symbol table of the plug-in defines, by name and nm's symbol class.
std::set<std::string> definedDynamicSymbols(std::set<std::string>* classes) {
    const std::string command = std::string("nm -D --defined-only '") + VEXAR_PLUGIN_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return {};
    }
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (fields >> address >> kind >> name) {
            names.insert(name);
            classes->insert(kind);
        }
    }
    return names;
}

TEST(PluginSymbols, ExportsExactlyTheTwentyFiveFunctionsAndNothingElse) {
    std::set<std::string> classes;
    const std::set<std::string> names = definedDynamicSymbols(&classes);
    const std::set<std::string> expected{
        "getPluginVersion",    "getSDKVersion", "getImplGUID",       "getImplType",
        "createInstance",      "initialize",    "dispose",           "destroyInstance",
        "getUnitType",         "getAccessMode", "getParameterRange", "writeSystemState",
        "readSystemState",     "getLastError",  "writeCalibration",  "readCalibration",
        "getPhaseScaling",     "readInt",       "readFloat",         "readBool",
        "getRegionOfInterest", "writeInt",      "writeFloat",        "writeBool",
        "setRegionOfInterest"};
    ASSERT_EQ(expected.size(), 25u);
    // No C++ (mangled) names, no version-node symbols, no runtime helpers: the linker script
    // leaves only the plain C names.
    EXPECT_EQ(names, expected);
    // All of them are code in the text section.
    EXPECT_THAT(classes, ::testing::ElementsAre("T"));
}

}  // namespace
}  // namespace Lumivor::Testing
