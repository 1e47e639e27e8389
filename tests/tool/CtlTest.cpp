// Runs the command-line cases of cases.txt against the real vexar-ctl binary. Each case is a
// sequence of steps in a scratch folder that is also the tool's working directory:
//   case NAME              begins a case
//   file NAME TEXT         writes TEXT (C escapes \n, \t, \xHH) to NAME; "dir NAME" makes a folder,
//                          "fifo NAME" a FIFO, "socket NAME" a listening socket, "link NAME TO" a
//                          symbolic link; "absent NAME" and "is-link NAME" check what is there;
//                          "fifo-later NAME TEXT" a FIFO whose writer opens it 0.2 s later
//   stdin NAME             standard input of the next run ("pipe NAME": through a pipe);
//                          "stdout closed|full" its output, "stderr full" its error output
//   {TEXT*N}               anywhere in a step: TEXT N times
//   $ ARGS                 runs vexar-ctl; 'quoted words' keep their spaces
//   ? STATUS               the last run's exit status
//   out: TEXT / err: TEXT  the last run's output contains TEXT; "!out:"/"!err:" it does not;
//                          "NAME: TEXT" the file NAME contains it
//   out= GOLDEN            the last run's output is exactly golden/GOLDEN; "NAME= GOLDEN" a file
// VEXAR_UPDATE_GOLDEN=1 rewrites the golden files from what the tool printed and shows the diff.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {
namespace fs = std::filesystem;
const fs::path kHere = VEXAR_TOOL_TESTS;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// "{TEXT*N}" stands for TEXT repeated N times, so the case table can hold inputs of any size.
std::string expand(const std::string& text) {
    std::string result;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto open = text.find('{', at);
        const auto star = text.find('*', open);
        const auto close = text.find('}', star);
        const auto inner =
            open == std::string::npos ? std::string::npos : text.find_first_of("{}", open + 1);
        const bool repeat = close != std::string::npos && inner == close && star > open + 1 &&
                            close > star + 1 &&
                            text.find_first_not_of("0123456789", star + 1) == close;
        if (!repeat) {
            const auto next = open == std::string::npos ? text.size() : open + 1;
            result.append(text, at, next - at);
            at = next;
            continue;
        }
        result.append(text, at, open - at);
        for (int i = std::stoi(text.substr(star + 1, close - star - 1)); i > 0; --i)
            result.append(text, open + 1, star - open - 1);
        at = close + 1;
    }
    return result;
}

std::string unescape(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
        } else if (text[++i] == 'x') {
            bytes += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            bytes += text[i] == 'n' ? '\n' : text[i] == 't' ? '\t' : text[i];
        }
    }
    return bytes;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> result;
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
        if (word.front() == '\'') {
            while (word.size() < 2 || word.back() != '\'') {
                std::string more;
                in >> more;
                word += ' ' + more;
            }
            word = word.substr(1, word.size() - 2);
        }
        result.push_back(word);
    }
    return result;
}

struct Case {
    std::string name;
    std::vector<std::string> steps;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

std::vector<Case> loadCases() {
    std::vector<Case> cases;
    std::ifstream in(kHere / "cases.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("case ")) {
            cases.push_back({line.substr(5), {}});
        } else if (!line.empty() && !line.starts_with('#') && !cases.empty()) {
            cases.back().steps.push_back(line);
        }
    }
    return cases;
}

struct CtlRun {
    int status = -1;
    std::string out, err;
};

// Where a run's standard streams go besides the scratch files: input from a file (or through
// a pipe, from a file's contents), output closed or full, error output full.
struct Streams {
    std::string input, output, error;
    bool pipe = false;
};

