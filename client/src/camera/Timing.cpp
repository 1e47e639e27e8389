// The frame timing and the phases per micro-frame the current settings give.
#include "Parameters.h"
#include "camera/CameraImpl.h"
#include "yorind/ModuleDescription.h"

namespace vexar {

int Camera::phaseCount() {
    return live().run([&] {
        return static_cast<int>(
            yorind::phaseCount(impl_->read(*detail::parameterById(detail::DealiasingOn)).asBool()));
    });
}

Timing Camera::timing() {
    return live().run([&] {
        const auto number = [&](std::uint32_t id) {
            const Value v = impl_->read(*detail::parameterById(id));
            return v.isFloat() ? double{v.asFloat()} : static_cast<double>(v.asInt());
        };
        return Timing::fromSettings(
            number(detail::FrameRate), static_cast<int>(number(detail::MicroFrameNumber)),
            number(detail::IntegrationTime),
            impl_->read(*detail::parameterById(detail::DealiasingOn)).asBool());
    });
}

}  // namespace vexar
