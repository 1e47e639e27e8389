// A write of a profile, made first on a simulated module that stands for the camera's own: the
// stand-in takes each sensor register from the module the first time the write touches it, so
// that the module sees only those reads and the write runs as it would run there.
#include <algorithm>

#include "Errors.h"
#include "camera/CameraImpl.h"
#include "interface/ByteOrder.h"
#include "vexar/json.hpp"
#include "yorind/ModuleDescription.h"

namespace vexar {

namespace {
constexpr std::uint32_t kVoltageIds[] = {detail::LeftIlluminationVoltage,
                                         detail::RightIlluminationVoltage, detail::MixingVoltage};

// A sensor register of the module itself, seen without a transaction where the backend can.
// Nothing when the read failed: the backend's first failure says why.
std::optional<std::uint32_t> moduleRegister(detail::bus::Backend& bus, std::uint32_t address) {
    if (const auto seen = bus.peekRegister(address)) {
        return seen;
    }
    std::uint8_t bytes[yorind::kRegisterBytes] = {};
    if (bus.read(yorind::bankDevice(address), yorind::bankRegister(address), bytes,
                 yorind::kRegisterBytes) != 0) {
        return std::nullopt;
    }
    return Lumivor::Bytes::loadLittleEndian(bytes, yorind::kRegisterBytes);
}

// The simulated module in the module's place. What the plug-in reads or writes of a sensor
// register not yet taken is first read from the module, once; a read that fails there fails
// here too, and is told as the module's failure.
class StandInBackend final : public detail::bus::SimulatedBackend {
  public:
    // What a failed read of the module was is kept in failure, which outlives the stand-in.
    StandInBackend(detail::bus::Backend& module, std::optional<Error>& failure)
        : module_(module), failure_(failure) {}
    std::string name() const override { return module_.name(); }
    // As shared as the module, so that the plug-in's phase count is followed alike.
    bool shared() const override { return module_.shared(); }

    const std::vector<RegisterValue>& seed() const { return seed_; }

  protected:
    std::int32_t transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                          std::uint8_t* buffer, std::uint32_t length) override {
        const auto address = yorind::sensorRegisterAddress(device, reg);
        if (address && length == yorind::kRegisterBytes &&
            std::ranges::none_of(seed_,
                                 [&](const RegisterValue& r) { return r.address == *address; })) {
            module_.markFailures();
            const auto value = moduleRegister(module_, *address);
            if (!value) {
                failure_ = module_.busFailure(*module_.firstFailure(), "dry run: ");
                return module_.firstFailure()->result;
            }
            module().setRegisterValue(*address, *value);
            seed_.push_back({static_cast<std::uint16_t>(*address), *value,
                             Lumivor::Sim::SimulatedModule::resetValue(*address)});
        }
        return SimulatedBackend::transfer(direction, device, reg, buffer, length);
    }

  private:
    detail::bus::Backend& module_;
    std::vector<RegisterValue> seed_;
    std::optional<Error>& failure_;
};

// What is known of each one-byte device: the byte it latched where that can be told, else the
// one this camera sent it last.
std::vector<std::optional<std::uint8_t>> knownBytes(const detail::bus::Backend& bus) {
    std::vector<std::optional<std::uint8_t>> known;
    for (const yorind::ByteDevice& device : yorind::kByteDevices) {
        const auto latched = bus.latchedByte(device.address);
        known.push_back(latched ? *latched : bus.byteWritten(device.address));
    }
    return known;
}
}  // namespace

struct Camera::DryRunWrite {
    std::function<StateWritten(Camera&)> write;
};

DryRun Camera::dryRun(const Profile& profile, const WriteOptions& options) {
    live().refuseOtherModule(profile, options);
    detail::fromSettings(profile.parameters);  // a bad member is bad input before any read
    DryRun result;
    result.members = profile.parameters;
    result.options = options;
    return dryRunOf(std::move(result), DryRunWrite{[&](Camera& model) {
                        return model.applyProfile(profile.parameters, options);
                    }});
}

DryRun Camera::dryRun(std::span<const std::uint8_t> state) {
    DryRun result;
    result.members = stateToSettings(state);  // a damaged state is bad input before any read
    result.state.assign(state.begin(), state.end());
    return dryRunOf(std::move(result), DryRunWrite{[&](Camera& model) {
                        model.loadState(state);
                        return StateWritten{};
                    }});
}

