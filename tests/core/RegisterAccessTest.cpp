#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "support/SimulatedCamera.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Testing {
namespace {

using YorinD::kSubRegisters;
namespace Field = YorinD::Field;

struct Placement {
    std::uint32_t index;
    std::uint32_t address;  // where the field lives, as the register image is kept
    std::uint16_t device;   // and how the bus reaches it
    std::uint8_t reg;
    std::uint32_t bits;  // the field's bits in place within the 24-bit register
};

void PrintTo(const Placement& p, std::ostream* os) {
    *os << "field " << p.index;
}

// Fields at the edges: bit 0, bit 23, the widest, both banks, registers shared with others.
const Placement kPlacements[] = {
    {Field::DealiasingEnable, 0x002, 0x5C, 0x02, 0x800000},      // bit 23: byte 2 of the transfer
    {Field::RatioDealiasingShare, 0x002, 0x5C, 0x02, 0x003C00},  // bits 10-13
    {2, 0x000, 0x5C, 0x00, 0x000001},                            // the very first register
    {Field::UpdateStrobe, 0x102, 0x58, 0x02, 0x000004},          // high bank: low 8 bits
    {Field::PhasePeriod, 0x182, 0x58, 0x82, 0x3FFFFF},           // 22 bits wide
    {Field::ModulationInputDivider, 0x10F, 0x58, 0x0F, 0x000003},
    {Field::RoiLastRow, 0x11F, 0x58, 0x1F, 0xFF0000},  // bits 16-23
};

class FieldPlacement : public SimulatedCameraTest,
                       public ::testing::WithParamInterface<Placement> {};

TEST_P(FieldPlacement, WriteIsOneReadAndOneWriteOfItsRegisterKeepingTheOtherBits) {
    const Placement& p = GetParam();
    const std::uint32_t mask = kSubRegisters[p.index].mask;
    for (const std::uint32_t background : {0x000000u, 0xFFFFFFu, 0xA5A5A5u, 0x5A5A5Au}) {
        for (const std::uint32_t value : {0u, mask, mask >> 1, 1u}) {
            module.setRegisterValue(p.address, background);
            module.clearLog();
            ASSERT_EQ(interp.writeSubRegister(p.index, value), 0);
            ASSERT_EQ(accesses(), (std::vector{R(p.device, p.reg), W(p.device, p.reg)}));
            // The field takes the value, every other bit is what the read returned.
            std::uint32_t placed = 0;
            for (std::uint32_t bit = 0, taken = 0; bit < 24; ++bit) {
                if (p.bits & (1u << bit)) {
                    placed |= ((value >> taken++) & 1u) << bit;
                }
            }
            EXPECT_EQ(module.registerValue(p.address), (background & ~p.bits) | placed)
                << std::hex << "background 0x" << background << " value 0x" << value;
        }
    }
}

TEST_P(FieldPlacement, ReadIsOneReadReturningTheFieldRightAligned) {
    const Placement& p = GetParam();
    const std::uint32_t mask = kSubRegisters[p.index].mask;
    for (const std::uint32_t image :
         {0x000000u, 0xFFFFFFu, 0xA5A5A5u, p.bits, ~p.bits & 0xFFFFFFu}) {
        module.setRegisterValue(p.address, image);
        module.clearLog();
        std::uint32_t value = 0xDEAD;
        ASSERT_EQ(interp.readSubRegister(p.index, &value), 0);
        EXPECT_EQ(accesses(), (std::vector{R(p.device, p.reg)}));
        EXPECT_EQ(value, (image & p.bits) / (p.bits & ~(p.bits << 1)) & mask)
            << std::hex << "image 0x" << image;
    }
}

TEST_P(FieldPlacement, MaskPlusOneIsOutOfRangeWithoutBusTraffic) {
    const Placement& p = GetParam();
    const std::uint32_t mask = kSubRegisters[p.index].mask;
    for (const std::uint32_t value : {mask + 1, mask << 1, 0xFFFFFFFFu}) {
        EXPECT_EQ(interp.writeSubRegister(p.index, value), Error::OutOfRange) << value;
    }
    EXPECT_EQ(module.transactionCount(), 0u);
    std::uint32_t maximum = 0;
    ASSERT_EQ(interp.getSubRegisterMaximum(p.index, &maximum), 0);
    EXPECT_EQ(maximum, mask);
    EXPECT_EQ(module.transactionCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(EdgeFields, FieldPlacement, ::testing::ValuesIn(kPlacements));

using RegisterAccess = SimulatedCameraTest;

TEST_F(RegisterAccess, EveryFieldGoesToTheBankItsAddressSelects) {
    for (std::uint32_t index = 0; index < kSubRegisters.size(); ++index) {
        const std::uint32_t address = kSubRegisters[index].address;
        const std::uint16_t device = address < 0x100 ? 0x5C : 0x58;
        const auto reg = static_cast<std::uint8_t>(address & 0xFF);
        module.clearLog();
        std::uint32_t value = 0;
        ASSERT_EQ(interp.readSubRegister(index, &value), 0) << index;
        EXPECT_EQ(accesses(), (std::vector{R(device, reg)})) << "field " << index;
        EXPECT_EQ(value, module.field(index)) << "field " << index;
    }
}

TEST_F(RegisterAccess, TwoFieldsOfOneRegisterWrittenInTurnBothKeepTheirValues) {
    ASSERT_EQ(interp.writeSubRegister(Field::ModulationInputDivider, 3), 0);
    ASSERT_EQ(interp.writeSubRegister(Field::DealiasingInputDivider, 2), 0);
    ASSERT_EQ(interp.writeSubRegister(Field::ModulationOutputDivider, 5), 0);
    // Nothing is cached: each write reads the register again.
    EXPECT_EQ(accesses(), (std::vector{R(0x58, 0x0F), W(0x58, 0x0F), R(0x58, 0x0F), W(0x58, 0x0F),
                                       R(0x58, 0x0F), W(0x58, 0x0F)}));
    EXPECT_EQ(module.field(Field::ModulationInputDivider), 3u);
    EXPECT_EQ(module.field(Field::DealiasingInputDivider), 2u);
    EXPECT_EQ(module.field(Field::ModulationOutputDivider), 5u);
}

TEST_F(RegisterAccess, IndicesOutsideTheMapAreAbsentWithoutBusTraffic) {
    for (const std::uint32_t index : {221u, 222u, 0x10000u, 0xFFFFFFFFu}) {
        std::uint32_t value = 77;
        EXPECT_EQ(interp.readSubRegister(index, &value), Error::NotSupported) << index;
        EXPECT_EQ(interp.writeSubRegister(index, 0), Error::NotSupported) << index;
        EXPECT_EQ(interp.getSubRegisterMaximum(index, &value), Error::NotSupported) << index;
        EXPECT_EQ(value, 77u);
    }
    EXPECT_EQ(module.transactionCount(), 0u);
}

// ---- Failures of the host's callbacks come back unchanged ----

struct HostFault {
    const char* name;
    std::int32_t code;
};
void PrintTo(const HostFault& f, std::ostream* os) {
    *os << f.name;
}

class CallbackFailure : public SimulatedCameraTest,
                        public ::testing::WithParamInterface<HostFault> {
  protected:
    static constexpr std::uint32_t kIndex = Field::RatioDealiasingShare;  // 0x002 bits 10-13
};

TEST_P(CallbackFailure, EndsTheAccessAtTheFailingTransactionWithTheRegisterAsItWas) {
    const std::uint32_t before = module.registerValue(0x002);
    for (std::size_t n : {1u, 2u}) {
        failAt(n, GetParam().code, false);
        EXPECT_EQ(interp.writeSubRegister(kIndex, 9), GetParam().code);
        EXPECT_EQ(module.transactionCount(), n);
        EXPECT_EQ(accesses()[0], R(0x5C, 0x02));
        EXPECT_EQ(module.registerValue(0x002), before);
    }
    failAt(1, GetParam().code, false);
    std::uint32_t value = 0xC0FFEE;
    EXPECT_EQ(interp.readSubRegister(kIndex, &value), GetParam().code);
    EXPECT_EQ(value, 0xC0FFEEu);
}

TEST_P(CallbackFailure, FailingDeviceAffectsOnlyItsBank) {
    module.failDevice(0x58, GetParam().code);
    std::uint32_t value = 0;
    EXPECT_EQ(interp.readSubRegister(Field::UpdateStrobe, &value), GetParam().code);
    EXPECT_EQ(interp.writeSubRegister(Field::UpdateStrobe, 1), GetParam().code);
    EXPECT_EQ(interp.readSubRegister(kIndex, &value), 0);
    EXPECT_EQ(interp.writeSubRegister(kIndex, 1), 0);
}

// Any non-zero value is the host's failure, positive ones and the extremes included.
const HostFault kHostFaults[] = {
    {"Nack", Sim::kNack}, {"OwnCodeMinus4", -4}, {"Positive", 1}, {"Int32Min", INT32_MIN}};
INSTANTIATE_TEST_SUITE_P(Codes, CallbackFailure, ::testing::ValuesIn(kHostFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The transfer buffer as the callbacks see it ----

// A host that answers reads without filling the buffer and records the last write.
struct SilentHost {
    int reads = 0;
    std::uint32_t lastLength = 0;
    std::vector<std::uint8_t> written;

    static std::int32_t read(void* context, std::uint16_t, std::uint8_t, std::uint8_t*,
                             std::uint32_t length) {
        auto* host = static_cast<SilentHost*>(context);
        ++host->reads;
        host->lastLength = length;
        return 0;
    }
    static std::int32_t write(void* context, std::uint16_t, std::uint8_t, std::uint8_t* buffer,
                              std::uint32_t length) {
        auto* host = static_cast<SilentHost*>(context);
        host->lastLength = length;
        host->written.assign(buffer, buffer + length);
        return 0;
    }
};

TEST(RegisterTransfer, ReadBufferStartsAtZeroAndRegistersMoveAsThreeBytes) {
    SilentHost host;
    VEXAR_ParamInterp_YORINDImpl interp;
    ASSERT_EQ(interp.initialize(&host, &SilentHost::read, &SilentHost::write,
                                Sim::SimulatedModule::moduleKey(),
                                Sim::SimulatedModule::moduleDescriptor()),
              0);
    // Run twice so that a buffer not cleared before the read would show the first answer.
    for (int round = 0; round < 2; ++round) {
        std::uint32_t value = 0xFFFF;
        ASSERT_EQ(interp.readSubRegister(Field::PhasePeriod, &value), 0);
        EXPECT_EQ(value, 0u);
        EXPECT_EQ(host.lastLength, 3u);
        ASSERT_EQ(interp.writeSubRegister(Field::DealiasingEnable, 1), 0);
        EXPECT_EQ(host.written, (std::vector<std::uint8_t>{0x00, 0x00, 0x80}));
    }
    interp.dispose();
}

TEST(RegisterTransfer, EveryIndexIsAbsentBeforeInitialise) {
    VEXAR_ParamInterp_YORINDImpl interp;
    std::uint32_t value = 5;
    EXPECT_EQ(interp.readSubRegister(0, &value), Error::NotSupported);
    EXPECT_EQ(interp.writeSubRegister(0, 0), Error::NotSupported);
    EXPECT_EQ(interp.getSubRegisterMaximum(0, &value), Error::NotSupported);
    EXPECT_EQ(value, 5u);
}

}  // namespace
}  // namespace Lumivor::Testing
