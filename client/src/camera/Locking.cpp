// Each call holds the camera's lock and the bus (an adapter's or an image's lock) for its
// duration; a hold keeps both across calls.
#include "Errors.h"
#include "camera/CameraImpl.h"

namespace vexar {

Camera::Impl::Operation::Operation(Impl& impl) : impl_(impl), lock_(impl.mutex) {
    if (impl_.bus == nullptr) {
        throw detail::badInput("the camera is closed");
    }
    if (impl_.depth == 0) {
        impl_.bus->begin(impl_.lockTimeout);
    }
    ++impl_.depth;
    impl_.bus->markFailures();
}

void Camera::Impl::Operation::finish() {
    done_ = true;
    if (--impl_.depth == 0) {
        impl_.bus->end(true);
    }
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
}

struct Hold::State {
    std::unique_ptr<Camera::Impl::Operation> operation;
};

Hold::Hold(std::shared_ptr<State> state) : state_(std::move(state)) {}
Hold::Hold(Hold&&) noexcept = default;
Hold::~Hold() = default;

void Hold::release() {
    if (state_ && state_->operation) {
        const auto operation = std::move(state_->operation);
        operation->finish();
    }
}

Hold Camera::hold() {
    auto state = std::make_shared<Hold::State>();
    state->operation = std::make_unique<Impl::Operation>(*impl_);
    return Hold(std::move(state));
}

}  // namespace vexar
