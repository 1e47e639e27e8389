#include <gtest/gtest.h>

#include <map>

#include "variant/SubRegisterTable.h"

namespace Lumivor::YorinD {
namespace {

TEST(SubRegisterTable, HoldsEveryIndexOnceInOrderOver111Registers) {
    ASSERT_EQ(kSubRegisterRows.size(), 221u);
    std::map<std::uint32_t, int> fieldsPerRegister;
    for (std::size_t i = 0; i < kSubRegisterRows.size(); ++i) {
        EXPECT_EQ(kSubRegisterRows[i].index, i);
        ++fieldsPerRegister[kSubRegisters[i].address];
    }
    EXPECT_EQ(fieldsPerRegister.size(), 111u);
    EXPECT_EQ(fieldsPerRegister.at(0x063), 8);
    EXPECT_EQ(fieldsPerRegister.at(0x10F), 7);
}

TEST(SubRegisterTable, FieldsFitTheirRegisterNeverOverlapAndDefaultsFitTheirMasks) {
    std::map<std::uint32_t, std::uint32_t> used;
    for (std::size_t i = 0; i < kSubRegisters.size(); ++i) {
        const SubRegister& f = kSubRegisters[i];
        EXPECT_LE(f.lsb, f.msb) << i;
        EXPECT_LE(f.msb, 23) << i;
        EXPECT_LE(f.msb - f.lsb + 1, 22) << i;
        EXPECT_LE(f.defaultValue, f.mask) << i;
        EXPECT_LT(f.address, 0x1D7u) << i;
        const std::uint32_t bits = f.mask << f.lsb;
        EXPECT_EQ(used[f.address] & bits, 0u) << "field " << i << " overlaps another";
        used[f.address] |= bits;
    }
    // Rows the parameter code leans on: the phase period, the dealiasing bit, the clock.
    EXPECT_EQ(kSubRegisters[217].mask, 0x3FFFFFu);
    EXPECT_EQ(kSubRegisters[217].address, 0x182u);
    EXPECT_EQ(kSubRegisters[217].defaultValue, 100000u);
    EXPECT_EQ(kSubRegisters[20].lsb, 23);
    EXPECT_EQ(kSubRegisters[79].defaultValue, 48u);
}

TEST(FieldMask, GrowsFromBitZeroAndStaysEmptyForReversedBounds) {
    EXPECT_EQ(fieldMask(0, 0), 1u);
    EXPECT_EQ(fieldMask(4, 15), 0xFFFu);
    EXPECT_EQ(fieldMask(0, 23), 0xFFFFFFu);
    EXPECT_EQ(fieldMask(5, 4), 0u);
}

}  // namespace
}  // namespace Lumivor::YorinD
