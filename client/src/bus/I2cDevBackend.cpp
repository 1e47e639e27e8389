// The Linux i2c-dev backend. Registers are addressed by one byte and hold up to three, which
// the SMBus helpers of libi2c cannot express, so every access is a raw I2C_RDWR transfer.

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "bus/Backend.h"
#include "vexar/error.hpp"

namespace vexar::detail::bus {

namespace {
std::string adapterPath(const std::string& adapter) {
    const bool number = std::ranges::all_of(adapter, [](char c) { return c >= '0' && c <= '9'; });
    return number ? "/dev/i2c-" + adapter : adapter;
}

std::string openFailure(const std::string& path, int error) {
    std::string text = "cannot open I2C adapter " + path + ": " + std::strerror(error);
    if (error == EACCES || error == EPERM) {
        text +=
            " (the adapter usually belongs to the group 'i2c': add yourself with "
            "'sudo usermod -aG i2c $USER' and log in again)";
    } else if (error == ENOENT) {
        text +=
            " (no such adapter: 'ls /dev/i2c-*' lists them; 'modprobe i2c-dev' creates "
            "the nodes)";
    }
    return text;
}

// A failed ioctl's errno as the plug-in's callbacks report it; errno is only read on failure,
// since a successful call may leave it set.
std::int32_t failure() {
    return errno != 0 ? -errno : -EIO;
}
}  // namespace

I2cDevBackend::I2cDevBackend(const std::string& adapter) : path_(adapterPath(adapter)) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        vexar::Error::Details details;
        details.busErrno = error;
        throw vexar::Error(vexar::ErrorKind::BusFailure, openFailure(path_, error), details);
    }
    unsigned long functions = 0;
    std::string problem;
    // Every bus failure has an errno, for callers that tell failures by it alone.
    vexar::Error::Details details;
    if (::ioctl(fd_, I2C_FUNCS, &functions) < 0) {
        details.busErrno = errno;
        problem = "cannot ask " + path_ + " what it supports (I2C_FUNCS): " + std::strerror(errno);
    } else if ((functions & I2C_FUNC_I2C) == 0) {
        details.busErrno = EOPNOTSUPP;
        problem = path_ +
                  " cannot do plain I2C transfers (I2C_FUNC_I2C), only SMBus; the "
                  "module's 24-bit registers need an I2C adapter";
    }
    if (!problem.empty()) {
        ::close(fd_);
        throw vexar::Error(vexar::ErrorKind::BusFailure, problem, details);
    }
}

I2cDevBackend::~I2cDevBackend() {
    ::close(fd_);
}

// ENODEV is an adapter that went away. An adapter whose node is gone or is another one now
// went away too, whatever its driver answered: some answer a missing adapter with ENXIO, as
// they answer a device that does not acknowledge.
bool I2cDevBackend::gone(std::int32_t result) const {
    return result == -ENODEV || !present();
}

bool I2cDevBackend::present() const {
    struct stat node {};
    struct stat opened {};
    if (::stat(path_.c_str(), &node) != 0) {
        return errno != ENOENT && errno != ENOTDIR;
    }
    return ::fstat(fd_, &opened) != 0 ||
           (node.st_ino == opened.st_ino && node.st_dev == opened.st_dev);
}

std::int32_t I2cDevBackend::transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                                     std::uint8_t* buffer, std::uint32_t length) {
    if ((buffer == nullptr && length != 0) || length > 255) {
        return -EINVAL;
    }
    i2c_msg messages[2]{};
    i2c_rdwr_ioctl_data transfer{messages, 0};
    std::vector<std::uint8_t> written;
    if (direction == Direction::Read) {
        // The register address, then a repeated start and the read: one transfer, so no other
        // master can move the device's register pointer in between.
        messages[0] = {device, 0, 1, &reg};
        messages[1] = {device, I2C_M_RD, static_cast<std::uint16_t>(length), buffer};
        transfer.nmsgs = 2;
    } else {
        written.assign(1, reg);
        written.insert(written.end(), buffer, buffer + length);
        messages[0] = {device, 0, static_cast<std::uint16_t>(written.size()), written.data()};
        transfer.nmsgs = 1;
    }
    errno = 0;
    if (::ioctl(fd_, I2C_RDWR, &transfer) < 0) {
        return failure();
    }
    return 0;
}

}  // namespace vexar::detail::bus
