// The record of bus transactions every operation adds to, and who is told of each.
#include <mutex>

#include "camera/CameraImpl.h"

namespace vexar {

std::vector<Transaction> Camera::transactions() const {
    if (impl_ == nullptr) {
        return {};
    }
    std::lock_guard lock(*impl_->gate);
    if (impl_->bus == nullptr) {
        return {};
    }
    return {impl_->bus->transactions().begin(), impl_->bus->transactions().end()};
}

void Camera::clearTransactions() {
    if (impl_ == nullptr) {
        return;
    }
    std::lock_guard lock(*impl_->gate);
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
        const auto running = callback;
        (*running)(transaction);
    }
}

void Camera::onTransaction(TransactionCallback callback) {
    Impl& impl = live();
    std::lock_guard lock(*impl.gate);
    impl.callback =
        callback ? std::make_shared<const std::function<void(const Transaction&)>>(
                       std::move(static_cast<std::function<void(const Transaction&)>&>(callback)))
                 : nullptr;
}

TraceRecording Camera::trace() {
    Impl& impl = live();
    auto state = std::make_shared<TraceRecording::State>();
    std::lock_guard lock(impl.tracesMutex);
    impl.traces.push_back(state);
    return TraceRecording(std::move(state));
}

}  // namespace vexar
