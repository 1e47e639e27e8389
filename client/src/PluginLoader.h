#pragma once

#include <string>

#include "vexar_param_interp.h"

namespace vexar::detail {

// The plug-in's exports, resolved with dlopen/dlsym the way a host loads it.
struct PluginApi {
    getPluginVersion_fn getPluginVersion = nullptr;
    getSDKVersion_fn getSDKVersion = nullptr;
    getImplGUID_fn getImplGUID = nullptr;
    getImplType_fn getImplType = nullptr;
    createInstance_fn createInstance = nullptr;
    initialize_fn initialize = nullptr;
    dispose_fn dispose = nullptr;
    destroyInstance_fn destroyInstance = nullptr;
    getUnitType_fn getUnitType = nullptr;
    getAccessMode_fn getAccessMode = nullptr;
    getParameterRange_fn getParameterRange = nullptr;
    writeSystemState_fn writeSystemState = nullptr;
    readSystemState_fn readSystemState = nullptr;
    getLastError_fn getLastError = nullptr;
    writeCalibration_fn writeCalibration = nullptr;
    readCalibration_fn readCalibration = nullptr;
    getPhaseScaling_fn getPhaseScaling = nullptr;
    readInt_fn readInt = nullptr;
    readFloat_fn readFloat = nullptr;
    readBool_fn readBool = nullptr;
    getRegionOfInterest_fn getRegionOfInterest = nullptr;
    writeInt_fn writeInt = nullptr;
    writeFloat_fn writeFloat = nullptr;
    writeBool_fn writeBool = nullptr;
    setRegionOfInterest_fn setRegionOfInterest = nullptr;
};

class PluginLibrary {
  public:
    PluginLibrary() = default;
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;
    ~PluginLibrary();

    // Loads the library and resolves all 25 exports; false with error() filled otherwise.
    bool load(const std::string& path);
    const PluginApi& api() const { return api_; }
    const std::string& error() const { return error_; }

    // The last-error text of an instance, fetched with the size protocol.
    std::string lastError(void* instance) const;

  private:
    void* handle_ = nullptr;
    PluginApi api_;
    std::string error_;
};

}  // namespace vexar::detail
