#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tool/CtlRunner.h"

namespace Lumivor::Testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Refusal {
    std::vector<std::string> args;
    std::string message;  // the whole of standard error
};

class CtlRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(CtlRefusal, NamesTheCodeItsNumberAndTheTextAndExitsOne) {
    const CtlRun run = runCtl(GetParam().args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, GetParam().message);
    EXPECT_EQ(run.out, "");
}

const Refusal kRefusals[] = {
    {{"set", "FrameRate=-1"},
     "vexar-ctl: set FrameRate=-1: OutOfRange (-5): failed to write parameter 3\n"},
    {{"set", "MicroFrameNumber=3"},
     "vexar-ctl: set MicroFrameNumber=3: OutOfRange (-5): failed to write parameter 4\n"},
    {{"set", "MixingSignalsMode=1"},
     "vexar-ctl: set MixingSignalsMode=1: InvalidArgument (-4): failed to write parameter 9\n"},
    {{"set", "mixingvoltage=100.5"},
     "vexar-ctl: set mixingvoltage=100.5: OutOfRange (-5): failed to write parameter 2\n"},
    {{"get", "MixingVoltage"},
     "vexar-ctl: get MixingVoltage: NotSupported (-3): failed to read parameter 2 "
     "(MixingVoltage is write-only)\n"},
    {{"set", "Range=5"},
     "vexar-ctl: set Range=5: NotSupported (-3): failed to write parameter 12 "
     "(Range is read-only)\n"},
    {{"set", "RegionOfInterest=0,0,160,120"},
     "vexar-ctl: set RegionOfInterest=0,0,160,120: NotSupported (-3): (no error text) (the "
     "plug-in's exports do not write RegionOfInterest; a system state does: see 'state load')\n"},
    {{"set", "7=true"},
     "vexar-ctl: set 7=true: NotSupported (-3): (no error text) (the plug-in's exports do not "
     "write DealiasingOn; a system state does: see 'state load')\n"},
};
INSTANTIATE_TEST_SUITE_P(Plugin, CtlRefusal, ::testing::ValuesIn(kRefusals));

class CtlBadInput : public ::testing::TestWithParam<Refusal> {};

TEST_P(CtlBadInput, IsReportedWithoutReachingThePluginAndExitsTwo) {
    const CtlRun run = runCtl(GetParam().args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, GetParam().message);
}

const Refusal kBadInput[] = {
    {{"get", "Brightness"},
     "vexar-ctl: get Brightness: no such parameter (a name as 'list' shows it, or an id 0-15)\n"},
    {{"get", "16"},
     "vexar-ctl: get 16: no such parameter (a name as 'list' shows it, or an id 0-15)\n"},
    {{"set", "FrameRate"}, "vexar-ctl: set FrameRate: expected NAME=VALUE\n"},
    {{"set", "FrameRate=fast"}, "vexar-ctl: set FrameRate=fast: not a float\n"},
    {{"set", "MicroFrameNumber=2.5"}, "vexar-ctl: set MicroFrameNumber=2.5: not an int\n"},
    {{"set", "StreamEnable=maybe"}, "vexar-ctl: set StreamEnable=maybe: not a bool\n"},
    {{"set", "RegionOfInterest=1,2,3"},
     "vexar-ctl: set RegionOfInterest=1,2,3: not a region (x,y,width,height)\n"},
};
INSTANTIATE_TEST_SUITE_P(Tool, CtlBadInput, ::testing::ValuesIn(kBadInput));

