#pragma once

#include <string>

namespace vexar::detail {

// Now in UTC as a profile says when it was saved: "2026-12-08T07:15:00Z"; SOURCE_DATE_EPOCH, when
// set, stands for now.
std::string utcNow();

}  // namespace vexar::detail
