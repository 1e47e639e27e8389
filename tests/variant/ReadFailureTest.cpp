#include <gtest/gtest.h>

#include <cstdint>
#include <variant>

#include "support/SimulatedCamera.h"
#include "support/StateRecords.h"

namespace Lumivor::Testing {
namespace {

using ReadFailure = SimulatedCameraTest;

// A read that fails part-way hands the host's code back and leaves the caller's value as it
// was, whichever of its transactions failed: a value assembled from the fields read so far
// never escapes.
TEST_F(ReadFailure, LeavesTheCallersValueAtEveryFailingTransaction) {
    const Value sentinels[] = {-7.25f, 0x5A5A5A5A, true, RegionOfInterestInternal{1, 2, 3, 4}};
    std::size_t failures = 0;
    for (std::uint32_t id = 0; id < 16; ++id) {
        std::uint32_t type = 0;
        ASSERT_EQ(interp.getValueType(id, &type), Error::Success);
        const Value sentinel = sentinels[type - 1];
        const auto read = [&](Value& value) {
            return std::visit([&](auto& v) { return interp.readValue(id, &v); }, value);
        };
        module.reset();
        module.clearLog();
        Value value = sentinel;
        if (read(value) != Error::Success) {
            continue;  // a write-only parameter
        }
        const std::size_t transactions = module.transactionCount();
        for (std::size_t n = 1; n <= transactions; ++n) {
            failAt(n, -9000 - static_cast<std::int32_t>(n));
            value = sentinel;
            EXPECT_EQ(read(value), -9000 - static_cast<std::int32_t>(n)) << id << " at " << n;
            EXPECT_EQ(value, sentinel) << "parameter " << id << " failing at " << n;
            ++failures;
        }
    }
    // Twelve parameters read from the bus, 45 transactions between them.
    EXPECT_EQ(failures, 45u);
}

}  // namespace
}  // namespace Lumivor::Testing
