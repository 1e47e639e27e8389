#include "core/VEXARParameterInterpreter.h"

#include <cstring>
#include <utility>

#include "host/Format.h"

namespace Lumivor {

namespace {

std::string moduleText(const char* what, const ModuleKey& key, const ModuleDescriptor& descriptor) {
    return Utils::Format(std::string(what) +
                         " not found for [ 0x%{:x}, 0x%{:x}, % ] with [ moduleType: %, "
                         "hwVersion: % ]") %
           key.word0 % key.word1 % key.word2 % static_cast<int>(descriptor.components[2].type) %
           descriptor.components[2].version;
}
}  // namespace

ModuleDescriptor defaultModuleDescriptor() {
    ModuleDescriptor descriptor;
    std::memset(&descriptor, 0, sizeof descriptor);
    for (ComponentIdentity& component : descriptor.components) {
        component.reservedHalf = 0x0100;
    }
    return descriptor;
}

VEXARParameterInterpreter::VEXARParameterInterpreter(const ModuleTables& tables)
    : descriptor_(defaultModuleDescriptor()), tables_(&tables) {}

VEXARParameterInterpreter::~VEXARParameterInterpreter() = default;

ErrorCode VEXARParameterInterpreter::initialize(void* hostContext,
                                                RegisterReadCallback readCallback,
                                                RegisterWriteCallback writeCallback, ModuleKey key,
                                                ModuleDescriptor descriptor) {
    context_ = AccessContext{hostContext, readCallback, writeCallback, this};
    descriptor_ = descriptor;

    if (readCallback == nullptr || writeCallback == nullptr) {
        // Tables of an earlier initialise would lead straight to the null callbacks.
        parameters_.clear();
        subRegisters_.clear();
        setLastError("register callbacks must not be null");
        return Error::InvalidArgument;
    }

    if (const ErrorCode status = selectParameterTable(key, descriptor, parameters_);
        status != Error::Success) {
        setLastError(moduleText("parameters", key, descriptor));
        return status;
    }
    if (const ErrorCode status = selectSubRegisterMap(key, descriptor, subRegisters_);
        status != Error::Success) {
        setLastError(moduleText("registers", key, descriptor));
        return status;
    }
    return Error::Success;
}

// A fresh table is swapped in, so a refused module leaves the instance's table as it was; the
// entries swapped out go with the local. The table owns its objects, so an initialize on an
// instance that still holds some does not leak them.
ErrorCode VEXARParameterInterpreter::selectParameterTable(ModuleKey key,
                                                          ModuleDescriptor descriptor,
                                                          ParameterTable& table) {
    if (!tables_->serves(key, descriptor)) {
        return Error::NotSupported;
    }
    ParameterTable fresh = tables_->buildParameterTable();
    table.swap(fresh);
    return Error::Success;
}

ErrorCode VEXARParameterInterpreter::selectSubRegisterMap(ModuleKey key,
                                                          ModuleDescriptor descriptor,
                                                          SubRegisterMap& map) {
    if (!tables_->serves(key, descriptor)) {
        return Error::NotSupported;
    }
    SubRegisterMap fresh = tables_->buildSubRegisterMap();
    map.swap(fresh);
    return Error::Success;
}

void VEXARParameterInterpreter::dispose() {
    parameters_.clear();
    subRegisters_.clear();
}

ErrorCode VEXARParameterInterpreter::getUnitType(std::uint32_t id, std::uint32_t* unit) {
    if (unit == nullptr) {
        return Error::InvalidArgument;
    }
    const ParameterInternal* parameter = parameters_.find(id);
    if (parameter == nullptr) {
        return Error::NotSupported;
    }
    *unit = parameter->getUnitType();
    return Error::Success;
}

ErrorCode VEXARParameterInterpreter::getAccessMode(std::uint32_t id, std::uint32_t* mode) {
    if (mode == nullptr) {
        return Error::InvalidArgument;
    }
    const ParameterInternal* parameter = parameters_.find(id);
    if (parameter == nullptr) {
        return Error::NotSupported;
    }
    *mode = parameter->getAccessMode();
    return Error::Success;
}

ErrorCode VEXARParameterInterpreter::getValueType(std::uint32_t id, std::uint32_t* type) {
    if (type == nullptr) {
        return Error::InvalidArgument;
    }
    // The region of interest is known to every instance, initialised or not.
    if (id == VEXAR_PARAM_REGION_OF_INTEREST) {
        *type = code(ValueType::RegionOfInterest);
        return Error::Success;
    }
    const ParameterInternal* parameter = parameters_.find(id);
    if (parameter == nullptr) {
        return Error::NotSupported;
    }
    *type = parameter->getValueType();
    return Error::Success;
}

ErrorCode VEXARParameterInterpreter::getLastError(char* buffer, std::int32_t* size) {
    if (size == nullptr) {
        return Error::InvalidArgument;
    }
    const auto needed = static_cast<std::int64_t>(lastError_.size()) + 1;
    if (static_cast<std::int64_t>(*size) < needed) {
        *size = static_cast<std::int32_t>(needed);
        return Error::BufferTooSmall;
    }
    if (buffer == nullptr) {
        return Error::InvalidArgument;
    }
    std::memcpy(buffer, lastError_.c_str(), static_cast<std::size_t>(needed));
    lastError_.clear();
    return Error::Success;
}

std::uint32_t VEXARParameterInterpreter::getPhaseCount() {
    return phaseCount_;
}

void VEXARParameterInterpreter::setLastError(std::string text) {
    lastError_ = std::move(text);
}

}  // namespace Lumivor
