#include "variant/ParameterCatalogue.h"

#include <memory>

#include "variant/FrameTimingParameters.h"
#include "variant/IlluminationParameters.h"
#include "variant/ModulationParameters.h"
#include "variant/OutputParameters.h"

namespace Lumivor::YorinD {

namespace {
template <typename... Classes>
ParameterTable makeTable() {
    ParameterTable table;
    (table.insert(std::make_unique<Classes>()), ...);
    return table;
}
}  // namespace

// Each class fixes its identifier, value type, unit and access mode; the order of insertion is
// of no consequence.
ParameterTable buildParameterTable() {
    return makeTable<FrameRate_YORIN_D, Range_YORIN_D, RegionOfInterest_YORIN_D,
                     RawOutputMode_YORIN_D, LeftIlluminationVoltage_YORIN_D, StreamEnable_YORIN_D,
                     RightIlluminationVoltage_YORIN_D, MicroFrameNumber_YORIN_D,
                     MixingVoltage_YORIN_D, IntegrationTime_YORIN_D, ModulationFrequency_YORIN_D,
                     DealiasingOn_YORIN_D, DealiasingFrequency_YORIN_D, MixingSignalsMode_YORIN_D,
                     IlluminationMode_YORIN_D, NativeFrameFormat_YORIN_D>();
}

}  // namespace Lumivor::YorinD
