// Golden bus transcripts. Each tests/golden/*.txt file lists operations on the plug-in, called
// through its C exports on a fresh simulated module, with what they answer and the exact bus
// lines they produce; then the same operation is made to fail at each of its transactions in
// turn. Set VEXAR_UPDATE_GOLDEN=1 to rewrite the files from the current behaviour; the diff is
// printed for review.
//
// File syntax: '#' lines and blank lines are kept as they are. An entry is one line
//   OPERATION [after STEP; STEP ...]
// where a STEP is a register preset (0x183=0x000004), an illumination board of another kind
// (left=0x107:0x2100:1) or another operation whose traffic is not part of the transcript.
// Everything the runner produces follows on lines indented by two spaces and is rewritten on
// update.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <latch>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "host/LVLogger.h"
#include "host/ROM.h"
#include "tests/PluginHost.h"

namespace Lumivor::Testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const vexar::detail::PluginApi& api() {
    return pluginLibrary().api();
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        const auto first = part.find_first_not_of(' ');
        const auto last = part.find_last_not_of(' ');
        if (first != std::string::npos) {
            parts.push_back(part.substr(first, last - first + 1));
        }
    }
    return parts;
}

// The host's names of the parameter identifiers, in identifier order.
const std::vector<std::string> kNames = split(
    "LeftIlluminationVoltage RightIlluminationVoltage MixingVoltage FrameRate MicroFrameNumber "
    "IntegrationTime ModulationFrequency DealiasingOn DealiasingFrequency MixingSignalsMode "
    "IlluminationMode RawOutputMode Range RegionOfInterest StreamEnable NativeFrameFormat",
    ' ');

std::uint32_t idOf(const std::string& word) {
    const auto named = std::ranges::find(kNames, word);
    return static_cast<std::uint32_t>(named != kNames.end() ? named - kNames.begin()
                                                            : std::stol(word, nullptr, 0));
}

std::string show(float value) {
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return {text.data(), end};
}

std::string hex(const Bytes& bytes) {
    std::string out;
    for (const auto b : bytes) {
        std::array<char, 4> text{};
        std::snprintf(text.data(), text.size(), "%02x", b);
        out += text.data();
    }
    return out;
}

Bytes unhex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

void put(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// State records as text: NAME:fVALUE, NAME:iVALUE, NAME:bVALUE, NAME:rX,Y,W,H, or raw:HEX for
// bytes that are no record at all.
Bytes stateBytes(const std::vector<std::string>& records) {
    Bytes out;
    for (const auto& record : records) {
        const auto colon = record.find(':');
        const std::string key = record.substr(0, colon);
        const std::string value = record.substr(colon + 2);
        if (key == "raw") {
            const Bytes raw = unhex(record.substr(colon + 1));
            out.insert(out.end(), raw.begin(), raw.end());
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(idOf(key)));
        switch (record[colon + 1]) {
            case 'f':
                put(out, std::bit_cast<std::uint32_t>(std::stof(value)), 4);
                break;
            case 'i':
                put(out, static_cast<std::uint32_t>(std::stol(value)), 4);
                break;
            case 'b':
                out.push_back(static_cast<std::uint8_t>(std::stoul(value)));
                break;
            default:
                for (const auto& v : split(value, ',')) {
                    put(out, static_cast<std::uint32_t>(std::stol(v)), 2);
                }
        }
    }
    return out;
}

// A calibration record as the host library serialises it, from
// "offsets=A,B kind=K temps=T,... coeffs=C,...".
Bytes calibrationBytes(const std::vector<std::string>& words) {
    ROM::Configuration record;
    std::vector<float> temperatures;
    std::vector<float> coefficients;
    std::uint32_t kind = 0;
    for (const auto& word : words) {
        const auto eq = word.find('=');
        const std::string key = word.substr(0, eq);
        std::vector<float> numbers;
        for (const auto& v : split(word.substr(eq + 1), ',')) {
            numbers.push_back(std::stof(v));
        }
        if (key == "offsets") {
            record.phaseOffset1(ROM::PhaseOffset(static_cast<std::int16_t>(numbers.at(0))));
            record.phaseOffset2(ROM::PhaseOffset(static_cast<std::int16_t>(numbers.at(1))));
        } else if (key == "kind") {
            kind = static_cast<std::uint32_t>(numbers.at(0));
        } else if (key == "temps") {
            temperatures = numbers;
        } else {
            coefficients = numbers;
        }
    }
    ROM::TemperatureCalibrationData calibration;
    calibration.setValues(std::move(temperatures));
    record.temperatureCalibration1(std::move(calibration));
    ROM::TemperatureCompensationData compensation(kind);
    compensation.setValues(std::move(coefficients));
    record.temperatureCompensation1(std::move(compensation));
    return record.serialize();
}

// One instance on one fresh simulated module, released through the exports.
struct Session {
    vexar::detail::bus::SimulatedBackend bus;
    Sim::SimulatedModule& module = bus.module();
    ModuleDescriptor descriptor = Sim::SimulatedModule::moduleDescriptor();
    void* instance = api().createInstance();
    std::int32_t initialise() {
        return api().initialize(instance, bus.hostContext(),
                                &vexar::detail::bus::Backend::readCallback,
                                &vexar::detail::bus::Backend::writeCallback,
                                Sim::SimulatedModule::moduleKey(), descriptor);
    }
    std::int32_t initialised = initialise();
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        api().dispose(instance);
        api().destroyInstance(instance);
    }
};

