// The system state: saved and loaded whole, as a profile of named members, and the module's
// power-on state where there is one to go back to.
#include <algorithm>
#include <cmath>

#include "Errors.h"
#include "Profiles.h"
#include "StateRecords.h"
#include "camera/CameraImpl.h"
#include "vexar/json.hpp"
#include "yorind/ModuleDescription.h"

namespace vexar {

namespace {
struct VoltageDevice {
    std::uint32_t parameter;
    const yorind::ByteDevice& device;
};
constexpr VoltageDevice kVoltages[] = {
    {detail::LeftIlluminationVoltage, yorind::Device::LeftIllumination},
    {detail::RightIlluminationVoltage, yorind::Device::RightIllumination},
    {detail::MixingVoltage, yorind::Device::Mixing},
};

const VoltageDevice* voltageOf(std::uint32_t parameter) {
    const auto found = std::ranges::find(kVoltages, parameter, &VoltageDevice::parameter);
    return found != std::end(kVoltages) ? &*found : nullptr;
}

// The voltage, of the fewest decimals, that the plug-in sends as the byte: writing it back
// leaves the device as it was.
float voltageOfByte(std::uint8_t byte) {
    const double lowest = byte * 100.0 / 255.0;
    for (double step = 10; step > 1e-6; step /= 10) {
        for (double v = std::ceil(lowest / step) * step; v <= 100; v += step) {
            const auto candidate = static_cast<float>(v);
            const std::uint32_t sent = yorind::voltageLevel(candidate);
            if (sent == byte) {
                return candidate;
            }
            if (sent > byte) {
                break;
            }
        }
    }
    return static_cast<float>(lowest);
}

bool sameParameter(const detail::StateRecord& a, const detail::StateRecord& b) {
    return a.parameter->id == b.parameter->id;
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}
}  // namespace

std::optional<float> Camera::Impl::knownVoltage(std::uint32_t id) const {
    const VoltageDevice* voltage = voltageOf(id);
    if (voltage == nullptr) {
        return std::nullopt;
    }
    // What the device latched is the truth where it can be told (another process may have
    // written it since); else the byte this camera sent it last.
    std::optional<std::uint8_t> byte = bus->byteWritten(voltage->device.address);
    if (const auto latched = bus->latchedByte(voltage->device.address)) {
        byte = *latched;
    }
    if (!byte) {
        return std::nullopt;
    }
    // The value asked for, where the device still holds its byte; it reads better than the
    // shortest voltage of that byte.
    if (const auto asked = voltagesWritten.find(id);
        asked != voltagesWritten.end() && yorind::voltageLevel(asked->second) == *byte) {
        return asked->second;
    }
    return voltageOfByte(*byte);
}

void Camera::Impl::wrote(const detail::ParameterInfo& parameter, const Value& value) {
    if (voltageOf(parameter.id) != nullptr) {
        voltagesWritten.insert_or_assign(parameter.id, value.asFloat());
    }
}

bool Camera::Impl::isVoltage(const detail::ParameterInfo& parameter) {
    return voltageOf(parameter.id) != nullptr;
}

bool Camera::Impl::dependsOnPhaseCount(const detail::ParameterInfo& parameter) {
    return parameter.id == detail::FrameRate || parameter.id == detail::IntegrationTime ||
           parameter.id == detail::ModulationFrequency ||
           parameter.id == detail::DealiasingFrequency;
}

void Camera::Impl::followModulePhaseCount() {
    // Only another process, or a register written past the plug-in, changes a module's
    // dealiasing behind this camera's back.
    if (!bus->shared() && phaseCountFollowed) {
        return;
    }
    phaseCountFollowed = true;
    const bool module = read(*detail::parameterById(detail::DealiasingOn)).asBool();
    if (module == instanceDealiasing) {
        return;
    }
    setInstancePhaseCount(module);
}

void Camera::Impl::setInstancePhaseCount(bool dealiasing) {
    // The plug-in takes its phase count from a state before it checks the state, and refuses a
    // state whose modes disagree before it writes anything: such a state sets the count alone.
    std::vector<detail::StateRecord> records = detail::decodeState(readState());
    for (detail::StateRecord& record : records) {
        if (record.parameter->id == detail::DealiasingOn) {
            record.value = dealiasing;
        } else if (record.parameter->id == detail::MixingSignalsMode) {
            record.value = std::int32_t{0};
        } else if (record.parameter->id == detail::IlluminationMode) {
            record.value = std::int32_t{1};
        }
    }
    const std::vector<std::uint8_t> state = detail::encodeState(records);
    const std::int32_t status = session->api().writeSystemState(
        session->instance(), state.data(), static_cast<std::uint32_t>(state.size()));
    session->takeLastError();
    if (status != VEXAR_INVALID_ARGUMENT) {
        throw Error(ErrorKind::Internal,
                    "the plug-in took a state meant only to set its phase count (" +
                        describeCode(status) + ")");
    }
    instanceDealiasing = dealiasing;
}

StateWritten Camera::Impl::writeThroughState(const std::vector<detail::StateRecord>& changes,
                                             bool assumePowerOn, const std::string& what) {
    followModulePhaseCount();
    const std::vector<detail::StateRecord> before = detail::decodeState(readState());
    std::vector<detail::StateRecord> records = before;
    StateWritten done;
    std::vector<std::string> unknown;
    for (detail::StateRecord& record : records) {
        const auto given = std::ranges::find_if(
            changes, [&](const detail::StateRecord& c) { return sameParameter(c, record); });
        if (given != changes.end()) {
            record.value = given->value;
        } else if (voltageOf(record.parameter->id) != nullptr) {
            // The plug-in reports every voltage as 50: a state must not pass that off as known.
            if (const auto known = knownVoltage(record.parameter->id)) {
                record.value = *known;
            } else if (assumePowerOn) {
                record.value = kPowerOnVoltage;
                done.assumed.emplace_back(record.parameter->name);
            } else {
                unknown.emplace_back(record.parameter->name);
            }
        }
    }
    for (const detail::StateRecord& change : changes) {
        if (std::ranges::none_of(
                records, [&](const detail::StateRecord& r) { return sameParameter(r, change); })) {
            throw Error(ErrorKind::BadInput, "is not part of a system state",
                        detail::about(std::string(change.parameter->name)));
        }
    }
    // Both are found before anything is written, and told at once, so that one attempt names
    // everything to set first.
    std::vector<std::string> missing;
    if (!unknown.empty()) {
        missing.push_back("nothing is known of " + listed(unknown) + " (write-only: set " +
                          (unknown.size() == 1 ? "it" : "them") + " first, or force writing " +
                          (unknown.size() == 1 ? "it" : "each") + " at its power-on value of 50)");
    }
    if (const auto unloadable = detail::unloadableRecords(records); !unloadable.empty()) {
        std::vector<std::string> named;
        for (const detail::StateRecord* record : unloadable) {
            named.push_back(detail::assignment(*record));
        }
        missing.push_back("the plug-in would refuse " + listed(named) +
                          " (not a number, as at power-on: set " +
                          (named.size() == 1 ? "it" : "them") + " first)");
    }
    if (!missing.empty()) {
        std::string reason = "written through a system state, which cannot be written yet: ";
        for (std::size_t i = 0; i < missing.size(); ++i) {
            reason += (i == 0 ? "" : "; ") + missing[i];
        }
        throw Error(ErrorKind::Refused, reason, detail::about(what));
    }
    writeState(detail::encodeState(records), what);
    const std::vector<detail::StateRecord> after = detail::decodeState(readState());
    known = after;
    for (std::size_t i = 0; i < after.size() && i < before.size(); ++i) {
        const bool asked = std::ranges::any_of(
            changes, [&](const detail::StateRecord& c) { return sameParameter(c, after[i]); });
        if (!asked && voltageOf(after[i].parameter->id) == nullptr &&
            before[i].value != after[i].value) {
            done.changed.push_back(
                {std::string(after[i].parameter->name), before[i].value, after[i].value});
        }
    }
    return done;
}

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
    const auto dealiasing = std::ranges::find_if(records, [](const detail::StateRecord& r) {
        return r.parameter->id == detail::DealiasingOn;
    });
    try {
        const std::int32_t status = session->api().writeSystemState(
            session->instance(), state.data(), static_cast<std::uint32_t>(state.size()));
        // The plug-in takes its phase count from the state before anything else, refused or not.
        if (dealiasing != records.end()) {
            instanceDealiasing = dealiasing->value.asBool();
        }
        session->check(status, what);
    } catch (const Error& error) {
        throw detail::nameRefusedRecord(error, records);
    }
    for (const detail::StateRecord& record : records) {
        wrote(*record.parameter, record.value);
    }
    known = records;
}

