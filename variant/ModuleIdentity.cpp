#include "variant/ModuleIdentity.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace Lumivor::YorinD {

namespace {
constexpr ModuleKey kServedKey{0x451, 0x9100, 0, 0};
constexpr std::uint32_t kMinimumHeaderValue = 0x102;

struct ComponentRequirement {
    std::uint32_t type;
    std::array<std::uint16_t, 2> versions;  // either version is served
};
constexpr ComponentRequirement kSensorBoard{0x103, {0x1100, 0x1000}};  // components[1]
constexpr ComponentRequirement kModule{0x102, {0x2000, 0x2000}};       // components[2]

bool meets(const ComponentIdentity& component, const ComponentRequirement& requirement) {
    return component.present != 0 && component.type == requirement.type &&
           std::find(requirement.versions.begin(), requirement.versions.end(), component.version) !=
               requirement.versions.end();
}
}  // namespace

bool servesModule(const ModuleKey& key, const ModuleDescriptor& descriptor) {
    return key.word0 == kServedKey.word0 && key.word1 == kServedKey.word1 &&
           key.word2 == kServedKey.word2 && key.word3 == kServedKey.word3 &&
           descriptor.headerValid != 0 && descriptor.headerValue >= kMinimumHeaderValue &&
           meets(descriptor.components[2], kModule) &&
           meets(descriptor.components[1], kSensorBoard);
}

}  // namespace Lumivor::YorinD