DryRun Camera::dryRunOf(DryRun result, const DryRunWrite& write) {
    Impl& impl = live();
    return impl.run([&] {
        result.knownBytes = knownBytes(*impl.bus);
        for (const std::uint32_t id : kVoltageIds) {
            result.knownVoltages.push_back(impl.knownVoltage(id));
        }
        result.phaseCount = static_cast<int>(yorind::phaseCount(impl.instanceDealiasing));

        std::optional<Error> failure;
        auto owned = std::make_unique<StandInBackend>(*impl.bus, failure);
        StandInBackend& standIn = *owned;
        OpenOptions opening;
        opening.plugin = impl.pluginPath;
        opening.identity = impl.identity;
        // A read of the module that failed is the failure to tell, whatever the stand-in's
        // plug-in made of it (even its check that the sensor answers).
        const auto told = [&](const Error& error) -> Error { return failure ? *failure : error; };
        std::optional<Camera> opened;
        try {
            opened.emplace(Camera(detail::openImpl(std::move(owned), opening)));
        } catch (const Error& error) {
            throw told(error);
        }
        Camera& model = *opened;
        Impl& inner = *model.impl_;
        try {
            for (std::size_t i = 0; i < yorind::kByteDevices.size(); ++i) {
                if (std::uint8_t byte = result.knownBytes[i].value_or(0); result.knownBytes[i]) {
                    Lumivor::Sim::SimulatedModule::writeCallback(
                        standIn.module().hostContext(), yorind::kByteDevices[i].address,
                        yorind::kByteDevices[i].reg, &byte, 1);
                }
            }
            inner.voltagesWritten = impl.voltagesWritten;
            inner.phaseCountFollowed = impl.phaseCountFollowed;
            if (impl.instanceDealiasing) {
                inner.run([&] { inner.setInstancePhaseCount(true); });
            }
            standIn.clearLog();
            TraceRecording trace = model.trace();
            result.written = write.write(model);
            result.transactions = trace.transactions();
            trace.stop();
            result.applied = model.profile().parameters;
        } catch (const Error& error) {
            throw told(error);
        }
        result.seed = standIn.seed();
        for (const yorind::FieldRow& f : yorind::kFields) {
            const auto seeded = std::ranges::find(result.seed, f.address, &RegisterValue::address);
            if (seeded == result.seed.end()) {
                continue;
            }
            const std::uint32_t mask = yorind::fieldMask(f);
            const std::uint32_t was = (seeded->value >> f.lsb) & mask;
            const std::uint32_t willBe =
                (standIn.module().registerValue(f.address) >> f.lsb) & mask;
            if (was != willBe) {
                result.fields.push_back(
                    {{std::string(f.name), f.index, f.address, f.lsb, f.msb, was, f.reset},
                     willBe});
            }
        }
        for (std::size_t i = 0; i < yorind::kByteDevices.size(); ++i) {
            const yorind::ByteDevice& device = yorind::kByteDevices[i];
            const auto willBe = standIn.module().latchedByte(device.address);
            if (willBe && willBe != result.knownBytes[i]) {
                result.devices.push_back(
                    {device.role, device.address, result.knownBytes[i], *willBe});
            }
        }
        return result;
    });
}

StateWritten Camera::apply(const DryRun& dryRun) {
    Impl& impl = live();
    const std::vector<detail::StateRecord> given = detail::fromSettings(dryRun.members);
    return impl.run([&] {
        std::vector<std::string> moved;
        for (const RegisterValue& r : dryRun.seed) {
            impl.bus->markFailures();
            const auto now = moduleRegister(*impl.bus, r.address);
            if (!now) {
                throw impl.bus->busFailure(*impl.bus->firstFailure(), "apply: ");
            }
            if (*now != r.value) {
                char text[48];
                std::snprintf(text, sizeof text, "register 0x%03x (0x%06x, was 0x%06x)", r.address,
                              *now, r.value);
                moved.emplace_back(text);
            }
        }
        if (knownBytes(*impl.bus) != dryRun.knownBytes) {
            moved.emplace_back("the bytes known of the one-byte devices");
        }
        std::vector<std::optional<float>> voltages;
        for (const std::uint32_t id : kVoltageIds) {
            voltages.push_back(impl.knownVoltage(id));
        }
        if (voltages != dryRun.knownVoltages) {
            moved.emplace_back("the voltages known");
        }
        if (static_cast<int>(yorind::phaseCount(impl.instanceDealiasing)) != dryRun.phaseCount) {
            moved.emplace_back("the plug-in's phase count");
        }
        if (!moved.empty()) {
            std::string list;
            for (const std::string& m : moved) {
                list += (list.empty() ? "" : ", ") + m;
            }
            throw Error(ErrorKind::Refused,
                        "the dry run is stale: " + list +
                            " changed since it was made; nothing written, make it again",
                        detail::about("apply"));
        }
        if (!dryRun.state.empty()) {
            impl.writeState(dryRun.state, "state load");
            return StateWritten{};
        }
        return impl.writeThroughState(given, dryRun.options.assumePowerOn, "profile");
    });
}

Json toJson(const DryRun& dryRun) {
    Json written = toJson(dryRun.written);
    Json fields = Json::array();
    for (const FieldChange& f : dryRun.fields) {
        fields.push_back({{"index", f.field.index},
                          {"name", f.field.name},
                          {"address", f.field.address},
                          {"lsb", f.field.lsb},
                          {"msb", f.field.msb},
                          {"was", f.field.value},
                          {"will_be", f.willBe}});
    }
    Json devices = Json::array();
    for (const ByteChange& d : dryRun.devices) {
        devices.push_back({{"role", d.role},
                           {"device", d.device},
                           {"was", d.was ? Json(*d.was) : Json(nullptr)},
                           {"will_be", d.willBe}});
    }
    Json transactions = Json::array();
    for (const Transaction& t : dryRun.transactions) {
        transactions.push_back(t.toString());
    }
    Json seed = Json::array();
    for (const RegisterValue& r : dryRun.seed) {
        seed.push_back({{"address", r.address}, {"value", r.value}});
    }
    return {{"parameters", toJson(dryRun.applied)},
            {"changed", std::move(written["changed"])},
            {"assumed", std::move(written["assumed"])},
            {"fields", std::move(fields)},
            {"devices", std::move(devices)},
            {"transactions", std::move(transactions)},
            {"registers_read", std::move(seed)},
            {"phase_count", dryRun.phaseCount}};
}

}  // namespace vexar
