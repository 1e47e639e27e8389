// The system state: saved and loaded whole, as a profile of named members, and the module's
// power-on state where there is one to go back to.
#include <algorithm>

#include "Conversions.h"
#include "Errors.h"
#include "StateRecords.h"
#include "camera/CameraImpl.h"

namespace vexar {

std::vector<std::uint8_t> Camera::Impl::readState() {
    std::vector<std::uint8_t> state = detail::stateReadTemplate();
    session->check(session->api().readSystemState(session->instance(), state.data(),
                                                  static_cast<std::uint32_t>(state.size())),
                   "state save");
    return state;
}

void Camera::Impl::writeState(std::span<const std::uint8_t> state, const std::string& what) {
    // A damaged state is bad input, not for the plug-in.
    const std::vector<detail::StateRecord> records = detail::decodeState(state);
    try {
        session->check(session->api().writeSystemState(session->instance(), state.data(),
                                                       static_cast<std::uint32_t>(state.size())),
                       what);
    } catch (const Error& error) {
        throw detail::nameRefusedRecord(error, records);
    }
}

std::vector<std::uint8_t> Camera::saveState() {
    return impl_->run([&] { return impl_->readState(); });
}

void Camera::loadState(std::span<const std::uint8_t> state) {
    impl_->run([&] { impl_->writeState(state, "state load"); });
}

Settings Camera::profile() {
    return impl_->run([&] { return detail::toSettings(detail::decodeState(impl_->readState())); });
}

void Camera::applyProfile(const Settings& profile) {
    const std::vector<detail::StateRecord> given = detail::fromSettings(profile);
    impl_->run([&] {
        // Whatever the profile leaves out keeps its current value: it is written as the
        // current state with the profile's members changed.
        std::vector<detail::StateRecord> records = detail::decodeState(impl_->readState());
        for (const detail::StateRecord& member : given) {
            const auto same = std::ranges::find_if(records, [&](const detail::StateRecord& r) {
                return r.parameter->id == member.parameter->id;
            });
            if (same == records.end()) {
                throw Error(ErrorKind::BadInput, "is not part of a system state",
                            detail::about(std::string(member.parameter->name)));
            }
            same->value = member.value;
        }
        impl_->writeState(detail::encodeState(records), "profile");
    });
}

Settings Camera::unloadable(std::span<const std::uint8_t> state) {
    Settings found;
    const std::vector<detail::StateRecord> records = detail::decodeState(state);
    for (const detail::StateRecord* record : detail::unloadableRecords(records)) {
        found.emplace_back(std::string(record->parameter->name), detail::toPublic(record->value));
    }
    return found;
}

Settings Camera::stateToSettings(std::span<const std::uint8_t> state) {
    return detail::toSettings(detail::decodeState(state));
}

std::vector<std::uint8_t> Camera::stateFromSettings(const Settings& members) {
    return detail::encodeState(detail::fromSettings(members));
}

bool Camera::canReset() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->bus != nullptr && impl_->bus->canReset();
}

void Camera::reset() {
    impl_->run([&] { impl_->bus->reset(); });
}

}  // namespace vexar
