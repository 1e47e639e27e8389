#pragma once

#include <cstddef>
#include <string>

#include "host/Export.h"

namespace Lumivor::Utils {

// The process-wide logger of the host library, shared by the host and every plug-in it loads.
// It exists only while a host has installed a sink: until then instance() answers null and
// callers skip their logging altogether. Each instance() that answers the logger takes a
// reference, which its caller gives back with release() when done with it.
class LUMIVOR_API LVLogger {
  public:
    using Sink = void (*)(void* user, const std::string& line);

    // The logger with one more reference, or null (and no reference) when no sink is installed.
    static LVLogger* instance();

    void info(std::string message);
    void release();

    // Host side: route log lines to a sink (null removes it).
    static void installSink(Sink sink, void* user);
    // Host side: the references taken by instance() and not yet released.
    static std::size_t references();

  private:
    LVLogger() = default;
};

}  // namespace Lumivor::Utils
