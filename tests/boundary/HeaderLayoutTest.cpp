// The public header first and alone: it must stand on its own in a C++ translation unit, as the
// C host program checks that it does in C.
#include <cstddef>
#include <type_traits>

#include "vexar_param_interp.h"

namespace {

// Offsets a host of another language lays its records out by; the components follow each
// other at the size the header asserts.
static_assert(offsetof(ModuleKey, word3) == 12);
static_assert(offsetof(ModuleDescriptor, headerValid) == 4);
static_assert(offsetof(ModuleDescriptor, auxValue) == 8);
static_assert(offsetof(ModuleDescriptor, auxValid) == 12);
static_assert(offsetof(ModuleDescriptor, components) == 16);
static_assert(offsetof(ComponentIdentity, version) == 4);
static_assert(offsetof(ComponentIdentity, reservedWord) == 8);
static_assert(offsetof(ComponentIdentity, reservedHalf) == 12);
static_assert(offsetof(ComponentIdentity, present) == 16);
static_assert(offsetof(GUID, data4) == 8);
static_assert(std::is_standard_layout_v<ModuleDescriptor> &&
              std::is_trivially_copyable_v<ModuleDescriptor>);
static_assert(std::is_same_v<initialize_fn, decltype(&initialize)>);
static_assert(std::is_same_v<getImplGUID_fn, decltype(&getImplGUID)>);
static_assert(std::is_same_v<writeBool_fn, decltype(&writeBool)>);

}  // namespace
