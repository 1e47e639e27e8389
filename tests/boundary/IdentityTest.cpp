#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/PluginHost.h"

namespace Lumivor::Testing {
namespace {

TEST(PluginIdentity, AnswersVersionsAndTypeWithoutAnInstanceEvenToPartlyNullPointers) {
    const vexar::detail::PluginApi& api = pluginLibrary().api();
    using Words3 = std::array<std::uint32_t, 3>;
    using Words4 = std::array<std::uint32_t, 4>;
    Words3 plugin{7, 7, 7};
    Words4 sdk{7, 7, 7, 7};
    api.getPluginVersion(&plugin[0], &plugin[1], &plugin[2]);
    api.getSDKVersion(&sdk[0], &sdk[1], &sdk[2], &sdk[3]);
    EXPECT_EQ(plugin, (Words3{0, 1, 0}));
    EXPECT_EQ(sdk, (Words4{1, 9, 0, 5}));
    EXPECT_EQ(api.getImplType(), 9);

    // Partly null pointers: the others are still filled in.
    plugin.fill(7);
    sdk.fill(7);
    api.getPluginVersion(nullptr, &plugin[1], nullptr);
    api.getSDKVersion(nullptr, nullptr, nullptr, &sdk[3]);
    EXPECT_EQ(plugin, (Words3{7, 1, 7}));
    EXPECT_EQ(sdk, (Words4{7, 7, 7, 5}));
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
    std::set<std::string> names;
    for (const std::string& line : nmLines("-D --defined-only")) {
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

// nm's demangled names with the standard library's spellings shortened to what a reader writes.
std::string shortened(std::string name) {
    const std::pair<const char*, const char*> spellings[] = {
        {"std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >",
         "std::string"},
        {"std::vector<int, std::allocator<int> >", "std::vector<int>"},
        {"std::vector<float, std::allocator<float> >", "std::vector<float>"},
        {"std::vector<unsigned char, std::allocator<unsigned char> >",
         "std::vector<unsigned char>"},
    };
    for (const auto& [long_, short_] : spellings) {
        for (auto at = name.find(long_); at != std::string::npos; at = name.find(long_)) {
            name.replace(at, std::strlen(long_), short_);
        }
    }
    return name;
}

// The plug-in must load beside the SDK's own host library, so every host-library function it
// imports must have exactly the signature that library exports (a by-value parameter mangles
// differently from a reference). The first list is the host library's interface as it is
// documented for plug-ins; the second holds what that leaves to us and we have checked.
TEST(PluginSymbols, ImportsFromTheHostLibraryOnlyItsDocumentedSignatures) {
    std::set<std::string> imported;
    // Functions only: a sanitizer build also imports the type information its checks use.
    for (const std::string& line : nmLines("-D --undefined-only -C")) {
        const auto name = line.find_first_not_of(' ', line.find(" U ") + 3);
        if (name != std::string::npos && line.compare(name, 9, "Lumivor::") == 0) {
            imported.insert(shortened(line.substr(name)));
        }
    }
    const std::set<std::string> documented{
        "Lumivor::Utils::Format::operator%(int)",
        "Lumivor::Utils::Format::operator%(unsigned int)",
        "Lumivor::Utils::Format::operator%(unsigned short)",
        "Lumivor::Utils::Format::operator std::string() const",
        "Lumivor::Utils::LVLogger::instance()",
        "Lumivor::Utils::LVLogger::info(std::string)",
        "Lumivor::Utils::LVLogger::release()",
        "Lumivor::Utils::gcd(int, int)",
        "Lumivor::ParameterRangeInternal<int>::ParameterRangeInternal("
        "Lumivor::ParameterRangeTypeInternal, int, int, int)",
        "Lumivor::ParameterRangeInternal<float>::ParameterRangeInternal("
        "Lumivor::ParameterRangeTypeInternal, float, float, float)",
        "Lumivor::ParameterDiscreteSetInternal<int>::ParameterDiscreteSetInternal("
        "std::vector<int>)",
        "Lumivor::RegionOfInterestRangeInternal::RegionOfInterestRangeInternal("
        "Lumivor::ParameterRangeInternal<int>*, Lumivor::ParameterRangeInternal<int>*, "
        "Lumivor::ParameterRangeInternal<int>*, Lumivor::ParameterRangeInternal<int>*)",
        "Lumivor::ROM::Configuration::Configuration()",
        "Lumivor::ROM::Configuration::serialize() const",
        "Lumivor::ROM::Configuration::phaseOffset1(Lumivor::ROM::PhaseOffset)",
        "Lumivor::ROM::Configuration::phaseOffset2(Lumivor::ROM::PhaseOffset)",
        "Lumivor::ROM::Configuration::temperatureCalibration1("
        "Lumivor::ROM::TemperatureCalibrationData)",
        "Lumivor::ROM::Configuration::temperatureCompensation1("
        "Lumivor::ROM::TemperatureCompensationData)",
        "Lumivor::ROM::TemperatureCalibrationData::setValues(std::vector<float>)",
        "Lumivor::ROM::TemperatureCompensationData::setValues(std::vector<float>)",
    };
    const std::set<std::string> ourChoice{
        "Lumivor::Utils::Format::Format(std::string)",
        "Lumivor::ROM::Configuration::deserialize(std::vector<unsigned char> const&, unsigned "
        "short, Lumivor::ROM::Object* (*)(void*, Lumivor::ROM::ContainerSectionType, unsigned "
        "short), void*)",
        "Lumivor::ROM::Configuration::phaseOffset1()",
        "Lumivor::ROM::Configuration::phaseOffset2()",
        "Lumivor::ROM::Configuration::temperatureCalibration1()",
        "Lumivor::ROM::Configuration::temperatureCompensation1()",
        "Lumivor::ROM::Configuration::~Configuration()",
    };
    std::set<std::string> expected = documented;
    expected.insert(ourChoice.begin(), ourChoice.end());
    EXPECT_THAT(imported, ::testing::ContainerEq(expected));
}

}  // namespace
}  // namespace Lumivor::Testing
