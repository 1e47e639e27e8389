#include "EmulatedAdapter.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace vexar::test {

namespace {

// Resolved data is the caller's to release; its parent keeps what the client sees up to date.
using Data = std::unique_ptr<UMockdevIoctlData, decltype(&g_object_unref)>;
Data resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
    return Data(umockdev_ioctl_data_resolve(data, offset, length, nullptr), &g_object_unref);
}

// One I2C_RDWR transfer as the module's bus sees it: a register address written alone and
// followed by a read is a register read, a single write is the register address and its data.
long transfer(Hardware& hardware, UMockdevIoctlData* argument, int& error) {
    const Data request = resolve(argument, 0, sizeof(i2c_rdwr_ioctl_data));
    const std::uint32_t count = reinterpret_cast<const i2c_rdwr_ioctl_data*>(request->data)->nmsgs;
    const Data list =
        resolve(request.get(), offsetof(i2c_rdwr_ioctl_data, msgs), count * sizeof(i2c_msg));
    std::vector<i2c_msg> messages(count);
    std::vector<Data> buffers;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::memcpy(&messages[i], list->data + i * sizeof(i2c_msg), sizeof(i2c_msg));
        // A zero-length buffer resolves to no data at all, so only lengths of 1 and up are read.
        buffers.push_back(
            resolve(list.get(), i * sizeof(i2c_msg) + offsetof(i2c_msg, buf), messages[i].len));
    }
    std::int32_t result = -EOPNOTSUPP;
    const i2c_msg* m = messages.data();
    if (count == 2 && m[0].len == 1 && !(m[0].flags & I2C_M_RD) && (m[1].flags & I2C_M_RD) &&
        m[1].len > 0 && m[0].addr == m[1].addr) {
        result = hardware.bus.read(m[0].addr, buffers[0]->data[0], buffers[1]->data, m[1].len);
    } else if (count == 1 && m[0].len >= 1 && !(m[0].flags & I2C_M_RD)) {
        result =
            hardware.bus.write(m[0].addr, buffers[0]->data[0], buffers[0]->data + 1, m[0].len - 1u);
    }
    error = result == 0 ? 0 : -result;
    return result == 0 ? static_cast<long>(count) : -1;
}

gboolean handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& hardware = *static_cast<Hardware*>(data);
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    const gulong request = umockdev_ioctl_client_get_request(client);
    long result = 0;
    int error = 0;
    const std::lock_guard lock(hardware.mutex);
    // A descriptor belongs to the adapter it was opened on: after a replug it stays dead.
    auto* born = static_cast<GObject*>(static_cast<void*>(client));
    if (g_object_get_data(born, "vexar-generation") == nullptr) {
        g_object_set_data(born, "vexar-generation", GUINT_TO_POINTER(hardware.generation + 1));
    }
    if (hardware.unplugged ||
        GPOINTER_TO_UINT(g_object_get_data(born, "vexar-generation")) != hardware.generation + 1) {
        result = -1;
        error = hardware.unpluggedErrno;
    } else if (request == I2C_FUNCS) {
        std::memcpy(resolve(argument, 0, sizeof hardware.functions)->data, &hardware.functions,
                    sizeof hardware.functions);
    } else if (request == I2C_RDWR) {
        result = transfer(hardware, argument, error);
    } else if (request != I2C_SLAVE && request != I2C_SLAVE_FORCE) {
        return FALSE;
    }
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

}  // namespace

EmulatedAdapter::EmulatedAdapter(Hardware& hardware, int number)
    : hardware_(hardware),
      node_("/dev/i2c-" + std::to_string(number)),
      sysfs_("/sys/devices/i2c-" + std::to_string(number)) {
    testbed_ = umockdev_testbed_new();
    g_autofree gchar* root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root;
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(handleIoctl), &hardware_);
    add();
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, node_.c_str(), handler_, &error)) {
        const std::string message = error->message;
        g_clear_error(&error);
        throw std::runtime_error("cannot answer the ioctls of " + node_ + ": " + message);
    }
}

EmulatedAdapter::~EmulatedAdapter() {
    g_object_unref(handler_);
    g_object_unref(testbed_);
}

void EmulatedAdapter::add() {
    const std::string name = node_.substr(5);
    // The "N:" line is what makes umockdev create the /dev node; add_device does not.
    const std::string device = "P: " + sysfs_.substr(4) + "\nN: " + name + "\nE: DEVNAME=" + node_ +
                               "\nE: SUBSYSTEM=i2c-dev\nA: dev=89:" + node_.substr(9) + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, device.c_str(), &error)) {
        const std::string message = error->message;
        g_clear_error(&error);
        throw std::runtime_error("cannot emulate " + node_ + ": " + message);
    }
}

void EmulatedAdapter::unplug(int error) {
    {
        const std::lock_guard lock(hardware_.mutex);
        hardware_.unplugged = true;
        hardware_.unpluggedErrno = error;
    }
    std::rename((root_ + node_).c_str(), (root_ + hidden()).c_str());
}

void EmulatedAdapter::plug() {
    std::rename((root_ + hidden()).c_str(), (root_ + node_).c_str());
    const std::lock_guard lock(hardware_.mutex);
    hardware_.unplugged = false;
    ++hardware_.generation;
}

void prepareEnvironment() {
    g_setenv("TMPDIR", "/tmp", TRUE);
    const char* asan = g_getenv("ASAN_OPTIONS");
    g_setenv("ASAN_OPTIONS",
             (std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0").c_str(),
             TRUE);
}

}  // namespace vexar::test
