#pragma once

#include <cstdint>
#include <vector>

#include "bench/ZeroCostBus.h"
#include "vexar_param_interp.h"

namespace Lumivor::Bench {

// An instance of the plug-in made through its exports and initialised on a bus: the zero-cost
// bus it holds, or any other the caller names (the simulated module, to compare with).
class PluginOnBus {
  public:
    PluginOnBus();
    PluginOnBus(void* hostContext, RegisterReadCallback readCallback,
                RegisterWriteCallback writeCallback);
    ~PluginOnBus();
    PluginOnBus(const PluginOnBus&) = delete;
    PluginOnBus& operator=(const PluginOnBus&) = delete;

    ZeroCostBus bus;
    // The bus the instance works on, as the plug-in holds it.
    void* hostContext;
    RegisterReadCallback readCallback;
    RegisterWriteCallback writeCallback;
    void* instance;
};

// What the performance targets ask of an operation.
enum class Target {
    None,
    SubRegister,  // under 10 ns besides the callbacks, no allocation
    Parameter,    // under 150 ns besides the callbacks
    SystemState,  // under 5 us besides the callbacks
    Lifecycle,    // createInstance + initialize under 20 us
};

// One measured operation: a call of the plug-in, or of a bus callback for reference.
struct Operation {
    const char* name;
    const char* group;
    Target target;
    bool mustNotAllocate;
    // Brings the module into the state in which the call succeeds; null when any state does.
    void (*prepare)(PluginOnBus&);
    std::int32_t (*run)(PluginOnBus&);
};

// The baselines among them: a call that does nothing, and each bus callback on its own.
inline constexpr const char* kEmptyCall = "empty call (measuring loop)";
inline constexpr const char* kReadCallback = "read callback (3 bytes)";
inline constexpr const char* kWriteCallback = "write callback (3 bytes)";

// Every operation measured on an initialised instance, in the order of the table.
const std::vector<Operation>& operations();

// The two halves of an instance's life, measured on instances of their own.
void* createAndInitialize(void* hostContext, RegisterReadCallback readCallback,
                          RegisterWriteCallback writeCallback);
void* createAndInitialize(ZeroCostBus& bus);
void disposeAndDestroy(void* instance);

// The system state with one record for each of the sixteen parameters: 78 bytes.
std::vector<std::uint8_t> fullSystemState();
// A calibration record with both offsets, two reference temperatures and two coefficients.
std::vector<std::uint8_t> calibrationRecord();

}  // namespace Lumivor::Bench
