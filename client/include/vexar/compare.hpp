#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vexar/camera.hpp"
#include "vexar/export.hpp"

// Where two profiles differ: in what they say, and in what they would leave the module holding.
namespace vexar {

struct ParameterDifference {
    std::string name;
    std::optional<Value> a;  // nothing: the profile leaves the parameter out
    std::optional<Value> b;
};
// Each parameter whose value differs, in the order of a's members and then of b's; NaNs of
// the same sign are the same.
VEXAR_CLIENT_API std::vector<ParameterDifference> compareSettings(const Settings& a,
                                                                 const Settings& b);

struct FieldDifference {
    Field field;  // its value as a leaves it
    std::uint32_t b;
};
struct RegisterDifference {
    std::uint16_t address;
    std::uint32_t a;
    std::uint32_t b;
};
struct ModuleDifference {
    std::vector<FieldDifference> fields;
    std::vector<RegisterDifference> registers;
};
// What each profile, written from where the camera's module is now, would leave in the
// module's fields and registers: found on two simulated modules seeded with its registers and
// the bytes its one-byte devices are known to hold; nothing is written to the camera's module.
// The writes are refused as Camera::applyProfile refuses them.
VEXAR_CLIENT_API ModuleDifference compareOnModule(Camera& camera, const Profile& a,
                                                 const Profile& b, const WriteOptions& options);

}  // namespace vexar
