#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "core/ParameterInternal.h"
#include "core/ParameterValue.h"

namespace Lumivor {

// The values of one system-state operation by parameter identifier. Identifiers travel as one
// byte, so a slot per possible byte replaces hashing. The table owns its values.
class ValueTable {
  public:
    static constexpr std::uint32_t kSlots = 256;

    // Stores the value under its identifier, replacing (and releasing) any value stored there.
    void store(std::unique_ptr<ParameterValue> value) {
        const std::uint32_t id = value->getParameterType();
        if (id < kSlots) {
            slots_[id] = std::move(value);
        }
    }

    // The value stored under the identifier, or null; never inserts.
    ParameterValue* find(std::uint32_t id) const {
        return id < kSlots ? slots_[id].get() : nullptr;
    }

    // The typed value under the identifier, or null when absent or of another type.
    template <typename T>
    ParameterValueImpl<T>* findAs(std::uint32_t id) const {
        ParameterValue* value = find(id);
        if (value == nullptr || value->getValueType() != code(ValueTypeOf<T>::value)) {
            return nullptr;
        }
        return static_cast<ParameterValueImpl<T>*>(value);
    }

    bool contains(std::uint32_t id) const { return find(id) != nullptr; }

  private:
    std::array<std::unique_ptr<ParameterValue>, kSlots> slots_{};
};

}  // namespace Lumivor
