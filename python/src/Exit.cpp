#include "Exit.h"

#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vexar::python {

namespace {

// One interpreter per process: its exit is the process's. A call only touches the two atomics;
// the mutex is for the exit's wait and for the threads parked after it. The count is raised
// before the flag is read and the flag set before the count is read (both sequentially
// consistent), so either a call starting as the exit begins sees the flag, or the exit counts
// the call.
struct Calls {
    std::atomic<int> underWay{0};
    std::atomic<bool> exiting{false};
    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id exitingThread;  // set before exiting, read only once it is seen
};

Calls& calls() {
    static Calls* const shared = new Calls;  // never destroyed: parked threads still use it
    return *shared;
}

// Longer than any call takes that is not waiting for a lock (which exiting ends).
constexpr std::chrono::seconds kLongestCall{5};

// A call made from inside another (a Python bus using a camera of its own) goes on, or the
// outer one would never end.
thread_local int depth = 0;

bool mustStayOut(const Calls& all) {
    return all.exiting.load() && depth == 0 && std::this_thread::get_id() != all.exitingThread;
}

[[noreturn]] void park(Calls& all) {
    std::unique_lock lock(all.mutex);
    while (true) {
        all.changed.wait(lock);
    }
}

void ended(Calls& all) {
    if (all.underWay.fetch_sub(1) == 1 && all.exiting.load()) {
        // Under the mutex, so the notice cannot fall between the exit's test and its wait.
        const std::lock_guard lock(all.mutex);
        all.changed.notify_all();
    }
}

// Counts the call as under way and true, or false once it must stay out (nothing counted).
bool admit(Calls& all) {
    all.underWay.fetch_add(1);
    if (mustStayOut(all)) {
        ended(all);
        return false;
    }
    ++depth;
    return true;
}

void left(Calls& all) {
    --depth;
    ended(all);
}

}  // namespace

CallUnderWay::CallUnderWay() {
    Calls& all = calls();
    if (!admit(all)) {
        park(all);
    }
}

CallUnderWay::~CallUnderWay() {
    left(calls());
}

CallWithGil::CallWithGil() : admitted_(admit(calls())) {}

CallWithGil::~CallWithGil() {
    if (admitted_) {
        left(calls());
    }
}

bool exiting() {
    return calls().exiting.load();
}

void awaitCallsAtExit() {
    const pybind11::gil_scoped_release release;
    Calls& all = calls();
    std::unique_lock lock(all.mutex);
    all.exitingThread = std::this_thread::get_id();
    all.exiting.store(true);
    all.changed.wait_for(lock, kLongestCall, [&] { return all.underWay.load() == 0; });
}

}  // namespace vexar::python
