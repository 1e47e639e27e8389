// The calibration record, read and written whole through the plug-in.
#include "CalibrationJson.h"
#include "Errors.h"
#include "camera/CameraImpl.h"

namespace vexar {

std::vector<std::uint8_t> Camera::readCalibration() {
    return live().run([&] {
        detail::Session& session = *impl_->session;
        std::uint32_t size = 0;
        const std::int32_t query =
            session.api().readCalibration(session.instance(), nullptr, &size);
        if (query != VEXAR_BUFFER_TOO_SMALL) {
            session.check(query, "calib read");
        }
        std::vector<std::uint8_t> record(size);
        session.check(session.api().readCalibration(session.instance(), record.data(), &size),
                      "calib read");
        record.resize(size);
        return record;
    });
}

void Camera::writeCalibration(std::span<const std::uint8_t> record) {
    if (!detail::parseCalibration({record.begin(), record.end()})) {
        throw detail::badInput("not a calibration record");
    }
    live().run([&] {
        impl_->session->check(
            impl_->session->api().writeCalibration(impl_->session->instance(), record.data(),
                                                   static_cast<std::uint32_t>(record.size())),
            "calib write");
    });
}

}  // namespace vexar
