#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace vexar::ctl {

// Where a command line reads and writes. File names on it resolve against base (empty: the
// working directory).
struct Streams {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    std::filesystem::path base;
};

// Parses and runs one command line (without the program name) on a session of its own, on the
// plug-in named by --plugin (default defaultPlugin), and returns its exit status.
int runCommandLine(const std::vector<std::string>& args, const Streams& io,
                   const std::string& defaultPlugin);

}  // namespace vexar::ctl
