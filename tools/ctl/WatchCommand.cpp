#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <thread>

#include "Commands.h"
#include "vexar/watch.hpp"

namespace vexar::ctl {

namespace {
std::atomic<bool> interrupted = false;

extern "C" void onInterrupt(int) {
    interrupted = true;
}

// Ctrl-C ends the watch as its way out, not as a failure; the previous handler comes back.
class InterruptEndsWatch {
  public:
    InterruptEndsWatch() {
        interrupted = false;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptEndsWatch() { sigaction(SIGINT, &previous_, nullptr); }
    InterruptEndsWatch(const InterruptEndsWatch&) = delete;
    InterruptEndsWatch& operator=(const InterruptEndsWatch&) = delete;

  private:
    struct sigaction previous_ {};
};

std::string timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    char full[40];
    std::snprintf(full, sizeof full, "%s.%03lld", text, static_cast<long long>(millis));
    return full;
}
}  // namespace

void runWatch(Context& context, const std::vector<std::string>& names,
              std::chrono::milliseconds interval, long count, bool fields) {
    const InterruptEndsWatch ctrlC;
    vexar::Watch watch(context.camera, names, fields);
    watch.look();
    long seen = 0;
    while (!interrupted && (count <= 0 || seen < count)) {
        // Short sleeps, so that Ctrl-C ends the watch at once.
        const auto until = std::chrono::steady_clock::now() + interval;
        while (!interrupted && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                std::chrono::milliseconds(50), until - std::chrono::steady_clock::now()));
        }
        if (interrupted) {
            break;
        }
        const vexar::WatchLook look = watch.look();
        const std::string when = timestamp();
        if (look.bus == vexar::WatchedBus::WentAway) {
            context.out << when << " the module is disconnected (" << look.why
                        << "); looking for it again\n";
        } else if (look.bus == vexar::WatchedBus::CameBack) {
            context.out << when << " the module is back: reconnected\n";
        }
        if (look.reset) {
            context.out << when << " the module was reset: every field is at its power-on value\n";
        }
        for (const vexar::WatchedChange& change : look.changes) {
            context.out << when << ' ' << change.name << ": " << change.before.toString() << " -> "
                        << change.after.toString() << '\n';
            if (++seen == count) {
                break;
            }
        }
        context.out.flush();
    }
}

}  // namespace vexar::ctl
