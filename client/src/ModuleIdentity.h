#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "vexar/camera.hpp"
#include "vexar_param_interp.h"

namespace vexar::detail {

// The library's records are the plug-in's, field for field, so that one passes for the other.
static_assert(sizeof(vexar::ModuleKey) == sizeof(::ModuleKey) &&
              offsetof(vexar::ModuleKey, word3) == offsetof(::ModuleKey, word3));
static_assert(sizeof(vexar::ComponentIdentity) == sizeof(::ComponentIdentity) &&
              offsetof(vexar::ComponentIdentity, present) ==
                  offsetof(::ComponentIdentity, present) &&
              offsetof(vexar::ComponentIdentity, reservedHalf) ==
                  offsetof(::ComponentIdentity, reservedHalf));
static_assert(sizeof(vexar::ModuleDescriptor) == sizeof(::ModuleDescriptor) &&
              offsetof(vexar::ModuleDescriptor, auxValid) ==
                  offsetof(::ModuleDescriptor, auxValid) &&
              offsetof(vexar::ModuleDescriptor, components) ==
                  offsetof(::ModuleDescriptor, components));

// The text of a file ModuleIdentity::load reads: the fields 'info --format json' prints,
// "module_key" (four numbers), "header_value" (also by their names before 0.2, "moduleKey" and
// "headerValue"), and "components" by role ("sensor board", "module",
// "left illumination", "right illumination") with their "type" and "version". Other keys are
// ignored, so info's own output is a valid file; what the file leaves out stays as built in.
// Error(BadInput) otherwise; where names the text in messages.
ModuleIdentity parseModuleIdentity(std::string_view text, const std::string& where);

}  // namespace vexar::detail
