// Opening a camera: the bus backend a name stands for, the plug-in loaded and initialised on it
// as a host does, and what the plug-in says of itself; closing it again.
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "Errors.h"
#include "ModuleIdentity.h"
#include "PluginLoader.h"
#include "bus/Probe.h"
#include "camera/CameraImpl.h"

namespace vexar {

std::chrono::milliseconds lockTimeoutFromSeconds(double seconds) {
    if (!(seconds >= 0) || seconds > 86400) {
        throw Error(ErrorKind::BadInput, "not a number of seconds from 0 to 86400");
    }
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

namespace {
constexpr const char* kPluginName = "libVEXAR_ParamInterp_YORINDImpl.so";
}  // namespace

std::unique_ptr<detail::bus::Backend> detail::openBackend(std::string_view where) {
    if (where == "sim") {
        return std::make_unique<detail::bus::SimulatedBackend>();
    }
    if (where.starts_with("image:")) {
        const std::string_view path = where.substr(6);
        if (path.empty()) {
            throw detail::badInput("image: needs a file name");
        }
        return std::make_unique<detail::bus::ImageBackend>(std::filesystem::path(path));
    }
    if (!where.empty() && (where.starts_with("/dev/") ||
                           where.find_first_not_of("0123456789") == std::string_view::npos)) {
        return std::make_unique<detail::bus::I2cDevBackend>(std::string(where));
    }
    throw detail::badInput("no camera at '" + std::string(where) +
                           "': give sim, image:PATH or /dev/i2c-N");
}

Camera::Camera(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Camera::Camera(Camera&&) noexcept = default;
Camera& Camera::operator=(Camera&& other) noexcept {
    if (this != &other) {
        const Camera previous(std::move(*this));  // ends its holds as its destructor does
        impl_ = std::move(other.impl_);
    }
    return *this;
}
Camera::~Camera() {
    if (impl_ == nullptr) {
        return;
    }
    // The holds still open end as their destructors would have ended them.
    try {
        std::lock_guard lock(*impl_->gate);
        const int ended = impl_->endHolds();
        impl_->depth -= ended;
        if (ended > 0 && impl_->depth == 0 && impl_->bus != nullptr) {
            impl_->bus->end(false);
        }
    } catch (const Error&) {
        // A destructor cannot tell it; close() can.
    }
}

Camera::Impl& Camera::live() const {
    if (impl_ == nullptr) {
        throw detail::badInput("the camera is closed (it was moved from)");
    }
    return *impl_;
}

std::string defaultPluginPath() {
    Dl_info self{};
    if (::dladdr(reinterpret_cast<const void*>(&defaultPluginPath), &self) != 0 &&
        self.dli_fname != nullptr) {
        std::error_code ignored;
        const auto beside = std::filesystem::path(self.dli_fname).parent_path() / kPluginName;
        if (std::filesystem::exists(beside, ignored)) {
            return beside.string();
        }
    }
    return kPluginName;  // as the loader's search path finds it
}

std::array<std::uint32_t, 3> pluginVersion(const std::string& path) {
    detail::PluginLibrary library;
    if (!library.load(path)) {
        throw Error(ErrorKind::LoadFailure, "cannot load plug-in " + path + ": " + library.error());
    }
    std::array<std::uint32_t, 3> version{};
    library.api().getPluginVersion(&version[0], &version[1], &version[2]);
    return version;
}

std::unique_ptr<Camera::Impl> detail::openImpl(std::unique_ptr<detail::bus::Backend> bus,
                                               const OpenOptions& options) {
    auto impl = std::make_unique<Camera::Impl>();
    impl->bus = std::move(bus);
    impl->bus->onTransaction([raw = impl.get()](const Transaction& t) { raw->dispatch(t); });
    impl->lockTimeout = options.lockTimeout;
    impl->interrupted = options.interrupted;
    impl->gate->setBeforeWait(options.beforeWait);
    const std::string plugin = options.plugin.empty() ? defaultPluginPath() : options.plugin;
    const ModuleIdentity identity =
        options.identity ? *options.identity : ModuleIdentity::builtIn();
    {
        // Initialising reads the module but must not make an image that does not exist yet:
        // only an operation that succeeds on it does.
        Camera::Impl::Operation operation(*impl);
        impl->session = std::make_unique<detail::Session>(plugin, *impl->bus, identity);
        // A module of this camera's own starts at power-on, dealiasing off, as the plug-in
        // assumes.
        impl->phaseCountFollowed = !impl->bus->shared();
        impl->bus->clearLog();
        impl->pluginPath = impl->session->pluginPath();
        impl->identity = impl->session->publicIdentity();
    }
    return impl;
}

Camera Camera::open(std::string_view where) {
    return open(where, OpenOptions{});
}

Camera Camera::open(std::unique_ptr<Bus> bus) {
    return open(std::move(bus), OpenOptions{});
}

Camera Camera::open(std::string_view where, const OpenOptions& options) {
    std::unique_ptr<Impl> impl = detail::openImpl(detail::openBackend(where), options);
    impl->where = where;
    return Camera(std::move(impl));
}

Camera Camera::open(std::unique_ptr<Bus> bus, const OpenOptions& options) {
    if (bus == nullptr) {
        throw detail::badInput("no bus given");
    }
    return Camera(
        detail::openImpl(std::make_unique<detail::bus::CallerBackend>(std::move(bus)), options));
}

void Camera::close() {
    if (impl_ == nullptr) {
        return;
    }
    Gate& gate = *impl_->gate;
    std::lock_guard lock(gate);
    if (impl_->bus == nullptr) {
        return;
    }
    if (gate.calls() > 1) {
        impl_->closeRequested = true;
        return;
    }
    impl_->shutDown();
}

std::string Camera::backend() const {
    if (impl_ == nullptr) {
        return "closed";
    }
    std::lock_guard lock(*impl_->gate);
    if (impl_->bus == nullptr) {
        return "closed";
    }
    return impl_->bus->name();
}

bool Camera::closed() const {
    if (impl_ == nullptr) {
        return true;
    }
    std::lock_guard lock(*impl_->gate);
    return impl_->bus == nullptr;
}

bool Camera::shared() const {
    if (impl_ == nullptr) {
        return false;
    }
    std::lock_guard lock(*impl_->gate);
    return impl_->bus != nullptr && impl_->bus->shared();
}

const std::string& Camera::pluginPath() const {
    return live().pluginPath;
}

const ModuleIdentity& Camera::identity() const {
    return live().identity;
}

Versions Camera::versions() const {
    Impl& impl = live();
    std::lock_guard lock(*impl.gate);
    if (impl.session == nullptr) {
        throw detail::badInput("the camera is closed");
    }
    const auto& api = impl.session->api();
    Versions v{};
    api.getPluginVersion(&v.plugin[0], &v.plugin[1], &v.plugin[2]);
    api.getSDKVersion(&v.sdk[0], &v.sdk[1], &v.sdk[2], &v.sdk[3]);
    const GUID g = api.getImplGUID();
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1,
                  g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4],
                  g.data4[5], g.data4[6], g.data4[7]);
    v.guid = text;
    v.implementationType = api.getImplType();
    return v;
}

ProbeResult probe(std::string_view where) {
    return probe(where, OpenOptions{});
}

ProbeResult probe(std::string_view where, const OpenOptions& options) {
    const std::unique_ptr<detail::bus::Backend> bus = detail::openBackend(where);
    bus->begin({options.lockTimeout, options.interrupted});
    ProbeResult answers{bus->name(), {}};
    for (const detail::bus::Answer& answer :
         detail::bus::probe(*bus, detail::bus::moduleDevices())) {
        answers.devices.push_back({answer.device->role, answer.device->address, answer.result});
    }
    bus->end(true);
    return answers;
}

}  // namespace vexar
