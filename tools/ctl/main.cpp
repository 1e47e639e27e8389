// vexar-ctl: a command-line host of the parameter-interpreter plug-in.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Errors.h"
#include "vexar/camera.hpp"

namespace {
// A standard stream closed by the caller (">&-") would otherwise be the number the next open
// file gets, and output meant for the terminal would land in the image. Holding the number with
// /dev/null opened the wrong way round keeps it taken while every use of it still fails.
void holdClosedStandardStreams() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
            if (held >= 0 && held != fd) {
                ::dup2(held, fd);
                ::close(held);
            }
        }
    }
}

// Output that never arrived is a failure, whatever the command made of it. A command that
// failed has said why already, unless its failure was this one.
bool standardOutputArrived(bool report) {
    std::cout.flush();
    const bool written = std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
    const int error = errno;
    if (std::fclose(stdout) != 0 || !written) {
        if (report) {
            std::cerr << "vexar-ctl: cannot write standard output: "
                      << std::strerror(written ? errno : error) << '\n';
        }
        return false;
    }
    return true;
}

// Warnings and traces that did not arrive fail a run as lost output does. The message goes
// to the stream that failed all the same: a full disk may have room again, a closed stream
// stays closed.
bool standardErrorArrived() {
    const bool written = std::cerr.good() && std::fflush(stderr) == 0 && !std::ferror(stderr);
    if (!written) {
        const int error = errno;
        std::cerr.clear();
        std::cerr << "vexar-ctl: cannot write standard error: " << std::strerror(error) << '\n';
    }
    return written;
}
}  // namespace

int main(int argc, char** argv) {
    holdClosedStandardStreams();
    const std::vector<std::string> args(argv + 1, argv + argc);
    int status = vexar::ctl::exitStatus(vexar::ErrorKind::Internal);
    try {
        status = vexar::ctl::runCommandLine(args, {std::cout, std::cerr, std::cin, {}},
                                            vexar::defaultPluginPath());
    } catch (const std::exception& error) {
        // Commands report what they foresee themselves; this is for what they do not.
        std::cerr << "vexar-ctl: unexpected error: " << error.what() << '\n';
    }
    const bool succeeded = status == vexar::ctl::Exit::Success;
    const int lost = vexar::ctl::exitStatus(vexar::ErrorKind::BadInput);
    if (!standardOutputArrived(succeeded) && succeeded) {
        status = lost;
    }
    if (!standardErrorArrived() && status == vexar::ctl::Exit::Success) {
        status = lost;
    }
    return status;
}
