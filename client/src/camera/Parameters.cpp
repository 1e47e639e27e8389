// Parameters by name or identifier: what the plug-in says of each, and their values read and
// written through its typed exports.
#include "Parameters.h"

#include <cmath>

#include "Errors.h"
#include "camera/CameraImpl.h"
#include "vexar/json.hpp"

namespace vexar {

namespace {
// Why the exports refuse what no value could change.
std::string accessHint(detail::Session& session, const detail::ParameterInfo& parameter,
                       Access refused) {
    if (session.accessIfTold(parameter) == refused) {
        return " (" + std::string(parameter.name) + " is " + std::string(accessName(refused)) + ")";
    }
    return {};
}

bool stateOnly(std::uint32_t id) {
    return Camera::Impl::stateOnly(id);
}
}  // namespace

bool Camera::Impl::stateOnly(std::uint32_t id) {
    return id == detail::DealiasingOn || id == detail::RegionOfInterest;
}

std::optional<ParameterName> findParameter(std::string_view nameOrId) {
    const detail::ParameterInfo* info = detail::findParameter(nameOrId);
    if (info == nullptr) {
        return std::nullopt;
    }
    return ParameterName{info->id, std::string(info->name), info->type};
}

ParameterName parameterNamed(std::string_view nameOrId) {
    const detail::ParameterInfo& info = detail::requireParameter(nameOrId);
    return ParameterName{info.id, std::string(info.name), info.type};
}

Value valueFor(const ParameterName& parameter, const Value& given) {
    if (auto converted = given.as(parameter.type)) {
        return *std::move(converted);
    }
    const bool fraction = parameter.type == ValueType::Int && given.isFloat() &&
                          std::isfinite(given.asFloat()) &&
                          std::trunc(given.asFloat()) == given.asFloat();
    throw Error(ErrorKind::BadInput,
                "takes " + aValueOf(parameter.type) + ", not " + aValueOf(given.type()) +
                    (fraction ? " with a fraction single precision rounds away" : ""),
                detail::about(parameter.name + " = " + given.toString()));
}

Value valueFor(const ParameterName& parameter, std::string_view text) {
    if (auto parsed = Value::parse(parameter.type, text)) {
        return *std::move(parsed);
    }
    throw Error(ErrorKind::BadInput,
                "not " + aValueOf(parameter.type) +
                    (parameter.type == ValueType::Region ? " (x,y,width,height)" : ""),
                detail::about(parameter.name + " = " + std::string(text)));
}

namespace {
struct Grouped {
    std::uint32_t id;
    std::string_view group;
};
// What a bring-up engineer sets together: the frame's timing, the distance measurement, the
// light and its mixing, and what leaves the sensor.
constexpr std::string_view kGroups[] = {"frame timing", "modulation and dealiasing",
                                        "illumination and mixing", "output and streaming"};
constexpr Grouped kGrouped[] = {
    {detail::FrameRate, kGroups[0]},
    {detail::MicroFrameNumber, kGroups[0]},
    {detail::IntegrationTime, kGroups[0]},
    {detail::ModulationFrequency, kGroups[1]},
    {detail::DealiasingOn, kGroups[1]},
    {detail::DealiasingFrequency, kGroups[1]},
    {detail::Range, kGroups[1]},
    {detail::LeftIlluminationVoltage, kGroups[2]},
    {detail::RightIlluminationVoltage, kGroups[2]},
    {detail::MixingVoltage, kGroups[2]},
    {detail::MixingSignalsMode, kGroups[2]},
    {detail::IlluminationMode, kGroups[2]},
    {detail::RawOutputMode, kGroups[3]},
    {detail::RegionOfInterest, kGroups[3]},
    {detail::StreamEnable, kGroups[3]},
    {detail::NativeFrameFormat, kGroups[3]},
};
}  // namespace

std::string parameterGroup(const ParameterName& parameter) {
    for (const Grouped& entry : kGrouped) {
        if (entry.id == parameter.id) return std::string(entry.group);
    }
    throw detail::badInput(parameter.name + ": in no group");
}

std::vector<std::string> parameterGroups() {
    return {std::begin(kGroups), std::end(kGroups)};
}

std::vector<ParameterName> parameterNames() {
    std::vector<ParameterName> all;
    for (const detail::ParameterInfo& info : detail::parameters()) {
        all.push_back({info.id, std::string(info.name), info.type});
    }
    return all;
}

Value Camera::Impl::read(const detail::ParameterInfo& parameter) {
    std::optional<Value> value;
    const std::int32_t status = session->read(parameter, value);
    if (status != VEXAR_SUCCESS) {
        session->check(status, std::string(parameter.name),
                       status == VEXAR_NOT_SUPPORTED
                           ? accessHint(*session, parameter, Access::WriteOnly)
                           : std::string());
    }
    return *value;
}

std::vector<Parameter> Camera::parameters() {
    return live().run([&] {
        std::vector<Parameter> all;
        for (const detail::ParameterInfo& info : detail::parameters()) {
            all.push_back(parameter(std::to_string(info.id)));
        }
        return all;
    });
}

Parameter Camera::parameter(std::string_view nameOrId) {
    return live().run([&] {
        const detail::ParameterInfo& info = detail::requireParameter(nameOrId);
        detail::Session& session = *impl_->session;
        const std::string what(info.name);
        Parameter p{info.id, std::string(info.name), info.type,    0,
                    {},      Access::ReadWrite,      std::nullopt, stateOnly(info.id)};
        p.unitCode = session.unit(info, what);
        p.unit = detail::unitName(p.unitCode);
        p.access = session.access(info, what);
        p.range = session.range(info, what);
        return p;
    });
}

Value Camera::get(std::string_view nameOrId) {
    return live().run([&] {
        const detail::ParameterInfo& info = detail::requireParameter(nameOrId);
        if (Impl::dependsOnPhaseCount(info)) {
            impl_->followModulePhaseCount();
        }
        return impl_->read(info);
    });
}

Applied Camera::set(std::string_view nameOrId, const Value& value, bool allowNonFinite) {
    return set(nameOrId, value, WriteOptions{allowNonFinite, false});
}

Applied Camera::set(std::string_view nameOrId, const Value& value, const WriteOptions& options) {
    const bool allowNonFinite = options.allowNonFinite;
    return live().run([&] {
        const detail::ParameterInfo& info = detail::requireParameter(nameOrId);
        const std::string name(info.name);
        const std::optional<Value> converted =
            valueFor(ParameterName{info.id, name, info.type}, value);
        const std::string what = name + " = " + converted->toString();
        if (converted->isFloat() && !std::isfinite(converted->asFloat()) && !allowNonFinite) {
            throw Error(ErrorKind::BadInput, "not a finite number", detail::about(what));
        }
        detail::Session& session = *impl_->session;
        const auto range = session.range(info, what);
        session.takeLastError();  // the range query's text must not pass for the write's
        const bool throughState = stateOnly(info.id);
        if (!throughState && Impl::dependsOnPhaseCount(info)) {
            impl_->followModulePhaseCount();
        }
        StateWritten state;
        const std::int32_t status = throughState ? VEXAR_SUCCESS : session.write(info, *converted);
        if (throughState) {
            state = impl_->writeThroughState({{&info, *converted}}, options.assumePowerOn, what);
        } else if (status == VEXAR_SUCCESS) {
            impl_->wrote(info, *converted);
        }
        if (status != VEXAR_SUCCESS) {
            const std::string allowed = range ? range->toString() : std::string();
            std::string hint;
            if (status == VEXAR_NOT_SUPPORTED) {
                hint = accessHint(session, info, Access::ReadOnly);
            } else if (range) {
                hint = " (allowed: " + allowed + ")";
            }
            session.check(status, what, hint, allowed);
        }
        Applied applied{name,  *converted,   std::nullopt,    range && !range->contains(*converted),
                        range, throughState, std::move(state)};
        // What the module holds may differ from what was asked: quantised to register steps or
        // cut to a field's width. Only a readable parameter can tell.
        std::optional<Value> held;
        if (session.read(info, held) == VEXAR_SUCCESS) {
            applied.applied = held;
            impl_->remember(info, *held);
        } else {
            session.takeLastError();
            impl_->remember(info, *converted);
        }
        return applied;
    });
}

float Camera::phaseScaling() {
    return live().run([&] {
        float scaling = 0;
        impl_->session->check(
            impl_->session->api().getPhaseScaling(impl_->session->instance(), &scaling),
            "phase scaling");
        return scaling;
    });
}

Json toJson(const Parameter& parameter) {
    return {{"name", parameter.name},
            {"id", parameter.id},
            {"type", typeName(parameter.type)},
            {"unit", parameter.unit},
            {"access", accessName(parameter.access)},
            {"state_only", parameter.stateOnly},
            {"range", parameter.range ? toJson(*parameter.range) : Json(nullptr)}};
}

}  // namespace vexar
