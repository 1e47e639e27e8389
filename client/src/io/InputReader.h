#pragma once

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <string>

namespace vexar::detail::io {

// What an input is, for messages, and the most bytes it may have: far above the largest valid
// file of its kind, so that no valid input comes near it and /dev/zero ends at once.
struct InputKind {
    const char* what;
    std::size_t limit;
};
inline constexpr InputKind kStateInput{"state", std::size_t{64} << 10};
inline constexpr InputKind kCalibrationInput{"calibration record", std::size_t{256} << 10};
inline constexpr InputKind kModuleIdentityInput{"module identity", std::size_t{64} << 10};
inline constexpr InputKind kRegisterImageInput{"register image", std::size_t{1} << 20};

// The whole of an input. Regular files, pipes and FIFOs (so that "<(...)" works) and character
// devices are read; directories, sockets and block devices are refused, as is anything over
// the kind's limit. A FIFO without a writer reads as empty rather than waiting for one. Every
// failure is Failure(BadInput) "cannot read <path>: <reason>".
std::string readInput(const std::filesystem::path& path, const InputKind& kind);

// The same for a descriptor the caller opened (and keeps); shown names it in messages.
std::string readDescriptor(int fd, const std::string& shown, const InputKind& kind);

// The same for a stream such as standard input.
std::string readStream(std::istream& in, const std::string& shown, const InputKind& kind);

}  // namespace vexar::detail::io
