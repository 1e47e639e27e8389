// Each call holds the camera's gate and the bus (an adapter's or an image's lock) for its
// duration; a hold keeps both across calls, until it ends on whichever thread.
#include "Errors.h"
#include "camera/CameraImpl.h"

namespace vexar {

namespace {
// How often a wait for another thread asks whether it should stop.
constexpr std::chrono::milliseconds kInterruptPoll{50};
}  // namespace

void Gate::enter(const std::function<bool()>& interrupted) {
    std::unique_lock lock(mutex_);
    const auto me = std::this_thread::get_id();
    const auto mustWait = [&] { return owner_ != me && (calls_ > 0 || holds_ > 0); };
    if (mustWait()) {
        tellWaiting(lock);  // the other thread may have left meanwhile: looked at again below
    }
    while (mustWait()) {
        if (!interrupted) {
            changed_.wait(lock);
            continue;
        }
        changed_.wait_for(lock, kInterruptPoll);
        lock.unlock();
        const bool stop = interrupted();
        lock.lock();
        if (stop) {
            throw Error(ErrorKind::Busy,
                        "the camera is held by another thread; the wait for it was interrupted");
        }
    }
    owner_ = me;
    ++calls_;
}

void Gate::tellWaiting(std::unique_lock<std::mutex>& lock) {
    if (beforeWait_) {
        lock.unlock();
        beforeWait_();
        lock.lock();
    }
}

void Gate::leave() {
    {
        std::lock_guard lock(mutex_);
        if (--calls_ == 0 && holds_ == 0) {
            owner_ = {};
        }
    }
    changed_.notify_all();
}

int Gate::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void Gate::keepAsHold() {
    std::lock_guard lock(mutex_);
    --calls_;
    ++holds_;
}

bool Gate::enterToEndHold(bool& open) {
    std::unique_lock lock(mutex_);
    const auto me = std::this_thread::get_id();
    const auto ready = [&] { return !open || owner_ == me || calls_ == 0; };
    if (!ready()) {
        tellWaiting(lock);
    }
    changed_.wait(lock, ready);
    if (!open) {
        return false;
    }
    open = false;
    lender_ = owner_;
    owner_ = me;
    ++calls_;
    --holds_;
    return true;
}

void Gate::endedHold() {
    {
        std::lock_guard lock(mutex_);
        if (--calls_ == 0 && holds_ == 0) {
            owner_ = {};
        } else if (calls_ == 0) {
            owner_ = lender_;  // its other holds go on
        }
        lender_ = {};
    }
    changed_.notify_all();
}

int Gate::endAllHolds(const std::vector<bool*>& open) {
    int ended = 0;
    {
        std::lock_guard lock(mutex_);
        for (bool* flag : open) {
            if (*flag) {
                *flag = false;
                --holds_;
                ++ended;
            }
        }
    }
    changed_.notify_all();
    return ended;
}

Camera::Impl::Operation::Operation(Impl& impl) : impl_(impl) {
    impl_.gate->enter(impl_.interrupted);
    if (impl_.bus == nullptr) {
        impl_.gate->leave();
        throw detail::badInput("the camera is closed");
    }
    try {
        if (impl_.depth == 0) {
            impl_.bus->begin({impl_.lockTimeout, impl_.interrupted});
        }
    } catch (...) {
        impl_.gate->leave();
        throw;
    }
    ++impl_.depth;
    impl_.bus->markFailures();
}

void Camera::Impl::Operation::leave(bool succeeded) {
    if (impl_.closeRequested && impl_.gate->calls() == 1) {
        try {
            impl_.shutDown();
        } catch (...) {
            impl_.gate->leave();
            if (succeeded) {
                throw;
            }
            return;
        }
    }
    impl_.gate->leave();
}

void Camera::Impl::Operation::finish() {
    done_ = true;
    try {
        if (--impl_.depth == 0) {
            impl_.bus->end(true);
        }
    } catch (...) {
        leave(false);
        throw;
    }
    leave(true);
}

void Camera::Impl::Operation::keepAsHold() {
    done_ = true;
    impl_.gate->keepAsHold();
}

Camera::Impl::Operation::~Operation() {
    if (done_) {
        return;
    }
    if (--impl_.depth == 0) {
        try {
            impl_.bus->end(false);
        } catch (const Error&) {
            // The operation's own error is the one to tell.
        }
    }
    leave(false);
}

int Camera::Impl::endHolds() {
    std::vector<bool*> open;
    for (const auto& hold : holds) {
        open.push_back(&hold->open);
    }
    holds.clear();
    return gate->endAllHolds(open);
}

void Camera::Impl::shutDown() {
    endHolds();  // their part of the depth ends with the bus below
    closeRequested = false;
    // What ending the bus fails with is told once the camera is closed all the same.
    std::exception_ptr failure;
    try {
        if (session != nullptr) {
            if (depth == 0) {
                bus->begin({lockTimeout, interrupted});
            }
            ++depth;
            session.reset();
        }
        if (depth > 0) {
            depth = 0;
            bus->end(true);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    session.reset();
    depth = 0;
    bus.reset();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void Camera::Impl::endHold(const std::shared_ptr<HoldState>& hold, bool succeeded) {
    if (!hold->gate->enterToEndHold(hold->open)) {
        return;
    }
    Impl& impl = *hold->impl;
    std::erase(impl.holds, hold);
    try {
        if (--impl.depth == 0) {
            impl.bus->end(succeeded);
        }
    } catch (...) {
        hold->gate->endedHold();
        throw;
    }
    hold->gate->endedHold();
}

struct Hold::State {
    std::shared_ptr<Camera::Impl::HoldState> hold;
};

Hold::Hold(std::shared_ptr<State> state) : state_(std::move(state)) {}
Hold::Hold(Hold&&) noexcept = default;

Hold::~Hold() {
    if (state_) {
        try {
            Camera::Impl::endHold(state_->hold, false);
        } catch (const Error&) {
            // Only release() can tell it.
        }
    }
}

void Hold::release() {
    if (state_) {
        Camera::Impl::endHold(state_->hold, true);
    }
}

Hold Camera::hold() {
    Impl& impl = live();
    Impl::Operation operation(impl);
    auto hold = std::make_shared<Impl::HoldState>(Impl::HoldState{impl.gate, &impl, true});
    impl.holds.push_back(hold);
    operation.keepAsHold();
    return Hold(std::make_shared<Hold::State>(Hold::State{std::move(hold)}));
}

}  // namespace vexar