void Camera::Impl::remember(const detail::ParameterInfo& parameter, const Value& value) {
    const auto record = std::ranges::find(known, &parameter, &detail::StateRecord::parameter);
    if (record != known.end()) {
        record->value = value;
    } else if (detail::stateHolds(parameter.id)) {
        known.push_back({&parameter, value});
    }
}

// Only a state read for the caller is what the module is known to hold: one read to follow the
// phase count may already be of a module that lost its settings, which a reconnect must not
// take for them.
std::vector<std::uint8_t> Camera::saveState() {
    return live().run([&] {
        std::vector<std::uint8_t> state = impl_->readState();
        impl_->known = detail::decodeState(state);
        return state;
    });
}

void Camera::loadState(std::span<const std::uint8_t> state) {
    live().run([&] { impl_->writeState(state, "state load"); });
}

Profile Camera::profile() {
    Impl& impl = live();
    Profile profile;
    profile.module = ProfileModule::of(impl.identity);
    const Versions v = versions();
    profile.plugin = std::to_string(v.plugin[0]) + "." + std::to_string(v.plugin[1]) + "." +
                     std::to_string(v.plugin[2]);
    profile.saved = detail::utcNow();
    profile.parameters = impl.run([&] {
        std::vector<detail::StateRecord> records = detail::decodeState(impl_->readState());
        impl_->known = records;
        std::erase_if(records, [&](detail::StateRecord& record) {
            if (voltageOf(record.parameter->id) == nullptr) {
                return false;
            }
            const auto known = impl_->knownVoltage(record.parameter->id);
            if (known) {
                record.value = *known;
            }
            return !known;
        });
        return detail::toSettings(records);
    });
    return profile;
}

