#include <gtest/gtest.h>

#include <map>
#include <set>

#include "support/SimulatedCamera.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::YorinD {
namespace {

std::map<std::uint32_t, int> fieldsPerRegister() {
    std::map<std::uint32_t, int> count;
    for (const SubRegister& f : kSubRegisters) {
        ++count[f.address];
    }
    return count;
}

TEST(SubRegisterTable, HoldsEveryIndexOnceInOrder) {
    ASSERT_EQ(kSubRegisterRows.size(), 221u);
    for (std::size_t i = 0; i < kSubRegisterRows.size(); ++i) {
        EXPECT_EQ(kSubRegisterRows[i].index, i);
    }
}

TEST(SubRegisterTable, SpreadsOver111RegistersIn94And17PerBank) {
    const auto count = fieldsPerRegister();
    EXPECT_EQ(count.size(), 111u);
    int low = 0;
    int high = 0;
    for (const auto& [address, fields] : count) {
        (address < 0x100 ? low : high) += 1;
    }
    EXPECT_EQ(low, 94);
    EXPECT_EQ(high, 17);
}

TEST(SubRegisterTable, BusiestRegistersHoldTheDocumentedFieldCounts) {
    const auto count = fieldsPerRegister();
    EXPECT_EQ(count.at(0x063), 8);
    EXPECT_EQ(count.at(0x040), 7);
    EXPECT_EQ(count.at(0x10F), 7);
    EXPECT_EQ(count.at(0x002), 6);
    EXPECT_EQ(count.at(0x01C), 6);
    EXPECT_EQ(count.at(0x04C), 6);
    for (const auto& [address, fields] : count) {
        if (address != 0x063 && address != 0x040 && address != 0x10F) {
            EXPECT_LE(fields, 6) << std::hex << address;
        }
    }
}

TEST(SubRegisterTable, FieldsOfOneRegisterNeverOverlap) {
    std::map<std::uint32_t, std::uint32_t> used;
    for (const SubRegister& f : kSubRegisters) {
        const std::uint32_t bits = f.mask << f.lsb;
        EXPECT_EQ(used[f.address] & bits, 0u) << "register 0x" << std::hex << f.address;
        used[f.address] |= bits;
    }
}

TEST(SubRegisterTable, EveryFieldFitsItsRegisterAndItsDefaultFitsItsMask) {
    for (std::size_t i = 0; i < kSubRegisters.size(); ++i) {
        const SubRegister& f = kSubRegisters[i];
        EXPECT_LE(f.lsb, f.msb) << i;
        EXPECT_LE(f.msb, 23) << i;
        EXPECT_EQ(f.mask, (1u << (f.msb - f.lsb + 1)) - 1) << i;
        EXPECT_LE(f.defaultValue, f.mask) << i;
        EXPECT_LT(f.address, 0x1D7u) << i;
    }
}

TEST(SubRegisterTable, WidestFieldsAre22BitsAt217And220) {
    std::set<std::size_t> widest;
    for (std::size_t i = 0; i < kSubRegisters.size(); ++i) {
        if (kSubRegisters[i].msb - kSubRegisters[i].lsb + 1 == 22) {
            widest.insert(i);
        }
        EXPECT_LE(kSubRegisters[i].msb - kSubRegisters[i].lsb + 1, 22);
    }
    EXPECT_EQ(widest, (std::set<std::size_t>{217, 220}));
}

TEST(SubRegisterTable, SpotChecksOfDocumentedRows) {
    EXPECT_EQ(kSubRegisters[217].mask, 0x3FFFFFu);
    EXPECT_EQ(kSubRegisters[217].address, 0x182u);
    EXPECT_EQ(kSubRegisters[217].defaultValue, 100000u);
    EXPECT_EQ(kSubRegisters[215].mask, 0x1u);
    EXPECT_EQ(kSubRegisters[2].address, 0x000u);
    EXPECT_EQ(kSubRegisters[2].mask, 0x1u);
    EXPECT_EQ(kSubRegisters[20].lsb, 23);
    EXPECT_EQ(kSubRegisters[79].defaultValue, 48u);
    EXPECT_EQ(kSubRegisters[220].address, 0x1D6u);
}

TEST(FieldMask, GrowsFromBitZeroAndStaysEmptyForReversedBounds) {
    EXPECT_EQ(fieldMask(0, 0), 1u);
    EXPECT_EQ(fieldMask(4, 15), 0xFFFu);
    EXPECT_EQ(fieldMask(0, 23), 0xFFFFFFu);
    EXPECT_EQ(fieldMask(5, 4), 0u);
}

using InstalledMap = Testing::SimulatedCameraTest;

TEST_F(InstalledMap, HoldsIndices0To220Only) {
    std::uint32_t maximum = 0;
    for (std::uint32_t i = 0; i <= 220; ++i) {
        EXPECT_EQ(interp.getSubRegisterMaximum(i, &maximum), 0) << i;
        EXPECT_EQ(maximum, kSubRegisters[i].mask);
    }
    EXPECT_EQ(interp.getSubRegisterMaximum(221, &maximum), -3);
    EXPECT_EQ(interp.getSubRegisterMaximum(0xFFFFFFFF, &maximum), -3);
    EXPECT_EQ(module.transactionCount(), 0u);
}

}  // namespace
}  // namespace Lumivor::YorinD
