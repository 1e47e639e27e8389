#include "Transactions.h"

#include <algorithm>

namespace vexar::python {

void Listeners::operator()(const Transaction& transaction) {
    if (count_.load(std::memory_order_acquire) == 0) {
        return;
    }
    std::shared_ptr<py::object> callback;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& recording : recordings_) {
            recording->push_back(transaction);
        }
        callback = callback_;
    }
    if (callback) {
        py::gil_scoped_acquire gil;
        try {
            (*callback)(py::cast(transaction, py::return_value_policy::copy));
        } catch (py::error_already_set& raised) {
            // Nowhere to raise it: the camera's call goes on. Python reports it as it does an
            // exception in a __del__.
            raised.discard_as_unraisable("vexar transaction callback");
        }
        callback.reset();
    }
}

void Listeners::start(const std::shared_ptr<Recording>& recording) {
    const std::lock_guard lock(mutex_);
    recordings_.push_back(recording);
    count_.fetch_add(1, std::memory_order_release);
}

void Listeners::stop(const std::shared_ptr<Recording>& recording) {
    const std::lock_guard lock(mutex_);
    const auto found = std::find(recordings_.begin(), recordings_.end(), recording);
    if (found != recordings_.end()) {
        recordings_.erase(found);
        count_.fetch_sub(1, std::memory_order_release);
    }
}

std::vector<Transaction> Listeners::recorded(const Recording& recording) {
    const std::lock_guard lock(mutex_);
    return recording;
}

void Listeners::setCallback(py::object callback) {
    std::shared_ptr<py::object> replacement;
    if (!callback.is_none()) {
        // The last holder may be a camera thread that has let the GIL go again.
        replacement =
            std::shared_ptr<py::object>(new py::object(std::move(callback)), [](py::object* held) {
                py::gil_scoped_acquire gil;
                delete held;
            });
    }
    std::shared_ptr<py::object> previous;
    {
        const std::lock_guard lock(mutex_);
        previous = std::exchange(callback_, replacement);
        count_.fetch_add((replacement ? 1 : 0) - (previous ? 1 : 0), std::memory_order_release);
    }
}

}  // namespace vexar::python
