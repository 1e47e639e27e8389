#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/RangeDecoder.h"
#include "sim/SimulatedModule.h"
#include "tools/PluginLoader.h"
#include "tools/ctl/Parameters.h"
#include "tools/ctl/Values.h"

namespace Lumivor::Ctl {

// One plug-in instance, loaded with dlopen and initialised on the simulated module as a host
// does, and released again in the opposite order.
class Session {
  public:
    // Loads the library, creates an instance and initialises it; CommandError when the library
    // cannot be loaded or the plug-in refuses the module.
    explicit Session(const std::string& pluginPath);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    const Tools::PluginApi& api() const { return library_.api(); }
    void* instance() const { return instance_; }
    Sim::SimulatedModule& module() { return module_; }
    const std::string& pluginPath() const { return pluginPath_; }

    // Fetches and so clears the plug-in's last-error text.
    std::string takeLastError() const;
    // Throws CommandError(Refused) for a non-zero code: "<what>: <Code (n)>: <last-error text>",
    // followed by the hint.
    void check(std::int32_t code, const std::string& what, const std::string& hint = {}) const;

    // The typed export that matches the parameter's value type; the plug-in's code.
    std::int32_t read(const ParameterInfo& parameter, Value& value) const;
    std::int32_t write(const ParameterInfo& parameter, const Value& value) const;
    std::uint32_t unit(const ParameterInfo& parameter, const std::string& what) const;
    std::uint32_t access(const ParameterInfo& parameter, const std::string& what) const;
    // The parameter's range; nothing when the plug-in has none for it (NotSupported).
    std::optional<RangeWire::RangeDescription> range(const ParameterInfo& parameter,
                                                     const std::string& what) const;

  private:
    Tools::PluginLibrary library_;
    std::string pluginPath_;
    Sim::SimulatedModule module_;
    void* instance_ = nullptr;
};

}  // namespace Lumivor::Ctl