void Camera::Impl::refuseOtherModule(const Profile& profile, const WriteOptions& options) const {
    const ProfileModule mine = ProfileModule::of(identity);
    if (profile.module && *profile.module != mine && !options.otherModule) {
        throw detail::badInput("the profile was saved from another module (" +
                               profile.module->toString() + ") than this one (" + mine.toString() +
                               "); force writes it all the same");
    }
}

StateWritten Camera::applyProfile(const Profile& profile, const WriteOptions& options) {
    live().refuseOtherModule(profile, options);
    return applyProfile(profile.parameters, options);
}

StateWritten Camera::applyProfile(const Settings& members, const WriteOptions& options) {
    const std::vector<detail::StateRecord> given = detail::fromSettings(members);
    return live().run(
        [&] { return impl_->writeThroughState(given, options.assumePowerOn, "profile"); });
}

Settings Camera::unloadable(std::span<const std::uint8_t> state) {
    Settings found;
    const std::vector<detail::StateRecord> records = detail::decodeState(state);
    for (const detail::StateRecord* record : detail::unloadableRecords(records)) {
        found.emplace_back(std::string(record->parameter->name), record->value);
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
    if (impl_ == nullptr) {
        return false;
    }
    std::lock_guard lock(*impl_->gate);
    return impl_->bus != nullptr && impl_->bus->canReset();
}

void Camera::reset() {
    live().run([&] {
        impl_->bus->reset();
        impl_->bus->forgetBytesWritten();
        impl_->voltagesWritten.clear();
    });
}

Json toJson(const StateWritten& written) {
    Json changed = Json::array();
    for (const Change& change : written.changed) {
        changed.push_back({{"name", change.name},
                           {"before", toJson(change.before)},
                           {"after", toJson(change.after)}});
    }
    return {{"changed", std::move(changed)}, {"assumed", written.assumed}};
}

}  // namespace vexar
