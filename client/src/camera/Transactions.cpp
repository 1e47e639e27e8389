// The record of bus transactions every operation adds to, and who is told of each.
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

void Camera::onTransaction(std::function<void(const Transaction&)> callback) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->bus != nullptr) {
        impl_->bus->onTransaction(std::move(callback));
    }
}

}  // namespace vexar
