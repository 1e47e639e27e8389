#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "Session.h"
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
};

}  // namespace vexar
