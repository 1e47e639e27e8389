#pragma once

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "vexar/camera.hpp"
#include "vexar/options.hpp"

namespace vexar::ctl {

// What every command works with. File names are taken relative to base ("-" is the standard
// stream); json is --format json; quiet silences what set adds about the values it wrote;
// force lets set write non-finite numbers, and writes through a state assume the voltages
// nothing is known of at their power-on value.
struct Context {
    vexar::Camera& camera;
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    std::filesystem::path base;
    bool json = false;
    bool quiet = false;
    bool force = false;
    // The exit status of a run that did not fail (state diff --exit-code sets it).
    int status = 0;
};

// What a dry run found, as text or with --format json as toJson(DryRun) has it.
void printDryRun(Context& context, const std::string& what, const vexar::DryRun& dryRun);

// What a write through a system state assumed, as warnings.
void reportStateWritten(Context& context, const std::string& what,
                        const vexar::StateWritten& written);

void runInfo(Context& context);
void runList(Context& context);
void runGet(Context& context, const std::vector<std::string>& names);
void runSet(Context& context, const std::vector<std::string>& assignments);
void runStateSave(Context& context, const std::string& file, bool json);
// With dryRun, only what the write of a profile would do is printed; nothing is written.
void runStateLoad(Context& context, const std::string& file, bool json, bool dryRun = false);
// Where the first profile (a file, or a preset) differs from the second or from the module now,
// A then B; with registers, also the fields and registers they would leave different. Whether
// they differ.
bool runStateDiff(Context& context, const std::vector<std::string>& profiles, bool registers);
void runCalibRead(Context& context, const std::string& file, bool json);
void runCalibWrite(Context& context, const std::string& file, bool json);
// Named profiles in the user's configuration folder (vexar/presets.hpp).
void runPresetList(bool json, std::ostream& out);
void runPresetShow(const std::string& name, std::ostream& out);
void runPresetRemove(const std::string& name);
void runPresetSave(Context& context, const std::string& name, const std::string& note);
void runPresetLoad(Context& context, const std::string& name, bool dryRun = false);
// Prints each change of the parameters named (all readable ones when none), or of the fields
// too, every interval, until Ctrl-C or count changes (0: no end); and says when the module
// went back to power-on.
void runWatch(Context& context, const std::vector<std::string>& names,
              std::chrono::milliseconds interval, long count, bool fields);
void runRegs(Context& context, bool diff);
// Single registers, straight on the module's bus: "0x183" (decimal also) for a sensor register,
// "0x2a:0x11" for a one-byte device at its register.
void runRegsGet(Context& context, const std::vector<std::string>& addresses);
void runRegsSet(Context& context, const std::vector<std::string>& assignments);

// Reads each device of the module once and prints which answer; Error(BusFailure)
// when one does not.
void runProbe(std::string_view where, const vexar::OpenOptions& options, std::ostream& out);

// The guided tour: runs a sequence of command lines, each on its own, and prints each with what
// it printed; err has why it stopped. Returns the exit status (0 when every step behaved as
// the tour expects, 2 when its output could not be written).
int runDemo(const std::string& pluginPath, std::ostream& out, std::ostream& err);

// A whole number as people type it: decimal, or hexadecimal with 0x.
std::optional<std::uint32_t> parseUnsigned(std::string_view text);

}  // namespace vexar::ctl