struct Outcome {
    std::int32_t code = 0;
    std::string before;  // a read's output as the caller set it up, as text
    std::string value;   // and as the operation left it
};

// Runs one operation. The caller's output starts from a fixed pattern, so that a failed read
// shows whether it was touched.
Outcome run(Session& s, const std::string& line) {
    const auto& a = api();
    const auto words = split(line, ' ');
    const std::string& op = words.at(0);
    const std::vector<std::string> args(words.begin() + 1, words.end());
    // A word too many or too few is a mistake in the file, not something to ignore.
    const bool reads = op.starts_with("read") && op != "readSystemState" && op != "readCalibration";
    const bool writes =
        op.starts_with("write") && op != "writeSystemState" && op != "writeCalibration";
    const std::size_t expected =
        reads || op == "getParameterRange" || op == "setRegionOfInterest" ? 1
        : writes                                                          ? 2
        : op == "getRegionOfInterest" || op == "getPhaseScaling" || op == "readCalibration"
            ? 0
            : args.size();
    EXPECT_EQ(args.size(), expected) << line;
    Outcome out;
    if (op == "readFloat" || op == "getPhaseScaling") {
        float v = -1.0f;
        out.before = show(v);
        out.code = op == "readFloat" ? a.readFloat(s.instance, idOf(args.at(0)), &v)
                                     : a.getPhaseScaling(s.instance, &v);
        out.value = show(v);
    } else if (op == "readInt") {
        std::int32_t v = -1;
        out.before = std::to_string(v);
        out.code = a.readInt(s.instance, idOf(args.at(0)), &v);
        out.value = std::to_string(v);
    } else if (op == "readBool") {
        std::uint8_t raw = 0x5a;  // neither false nor true, so an untouched value shows
        out.before = std::to_string(raw);
        out.code = a.readBool(s.instance, idOf(args.at(0)), reinterpret_cast<bool*>(&raw));
        out.value = std::to_string(raw);
    } else if (op == "writeFloat") {
        out.code = a.writeFloat(s.instance, idOf(args.at(0)), std::stof(args.at(1)));
    } else if (op == "writeInt") {
        out.code = a.writeInt(s.instance, idOf(args.at(0)),
                              static_cast<std::int32_t>(std::stol(args.at(1), nullptr, 0)));
    } else if (op == "writeBool") {
        out.code = a.writeBool(s.instance, idOf(args.at(0)), args.at(1) == "1");
    } else if (op == "getRegionOfInterest") {
        RegionOfInterestInternal r{-1, -1, -1, -1};
        out.before = "-1,-1,-1,-1";
        out.code = a.getRegionOfInterest(s.instance, &r);
        out.value = std::to_string(r.x) + "," + std::to_string(r.y) + "," +
                    std::to_string(r.width) + "," + std::to_string(r.height);
    } else if (op == "setRegionOfInterest") {
        const auto v = split(args.at(0), ',');
        const RegionOfInterestInternal r{std::stoi(v.at(0)), std::stoi(v.at(1)), std::stoi(v.at(2)),
                                         std::stoi(v.at(3))};
        out.code = a.setRegionOfInterest(s.instance, &r);
    } else if (op == "writeSystemState") {
        const Bytes b = stateBytes(args);
        out.code = a.writeSystemState(s.instance, b.data(), static_cast<std::uint32_t>(b.size()));
    } else if (op == "readSystemState") {
        Bytes b = stateBytes(args);
        out.before = hex(b);
        out.code = a.readSystemState(s.instance, b.data(), static_cast<std::uint32_t>(b.size()));
        out.value = hex(b);
    } else if (op == "writeCalibration") {
        const Bytes b =
            args.at(0).starts_with("hex=") ? unhex(args.at(0).substr(4)) : calibrationBytes(args);
        out.code = a.writeCalibration(s.instance, b.data(), static_cast<std::uint32_t>(b.size()));
    } else if (op == "readCalibration" || op == "getParameterRange") {
        const bool calibration = op == "readCalibration";
        Bytes b(calibration ? 256 : 64, 0xee);
        out.before = hex(b);
        auto size = static_cast<std::uint32_t>(b.size());
        out.code = calibration ? a.readCalibration(s.instance, b.data(), &size)
                               : a.getParameterRange(s.instance, idOf(args.at(0)), b.data(), &size);
        b.resize(std::min<std::size_t>(size, b.size()));
        out.value = hex(b);
    } else {
        ADD_FAILURE() << "unknown operation: " << line;
    }
    return out;
}

