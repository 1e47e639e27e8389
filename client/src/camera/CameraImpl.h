#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "Session.h"
#include "StateRecords.h"
#include "bus/Backend.h"
#include "vexar/camera.hpp"
#include "vexar/options.hpp"

namespace vexar {

// Who is inside the camera: one thread at a time, its calls nesting, and the holds it made
// keeping it across calls. Unlike a recursive mutex, it lets a hold end on any thread. It
// outlives the camera in the holds, so that one released after the camera went is a no-op.
class Gate {
  public:
    // Until no other thread is inside. Error(Busy) once interrupted says to stop waiting.
    void enter(const std::function<bool()>& interrupted);
    void leave();
    // The thread's calls inside, the one running included.
    int calls() const;
    // The running call stays as a hold once it leaves.
    void keepAsHold();
    // A hold ending, on any thread: waits until its thread is between calls, then lets this
    // one in as if it had entered (leave with endedHold), the hold gone. False when the hold had
    // already ended (open is false; it is guarded by the gate).
    bool enterToEndHold(bool& open);
    void endedHold();
    // Ends every hold still open (the camera closing): their count, for the caller to undo.
    int endAllHolds(const std::vector<bool*>& open);
    // For lock_guard, where no wait can be interrupted.
    void lock() { enter({}); }
    void unlock() { leave(); }
    // Told once by each entry that is about to wait (see OpenOptions::beforeWait); set before
    // the gate is shared.
    void setBeforeWait(std::function<void()> hook) { beforeWait_ = std::move(hook); }

  private:
    // Tells beforeWait_ of a wait about to begin, with the lock let go meanwhile (the hook may
    // itself wait, for the GIL's own mutex).
    void tellWaiting(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::thread::id owner_;
    // The owner whose hold another thread is ending.
    std::thread::id lender_;
    int calls_ = 0;
    int holds_ = 0;
    std::function<void()> beforeWait_;
};

// What every file of the camera shares: the bus, the plug-in's session on it, and the lock that
// makes each public call one operation.
struct Camera::Impl {
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    std::unique_ptr<detail::bus::Backend> bus;
    std::unique_ptr<detail::Session> session;
    std::chrono::milliseconds lockTimeout{};
    std::function<bool()> interrupted;
    // Operations begun and not ended, the holds' included: the bus is begun at the first.
    int depth = 0;
    // The holds not yet ended: each has its flag, guarded by the gate.
    struct HoldState {
        std::shared_ptr<Gate> gate;
        Impl* impl = nullptr;
        bool open = true;  // guarded by the gate
    };
    std::vector<std::shared_ptr<HoldState>> holds;
    // close() from inside one of the camera's own calls (a bus or a callback): done once the
    // outermost call ends, since the calls around it still use the plug-in and the bus.
    bool closeRequested = false;
    // What the camera says of itself after it closed.
    std::string pluginPath;
    ModuleIdentity identity;
    // Who is told of each transaction: the one callback, and every recording still running
    // (its own lock, since a recording stops from any thread, the camera's lock held or not).
    // Shared, so that a callback that replaces itself goes on running to its end.
    std::shared_ptr<const std::function<void(const Transaction&)>> callback;
    std::mutex tracesMutex;
    std::vector<std::shared_ptr<TraceRecording::State>> traces;
    void dispatch(const Transaction& transaction);
    // The plug-in instance computes frame rate and frequencies with a phase count that only a
    // written state changes: 4 from initialisation, 6 after a state with dealiasing on.
    bool instanceDealiasing = false;
    // Whether instanceDealiasing was checked against the module since a register was written
    // past the plug-in.
    bool phaseCountFollowed = false;
    // The write-only voltages this camera asked for last, by parameter id: what a profile
    // gives while the device still holds the byte sent for it.
    std::map<std::uint32_t, float> voltagesWritten;
    // Where the camera was opened ("/dev/i2c-1"; empty for a caller's bus), to open it again.
    std::string where;
    // The settings the module was last known to hold: the last state read or written, with
    // each plain write since (only those before any state); what a reconnect writes back.
    std::vector<detail::StateRecord> known;
    // What a reconnect without restore found the module no longer holding, with its voltages:
    // what a later reconnect with restore writes back.
    std::optional<std::vector<detail::StateRecord>> unrestored;
    // Notes a parameter's value as the module holds it now, in the known settings.
    void remember(const detail::ParameterInfo& parameter, const Value& value);

