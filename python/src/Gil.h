#pragma once

#include <Python.h>
#include <cxxabi.h>

#include <exception>
#include <type_traits>

#include "Exit.h"

namespace vexar::python {

// Where a camera call lets the GIL go.
enum class Gil {
    // For the whole call: one that may wait outside Python (an adapter's transfer, another
    // process's lock on an image).
    ReleasedForCall,
    // Only should the call have to wait for another thread in the camera: one on the
    // simulated module or a Python bus, whose only other waits are the bus's own Python,
    // which lets the GIL go where it waits. Taking the GIL back costs a handoff whenever
    // other threads want it, several a transfer on a Python bus.
    ReleasedToWait,
};

// Runs call with the GIL released, as a call under way (see CallUnderWay) until the GIL is held
// again, and takes it back in plain code, never in a destructor (as ~gil_scoped_release would):
// should the thread be ended there, its stack unwinds, which a destructor cannot let through.
template <typename Call>
auto withoutGil(Call&& call) -> decltype(call());

// The GIL a thread keeps through a camera call, innermost first: a call made with it released
// (or a Python bus's call of another camera) stacks its own.
class KeptGil {
  public:
    // keeping false: a call that released the GIL itself, which has none to let go.
    explicit KeptGil(bool keeping);
    ~KeptGil();
    KeptGil(const KeptGil&) = delete;
    KeptGil& operator=(const KeptGil&) = delete;
    // Takes the GIL back if the call let it go; plain code, for the reason withoutGil says.
    void takeBack();

  private:
    friend void letGilGoToWait();
    KeptGil* outer_;
    bool keeping_;
    PyThreadState* released_ = nullptr;
};

// The camera's OpenOptions::beforeWait: the innermost call keeping the GIL lets it go, so that
// the thread it waits for can take it.
void letGilGoToWait();

// Runs call as gil says: with the GIL kept unless the call waits for another thread, or
// released throughout (as ever once the exit has begun).
template <typename Call>
auto withGil(Gil gil, Call&& call) -> decltype(call());

// ---------------------------------------------------------------------------------------------

namespace detail {
// Runs call, then retake (which takes the GIL back) in plain code however call ended, save for
// the thread being ended, for the reason withoutGil says.
template <typename Call, typename Retake>
auto runThenRetake(Call& call, Retake retake) -> decltype(call()) {
    std::exception_ptr failure;
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            retake();
            return;
        } else {
            auto result = call();
            retake();
            return result;
        }
    } catch (abi::__forced_unwind&) {
        throw;  // the thread is ending, with no GIL to take back
    } catch (...) {
        failure = std::current_exception();
    }
    retake();
    std::rethrow_exception(failure);
}
}  // namespace detail

template <typename Call>
auto withoutGil(Call&& call) -> decltype(call()) {
    PyThreadState* const thread = PyEval_SaveThread();
    const CallUnderWay underWay;
    const KeptGil none(false);
    return detail::runThenRetake(call, [thread] { PyEval_RestoreThread(thread); });
}

template <typename Call>
auto withGil(Gil gil, Call&& call) -> decltype(call()) {
    if (gil == Gil::ReleasedForCall) {
        return withoutGil(call);
    }
    const CallWithGil counted;
    if (!counted.admitted()) {
        return withoutGil(call);
    }
    KeptGil kept(true);
    return detail::runThenRetake(call, [&kept] { kept.takeBack(); });
}

}  // namespace vexar::python
