#pragma once

#include <string>

#include "vexar/export.hpp"

namespace vexar {

// The frame timing the settings give, in milliseconds: one frame period made of micro-frames,
// each of them its phases, an integration window and the idle rest.
struct VEXAR_CLIENT_API Timing {
    double framePeriod = 0;
    int microFrames = 0;
    double microFramePeriod = 0;
    int phasesPerMicroFrame = 0;  // 6 with DealiasingOn, else 4
    double integration = 0;       // of each micro-frame
    double idle = 0;              // of each micro-frame: its period less the integration

    // From the parameters' values: FrameRate (frames per second), MicroFrameNumber,
    // IntegrationTime (ms) and DealiasingOn.
    static Timing fromSettings(double frameRate, int microFrames, double integrationTime,
                               bool dealiasing);

    // The lines vexar-ctl timing prints.
    std::string toText() const;
    // One drawing of it, the same wherever it is asked for.
    std::string toSvg() const;
};

}  // namespace vexar