// fork and exec rather than posix_spawn: the child needs the scratch folder as its working
// directory, and a closed or full standard output on request.
CtlRun runCtl(const fs::path& folder, const std::vector<std::string>& args,
              const Streams& streams = {}, const std::string& killAtStep = "") {
    const std::string& input = streams.input;
    const std::string& output = streams.output;
    int piped[2] = {-1, -1};
    if (streams.pipe) {
        // Small inputs only: the whole of it must fit in the pipe before the child runs.
        EXPECT_EQ(pipe(piped), 0);
        const std::string bytes = slurp(input);
        EXPECT_EQ(write(piped[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(piped[1]);
    }
    std::vector<std::string> argv{VEXAR_CTL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    const std::string out = (folder / ".out").string(), err = (folder / ".err").string();
    const pid_t pid = fork();
    if (pid == 0) {
        const auto redirect = [](const std::string& path, int flags, int fd) {
            const int opened = open(path.c_str(), flags, 0600);
            dup2(opened, fd);
            close(opened);
        };
        if (chdir(folder.c_str()) != 0) _exit(127);
        redirect(input.empty() ? "/dev/null" : input, O_RDONLY, 0);
        if (streams.pipe) dup2(piped[0], 0);
        redirect(output == "full" ? "/dev/full" : out, O_WRONLY | O_CREAT | O_TRUNC, 1);
        redirect(streams.error == "full" ? "/dev/full" : err, O_WRONLY | O_CREAT | O_TRUNC, 2);
        if (output == "closed") close(1);
        if (!killAtStep.empty()) setenv("VEXAR_CTL_KILL_AT_STEP", killAtStep.c_str(), 1);
        setenv("SOURCE_DATE_EPOCH", "1796688000", 1);  // profiles saved at 2026-12-08T00:00:00Z
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);  // presets of the case alone
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    if (streams.pipe) close(piped[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus), slurp(out),
            slurp(err)};
}

// The plug-in's path differs between checkouts; golden files name it @PLUGIN@.
std::string portable(std::string text) {
    const std::string plugin = VEXAR_PLUGIN_PATH;
    for (auto at = text.find(plugin); at != std::string::npos; at = text.find(plugin, at)) {
        text.replace(at, plugin.size(), "@PLUGIN@");
    }
    return text;
}

void compareGolden(const std::string& printed, const std::string& golden, const std::string& what) {
    const fs::path path = kHere / "golden" / golden;
    const std::string actual = portable(printed);
    if (std::getenv("VEXAR_UPDATE_GOLDEN") != nullptr && slurp(path) != actual) {
        const fs::path fresh = path.string() + ".new";
        std::ofstream(fresh, std::ios::binary) << actual;
        const std::string diff = "diff -u '" + path.string() + "' '" + fresh.string() + "'";
        EXPECT_GE(std::system(diff.c_str()), 0);
        fs::rename(fresh, path);
        return;
    }
    EXPECT_EQ(actual, slurp(path))
        << what << " differs from golden/" << golden << " (VEXAR_UPDATE_GOLDEN=1 rewrites it)";
}

fs::path scratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "vexar-ctl-case-XXXXXX").string();
    return mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) : fs::path();
}

class CtlCase : public ::testing::TestWithParam<Case> {};

TEST_P(CtlCase, BehavesAsListed) {
    const fs::path folder = scratchFolder();
    CtlRun last;
    Streams streams;
    std::string shown;
    std::vector<int> sockets;
    std::vector<std::pair<fs::path, std::thread>> writers;
    for (const std::string& given : GetParam().steps) {
        const std::string step = expand(given);
        const std::size_t space = std::min(step.find(' '), step.size());
        const std::string head = step.substr(0, space);
        const std::string rest = space < step.size() ? step.substr(space + 1) : "";
        const std::string text = unescape(rest);
        const auto has = [&](const std::string& stream) { return stream.find(text); };
        if (head == "$") {
            last = runCtl(folder, words(rest), streams);
            shown = "after vexar-ctl " + given.substr(std::min<std::size_t>(2, given.size())) +
                    "\nout:\n" + last.out.substr(0, 2000) + "err:\n" + last.err.substr(0, 2000);
            streams = {};
        } else if (head == "fifo") {
            EXPECT_EQ(mkfifo((folder / rest).c_str(), 0600), 0);
        } else if (head == "fifo-later") {
            const std::size_t name = rest.find(' ');
            const fs::path fifo = folder / rest.substr(0, name);
            EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
            const std::string bytes = unescape(rest.substr(name + 1));
            writers.emplace_back(fifo, std::thread([fifo, bytes] {
                                     std::this_thread::sleep_for(std::chrono::milliseconds(200));
                                     std::ofstream(fifo, std::ios::binary) << bytes;
                                 }));
        } else if (head == "socket") {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            rest.copy(address.sun_path, sizeof address.sun_path - 1);
            sockets.push_back(socket(AF_UNIX, SOCK_STREAM, 0));
            const fs::path here = fs::current_path();
            fs::current_path(folder);  // sun_path is short: bind by the name alone
            EXPECT_EQ(bind(sockets.back(), reinterpret_cast<sockaddr*>(&address), sizeof address),
                      0);
            fs::current_path(here);
        } else if (head == "link") {
            const std::size_t name = rest.find(' ');
            fs::create_symlink(rest.substr(name + 1), folder / rest.substr(0, name));
        } else if (head == "absent") {
            EXPECT_FALSE(fs::exists(fs::symlink_status(folder / rest))) << rest << '\n' << shown;
        } else if (head == "is-link") {
            EXPECT_TRUE(fs::is_symlink(folder / rest)) << rest << '\n' << shown;
        } else if (head == "file") {
            const std::size_t name = rest.find(' ');
            std::ofstream(folder / rest.substr(0, name), std::ios::binary)
                << unescape(name == std::string::npos ? "" : rest.substr(name + 1));
        } else if (head == "dir") {
            fs::create_directories(folder / rest);
        } else if (head == "stdin" || head == "pipe") {
            streams.input = (folder / rest).string();
            streams.pipe = head == "pipe";
        } else if (head == "stdout") {
            streams.output = rest;
        } else if (head == "stderr") {
            streams.error = rest;
        } else if (head == "?") {
            EXPECT_EQ(last.status, std::stoi(rest)) << shown;
        } else if (head == "out:" || head == "err:") {
            EXPECT_NE(has(head == "out:" ? last.out : last.err), std::string::npos)
                << "missing: " << text << '\n'
                << shown;
        } else if (head == "!out:" || head == "!err:") {
            EXPECT_EQ(has(head == "!out:" ? last.out : last.err), std::string::npos)
                << "unexpected: " << text << '\n'
                << shown;
        } else if (head == "out=" || head == "err=") {
            compareGolden(head == "out=" ? last.out : last.err, rest, head + " " + shown);
        } else if (head.ends_with(':')) {
            EXPECT_NE(slurp(folder / head.substr(0, head.size() - 1)).find(text), std::string::npos)
                << head << " lacks " << text;
        } else if (head.ends_with('=')) {
            const std::string name = head.substr(0, head.size() - 1);
            compareGolden(slurp(folder / name), rest, name);
        } else {
            ADD_FAILURE() << "cases.txt: unknown step: " << step;
        }
    }
    for (const int fd : sockets) close(fd);
    for (auto& [fifo, writer] : writers) {
        // A writer nobody read from still waits in its open: a reader frees it.
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        writer.join();
        close(reader);
    }
    fs::remove_all(folder);
}

// Temporary files of the tool in folder (the runner's own .out and .err aside).
std::vector<std::string> temporaries(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with('.') && name != ".out" && name != ".err") found.push_back(name);
    }
    return found;
}

