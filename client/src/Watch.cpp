#include "vexar/watch.hpp"

#include <algorithm>

#include "Errors.h"

namespace vexar {

Watch::Watch(Camera& camera, const std::vector<std::string>& names, bool fields)
    : camera_(camera), fields_(fields) {
    for (const std::string& given : names) {
        const Parameter parameter = camera_.parameter(given);
        if (!parameter.readable()) {
            throw detail::badInput(parameter.name + " cannot be watched: it is write-only");
        }
        names_.push_back(parameter.name);
    }
    if (names.empty()) {
        for (const Parameter& parameter : camera_.parameters()) {
            if (parameter.readable()) {
                names_.push_back(parameter.name);
            }
        }
    }
}

std::vector<Watch::Seen> Watch::read() {
    std::vector<Seen> seen;
    const Hold hold = camera_.hold();  // one look, one operation: nothing moves half-way
    for (const std::string& name : names_) {
        seen.push_back({name, camera_.get(name)});
    }
    bool atPowerOn = true;
    for (const Field& field : camera_.fields()) {
        atPowerOn = atPowerOn && field.value == field.reset;
        if (fields_) {
            seen.push_back({"field " + std::to_string(field.index) +
                                (field.name.empty() ? "" : " " + field.name),
                            Value(static_cast<std::int32_t>(field.value))});
        }
    }
    atPowerOn_ = atPowerOn;
    return seen;
}

WatchLook Watch::look() {
    const bool wasAtPowerOn = atPowerOn_;
    WatchLook look;
    if (away_) {
        try {
            camera_.reconnect(false);
        } catch (const Error& error) {
            if (error.kind() != ErrorKind::Disconnected && error.kind() != ErrorKind::BusFailure) {
                throw;
            }
            look.bus = WatchedBus::StillAway;
            return look;
        }
        away_ = false;
        look.bus = WatchedBus::CameBack;
    }
    std::vector<Seen> now;
    try {
        now = read();
    } catch (const Error& error) {
        if (error.kind() != ErrorKind::Disconnected) {
            throw;
        }
        away_ = true;
        look.bus = WatchedBus::WentAway;
        look.why = error.what();
        return look;
    }
    if (!first_) {
        for (std::size_t i = 0; i < now.size() && i < last_.size(); ++i) {
            // By their text, so that a NaN that stays NaN is no change.
            if (now[i].value.toString() != last_[i].value.toString()) {
                look.changes.push_back({now[i].name, last_[i].value, now[i].value});
            }
        }
        look.reset = atPowerOn_ && !wasAtPowerOn;
    }
    first_ = false;
    last_ = std::move(now);
    return look;
}

}  // namespace vexar
