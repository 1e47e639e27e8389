#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "sim/SimulatedModule.h"
#include "tool/CtlRunner.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Testing {
namespace {

using ::testing::HasSubstr;

// Every field that regs decodes at power-on must show its table default, in the register the
// table puts it in: a wrong shift, mask or register in the decoding shows up here.
TEST(CtlRegs, PowerOnImageShowsEveryRegisterAndEveryFieldAtItsDefault) {
    const CtlRun run = runCtl({"regs"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), Sim::SimulatedModule::knownRegisters().size() + 4);

    std::set<unsigned> seen;
    for (std::size_t i = 0; i < Sim::SimulatedModule::knownRegisters().size(); ++i) {
        const std::string& line = lines[i];
        unsigned address = 0, value = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%x: %x", &address, &value), 2) << line;
        EXPECT_EQ(address, Sim::SimulatedModule::knownRegisters()[i]);
        EXPECT_EQ(value, Sim::SimulatedModule::resetValue(address)) << line;
        for (auto at = line.find('#'); at != std::string::npos; at = line.find('#', at + 1)) {
            unsigned index = 0, fieldValue = 0;
            const std::string field = line.substr(at + 1);
            ASSERT_EQ(std::sscanf(field.c_str(), "%u", &index), 1) << line;
            ASSERT_LT(index, YorinD::kSubRegisters.size());
            ASSERT_EQ(std::sscanf(field.substr(field.find('=') + 1).c_str(), "%x", &fieldValue), 1);
            EXPECT_EQ(YorinD::kSubRegisters[index].address, address) << line;
            EXPECT_EQ(fieldValue, YorinD::kSubRegisters[index].defaultValue) << line;
            EXPECT_TRUE(seen.insert(index).second) << "field " << index << " shown twice";
        }
    }
    EXPECT_EQ(seen.size(), YorinD::kSubRegisters.size());
    EXPECT_EQ(lines[lines.size() - 4],
              "dev 2a reg 11: --  (left illumination voltage, never written)");
    EXPECT_THAT(run.out, HasSubstr("002: 100c81  #15[3:0]=0x1  #5[8:5]=0x4  #17[13:10]=0x3  "
                                   "#14[20:17]=0x8  #18[22]=0x0  #20[23]=0x0\n"));
}

TEST(CtlRegs, DiffShowsOnlyChangedRegistersFieldsAndLatchedBytes) {
    ScratchDir dir;
    const std::string image = dir.file("camera.img");
    const CtlRun untouched = runCtl({"--image", image, "regs", "--diff"});
    EXPECT_EQ(untouched.status, 0);
    EXPECT_EQ(untouched.out, "");

    ASSERT_EQ(runCtl({"--image", image, "set", "MicroFrameNumber=8", "RawOutputMode=3",
                      "LeftIlluminationVoltage=100"})
                  .status,
              0);
    const CtlRun diff = runCtl({"--image", image, "regs", "--diff"});
    EXPECT_EQ(diff.status, 0);
    EXPECT_EQ(diff.out,
              "025: 080f00 (reset 080000)  #72[11:8]=0xf (was 0x0)\n"
              "108: 000006 (reset 000000)  #117[1]=0x1 (was 0x0)  #198[2]=0x1 (was 0x0)\n"
              "128: 140000 (reset 000000)  #212[18]=0x1 (was 0x0)  #214[20]=0x1 (was 0x0)\n"
              "183: 000084 (reset 000044)  #219[7:4]=0x8 (was 0x4)\n"
              "dev 2a reg 11: ff  (left illumination voltage)\n");
}

}  // namespace
}  // namespace Lumivor::Testing
