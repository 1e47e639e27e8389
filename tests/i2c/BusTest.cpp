// vexar-ctl and i2c-tools on /dev/i2c-1 without hardware, through the i2c-dev interface
// unchanged: umockdev emulates the node, and this program answers its ioctls from a simulated
// module. With umockdev 0.17 the testbed puts UMOCKDEV_DIR into this process's environment, each
// tool runs under umockdev-wrapper (which preloads libumockdev-preload), and the preload forwards
// the tool's ioctls over a socket under $TMPDIR to the handler, on umockdev's own thread.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/file.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "EmulatedAdapter.h"
#include "vexar/json.hpp"

namespace {

using testing::HasSubstr;
using testing::Not;
constexpr const char* kAdapter = "/dev/i2c-1";

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program under umockdev-wrapper, which preloads umockdev into it.
Outcome run(std::vector<std::string> args) {
    args.insert(args.begin(), UMOCKDEV_WRAPPER);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    g_autofree gchar* out = nullptr;
    g_autofree gchar* err = nullptr;
    int status = 0;
    EXPECT_TRUE(g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out,
                             &err, &status, nullptr));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out != nullptr ? out : "",
            err != nullptr ? err : ""};
}

Outcome ctl(std::vector<std::string> args) {
    args.insert(args.begin(), {VEXAR_CTL_PATH, "--bus", kAdapter});
    return run(args);
}

class I2cBus : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        adapter_ = new vexar::test::EmulatedAdapter(*hardware_);
        scratch_ = adapter_->root();
        // Without the socket every ioctl fails with ENOTTY, which would pass for a bus failure.
        const Outcome functions = run({I2CDETECT, "-F", "1"});
        ASSERT_NE(functions.out.find("I2C                              yes"), std::string::npos)
            << "the emulated adapter does not answer I2C_FUNCS: " << functions.err;
    }
    static void TearDownTestSuite() {
        delete adapter_;
        adapter_ = nullptr;
    }
    void SetUp() override {
        const std::lock_guard lock(hardware_->mutex);
        hardware_->module.reset();
        hardware_->module.clearFaults();
        hardware_->bus.clearLog();
        hardware_->functions = I2C_FUNC_I2C;
    }

  public:
    static const std::string& scratch() { return scratch_; }

  protected:
    static inline std::string scratch_;  // removed with the testbed
    static inline vexar::test::EmulatedAdapter* adapter_ = nullptr;
    static inline vexar::test::Hardware* hardware_ = new vexar::test::Hardware;
};