    // One call: serialised with the others, the bus held for its duration (or the hold's).
    // Error(BadInput) once the camera is closed.
    class Operation {
      public:
        explicit Operation(Impl& impl);
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;
        // Ends the operation as one that succeeded; what ending fails with is its error.
        void finish();
        ~Operation();

        // The operation goes on as a hold: the bus stays begun after the call.
        void keepAsHold();

      private:
        // The outermost call's end: a close asked for within it is done now.
        void leave(bool succeeded);
        Impl& impl_;
        bool done_ = false;
    };

    // Ends the holds, disposes the plug-in instance and drops the bus, from inside the gate
    // as its only call; what ending the bus fails with is thrown once all is done.
    void shutDown();
    // Marks every hold ended; how many there were, for the caller to undo their depth.
    int endHolds();
    // Ends one hold (Hold::release and its destructor); a no-op once it ended.
    static void endHold(const std::shared_ptr<HoldState>& hold, bool succeeded);

    template <typename F>
    auto run(F&& body) {
        Operation operation(*this);
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            operation.finish();
        } else {
            auto result = body();
            operation.finish();
            return result;
        }
    }

    // A parameter's value through its typed export; the refusal names the parameter (and that
    // it is write-only, where it is).
    Value read(const detail::ParameterInfo& parameter);
    // The system state as the plug-in gives it, and written back; a refusal names the record's
    // parameter, and what tells the operation apart ("state load", "profile").
    std::vector<std::uint8_t> readState();
    void writeState(std::span<const std::uint8_t> state, const std::string& what);

    // What is known of a write-only voltage: the byte its device latched (where the backend
    // can tell) or else the one this camera sent it last, as the voltage asked for or the
    // shortest voltage of that byte; nothing otherwise.
    std::optional<float> knownVoltage(std::uint32_t id) const;
    // The current state with the changes made, written whole: see Camera::set.
    StateWritten writeThroughState(const std::vector<detail::StateRecord>& changes,
                                   bool assumePowerOn, const std::string& what);
    // Whether the plug-in computes the parameter with its phase count.
    static bool dependsOnPhaseCount(const detail::ParameterInfo& parameter);
    // Brings the plug-in's phase count to the module's dealiasing setting, which another
    // process may have changed, so that every process computes frame rate and frequencies
    // alike; nothing is written to the module.
    void followModulePhaseCount();
    // Whether the plug-in writes the parameter only in a system state.
    static bool stateOnly(std::uint32_t id);
    // Whether the parameter is a write-only voltage, which the plug-in's state reports as 50.
    static bool isVoltage(const detail::ParameterInfo& parameter);
    // The instance's phase count set, by a state it refuses: nothing is written to the module.
    void setInstancePhaseCount(bool dealiasing);
    // Error(BadInput) naming both modules for a profile of another one, unless options say.
    void refuseOtherModule(const Profile& profile, const WriteOptions& options) const;
    // Notes a successful plain write of a write-only voltage.
    void wrote(const detail::ParameterInfo& parameter, const Value& value);
};

namespace detail {
// The backend a camera's name stands for: "sim", "image:PATH", "/dev/i2c-N" or "N".
std::unique_ptr<bus::Backend> openBackend(std::string_view where);
// A camera's innards on a backend: the plug-in loaded and initialised on it.
std::unique_ptr<Camera::Impl> openImpl(std::unique_ptr<bus::Backend> bus,
                                       const OpenOptions& options);
}  // namespace detail

}  // namespace vexar
