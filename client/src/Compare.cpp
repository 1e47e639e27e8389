#include "vexar/compare.hpp"

#include <algorithm>

#include "vexar/options.hpp"

namespace vexar {

namespace {
const Value* member(const Settings& settings, const std::string& name) {
    const auto found = std::ranges::find_if(
        settings, [&](const std::pair<std::string, Value>& m) { return m.first == name; });
    return found == settings.end() ? nullptr : &found->second;
}

// By their text: a NaN equals itself there, and its sign still counts.
bool same(const Value* a, const Value* b) {
    return a != nullptr && b != nullptr ? a->toString() == b->toString() : a == b;
}

std::optional<Value> given(const Value* value) {
    return value ? std::optional(*value) : std::nullopt;
}

// A simulated module where the camera's is now, with the profile written to it.
Camera written(Camera& camera, const std::vector<RegisterValue>& registers,
               const std::vector<ByteDeviceValue>& devices, const Profile& profile,
               const WriteOptions& options) {
    OpenOptions opening;
    opening.plugin = camera.pluginPath();
    Camera model = Camera::open("sim", opening);
    for (const RegisterValue& r : registers) {
        model.writeRegister(r.address, r.value);
    }
    for (const ByteDeviceValue& device : devices) {
        if (device.latched) {
            model.writeRegister(device.device, device.reg, *device.latched);
        }
    }
    model.applyProfile(profile, options);
    return model;
}
}  // namespace

std::vector<ParameterDifference> compareSettings(const Settings& a, const Settings& b) {
    std::vector<ParameterDifference> differences;
    const auto look = [&](const std::string& name) {
        if (std::ranges::any_of(differences,
                                [&](const ParameterDifference& d) { return d.name == name; })) {
            return;
        }
        const Value* inA = member(a, name);
        const Value* inB = member(b, name);
        if (!same(inA, inB)) {
            differences.push_back({name, given(inA), given(inB)});
        }
    };
    for (const auto& [name, value] : a) {
        look(name);
    }
    for (const auto& [name, value] : b) {
        look(name);
    }
    return differences;
}

ModuleDifference compareOnModule(Camera& camera, const Profile& a, const Profile& b,
                                 const WriteOptions& options) {
    const std::vector<RegisterValue> registers = camera.registers();
    const std::vector<ByteDeviceValue> devices = camera.byteDevices();
    Camera modelA = written(camera, registers, devices, a, options);
    Camera modelB = written(camera, registers, devices, b, options);
    ModuleDifference difference;
    const std::vector<Field> fieldsA = modelA.fields();
    const std::vector<Field> fieldsB = modelB.fields();
    for (std::size_t i = 0; i < fieldsA.size() && i < fieldsB.size(); ++i) {
        if (fieldsA[i].value != fieldsB[i].value) {
            difference.fields.push_back({fieldsA[i], fieldsB[i].value});
        }
    }
    const std::vector<RegisterValue> registersA = modelA.registers();
    const std::vector<RegisterValue> registersB = modelB.registers();
    for (std::size_t i = 0; i < registersA.size() && i < registersB.size(); ++i) {
        if (registersA[i].value != registersB[i].value) {
            difference.registers.push_back(
                {registersA[i].address, registersA[i].value, registersB[i].value});
        }
    }
    return difference;
}

}  // namespace vexar
