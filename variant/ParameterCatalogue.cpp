#include "variant/ParameterCatalogue.h"

#include <memory>

#include "variant/FrameTimingParameters.h"
#include "variant/IlluminationParameters.h"
#include "variant/ModulationParameters.h"
#include "variant/OutputParameters.h"

namespace Lumivor::YorinD {

namespace {
// Every catalogue entry has exactly one class: as many classes as entries, no identifier twice.
template <typename... Classes>
consteval bool coversCatalogueOnce() {
    bool seen[kParameterCount] = {};
    for (const ParameterType id : {Classes::kId...}) {
        if (seen[id]) {
            return false;
        }
        seen[id] = true;
    }
    return sizeof...(Classes) == kParameterCount;
}

template <typename... Classes>
ParameterTable makeTable() {
    static_assert(coversCatalogueOnce<Classes...>());
    ParameterTable table;
    table.reserve(kParameterCount);
    (table.insert(std::make_unique<Classes>()), ...);
    return table;
}
}  // namespace

ParameterTable buildParameterTable() {
    return makeTable<LeftIlluminationVoltage_YORIN_D, RightIlluminationVoltage_YORIN_D,
                     MixingVoltage_YORIN_D, FrameRate_YORIN_D, MicroFrameNumber_YORIN_D,
                     IntegrationTime_YORIN_D, ModulationFrequency_YORIN_D, DealiasingOn_YORIN_D,
                     DealiasingFrequency_YORIN_D, MixingSignalsMode_YORIN_D,
                     IlluminationMode_YORIN_D, RawOutputMode_YORIN_D, Range_YORIN_D,
                     RegionOfInterest_YORIN_D, StreamEnable_YORIN_D, NativeFrameFormat_YORIN_D>();
}

}  // namespace Lumivor::YorinD
