#pragma once

// What a camera is opened and watched with. Apart from <vexar/camera.hpp> because <chrono> and
// <functional> cost more to compile than the rest of that header together.
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "vexar/camera.hpp"
#include "vexar/export.hpp"

namespace vexar {

struct OpenOptions {
    // The plug-in to load; empty: the one beside libvexar-client.so, else by name as dlopen
    // finds it.
    std::string plugin;
    // What the plug-in is initialised as; nothing: the built-in identity.
    std::optional<ModuleIdentity> identity;
    // How long one operation waits for another process to release an adapter or an image.
    std::chrono::milliseconds lockTimeout{10'000};
    // Asked at least every 50 ms while a call waits for a lock (another process's, or another
    // thread's hold); true ends the wait with Error(Busy). A Python caller's Ctrl-C ends it so.
    std::function<bool()> interrupted;
    // Called on the calling thread just before a call of it starts waiting for another thread
    // to leave the camera (or to end a hold), before the first interrupted: a caller that
    // keeps a lock of its own across the call, which the other thread may need to get out
    // (Python's GIL), lets go of it here.
    std::function<void()> beforeWait;
};

// A lock timeout as people give it, in seconds, 0 to a day, to the millisecond: what every
// face takes. Error(BadInput) "not a number of seconds from 0 to 86400" otherwise.
VEXAR_CLIENT_API std::chrono::milliseconds lockTimeoutFromSeconds(double seconds);

// What Camera::onTransaction calls for each transaction as it happens; an empty one calls
// nothing.
struct TransactionCallback : std::function<void(const Transaction&)> {
    using function::function;
};

}  // namespace vexar
