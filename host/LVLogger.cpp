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
    std::atomic<std::size_t> references{0};
};

LoggerState& state() {
    static LoggerState s;
    return s;
}
}  // namespace

LVLogger* LVLogger::instance() {
    static LVLogger logger;
    LoggerState& s = state();
    if (!s.installed.load(std::memory_order_acquire)) {
        return nullptr;
    }
    s.references.fetch_add(1, std::memory_order_relaxed);
    return &logger;
}

void LVLogger::info(std::string message) {
    LoggerState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.sink != nullptr) {
        s.sink(s.user, message);
    }
}

void LVLogger::release() {
    state().references.fetch_sub(1, std::memory_order_relaxed);
}

void LVLogger::installSink(Sink sink, void* user) {
    LoggerState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.sink = sink;
    s.user = user;
    s.installed.store(sink != nullptr, std::memory_order_release);
}

std::size_t LVLogger::references() {
    return state().references.load(std::memory_order_relaxed);
}

}  // namespace Lumivor::Utils
