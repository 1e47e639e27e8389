#pragma once

#include <string>

#include "host/Export.h"

namespace Lumivor::Utils {

// The process-wide logger of the host library, shared by the host and every plug-in it loads.
// It exists only while a host has installed a sink: until then instance() answers null and
// callers skip their logging altogether.
class LUMIVOR_API LVLogger {
  public:
    using Sink = void (*)(void* user, const std::string& line);

    // The logger, or null when no sink is installed.
    static LVLogger* instance();

    void info(const std::string& message);

    // Host side: route log lines to a sink (null removes it).
    static void installSink(Sink sink, void* user);

  private:
    LVLogger() = default;
};

}  // namespace Lumivor::Utils
