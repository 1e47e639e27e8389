#include "host/LVLogger.h"

#include <atomic>
#include <mutex>

namespace Lumivor::Utils {

namespace {
struct LoggerState {
    std::mutex mutex;
    LVLogger::Sink sink = nullptr;
    void* user = nullptr;
    std::atomic<bool> installed{false};
};

LoggerState& state() {
    static LoggerState s;
    return s;
}
}  // namespace

LVLogger* LVLogger::instance() {
    static LVLogger logger;
    if (!state().installed.load(std::memory_order_acquire)) {
        return nullptr;
    }
    return &logger;
}

void LVLogger::info(const std::string& message) {
    LoggerState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.sink != nullptr) {
        s.sink(s.user, message);
    }
}

void LVLogger::installSink(Sink sink, void* user) {
    LoggerState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.sink = sink;
    s.user = user;
    s.installed.store(sink != nullptr, std::memory_order_release);
}

}  // namespace Lumivor::Utils