TEST_F(I2cBus, CommandsBehaveAsOnTheSimulatedModule) {
    const std::string imageFile = scratch_ + "/image";
    std::ifstream commands(COMMANDS_FILE);
    std::string line;
    int count = 0;
    while (std::getline(commands, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream words(line);
        const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        std::vector<std::string> simulated{VEXAR_CTL_PATH, "--image", imageFile};
        simulated.insert(simulated.end(), args.begin(), args.end());
        const Outcome expected = run(simulated);
        const Outcome actual = ctl(args);
        EXPECT_EQ(actual.status, expected.status) << line << '\n' << actual.err;
        EXPECT_EQ(actual.out, expected.out) << line;
        EXPECT_EQ(actual.err, expected.err) << line;
        std::ostringstream image;
        hardware_->module.saveImage(image);  // no tool is running: the handler is idle
        std::ifstream saved(imageFile);
        EXPECT_EQ(image.str(), std::string(std::istreambuf_iterator<char>(saved), {})) << line;
        ++count;
    }
    EXPECT_GE(count, 10);
}

// Kind, errno and exit status are the cross-face table's; here the trace and what comes after.
TEST_F(I2cBus, NackStopsTheWrite) {
    hardware_->module.failDevice(0x2A, -EREMOTEIO);
    const Outcome nacked =
        ctl({"--trace", "set", "FrameRate=20", "LeftIlluminationVoltage=40", "MixingVoltage=10"});
    EXPECT_THAT(nacked.err, HasSubstr("w2@0x2a 0x11 0x66  (error -121)\n"));
    EXPECT_THAT(nacked.err, HasSubstr("set LeftIlluminationVoltage=40: failed to write parameter "
                                      "0: bus failure writing device 0x2a register 0x11 on "
                                      "/dev/i2c-1: Remote I/O error (-121)\n"));
    const std::lock_guard lock(hardware_->mutex);
    const auto& log = hardware_->bus.transactions();
    const auto failed = std::ranges::find_if(log, [](const auto& t) { return t.result != 0; });
    ASSERT_NE(failed, log.end());
    EXPECT_EQ(failed->result, -EREMOTEIO);
    EXPECT_TRUE(std::none_of(failed + 1, log.end(),
                             [](const auto& t) { return t.direction == vexar::Direction::Write; }));
    EXPECT_EQ(hardware_->module.latchedByte(0x28), std::nullopt);
}

TEST_F(I2cBus, ProbeNamesSilentDevicesAndCommandsStopWithoutTheSensor) {
    hardware_->module.failDevice(0x2B, -EREMOTEIO);
    const Outcome probed = ctl({"probe"});
    EXPECT_EQ(probed.status, 4);
    EXPECT_THAT(probed.out,
                HasSubstr("0x2b  right illumination voltage  no answer: Remote I/O error"));
    EXPECT_THAT(probed.out, HasSubstr("0x2a  left illumination voltage   answers"));
    EXPECT_THAT(probed.err, HasSubstr("1 of 6 devices do not answer"));

    hardware_->module.failDevice(0x58, -EREMOTEIO);
    const Outcome info = ctl({"info"});
    EXPECT_EQ(info.status, 4);
    EXPECT_THAT(info.err, HasSubstr("the sensor does not answer: reading device 0x58 register "
                                    "0x02 on /dev/i2c-1: Remote I/O error (-121); 'vexar-ctl "
                                    "--bus /dev/i2c-1 probe' shows which of the module's devices "
                                    "answer\n"));
    EXPECT_EQ(info.out, "");

    hardware_->functions = I2C_FUNC_SMBUS_BYTE_DATA;
    const Outcome smbus = ctl({"probe"});
    EXPECT_EQ(smbus.status, 4);
    EXPECT_THAT(smbus.err, HasSubstr("/dev/i2c-1 cannot do plain I2C transfers"));
    EXPECT_THAT(ctl({"--format", "json", "info"}).err,
                HasSubstr("\"errno\":" + std::to_string(EOPNOTSUPP)));
}

// A dry run over the adapter only reads; the load after it, from the same registers, makes its
// transactions and leaves its values, and with a fault in the middle stops on its path.
TEST_F(I2cBus, LoadDoesWhatItsDryRunSaid) {
    ASSERT_EQ(ctl({"--force", "set", "ModulationFrequency=24", "DealiasingFrequency=12",
                   "DealiasingOn=true", "FrameRate=15"})
                  .status,
              0);
    ASSERT_EQ(ctl({"regs", "set", "0x1f0=0xabcd"}).status, 0);
    std::vector<std::uint32_t> preset(0x200);
    const auto registers = [&](bool keep) {  // under the handler's lock, between the runs
        const std::lock_guard lock(hardware_->mutex);
        for (std::uint32_t a = 0; a < preset.size(); ++a) {
            keep ? void(preset[a] = hardware_->module.registerValue(a))
                 : hardware_->module.setRegisterValue(a, preset[a]);
        }
        hardware_->bus.clearLog();
    };
    registers(true);
    const std::string file = scratch_ + "/profile.json";
    std::ofstream(file) << R"({"FrameRate": 20, "DealiasingOn": false,
                              "RegionOfInterest": {"x": 16, "y": 8, "width": 128, "height": 100}})";
    const auto since = [&](std::size_t from) {  // what reached the module, from the from-th on
        const std::lock_guard lock(hardware_->mutex);
        std::vector<std::string> made;
        for (const auto& t : hardware_->bus.transactions()) made.push_back(t.toString());
        return std::vector(made.begin() + static_cast<long>(std::min(from, made.size())),
                           made.end());
    };
    std::size_t opening = 0;  // the transactions of a run before its command: found on the first
    for (const bool fault : {false, true}) {
        registers(false);
        const Outcome dry =
            ctl({"--force", "--format", "json", "state", "load", file, "--dry-run"});
        ASSERT_EQ(dry.status, 0) << dry.err;
        const std::vector<std::string> read = since(0);
        EXPECT_TRUE(std::ranges::all_of(read, [](const std::string& t) {
            return t.find(" r") != t.npos;
        })) << "the dry run wrote";
        const vexar::Json report = vexar::parseJson(dry.out, "dry run");
        const auto expected = report.at("transactions").get<std::vector<std::string>>();
        ASSERT_GT(expected.size(), 4u);
        const std::size_t half = expected.size() / 2;
        if (fault) hardware_->module.failNthTransaction(opening + half + 1, -EIO);
        const Outcome load = ctl({"--force", "state", "load", file});
        std::vector<std::string> made = since(read.size() + opening);
        if (fault) {
            EXPECT_EQ(load.status, 4) << load.err;
            ASSERT_EQ(made.size(), half + 1);
            EXPECT_THAT(made.back(), HasSubstr("(error -5)"));
            made.pop_back();
            EXPECT_EQ(made,
                      std::vector(expected.begin(), expected.begin() + static_cast<long>(half)));
            continue;
        }
        ASSERT_EQ(load.status, 0) << load.err;
        opening = made.size() - expected.size();
        EXPECT_EQ(since(read.size() + opening), expected);
        vexar::Json said = report.at("parameters");
        for (const char* voltage :
             {"LeftIlluminationVoltage", "RightIlluminationVoltage", "MixingVoltage"}) {
            said.erase(voltage);  // a new run knows nothing of them
        }
        EXPECT_EQ(
            vexar::parseJson(ctl({"--format", "json", "state", "save", "-"}).out, "")["parameters"],
            said);
    }
}

