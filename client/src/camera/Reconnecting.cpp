// Reconnecting: the bus opened again after it went away (or the module behind it lost its
// power), a new plug-in instance on it, and the settings it was last known to hold written back.
#include <algorithm>

#include "Errors.h"
#include "camera/CameraImpl.h"

namespace vexar {

namespace {
bool isVoltage(const detail::StateRecord& record) {
    return Camera::Impl::isVoltage(*record.parameter);
}
// The values the module lost, each as set writes it, those written in a state last; the
// voltages always, since none is ever read back.
void restoreOneByOne(Camera& camera, const std::vector<detail::StateRecord>& settings,
                     Reconnection& done) {
    std::vector<std::string> written;
    std::vector<detail::StateRecord> order = settings;
    std::stable_partition(order.begin(), order.end(), [](const detail::StateRecord& r) {
        return !Camera::Impl::stateOnly(r.parameter->id);
    });
    for (const detail::StateRecord& record : order) {
        const std::string name(record.parameter->name);
        if (!isVoltage(record) && std::ranges::find(done.lost, name) == done.lost.end()) {
            continue;
        }
        try {
            // After a power cycle the voltages this camera never wrote hold their
            // power-on value.
            const Applied applied =
                camera.set(name, record.value, WriteOptions{true, done.atPowerOn});
            done.written.changed.insert(done.written.changed.end(), applied.state.changed.begin(),
                                        applied.state.changed.end());
            done.written.assumed.insert(done.written.assumed.end(), applied.state.assumed.begin(),
                                        applied.state.assumed.end());
            written.push_back(name);
        } catch (const Error& error) {
            std::string before;
            for (const std::string& w : written) {
                before += (before.empty() ? "" : ", ") + w;
            }
            Error::Details details = error.details();
            details.subject = "restore";
            throw Error(error.kind(),
                        (written.empty() ? "nothing written; " : "wrote " + before + ", then ") +
                            error.what(),
                        std::move(details));
        }
    }
}
}  // namespace

bool Camera::busPresent() const {
    if (impl_ == nullptr) {
        return false;
    }
    std::lock_guard lock(*impl_->gate);
    return impl_->bus != nullptr && impl_->bus->present();
}

Reconnection Camera::reconnect(bool restore) {
    Impl& impl = live();
    std::lock_guard lock(*impl.gate);
    if (impl.bus == nullptr) {
        throw detail::badInput("the camera is closed");
    }
    if (impl.gate->calls() > 1 || impl.depth > 0) {
        throw detail::badInput("a camera reconnects only outside its holds and its own calls");
    }
    // What the module held, a voltage as this camera wrote it: taken before the old bus goes,
    // since only it knows the bytes it sent.
    std::vector<detail::StateRecord> settings = impl.unrestored.value_or(impl.known);
    std::erase_if(settings, [&](detail::StateRecord& record) {
        if (impl.unrestored) {
            return false;  // its voltages are the ones written before
        }
        if (!isVoltage(record)) {
            return false;
        }
        const auto written = impl.voltagesWritten.find(record.parameter->id);
        if (written == impl.voltagesWritten.end()) {
            return true;
        }
        record.value = written->second;
        return false;
    });

    // The new bus and instance are made whole before anything of the old goes, so that a bus
    // not yet back leaves the camera as it was.
    std::unique_ptr<detail::bus::Backend> bus =
        impl.where.empty() ? nullptr : detail::openBackend(impl.where);
    detail::bus::Backend& next = bus != nullptr ? *bus : *impl.bus;
    next.begin({impl.lockTimeout, impl.interrupted});
    std::unique_ptr<detail::Session> session;
    try {
        next.markFailures();
        session = std::make_unique<detail::Session>(impl.pluginPath, next,
                                                    impl.session->publicIdentity());
        next.end(true);
    } catch (...) {
        next.end(false);
        throw;
    }
    impl.session = std::move(session);
    if (bus != nullptr) {
        impl.bus = std::move(bus);
        impl.bus->onTransaction([raw = &impl](const Transaction& t) { raw->dispatch(t); });
    }
    impl.bus->forgetBytesWritten();
    impl.instanceDealiasing = false;
    impl.phaseCountFollowed = !impl.bus->shared();
    impl.known.clear();
    impl.unrestored = settings;

    Reconnection done;
    done.backend = impl.bus->name();
    done.settings = detail::toSettings(settings);
    const std::vector<Field> now = fields();
    done.atPowerOn = std::ranges::all_of(now, [](const Field& f) { return f.value == f.reset; });
    const std::vector<detail::StateRecord> held = detail::decodeState(saveState());
    for (const detail::StateRecord& record : settings) {
        const auto same = std::ranges::find_if(
            held, [&](const detail::StateRecord& h) { return h.parameter == record.parameter; });
        if (!isVoltage(record) && same != held.end() && same->value != record.value) {
            done.lost.emplace_back(record.parameter->name);
        }
    }
    // The module may have lost the bytes sent to its voltages: only a restore knows them again.
    impl.voltagesWritten.clear();
    if (restore) {
        TraceRecording recording = trace();
        // As one state where the module could load it (the plug-in then orders the values as
        // it must); else value by value, as set writes each: a module back from power-on has
        // no frequencies a whole state could be loaded with.
        std::vector<detail::StateRecord> merged = held;  // nothing was written since
        for (detail::StateRecord& record : merged) {
            const auto given =
                std::ranges::find(settings, record.parameter, &detail::StateRecord::parameter);
            if (given != settings.end()) {
                record.value = given->value;
            }
        }
        if (detail::unloadableRecords(merged).empty()) {
            // After a power cycle the voltages this camera never wrote hold their power-on
            // value.
            done.written = impl.run(
                [&] { return impl.writeThroughState(settings, done.atPowerOn, "restore"); });
        } else {
            restoreOneByOne(*this, settings, done);
        }
        done.transactions = recording.transactions();
        done.restored = true;
        impl.unrestored.reset();
    }
    return done;
}

}  // namespace vexar
