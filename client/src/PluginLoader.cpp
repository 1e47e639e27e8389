#include "PluginLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace vexar::detail {

namespace {

template <typename Fn>
bool resolve(void* handle, const char* name, Fn& target, std::string& error) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        error = std::string("missing export ") + name;
        return false;
    }
    target = reinterpret_cast<Fn>(symbol);
    return true;
}
}  // namespace

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

bool PluginLibrary::load(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
#define VEXAR_RESOLVE(name) resolve(handle_, #name, api_.name, error_)
    return VEXAR_RESOLVE(getPluginVersion) && VEXAR_RESOLVE(getSDKVersion) &&
           VEXAR_RESOLVE(getImplGUID) && VEXAR_RESOLVE(getImplType) &&
           VEXAR_RESOLVE(createInstance) && VEXAR_RESOLVE(initialize) && VEXAR_RESOLVE(dispose) &&
           VEXAR_RESOLVE(destroyInstance) && VEXAR_RESOLVE(getUnitType) &&
           VEXAR_RESOLVE(getAccessMode) && VEXAR_RESOLVE(getParameterRange) &&
           VEXAR_RESOLVE(writeSystemState) && VEXAR_RESOLVE(readSystemState) &&
           VEXAR_RESOLVE(getLastError) && VEXAR_RESOLVE(writeCalibration) &&
           VEXAR_RESOLVE(readCalibration) && VEXAR_RESOLVE(getPhaseScaling) &&
           VEXAR_RESOLVE(readInt) && VEXAR_RESOLVE(readFloat) && VEXAR_RESOLVE(readBool) &&
           VEXAR_RESOLVE(getRegionOfInterest) && VEXAR_RESOLVE(writeInt) &&
           VEXAR_RESOLVE(writeFloat) && VEXAR_RESOLVE(writeBool) &&
           VEXAR_RESOLVE(setRegionOfInterest);
#undef VEXAR_RESOLVE
}

std::string PluginLibrary::lastError(void* instance) const {
    std::int32_t size = 0;
    if (api_.getLastError(instance, nullptr, &size) != VEXAR_BUFFER_TOO_SMALL || size <= 0) {
        return {};
    }
    std::vector<char> text(static_cast<std::size_t>(size));
    if (api_.getLastError(instance, text.data(), &size) != VEXAR_SUCCESS) {
        return {};
    }
    return std::string(text.data());
}

}  // namespace vexar::detail