struct Entry {
    std::string operation;
    std::vector<std::string> steps;
};

Entry parse(const std::string& line) {
    Entry entry;
    const auto after = line.find(" after ");
    entry.operation = line.substr(0, after);
    if (after != std::string::npos) {
        entry.steps = split(line.substr(after + 7), ';');
    }
    return entry;
}

// A register preset: 0xADDR=VALUE for the whole register, 0xADDR[HI:LO]=VALUE or
// 0xADDR[BIT]=VALUE for some of its bits; values in hexadecimal with 0x, else decimal.
void preset(Sim::SimulatedModule& module, const std::string& step) {
    std::size_t end = 0;
    const auto address = static_cast<std::uint32_t>(std::stoul(step, &end, 16));
    int hi = 23;
    int lo = 0;
    if (step[end] == '[') {
        hi = std::stoi(step.substr(end + 1));
        const auto colon = step.find(':', end);
        const auto close = step.find(']', end);
        lo = colon < close ? std::stoi(step.substr(colon + 1)) : hi;
    }
    const auto value =
        static_cast<std::uint32_t>(std::stoul(step.substr(step.find('=') + 1), nullptr, 0));
    const std::uint32_t mask = ((2u << (hi - lo)) - 1u) << lo;
    module.setRegisterValue(address,
                            (module.registerValue(address) & ~mask) | ((value << lo) & mask));
}

// The instance initialised again with another illumination board on one side:
// left=TYPE:VERSION:PRESENT or right=..., in hexadecimal.
void initialiseWithBoard(Session& s, const std::string& step) {
    const auto v = split(step.substr(step.find('=') + 1), ':');
    auto& board = s.descriptor.components[step.starts_with("left") ? 3 : 4];
    board.type = static_cast<std::uint32_t>(std::stoul(v.at(0), nullptr, 16));
    board.version = static_cast<std::uint16_t>(std::stoul(v.at(1), nullptr, 16));
    board.present = static_cast<std::uint8_t>(std::stoul(v.at(2), nullptr, 16));
    ASSERT_EQ(s.initialise(), 0) << step;
}

