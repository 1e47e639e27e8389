#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ModuleIdentity.h"
#include "Parameters.h"
#include "PluginLoader.h"
#include "bus/Backend.h"
#include "vexar/camera.hpp"

namespace vexar::detail {

// One plug-in instance, loaded with dlopen and initialised on a bus backend as a host does, and
// released again in the opposite order. The session hands the plug-in the backend's callbacks
// and does not care which backend it is.
class Session {
  public:
    // Loads the library, checks that the sensor answers on the bus, creates an instance and
    // initialises it; vexar::Error when the library cannot be loaded, the sensor is silent
    // (BusFailure) or the plug-in refuses the module. The bus outlives the session.
    Session(const std::string& pluginPath, bus::Backend& bus, const ModuleIdentity& identity);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    const PluginApi& api() const { return library_.api(); }
    void* instance() const { return instance_; }
    bus::Backend& bus() { return *bus_; }
    const ModuleIdentity& publicIdentity() const { return identity_; }
    const std::string& pluginPath() const { return pluginPath_; }

    // Fetches and so clears the plug-in's last-error text.
    std::string takeLastError() const;
    // Throws Error(Refused) for a non-zero code: "<what>: <Code (n)>: <last-error text>",
    // followed by the hint; Error(BusFailure) naming the failed transfer, with its errno and
    // without the code, instead when a bus transaction failed since the failures were marked.
    void check(std::int32_t code, const std::string& what, const std::string& hint = {},
               const std::string& allowed = {}) const;

    // The typed export that matches the parameter's value type (the value read is of that
    // type); the plug-in's code.
    std::int32_t read(const ParameterInfo& parameter, std::optional<Value>& value) const;
    std::int32_t write(const ParameterInfo& parameter, const Value& value) const;
    std::uint32_t unit(const ParameterInfo& parameter, const std::string& what) const;
    vexar::Access access(const ParameterInfo& parameter, const std::string& what) const;
    // The same without refusing: nothing when the plug-in does not say.
    std::optional<vexar::Access> accessIfTold(const ParameterInfo& parameter) const;
    // The parameter's range; nothing when the plug-in has none for it (NotSupported).
    std::optional<vexar::Range> range(const ParameterInfo& parameter,
                                      const std::string& what) const;

  private:
    PluginLibrary library_;
    std::string pluginPath_;
    bus::Backend* bus_;
    ModuleIdentity identity_;
    void* instance_ = nullptr;
};

}  // namespace vexar::detail
