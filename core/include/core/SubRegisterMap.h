#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/SubRegister.h"

namespace Lumivor {

// Sub-registers by index. The fields of a module are a constant table, so the map refers to
// that table instead of copying it: installing it costs nothing and there is nothing to free.
class SubRegisterMap {
  public:
    const SubRegister* find(std::uint32_t index) const {
        return index < fields_.size() ? &fields_[index] : nullptr;
    }

    void assign(std::span<const SubRegister> fields) { fields_ = fields; }
    void clear() { fields_ = {}; }
    void swap(SubRegisterMap& other) noexcept { std::swap(fields_, other.fields_); }

  private:
    std::span<const SubRegister> fields_;
};

}  // namespace Lumivor