// Applies the steps; an operation among them that fails is a fault of the file.
void prepare(Session& s, const Entry& entry) {
    ASSERT_EQ(s.initialised, 0);
    for (const auto& step : entry.steps) {
        if (step.starts_with("0x")) {
            preset(s.module, step);
        } else if (step.starts_with("left=") || step.starts_with("right=")) {
            initialiseWithBoard(s, step);
        } else {
            ASSERT_EQ(run(s, step).code, 0) << "step " << step;
        }
    }
    // An earlier failure's text, which an operation that sets none of its own must leave.
    std::array<std::uint8_t, 64> ignored{};
    auto size = static_cast<std::uint32_t>(ignored.size());
    api().getParameterRange(s.instance, 77, ignored.data(), &size);
    s.bus.clearLog();
}

const std::string kEarlierText = "Parameter 77 not defined";

// A code no layer of the plug-in produces itself, distinct per position and of both signs.
std::int32_t faultCode(std::size_t position) {
    const auto magnitude = static_cast<std::int32_t>(7000 + position);
    return position % 2 == 1 ? -magnitude : magnitude;
}

// What a failure at one transaction did: it either ended the operation at once with the
// host's code, or was passed over and the operation went on to a result of its own; and
// whether the caller's output was touched. Up to the failure the bus must see what the clean
// run put on it.
std::string faultOutcome(const Entry& entry, std::size_t position,
                         const std::vector<vexar::Transaction>& clean) {
    Session s;
    prepare(s, entry);
    const std::int32_t code = faultCode(position);
    s.module.failNthTransaction(position, code);
    const Outcome out = run(s, entry.operation);
    std::string result;
    const auto& log = s.bus.transactions();
    const bool sameBefore =
        log.size() >= position &&
        std::equal(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(position - 1),
                   clean.begin(),
                   [](const auto& a, const auto& b) { return a.toString() == b.toString(); });
    if (!sameBefore) {
        result = "BROKEN: other traffic before the failed transaction";
        ADD_FAILURE() << entry.operation << ": fault at " << position << " " << result;
    } else if (out.code == code && s.bus.transactions().size() == position) {
        result = "stops";
    } else if (out.code != code && s.bus.transactions().size() > position) {
        result = "passed over, then " + std::to_string(out.code);
    } else {
        result = "BROKEN: " + std::to_string(out.code) + " after " +
                 std::to_string(s.bus.transactions().size()) + " transactions";
        ADD_FAILURE() << entry.operation << ": fault at " << position << " " << result;
    }
    if (out.code != 0 && out.value != out.before) {
        result += ", output changed";
    }
    if (const std::string text = pluginLibrary().lastError(s.instance); text != kEarlierText) {
        result += ": " + text;
    }
    return result;
}

std::vector<std::string> transcript(const Entry& entry) {
    std::vector<std::string> lines;
    std::vector<vexar::Transaction> clean;
    {
        Session s;
        prepare(s, entry);
        const Outcome out = run(s, entry.operation);
        std::string head = "-> " + std::to_string(out.code);
        if (out.code == 0 && !out.value.empty()) {
            head += " " + out.value;
        }
        if (out.code != 0 && out.value != out.before) {
            head += " output changed";
        }
        // The text is shown whenever the operation replaced the earlier one, success or not.
        if (const std::string text = pluginLibrary().lastError(s.instance); text != kEarlierText) {
            head += " \"" + text + "\"";
        }
        lines.push_back(head);
        // A read followed by the write of the same register shares a line, as one
        // read-modify-write.
        const auto& log = s.bus.transactions();
        for (std::size_t i = 0; i < log.size(); ++i) {
            std::string line = log[i].toString();
            if (i + 1 < log.size() && log[i].direction == vexar::Direction::Read &&
                log[i + 1].direction == vexar::Direction::Write &&
                log[i + 1].device == log[i].device && log[i + 1].reg == log[i].reg) {
                line += " | " + log[++i].toString();
            }
            lines.push_back(line);
        }
        clean.assign(log.begin(), log.end());
    }
    const std::size_t transactions = clean.size();
    // Runs of positions with the same outcome share one line.
    std::size_t first = 1;
    std::string previous;
    for (std::size_t p = 1; p <= transactions + 1; ++p) {
        const std::string outcome = p <= transactions ? faultOutcome(entry, p, clean) : "";
        if (p > 1 && outcome != previous) {
            lines.push_back("fault " + std::to_string(first) +
                            (p - 1 > first ? "-" + std::to_string(p - 1) : "") + " " + previous);
            first = p;
        }
        previous = outcome;
    }
    for (auto& line : lines) {
        line = "  " + line;
    }
    return lines;
}

