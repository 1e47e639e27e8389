// The record of bus transactions every operation adds to, and who is told of each.
#include <mutex>

#include "camera/CameraImpl.h"

namespace vexar {

std::vector<Transaction> Camera::transactions() const {
    std::lock_guard lock(impl_->mutex);
    if (impl_->bus == nullptr) {
        return {};
    }
    return {impl_->bus->transactions().begin(), impl_->bus->transactions().end()};
}

void Camera::clearTransactions() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->bus != nullptr) {
        impl_->bus->clearLog();
    }
}

struct TraceRecording::State {
    std::mutex mutex;
    std::vector<Transaction> recorded;
    bool running = true;
};

TraceRecording::TraceRecording(std::shared_ptr<State> state) : state_(std::move(state)) {}
TraceRecording::TraceRecording(TraceRecording&&) noexcept = default;
TraceRecording& TraceRecording::operator=(TraceRecording&& other) noexcept {
    if (this != &other) {
        stop();
        state_ = std::move(other.state_);
    }
    return *this;
}
TraceRecording::~TraceRecording() {
    stop();
}

std::vector<Transaction> TraceRecording::transactions() const {
    if (state_ == nullptr) {
        return {};
    }
    std::lock_guard lock(state_->mutex);
    return state_->recorded;
}

void TraceRecording::stop() {
    if (state_ != nullptr) {
        std::lock_guard lock(state_->mutex);
        state_->running = false;
    }
}

void Camera::Impl::dispatch(const Transaction& transaction) {
    {
        std::lock_guard lock(tracesMutex);
        std::erase_if(traces, [&](const std::shared_ptr<TraceRecording::State>& trace) {
            std::lock_guard held(trace->mutex);
            if (trace->running) {
                trace->recorded.push_back(transaction);
            }
            return !trace->running;
        });
    }
    if (callback) {
        callback(transaction);
    }
}

void Camera::onTransaction(std::function<void(const Transaction&)> callback) {
    std::lock_guard lock(impl_->mutex);
    impl_->callback = std::move(callback);
}

TraceRecording Camera::trace() {
    auto state = std::make_shared<TraceRecording::State>();
    std::lock_guard lock(impl_->tracesMutex);
    impl_->traces.push_back(state);
    return TraceRecording(std::move(state));
}

}  // namespace vexar
