#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "tests/PluginHost.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor::Testing {
namespace {

using Interpreter = VEXARParameterInterpreter;

// A host built against the SDK calls the interpreter through its virtual table, so each
// operation must sit in its slot. On the Itanium C++ ABI a pointer to a virtual member function
// holds one more than the byte offset of its slot from the table's address point.
template <typename MemberFunction>
std::ptrdiff_t slotOf(MemberFunction function) {
    static_assert(sizeof function == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t words[2];
    std::memcpy(words, &function, sizeof words);
    if ((words[0] & 1) == 0) {
        return -1;  // not virtual
    }
    return (words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(InterpreterVirtualTable, HoldsTheOperationsInTheirSlots) {
    // Slots 0 and 1 are the destructor's two entries.
    EXPECT_EQ(slotOf(&Interpreter::initialize), 2);
    EXPECT_EQ(slotOf(&Interpreter::dispose), 3);
    EXPECT_EQ(slotOf(&Interpreter::getUnitType), 4);
    EXPECT_EQ(slotOf(&Interpreter::getAccessMode), 5);
    EXPECT_EQ(slotOf(&Interpreter::getValueType), 6);
    EXPECT_EQ(slotOf(&Interpreter::getParameterRange), 7);
    EXPECT_EQ(slotOf(&Interpreter::writeSystemState), 8);
    EXPECT_EQ(slotOf(&Interpreter::readSystemState), 9);
    EXPECT_EQ(slotOf(&Interpreter::getLastError), 10);
    EXPECT_EQ(slotOf(&Interpreter::writeSubRegister), 11);
    EXPECT_EQ(slotOf(&Interpreter::readSubRegister), 12);
    EXPECT_EQ(slotOf(&Interpreter::getSubRegisterMaximum), 13);
    EXPECT_EQ(slotOf(&Interpreter::writeCalibration), 14);
    EXPECT_EQ(slotOf(&Interpreter::readCalibration), 15);
    EXPECT_EQ(slotOf(&Interpreter::getPhaseCount), 16);
    EXPECT_EQ(slotOf(&Interpreter::getPhaseScaling), 17);
    // The variant overrides into the same slots and adds none.
    EXPECT_EQ(slotOf(&VEXAR_ParamInterp_YORINDImpl::initialize), 2);
    EXPECT_EQ(slotOf(&VEXAR_ParamInterp_YORINDImpl::dispose), 3);
}

// Size of a symbol of the built plug-in as nm reports it, or 0.
std::size_t symbolSize(const std::string& demangledName) {
    for (const std::string& line : nmLines("-C -S")) {
        if (line.ends_with(" " + demangledName)) {
            return std::stoul(line.substr(line.find(' ') + 1), nullptr, 16);
        }
    }
    return 0;
}

TEST(InterpreterVirtualTable, HasNoSlotsBeyondTheOperations) {
    // The offset to the top, the type information and eighteen slots, in both classes.
    constexpr std::size_t kTableSize = (2 + 18) * sizeof(void*);
    EXPECT_EQ(symbolSize("vtable for Lumivor::VEXARParameterInterpreter"), kTableSize);
    EXPECT_EQ(symbolSize("vtable for Lumivor::VEXAR_ParamInterp_YORINDImpl"), kTableSize);
}

}  // namespace
}  // namespace Lumivor::Testing
