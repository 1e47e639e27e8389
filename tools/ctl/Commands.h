#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/ctl/Session.h"

namespace Lumivor::Ctl {

// What every command works with. File names are taken relative to base ("-" is the standard
// stream); json is --format json.
struct Context {
    Session& session;
    std::ostream& out;
    std::istream& in;
    std::filesystem::path base;
    bool json = false;
};

void runInfo(Context& context);
void runList(Context& context);
void runGet(Context& context, const std::vector<std::string>& names);
void runSet(Context& context, const std::vector<std::string>& assignments);
void runStateSave(Context& context, const std::string& file, bool json);
void runStateLoad(Context& context, const std::string& file, bool json);
void runCalibRead(Context& context, const std::string& file, bool json);
void runCalibWrite(Context& context, const std::string& file, bool json);
void runRegs(Context& context, bool diff);
// Reads each device of the module once and prints which answer; CommandError(BusFailure)
// when one does not.
void runProbe(Bus::Backend& bus, std::ostream& out);

// The guided tour: runs a sequence of command lines on one session and prints each with what
// it printed. Returns the exit status (0 when every step behaved as the tour expects).
int runDemo(const std::string& pluginPath, std::ostream& out);

}  // namespace Lumivor::Ctl