// The tool killed at every step of replacing a file, as kill -9 would: the file must then hold
// the old contents or the new, whole, and the next run must be able to use it and leave no
// temporary behind, also for a name as long as a folder allows.
TEST(CtlFileSafety, AKillAtAnyStepOfASaveLeavesTheOldOrTheNewFileWholeAndNoLitter) {
    const fs::path folder = scratchFolder();
    struct Save {
        std::vector<std::string> before, args, next;  // next: the run after a kill
        std::string file;
    };
    const std::string longName(NAME_MAX, 'n');
    const Save saves[] = {
        {{"--image", "f", "set", "FrameRate=20"},
         {"--image", "f", "set", "FrameRate=25", "MicroFrameNumber=2", "MixingVoltage=42"},
         {"--image", "f", "get", "FrameRate"},
         "f"},
        {{"--format", "json", "state", "save", "f"}, {"state", "save", "f"}, {}, "f"},
        {{"--format", "json", "calib", "read", longName},
         {"calib", "read", longName},
         {},
         longName},
    };
    for (const Save& save : saves) {
        const std::string& file = save.file;
        const std::vector<std::string>& next = save.next.empty() ? save.args : save.next;
        fs::remove(folder / file);
        ASSERT_EQ(runCtl(folder, save.before).status, 0);
        const std::string before = slurp(folder / file);
        ASSERT_EQ(runCtl(folder, save.args).status, 0);
        const std::string after = slurp(folder / file);
        ASSERT_NE(before, after);
        int kills = 0;
        for (int step = 1;; ++step) {
            std::ofstream(folder / file, std::ios::binary | std::ios::trunc) << before;
            const CtlRun run = runCtl(folder, save.args, {}, std::to_string(step));
            const std::string now = slurp(folder / file);
            EXPECT_TRUE(now == before || now == after) << "torn at step " << step << ":\n" << now;
            EXPECT_EQ(now, run.status == 0 ? after : now);
            if (run.status != 128 + SIGKILL) {
                EXPECT_EQ(run.status, 0) << run.err;
                break;
            }
            ++kills;
            EXPECT_EQ(runCtl(folder, next).status, 0);
            EXPECT_EQ(temporaries(folder), std::vector<std::string>()) << "after step " << step;
        }
        EXPECT_GT(kills, 5);
    }
    fs::remove_all(folder);
}

// Parallel runs on one image take turns under its lock: every update survives, and the image
// ends as one run doing them all would leave it.
TEST(CtlFileSafety, ParallelSetsOnOneImageLoseNoUpdate) {
    const fs::path folder = scratchFolder();
    const std::vector<std::string> assignments{"LeftIlluminationVoltage=40",
                                               "RightIlluminationVoltage=41",
                                               "MixingVoltage=42",
                                               "MicroFrameNumber=2",
                                               "MixingSignalsMode=2",
                                               "IlluminationMode=1",
                                               "RawOutputMode=2",
                                               "ModulationFrequency=20",
                                               "StreamEnable=on"};
    std::vector<std::string> all{"--image", "expected", "set"};
    all.insert(all.end(), assignments.begin(), assignments.end());
    ASSERT_EQ(runCtl(folder, all).status, 0);
    for (int round = 0; round < 5; ++round) {
        fs::remove(folder / "shared");
        std::vector<pid_t> children;
        for (const std::string& assignment : assignments) {
            children.push_back(fork());
            if (children.back() == 0) {
                _exit(runCtl(folder, {"--image", "shared", "set", assignment}).status);
            }
        }
        for (const pid_t child : children) {
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
        EXPECT_EQ(slurp(folder / "shared"), slurp(folder / "expected")) << "round " << round;
    }
    fs::remove_all(folder);
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char c : info.param.name) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, CtlCase, ::testing::ValuesIn(loadCases()), caseName);
}  // namespace
