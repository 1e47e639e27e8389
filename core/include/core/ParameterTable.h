#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/ParameterInternal.h"

namespace Lumivor {

// Parameter objects by identifier, owned by the table. Identifiers are small and dense, so the
// table is indexed directly rather than hashed.
class ParameterTable {
  public:
    ParameterInternal* find(std::uint32_t id) const {
        return id < entries_.size() ? entries_[id].get() : nullptr;
    }

    // Stores the parameter under its own identifier, replacing any earlier one.
    void insert(std::unique_ptr<ParameterInternal> parameter) {
        const std::uint32_t id = parameter->id();
        if (id >= entries_.size()) {
            entries_.resize(id + 1);
        }
        entries_[id] = std::move(parameter);
    }

    // Room for identifiers below count, so that filling the table allocates its slots once.
    void reserve(std::size_t count) { entries_.reserve(count); }

    // Destroys every parameter object and forgets the entries.
    void clear() { entries_.clear(); }

    void swap(ParameterTable& other) noexcept { entries_.swap(other.entries_); }

  private:
    std::vector<std::unique_ptr<ParameterInternal>> entries_;
};

}  // namespace Lumivor
