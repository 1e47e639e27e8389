#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace Lumivor::Ctl {

class Session;

// Where a command line reads and writes. File names on it resolve against base (empty: the
// working directory).
struct Io {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    std::filesystem::path base;
};

// Parses and runs one command line (without the program name) and returns its exit status.
// With a session given, the command runs on it and --plugin and --image are ignored; otherwise
// the command gets a session of its own on the plug-in named by --plugin (default
// defaultPlugin).
int runCommandLine(const std::vector<std::string>& args, const Io& io, Session* session,
                   const std::string& defaultPlugin);

}  // namespace Lumivor::Ctl
