#pragma once

#include <cstdint>

#include "core/ErrorCode.h"
#include "core/VEXARParameterInterpreter.h"

namespace Lumivor {

// Every conversion of the plug-in touches its fields in a fixed order and gives up at the first
// failure, handing its code back as it came. Rather than test each access, a conversion makes
// its accesses through one of these and asks once at the end: after the first failure every
// further access is left out (no bus traffic, no last-error text) and the first code is kept.
// A value read after a failure is 0, so the caller must ask ok() before arithmetic that 0 would
// make undefined and before storing a result. Fields written before a failed write stay
// written, as they would on the module.
//
// Holds a reference and a code: nothing is allocated.
class FieldAccess {
  public:
    explicit FieldAccess(VEXARParameterInterpreter& interpreter) : interpreter_(interpreter) {}
    FieldAccess(const FieldAccess&) = delete;
    FieldAccess& operator=(const FieldAccess&) = delete;

    bool ok() const { return status_ == Error::Success; }
    ErrorCode status() const { return status_; }

    // A refusal found by the conversion itself ends it like a failed access would.
    void fail(ErrorCode code) {
        if (ok()) {
            status_ = code;
        }
    }

    std::uint32_t read(std::uint32_t index) {
        std::uint32_t value = 0;
        if (ok() && keep(interpreter_.readSubRegister(index, &value))) {
            return value;
        }
        return 0;
    }

    // Each write is its own read-modify-write of the register, so a later field of the same
    // register sees an earlier one.
    void write(std::uint32_t index, std::uint32_t value) {
        if (ok()) {
            keep(interpreter_.writeSubRegister(index, value));
        }
    }

    // The largest value the field holds; no bus traffic.
    std::uint32_t maximum(std::uint32_t index) {
        std::uint32_t value = 0;
        if (ok() && keep(interpreter_.getSubRegisterMaximum(index, &value))) {
            return value;
        }
        return 0;
    }

    // Another parameter, through the interpreter's typed access (which names it in the
    // last-error text when it fails).
    template <typename T>
    T readValue(std::uint32_t id) {
        T value{};
        if (ok() && keep(interpreter_.readValue<T>(id, &value))) {
            return value;
        }
        return T{};
    }

    template <typename T>
    void writeValue(std::uint32_t id, const T& value) {
        if (ok()) {
            keep(interpreter_.writeValue<T>(id, value));
        }
    }

  private:
    bool keep(ErrorCode code) {
        status_ = code;
        return ok();
    }

    VEXARParameterInterpreter& interpreter_;
    ErrorCode status_ = Error::Success;
};

}  // namespace Lumivor
