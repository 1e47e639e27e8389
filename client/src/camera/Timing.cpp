// The frame timing and the phases per micro-frame the current settings give.
#include "Parameters.h"
#include "camera/CameraImpl.h"
#include "yorind/ModuleDescription.h"

namespace vexar {

int Camera::phaseCount() {
    return live().run([&] {
        return static_cast<int>(yorind::phaseCount(
            std::get<bool>(impl_->read(*detail::parameterById(detail::DealiasingOn)))));
    });
}

Timing Camera::timing() {
    return live().run([&] {
        const auto number = [&](std::uint32_t id) {
            const detail::Value v = impl_->read(*detail::parameterById(id));
            return std::holds_alternative<float>(v)
                       ? double{std::get<float>(v)}
                       : static_cast<double>(std::get<std::int32_t>(v));
        };
        return Timing::fromSettings(
            number(detail::FrameRate), static_cast<int>(number(detail::MicroFrameNumber)),
            number(detail::IntegrationTime),
            std::get<bool>(impl_->read(*detail::parameterById(detail::DealiasingOn))));
    });
}

}  // namespace vexar
