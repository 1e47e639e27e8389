#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

#include "CommandLine.h"
#include "Commands.h"
#include "Errors.h"
#include "vexar/json.hpp"

namespace vexar::ctl {

using vexar::Json;

namespace {
namespace fs = std::filesystem;

// A scratch directory for the tour's files, removed again at the end.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        std::string pattern = (fs::temp_directory_path() / "vexar-ctl-demo-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw badInput("cannot make a scratch directory in " +
                           fs::temp_directory_path().string());
        }
        path_ = pattern;
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// One step: a remark, then either a command line of the tool (run on the tour's session) or
// an action of the tour itself, shown as the shell command it stands for.
struct Step {
    std::string remark;
    std::vector<std::string> args;
    int expectedStatus = Exit::Success;
};

// The output went nowhere: the tour cannot show anything more.
struct OutputLost {
    int error;
};

class Tour {
  public:
    Tour(const std::string& plugin, std::ostream& out, const fs::path& scratch)
        : plugin_(plugin), out_(out), scratch_(scratch) {}

    // Runs a step as the command line it shows, a run of its own that keeps the module in the
    // image; a step that does not end as the tour expects ends the tour.
    void run(const Step& step) {
        remark(step.remark);
        std::vector<std::string> args{"--image", kImage};
        args.insert(args.end(), step.args.begin(), step.args.end());
        out_ << "$ vexar-ctl";
        for (const std::string& arg : args) {
            out_ << ' ' << arg;
        }
        out_ << '\n';
        std::istringstream noInput;
        const int status = runCommandLine(args, {out_, out_, noInput, scratch_}, plugin_);
        if (status != Exit::Success) {
            out_ << "(exit status " << status << ")\n";
        }
        checkOutput();
        if (status != step.expectedStatus) {
            throw vexar::Error(vexar::ErrorKind::Refused, "demo: stopped, expected exit status " +
                                                              std::to_string(step.expectedStatus));
        }
    }

    void checkOutput() {
        errno = 0;
        if (!out_.flush()) {
            throw OutputLost{errno};
        }
    }

    // A file the tour writes or shows itself, as "cat" would.
    void show(const std::string& remark, const std::string& file) {
        this->remark(remark);
        out_ << "$ cat " << file << '\n';
        std::ifstream in(scratch_ / file);
        out_ << in.rdbuf();
    }
    void create(const std::string& remark, const std::string& file, const Json& json) {
        std::ofstream(scratch_ / file) << json.dump(2) << '\n';
        show(remark, file);
    }
    Json readJson(const std::string& file) const {
        std::ifstream in(scratch_ / file);
        return Json::parse(in);
    }

  private:
    void remark(const std::string& text) {
        out_ << '\n';
        if (!text.empty()) {
            out_ << "# " << text << '\n';
        }
    }

    static constexpr const char* kImage = "camera.img";
    const std::string& plugin_;
    std::ostream& out_;
    fs::path scratch_;
};

const int kRefused = exitStatus(vexar::ErrorKind::Refused);

void parameters(Tour& tour) {
    tour.run(
        {"Who is there: the plug-in's identity and the module it was initialised on.", {"info"}});
    tour.run({"Every parameter, as the plug-in describes it, with its current value.", {"list"}});
    tour.run({"Reading by name (any letter case) or by id.",
              {"get", "FrameRate", "microframenumber", "5"}});
    tour.run(
        {"Eight micro-frames instead of four: the frame period stays, so the frame rate "
         "halves.",
         {"set", "MicroFrameNumber=8"}});
    tour.run({"", {"get", "FrameRate"}});
    tour.run({"Several writes in one go, in the order given.",
              {"set", "FrameRate=30", "IntegrationTime=1.0", "ModulationFrequency=20"}});
    tour.run(
        {"The integration time moves in steps of 1/63 of the micro-frame time; the "
         "unambiguous range follows from the modulation frequency.",
         {"get", "FrameRate", "IntegrationTime", "ModulationFrequency", "Range"}});
    tour.run({"The voltages go to one-byte devices of their own.",
              {"set", "MixingVoltage=50", "LeftIlluminationVoltage=80",
               "RightIlluminationVoltage=80", "StreamEnable=on"}});
    tour.run(
        {"Scripts ask for JSON.", {"--format", "json", "get", "FrameRate", "RegionOfInterest"}});
    tour.run({"Every bus transaction of a command, i2ctransfer style (on standard error).",
              {"--trace", "get", "FrameRate"}});
}