// The identity comes from --module, in the form info prints it, and reaches the plug-in.
TEST_F(I2cBus, ModuleFileReplacesTheBuiltInIdentity) {
    const std::string file = scratch_ + "/module.json";
    std::ofstream(file) << ctl({"info", "--format", "json"}).out;
    const Outcome info = ctl({"--module", file, "info"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_THAT(info.out,
                HasSubstr("bus                  /dev/i2c-1\nmodule identity      " + file));
    // A key the plug-in does not serve, by the name info prints and by the one of 0.1.
    for (const char* key : {"module_key", "moduleKey"}) {
        std::ofstream(file) << "{\"" << key << "\": [1110, 37120, 0, 1]}";
        const Outcome other = ctl({"--module", file, "get", "FrameRate"});
        EXPECT_EQ(other.status, 1) << key;
        EXPECT_THAT(other.err, HasSubstr("initialize: NotSupported")) << key;
    }
}

#ifdef VEXAR_STATION
Outcome station(const std::string& serial) {
    return run({"/usr/bin/env", "PYTHONPATH=" VEXAR_PYTHON_PATH, "/usr/bin/python3", VEXAR_STATION,
                "run", "--recipe", VEXAR_STATION_RECIPE, "--serial", serial, "--camera",
                std::string("F1=") + kAdapter, "--db", I2cBus::scratch() + "/results.sqlite",
                "--spool", I2cBus::scratch() + "/spool"});
}

// The station on the adapter: a unit passes as on the simulated module; the next fails when a
// transfer of its calibration write fails, at that step, with the bus failure's status.
TEST_F(I2cBus, StationRecordsAPassAndAFailedCalibrationWrite) {
    const Outcome passed = station("SN0001");
    ASSERT_EQ(passed.status, 0) << passed.out << passed.err;
    EXPECT_THAT(passed.out, HasSubstr("[F1] SN0001 calibration: read-back ok"));
    std::size_t calibrationWrite = 0;
    {
        const std::lock_guard lock(hardware_->mutex);
        const auto& log = hardware_->bus.transactions();
        const auto first = std::ranges::find_if(log, [](const auto& t) {
            return t.direction == vexar::Direction::Write && t.device == 0x5C && t.reg == 0x37;
        });
        ASSERT_NE(first, log.end());
        calibrationWrite = static_cast<std::size_t>(first - log.begin()) + 1;
        hardware_->module.reset();
        hardware_->bus.clearLog();
        hardware_->module.failNthTransaction(calibrationWrite, -EREMOTEIO);
    }
    const Outcome failed = station("SN0002");
    EXPECT_EQ(failed.status, 4) << failed.out << failed.err;
    EXPECT_THAT(failed.out, HasSubstr("[F1] SN0002 FAIL at calibration: "));
    EXPECT_THAT(failed.out, Not(HasSubstr("PASS")));
    const Outcome history =
        run({"/usr/bin/env", "PYTHONPATH=" VEXAR_PYTHON_PATH, "/usr/bin/python3", VEXAR_STATION,
             "history", "SN0002", "--db", scratch_ + "/results.sqlite"});
    EXPECT_THAT(history.out, HasSubstr("FAIL     run "));
    EXPECT_THAT(history.out, HasSubstr("fixture F1 (/dev/i2c-1)"));
    EXPECT_THAT(history.out, HasSubstr("failed at calibration: BusFailure"));
}
#endif

// i2ctransfer reads back, over the same adapter, what vexar-ctl wrote.
TEST_F(I2cBus, I2ctransferReadsWhatTheToolWrote) {
    ASSERT_EQ(ctl({"set", "FrameRate=25", "IntegrationTime=0.3"}).status, 0);
    // device, register, and the bytes the sensor holds after those two settings
    for (const auto& [device, reg, bytes] : {std::tuple{"w1@0x58", "0x82", "0xc0 0xd4 0x01\n"},
                                             std::tuple{"w1@0x5c", "0x4c", "0x01 0x00 0x80\n"}}) {
        const Outcome read = run({I2CTRANSFER, "-y", "1", device, reg, "r3"});
        EXPECT_EQ(read.status, 0) << read.err;
        EXPECT_EQ(read.out, bytes) << device << ' ' << reg;
    }
}

// Four loops share the adapter, each writing one parameter over and over; each pair shares a
// register that a write read-modify-writes (0x04c, 0x10f). What every set reads back must be
// what the same set gives run alone after any of its partner's values, or none: a lost update or
// a value made of two writes shows as anything else.
TEST_F(I2cBus, ParallelWritersLoseNoUpdate) {
    struct Writer {
        std::string parameter, partner;
        std::vector<std::string> values, partnerValues;
    };
    const std::vector<Writer> writers{
        {"IntegrationTime", "FrameRate", {"0.2", "0.4"}, {"20", "40"}},
        {"FrameRate", "IntegrationTime", {"20", "40"}, {"0.2", "0.4"}},
        {"ModulationFrequency", "MixingSignalsMode", {"20", "40"}, {"0", "2"}},
        {"MixingSignalsMode", "ModulationFrequency", {"0", "2"}, {"20", "40"}},
    };
    std::map<std::string, std::set<std::string>> allowed;  // "Name=value" -> outputs
    for (const Writer& w : writers) {
        // The partner at power-on too: a loop may start before the other has written.
        std::vector<std::string> partners{""};
        partners.insert(partners.end(), w.partnerValues.begin(), w.partnerValues.end());
        for (const std::string& p : partners) {
            for (const std::string& v : w.values) {
                SetUp();
                ASSERT_TRUE(p.empty() || ctl({"--quiet", "set", w.partner + "=" + p}).status == 0);
                const Outcome alone = ctl({"set", w.parameter + "=" + v});
                ASSERT_EQ(alone.status, 0) << alone.err;
                allowed[w.parameter + "=" + v].insert(alone.out);
            }
        }
    }
    SetUp();
    constexpr int kRounds = 30;
    std::mutex mutex;
    std::vector<std::string> wrong;
    std::vector<std::thread> loops;
    for (const Writer& w : writers) {
        loops.emplace_back([&, w] {
            for (int round = 0; round < kRounds; ++round) {
                const std::string assignment = w.parameter + "=" + w.values[round % 2];
                const Outcome set = ctl({"set", assignment});
                if (set.status != 0 || !allowed.at(assignment).contains(set.out)) {
                    const std::lock_guard lock(mutex);
                    wrong.push_back(assignment + " -> status " + std::to_string(set.status) + ": " +
                                    set.out + set.err);
                }
            }
        });
    }
    for (std::thread& loop : loops) {
        loop.join();
    }
    EXPECT_THAT(wrong, testing::IsEmpty()) << wrong.size() << " of " << kRounds * 4;
}

// The holder of the adapter's lock is named, and the run gives up as asked.
TEST_F(I2cBus, BusyAdapterIsReportedWithItsHolder) {
    const int fd = open((scratch_ + kAdapter).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const Outcome busy = ctl({"--lock-timeout", "0.2", "get", "FrameRate"});
    EXPECT_EQ(busy.status, 4);
    EXPECT_THAT(busy.err, HasSubstr("/dev/i2c-1 is in use by process " + std::to_string(getpid())));
    EXPECT_THAT(busy.err, HasSubstr("after waiting 0.2 s (--lock-timeout SECONDS waits longer)"));
    EXPECT_EQ(busy.out, "");
    close(fd);
    EXPECT_EQ(ctl({"--lock-timeout", "0", "get", "FrameRate"}).status, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (access(UMOCKDEV_WRAPPER, X_OK) != 0) {
        std::printf("umockdev-wrapper is not installed: skipped\n");
        return 77;
    }
    vexar::test::prepareEnvironment();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