// The file as it would be written now: comments, blank lines and entries kept, every entry's
// output lines produced afresh.
std::string regenerate(const fs::path& file) {
    std::ifstream in(file);
    std::string out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("  ")) {
            continue;
        }
        out += line + "\n";
        if (!line.empty() && !line.starts_with("#")) {
            for (const auto& produced : transcript(parse(line))) {
                out += produced + "\n";
            }
        }
    }
    return out;
}

std::string contents(const fs::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> goldenFiles() {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(VEXAR_GOLDEN_DIR)) {
        if (e.path().extension() == ".txt") {
            files.push_back(e.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class GoldenTranscript : public ::testing::TestWithParam<fs::path> {};

TEST_P(GoldenTranscript, OperationsAnswerAndTalkToTheBusExactlyAsRecorded) {
    const fs::path& file = GetParam();
    const std::string now = regenerate(file);
    const std::string recorded = contents(file);
    if (now == recorded) {
        return;
    }
    const fs::path fresh = fs::temp_directory_path() / ("golden-" + std::to_string(::getpid()) +
                                                        "-" + file.filename().string());
    std::ofstream(fresh) << now;
    const std::string diff = "diff -u '" + file.string() + "' '" + fresh.string() + "'";
    const char* update = std::getenv("VEXAR_UPDATE_GOLDEN");
    std::ignore = std::system(diff.c_str());
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(file) << now;
        std::cout << "rewrote " << file << "\n";
    } else {
        ADD_FAILURE() << file << " differs from what the plug-in does now (diff above; "
                      << "VEXAR_UPDATE_GOLDEN=1 rewrites it)";
    }
    fs::remove(fresh);
}

INSTANTIATE_TEST_SUITE_P(Files, GoldenTranscript, ::testing::ValuesIn(goldenFiles()),
                         [](const auto& info) { return info.param.stem().string(); });

void countLine(void* counter, const std::string&) {
    static_cast<std::atomic<long>*>(counter)->fetch_add(1, std::memory_order_relaxed);
}

// Instances share nothing mutable: every file's transcript, produced on several threads at once
// (each operation on an instance and a module of its own), must equal the recorded one. The
// shared logger is installed so that its one sink is called from all of them. Under
// ThreadSanitizer, which must stay silent, this is the isolation test.
TEST(InstanceIsolation, ConcurrentInstancesAnswerExactlyAsEachDoesAlone) {
    constexpr std::size_t kCopies = 2;
    std::atomic<long> logged{0};
    Utils::LVLogger::installSink(&countLine, &logged);
    const auto files = goldenFiles();
    std::vector<std::string> produced(files.size() * kCopies);
    {
        std::latch start(static_cast<std::ptrdiff_t>(produced.size()));
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < produced.size(); ++i) {
            threads.emplace_back([&, i] {
                start.arrive_and_wait();
                produced[i] = regenerate(files[i % files.size()]);
            });
        }
    }
    Utils::LVLogger::installSink(nullptr, nullptr);
    for (std::size_t i = 0; i < produced.size(); ++i) {
        EXPECT_TRUE(produced[i] == contents(files[i % files.size()]))
            << files[i % files.size()] << " came out differently on a thread of its own";
    }
    EXPECT_GT(logged.load(), 0);
    // Every logger reference the plug-in took for those lines was given back.
    EXPECT_EQ(Utils::LVLogger::references(), 0u);
}

}  // namespace
}  // namespace Lumivor::Testing