TEST(CtlSetOrder, EveryAssignmentIsCheckedBeforeTheFirstIsWritten) {
    ScratchDir dir;
    const std::string image = dir.file("image");
    const CtlRun run = runCtl({"--image", image, "set", "MicroFrameNumber=8", "FrameRate=fast"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(runCtl({"--image", image, "get", "MicroFrameNumber"}).out, "MicroFrameNumber: 4\n");
}

TEST(CtlSetOrder, WritesStopAtTheFirstRefusalAndWhatWasWrittenStays) {
    ScratchDir dir;
    const std::string image = dir.file("image");
    const CtlRun run = runCtl(
        {"--image", image, "set", "MicroFrameNumber=8", "FrameRate=-1", "MicroFrameNumber=2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("set FrameRate=-1: OutOfRange (-5)"));
    EXPECT_EQ(runCtl({"--image", image, "get", "MicroFrameNumber"}).out, "MicroFrameNumber: 8\n");
}

TEST(CtlGetOrder, ValuesBeforeARefusalArePrintedAndTheRestAreNot) {
    const CtlRun run = runCtl({"get", "FrameRate", "MixingVoltage", "MicroFrameNumber"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "FrameRate: 30\n");
    // JSON is all or nothing: a half array is no use to a script.
    const CtlRun json = runCtl({"--format", "json", "get", "FrameRate", "MixingVoltage"});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out, "");
}

TEST(CtlUsage, CommandLineErrorsExitWithTheParsersCodes) {
    const CtlRun none = runCtl({});
    EXPECT_GE(none.status, 100);
    EXPECT_THAT(none.err, HasSubstr("subcommand"));

    const CtlRun unknown = runCtl({"info", "--frobnicate"});
    EXPECT_GE(unknown.status, 100);
    EXPECT_THAT(unknown.err, HasSubstr("--frobnicate"));

    const CtlRun format = runCtl({"--format", "xml", "info"});
    EXPECT_GE(format.status, 100);
    EXPECT_THAT(format.err, HasSubstr("xml"));

    const CtlRun jsonRegs = runCtl({"--format", "json", "regs"});
    EXPECT_GE(jsonRegs.status, 100);
    EXPECT_THAT(jsonRegs.err, HasSubstr("json applies to info, list and get"));

    const CtlRun getNothing = runCtl({"get"});
    EXPECT_GE(getNothing.status, 100);

    const CtlRun stateAlone = runCtl({"state"});
    EXPECT_GE(stateAlone.status, 100);
}

TEST(CtlUsage, HelpListsTheCommandsAndSucceeds) {
    const CtlRun run = runCtl({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* command : {"info", "list", "get", "set", "state", "calib", "regs", "demo",
                                "--trace", "--image", "--plugin", "--format"}) {
        EXPECT_THAT(run.out, HasSubstr(command));
    }
}

TEST(CtlGlobalOptions, MayComeBeforeOrAfterTheCommand) {
    const CtlRun before = runCtl({"--format", "json", "get", "FrameRate"});
    const CtlRun after = runCtl({"get", "FrameRate", "--format", "json"});
    EXPECT_EQ(before.status, 0);
    EXPECT_EQ(before.out, after.out);
    EXPECT_THAT(before.out, StartsWith("["));
}

TEST(CtlPlugin, ALibraryThatIsMissingOrNoPluginExitsThree) {
    const CtlRun missing = runCtl({"--plugin", "/nonexistent/libnothing.so", "info"});
    EXPECT_EQ(missing.status, 3);
    EXPECT_THAT(missing.err,
                StartsWith("vexar-ctl: cannot load plug-in /nonexistent/libnothing.so: "));

    // The host library sits beside the plug-in and loads, but exports none of its functions.
    std::string host = VEXAR_PLUGIN_PATH;
    host = host.substr(0, host.rfind('/') + 1) + "libLumivorPlugins.so";
    const CtlRun wrong = runCtl({"--plugin", host, "info"});
    EXPECT_EQ(wrong.status, 3);
    EXPECT_THAT(wrong.err, HasSubstr("missing export getPluginVersion"));
}

TEST(CtlPlugin, AnExplicitPathIsUsedAndShown) {
    const CtlRun run = runCtl({"--plugin", VEXAR_PLUGIN_PATH, "info"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr(std::string("plug-in              ") + VEXAR_PLUGIN_PATH));
}

}  // namespace
}  // namespace Lumivor::Testing
