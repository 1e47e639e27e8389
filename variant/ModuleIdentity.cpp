#include "variant/ModuleIdentity.h"

#include <algorithm>

#include "yorind/ModuleDescription.h"

namespace Lumivor::YorinD {

namespace {
bool meets(const ComponentIdentity& component, const yorind::Component& requirement) {
    return component.present != 0 && component.type == requirement.type &&
           std::ranges::find(requirement.versions, component.version) != requirement.versions.end();
}
}  // namespace

// The module itself is checked before its sensor board.
bool servesModule(const ModuleKey& key, const ModuleDescriptor& descriptor) {
    const auto& served = yorind::kModuleKey;
    constexpr const yorind::Component& module = yorind::component(yorind::kModule);
    constexpr const yorind::Component& sensorBoard = yorind::component(yorind::kSensorBoard);
    return key.word0 == served[0] && key.word1 == served[1] && key.word2 == served[2] &&
           key.word3 == served[3] && descriptor.headerValid != 0 &&
           descriptor.headerValue >= yorind::kHeaderValue &&
           meets(descriptor.components[module.index], module) &&
           meets(descriptor.components[sensorBoard.index], sensorBoard);
}

}  // namespace Lumivor::YorinD
