#pragma once

#include <cstddef>
#include <string_view>

#include "core/ParameterInternal.h"
#include "core/ParameterTable.h"
#include "host/ParameterTypes.h"
#include "vexar_param_interp.h"

namespace Lumivor {

namespace YorinD {

// What the host is told of each parameter before any bus traffic. The rows come from the list
// the public header gives hosts, so the plug-in and its hosts cannot disagree.
struct CatalogueEntry {
    ParameterType id;
    std::string_view name;
    ValueType valueType;
    UnitType unit;
    AccessMode access;
};

#define VEXAR_YORIND_CATALOGUE_ROW(suffix, name, value, unit, access)                       \
    CatalogueEntry{ParameterType::name, #name, static_cast<ValueType>(VEXAR_VALUE_##value), \
                   static_cast<UnitType>(VEXAR_UNIT_##unit),                                \
                   static_cast<AccessMode>(VEXAR_ACCESS_##access)},
inline constexpr CatalogueEntry kCatalogue[] = {VEXAR_PARAMETERS(VEXAR_YORIND_CATALOGUE_ROW)};
#undef VEXAR_YORIND_CATALOGUE_ROW

inline constexpr std::size_t kParameterCount = std::size(kCatalogue);

// Identifiers index the parameter table directly, so they must be dense and in order.
consteval bool identifiersAreDense() {
    for (std::size_t i = 0; i < kParameterCount; ++i) {
        if (kCatalogue[i].id != i) {
            return false;
        }
    }
    return kParameterCount == VEXAR_PARAM_COUNT;
}
static_assert(identifiersAreDense());

// The sixteen parameters of the module, one object per catalogue entry.
ParameterTable buildParameterTable();

}  // namespace YorinD

// A parameter class of the module: its unit and access mode come from its catalogue entry, and
// the value type its operations take must be the one the entry publishes.
template <ParameterType Id, typename T>
class ModuleParameter
    : public CatalogueParameter<T, YorinD::kCatalogue[Id].unit, YorinD::kCatalogue[Id].access> {
    static_assert(ValueTypeOf<T>::value == YorinD::kCatalogue[Id].valueType,
                  "the class's value type differs from the catalogue's");

  public:
    static constexpr ParameterType kId = Id;

    ModuleParameter()
        : CatalogueParameter<T, YorinD::kCatalogue[Id].unit, YorinD::kCatalogue[Id].access>(Id) {}
};

}  // namespace Lumivor