void refusals(Tour& tour) {
    tour.run({"A refusal names the code, its number and the plug-in's last-error text.",
              {"set", "FrameRate=-1"},
              kRefused});
    tour.run({"", {"set", "MixingSignalsMode=1"}, kRefused});
    tour.run({"The voltages cannot be read back.", {"get", "MixingVoltage"}, kRefused});
    tour.run({"Mistakes of the command line never reach the plug-in.",
              {"set", "FrameRate=fast"},
              exitStatus(vexar::ErrorKind::BadInput)});
}

void state(Tour& tour) {
    tour.run(
        {"The plug-in writes the region of interest only inside a system state: the "
         "library builds one from the current settings, with the voltages written last.",
         {"set", "RegionOfInterest=64,48,160,120"}});
    tour.run({"", {"set", "RegionOfInterest=0,0,320,240"}});
    tour.run({"The whole state, saved binary and readable.", {"state", "save", "state.bin"}});
    tour.run({"", {"--format", "json", "state", "save", "state.json"}});
    tour.show("The voltages cannot be read back: a saved state gives what was written last.",
              "state.json");
    Json edited = tour.readJson("state.json");
    Json& values = edited["parameters"];
    values["RegionOfInterest"] = {{"x", 64}, {"y", 48}, {"width", 160}, {"height", 120}};
    values["DealiasingOn"] = true;
    values["ModulationFrequency"] = 30;
    values["DealiasingFrequency"] = 20;
    tour.create("An edited copy: a smaller window, and dealiasing on at 30 and 20 MHz.",
                "edited.json", edited);
    tour.run({"", {"state", "load", "edited.json"}});
    tour.run({"The unambiguous range now follows from the two frequencies together.",
              {"get", "RegionOfInterest", "DealiasingOn", "DealiasingFrequency", "Range"}});
    tour.run({"With dealiasing on the phase scaling follows the frequency ratio.",
              {"--format", "json", "info"}});
    tour.run({"And back to the saved state.", {"state", "load", "state.bin"}});
    tour.run({"", {"get", "RegionOfInterest", "DealiasingOn"}});
}

void calibration(Tour& tour) {
    tour.create(
        "A calibration record for people: phase offsets, reference temperatures, "
        "compensation coefficients.",
        "calib.json",
        Json{{"phaseOffset1", {{"offset", 1000}}},
             {"phaseOffset2", {{"offset", -7}}},
             {"temperatureCalibration1", {{"values", {25.7, 40.2}}}},
             {"temperatureCompensation1", {{"kind", 3}, {"values", {1.25, -1.25}}}}});
    tour.run({"", {"calib", "write", "calib.json"}});
    tour.run(
        {"Read back as the sensor holds it: offsets in steps of 8, whole degrees, "
         "coefficients in halves.",
         {"--format", "json", "calib", "read", "-"}});
    tour.run({"The binary record, as a host stores it.", {"calib", "read", "calib.bin"}});
    tour.run({"", {"calib", "write", "calib.bin"}});
    tour.run({"What all this did to the sensor, against its power-on image.", {"regs", "--diff"}});
}
}  // namespace

int runDemo(const std::string& pluginPath, std::ostream& out, std::ostream& err) {
    try {
        ScratchDirectory scratch;
        out << "vexar-ctl demo: a tour of the host tool on the simulated module. Each step is a "
               "command line run\non its own, as shown, in a scratch directory that is removed "
               "at the end; --image camera.img\nkeeps the module's registers from one to the "
               "next, as a camera that stays powered (without\nit every run starts from "
               "power-on).\n";
        Tour tour(pluginPath, out, scratch.path());
        parameters(tour);
        refusals(tour);
        state(tour);
        calibration(tour);
        tour.checkOutput();
        return Exit::Success;
    } catch (const OutputLost& lost) {
        err << "vexar-ctl: demo: cannot write standard output"
            << (lost.error != 0 ? std::string(": ") + std::strerror(lost.error) : "") << '\n';
        return exitStatus(vexar::ErrorKind::BadInput);
    } catch (const vexar::Error& error) {
        err << "vexar-ctl: " << error.what() << '\n';
        return exitStatus(error.kind());
    } catch (const std::exception& error) {
        err << "vexar-ctl: demo: " << error.what() << '\n';
        return exitStatus(vexar::ErrorKind::Refused);
    }
}

}  // namespace vexar::ctl
