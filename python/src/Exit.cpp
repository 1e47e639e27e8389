#include "Exit.h"

#include <pybind11/pybind11.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vexar::python {

namespace {

// One interpreter per process: its exit is the process's.
struct Calls {
    std::mutex mutex;
    std::condition_variable changed;
    int underWay = 0;
    bool exiting = false;
    std::thread::id exitingThread;
};

Calls& calls() {
    static Calls* const shared = new Calls;  // never destroyed: parked threads still use it
    return *shared;
}

// Longer than any call takes that is not waiting for a lock (which exiting ends).
constexpr std::chrono::seconds kLongestCall{5};

}  // namespace

// A call made from inside another (a Python bus using a camera of its own) goes on, or the
// outer one would never end.
thread_local int depth = 0;

CallUnderWay::CallUnderWay() {
    Calls& all = calls();
    std::unique_lock lock(all.mutex);
    if (all.exiting && depth == 0 && std::this_thread::get_id() != all.exitingThread) {
        all.changed.wait(lock, [] { return false; });
    }
    ++all.underWay;
    ++depth;
}

CallUnderWay::~CallUnderWay() {
    Calls& all = calls();
    {
        std::lock_guard lock(all.mutex);
        --all.underWay;
    }
    --depth;
    all.changed.notify_all();
}

bool exiting() {
    Calls& all = calls();
    std::lock_guard lock(all.mutex);
    return all.exiting;
}

void stayOutIfExiting() {
    Calls& all = calls();
    std::unique_lock lock(all.mutex);
    if (all.exiting && depth == 0 && std::this_thread::get_id() != all.exitingThread) {
        all.changed.wait(lock, [] { return false; });
    }
}

void awaitCallsAtExit() {
    const pybind11::gil_scoped_release release;
    Calls& all = calls();
    std::unique_lock lock(all.mutex);
    all.exiting = true;
    all.exitingThread = std::this_thread::get_id();
    all.changed.wait_for(lock, kLongestCall, [&] { return all.underWay == 0; });
}

}  // namespace vexar::python
