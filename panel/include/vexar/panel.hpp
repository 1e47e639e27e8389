#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string>

namespace vexar {

class Camera;

namespace panel {

// How the control panel is served. The defaults are what `vexar-ctl serve` uses.
struct ServeOptions {
    // ADDR:PORT: an IPv4 address, "localhost" or a bracketed IPv6 address; port 0 picks a free
    // one. Anything but a loopback address is warned of on the error stream.
    std::string listen = "127.0.0.1:0";
    // Workers that run the handlers. Connections and event streams are served by one I/O
    // thread and hold none while they wait, so only requests at work on the camera count.
    std::size_t threads = 8;
    // Event streams beyond this many are answered 503, so that they can never take every worker.
    std::size_t maxEventStreams = 16;
    // How long a request may take to arrive whole, head and body, counted from when the
    // connection waits for it (so an idle kept-alive connection too), whatever the pace of its
    // bytes; then the connection is closed. Also the limit on writing one answer.
    std::chrono::milliseconds requestDeadline{5000};
    // How often the panel looks for changes another process made (an image or an adapter is
    // shared); never on the simulated module, which only this process can reach.
    std::chrono::milliseconds pollInterval{1000};
    // The camera's lock timeout, which the page is told: an answer may take that long while
    // another process holds the image or adapter, and no longer.
    std::chrono::milliseconds lockTimeout{10'000};
    // When the module comes back after its adapter went away, write back the settings it was
    // last known to hold (Camera::reconnect with restore); without it the page offers to.
    bool restore = false;
    // The token of the URL; empty: a random one made at each start. Tests set their own.
    std::string token;
};

// Serves the panel for the camera until SIGINT or SIGTERM arrives, then lets running requests
// finish, ends the event streams and returns. The first line on `out` is the URL to open,
// "http://ADDR:PORT/?token=TOKEN", flushed; warnings and the closing note go to `err`.
// Error(BadInput) when the address is malformed or cannot be bound, before anything is printed.
//
// It blocks SIGINT and SIGTERM in the calling thread for its duration (the threads it starts
// inherit that) and waits for them itself; the mask is restored on return.
void serve(Camera& camera, const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace panel
}  // namespace vexar
