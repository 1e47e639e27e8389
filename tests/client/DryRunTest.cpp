// A dry run against the write it stands for: on each backend, from a module left away from
// power-on, the real write must make the dry run's transactions and leave its values.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "sim/SimulatedModule.h"
#include "tests/ModuleBus.h"
#include "vexar/camera.hpp"
#include "vexar/json.hpp"
#include "vexar/options.hpp"

namespace {
namespace fs = std::filesystem;

enum class Where { Sim, Image, Bus };

struct Case {
    const char* name;
    Where where;
    const char* profile;  // the members written
    // Fails the transaction in the middle of the write: the write must stop there, having made
    // the dry run's transactions up to it.
    bool fault = false;
    // The members set first, and the state saved then loaded whole instead.
    bool saved = false;
};

const Case kCases[] = {
    {"SomeMembersOnTheSimulatedModule", Where::Sim, R"({"FrameRate": 20, "IntegrationTime": 0.3})"},
    {"FramesOnAnImage", Where::Image,
     R"({"MicroFrameNumber": 2, "FrameRate": 10, "RawOutputMode": 3})"},
    {"RegionAndVoltagesOnABus", Where::Bus,
     R"({"RegionOfInterest": {"x": 16, "y": 8, "width": 128, "height": 100},
         "LeftIlluminationVoltage": 70, "MixingVoltage": 20.5})"},
    {"DealiasingOffOnABus", Where::Bus, R"({"DealiasingOn": false, "ModulationFrequency": 30})"},
    {"FaultInTheMiddleOnABus", Where::Bus, R"({"DealiasingOn": false, "FrameRate": 25})", true},
    {"SavedStateOnAnImage", Where::Image, R"({"DealiasingOn": false, "FrameRate": 25})", false,
     true},
};

class DryRun : public ::testing::TestWithParam<Case> {
  protected:
    vexar::Camera open() {
        vexar::OpenOptions options;
        options.plugin = VEXAR_PLUGIN_PATH;
        switch (GetParam().where) {
            case Where::Sim:
                return vexar::Camera::open("sim", options);
            case Where::Image:
                return vexar::Camera::open("image:" + image_.string(), options);
            case Where::Bus:
                break;
        }
        return vexar::Camera::open(std::make_unique<vexar::test::ModuleBus>(&module_), options);
    }
    // Away from power-on: values set, dealiasing on, and a register changed past the plug-in.
    void leaveAwayFromPowerOn(vexar::Camera& camera) {
        for (const auto& [name, value] :
             std::vector<std::pair<const char*, vexar::Value>>{{"ModulationFrequency", 24.0f},
                                                               {"DealiasingFrequency", 12.0f},
                                                               {"RightIlluminationVoltage", 33.0f},
                                                               {"LeftIlluminationVoltage", 45.0f},
                                                               {"MixingVoltage", 60.0f},
                                                               {"DealiasingOn", true},
                                                               {"FrameRate", 15.0f}}) {
            camera.set(name, value);
        }
        camera.writeRegister(0x1f0, 0x00abcd);
    }

    Lumivor::Sim::SimulatedModule module_;
    fs::path image_ = fs::temp_directory_path() / ("vexar-dryrun-" + std::to_string(getpid()));
    void TearDown() override { fs::remove(image_); }
};

TEST_P(DryRun, TheWriteMakesItsTransactionsAndLeavesItsValues) {
    vexar::Camera camera = open();
    leaveAwayFromPowerOn(camera);
    vexar::Profile profile;
    profile.parameters = vexar::settingsFromJson(vexar::parseJson(GetParam().profile, "test"));
    std::vector<std::uint8_t> state;
    if (GetParam().saved) {
        const std::vector<std::uint8_t> away = camera.saveState();
        camera.applyProfile(profile);
        state = camera.saveState();
        camera.loadState(away);
    }
    const auto write = [&] {
        return state.empty() ? camera.applyProfile(profile)
                             : (camera.loadState(state), vexar::StateWritten{});
    };
    const auto before = camera.registers();

    const vexar::DryRun dry = state.empty() ? camera.dryRun(profile) : camera.dryRun(state);
    EXPECT_EQ(camera.registers(), before) << "the dry run wrote";
    EXPECT_FALSE(dry.fields.empty());
    EXPECT_EQ(dry.phaseCount, 6);
    ASSERT_GT(dry.transactions.size(), 2u);

    const vexar::TraceRecording trace = camera.trace();
    if (GetParam().fault) {
        const std::size_t middle = dry.transactions.size() / 2;
        module_.failNthTransaction(middle + 1, -5);
        EXPECT_THROW(write(), vexar::Error);
        std::vector<vexar::Transaction> made = trace.transactions();
        ASSERT_EQ(made.size(), middle + 1);
        EXPECT_EQ(made.back().result, -5);
        made.pop_back();
        EXPECT_EQ(made, std::vector(dry.transactions.begin(), dry.transactions.begin() + middle));
        return;
    }
    const vexar::StateWritten written = write();
    EXPECT_EQ(trace.transactions(), dry.transactions);
    EXPECT_EQ(vexar::toJson(camera.profile().parameters), vexar::toJson(dry.applied));
    EXPECT_EQ(written.assumed, dry.written.assumed);
    EXPECT_EQ(written.changed.size(), dry.written.changed.size());
    const std::vector<vexar::Field> fields = camera.fields();
    for (const vexar::FieldChange& change : dry.fields) {
        EXPECT_EQ(fields.at(change.field.index).value, change.willBe)
            << "field " << change.field.index;
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, DryRun, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
