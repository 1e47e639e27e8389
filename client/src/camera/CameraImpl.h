#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "Session.h"
#include "StateRecords.h"
#include "bus/Backend.h"
#include "vexar/camera.hpp"

namespace vexar {

// What every file of the camera shares: the bus, the plug-in's session on it, and the lock that
// makes each public call one operation.
struct Camera::Impl {
    mutable std::recursive_mutex mutex;
    std::unique_ptr<detail::bus::Backend> bus;
    std::unique_ptr<detail::Session> session;
    std::chrono::milliseconds lockTimeout{};
    int depth = 0;
    // Who is told of each transaction: the one callback, and every recording still running
    // (its own lock, since a recording stops from any thread, the camera's lock held or not).
    std::function<void(const Transaction&)> callback;
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

      private:
        Impl& impl_;
        std::unique_lock<std::recursive_mutex> lock_;
        bool done_ = false;
    };

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
    detail::Value read(const detail::ParameterInfo& parameter);
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
    // Notes a successful plain write of a write-only voltage.
    void wrote(const detail::ParameterInfo& parameter, const detail::Value& value);
};

}  // namespace vexar
