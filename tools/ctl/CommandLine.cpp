#include "CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <tuple>
#include <utility>

#include "Commands.h"
#include "Errors.h"
#include "vexar/json.hpp"
#include "vexar/panel.hpp"

namespace vexar::ctl {

namespace {
constexpr const char* kDescription =
    "vexar-ctl: loads the parameter-interpreter plug-in as a host does and drives it on the "
    "simulated camera module or, with --bus, on a module on a Linux I2C adapter.\n"
    "Exit status: 0 success; 1 the plug-in refused an operation; 2 bad input: usage, a "
    "parameter, a value, or a file that cannot be read, parsed or written; 3 the plug-in "
    "cannot be loaded; 4 a bus failure that is not a plug-in refusal; 5 state diff --exit-code "
    "found a difference; 70 a fault of the tool itself.";

// Global options that take a value, for finding the command word before parsing.
constexpr std::array<const char*, 6> kValueOptions{"--plugin", "--image",  "--format",
                                                   "--bus",    "--module", "--lock-timeout"};

struct Options {
    std::string plugin;
    std::string image;
    std::string bus;
    std::string module;
    std::string lockTimeout;
    bool trace = false;
    bool quiet = false;
    bool force = false;
    bool version = false;
    std::string format = "text";
    bool json = false;
    std::vector<std::string> names;
    std::vector<std::string> assignments;
    std::string file;
    bool diff = false;
    std::string listen;
    std::string preset;
    std::string note;
    bool registers = false;
    bool exitCode = false;
    bool dryRun = false;
    double interval = 1.0;
    long count = 0;
    std::string requestTimeout;
    bool restore = false;
};

// What a command declares besides its name and help: arguments, flags, subcommand rules.
using Declare = void (*)(CLI::App&, Options&);
// How it runs: on the camera the global options name, or on its own, before any plug-in is
// loaded (the tour runs command lines of its own; probe is what to try when loading fails).
using OnCamera = void (*)(Context&, const Options&);
using Alone = int (*)(const Options&, const Streams&);

struct Command {
    const char* parent;  // the group it belongs to, declared before it; nothing at the top
    const char* name;
    const char* help;
    Declare declare;
    OnCamera onCamera;  // neither: a group that needs one of its subcommands
    Alone alone;
    unsigned flags;  // of the ones below
};

// --format json, or svg, applies to the command; it serves for as long as it runs, so it
// holds the bus per request rather than for its whole run.
constexpr unsigned kJson = 1;
constexpr unsigned kSvg = 2;
constexpr unsigned kServing = 4;

void toFile(CLI::App& command, Options& options) {
    command.add_option("file", options.file, "FILE, or - for standard output")
        ->type_name("FILE")
        ->required();
    command.add_flag("--json", options.json, "the same as --format json");
}

void fromFile(CLI::App& command, Options& options) {
    command.add_option("file", options.file, "FILE, or - for standard input")
        ->type_name("FILE")
        ->required();
    command.add_flag("--json", options.json,
                     "insist on JSON (a file beginning with '{' is taken as JSON anyway)");
}

void dryRunFlag(CLI::App& command, Options& options) {
    command.add_flag("--dry-run", options.dryRun,
                     "write nothing: print what the write would do, from the module's registers");
}

void group(CLI::App& command, Options&) {
    command.require_subcommand(1);
}

void presetName(CLI::App& command, Options& options) {
    command.add_option("name", options.preset, "letters, digits, '-', '_' and '.'")
        ->type_name("NAME")
        ->required();
}

int probeAlone(const Options& options, const Streams& io);

std::chrono::milliseconds lockTimeout(const std::string& text);

std::chrono::milliseconds requestDeadline(const std::string& text) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    // At least a millisecond: a deadline of 0 would close every connection before its request.
    if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0.001) ||
        seconds > 3600) {
        throw badInput("serve: --request-timeout " + text +
                       ": not a number of seconds from 0.001 to 3600");
    }
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

// Every command, once, in the order --help lists them.
constexpr Command kCommandTable[] = {
    {nullptr, "info", "plug-in, SDK and module identity, phase scaling", nullptr,
     [](Context& c, const Options&) { runInfo(c); }, nullptr, true},
    {nullptr, "list", "every parameter: type, unit, access, range, value", nullptr,
     [](Context& c, const Options&) { runList(c); }, nullptr, true},
    {nullptr, "get", "read parameters",
     [](CLI::App& command, Options& options) {
         command.add_option("parameters", options.names, "NAME (any case) or ID (decimal or 0x)")
             ->type_name("NAME|ID")
             ->required();
     },
     [](Context& c, const Options& o) { runGet(c, o.names); }, nullptr, true},
    {nullptr, "set", "write parameters, in the order given, and read them back",
     [](CLI::App& command, Options& options) {
         command
             .add_option("assignments", options.assignments,
                         "NAME=VALUE; a region as x,y,width,height")
             ->required();
     },
     [](Context& c, const Options& o) { runSet(c, o.assignments); }, nullptr, true},
    {nullptr, "state", "save or restore the system state", group, nullptr, nullptr, false},
    {"state", "save", "read the state into FILE", toFile,
     [](Context& c, const Options& o) { runStateSave(c, o.file, c.json); }, nullptr, true},
    {"state", "load", "write the state in FILE",
     [](CLI::App& command, Options& options) {
         fromFile(command, options);
         dryRunFlag(command, options);
     },
     [](Context& c, const Options& o) { runStateLoad(c, o.file, c.json, o.dryRun); }, nullptr,
     true},
    {"state", "diff", "where profile A differs from B, or from the module now",
     [](CLI::App& command, Options& options) {
         command.add_option("profiles", options.names, "A [B]: a profile file or a preset")
             ->type_name("PROFILE")
             ->required()
             ->expected(1, 2);
         command.add_flag("--registers", options.registers,
                          "also the fields and registers the two would leave different");
         command.add_flag("--exit-code", options.exitCode,
                          "exit with status 5 when they differ, as diff does with 1");
     },
     [](Context& c, const Options& o) {
         if (runStateDiff(c, o.names, o.registers) && o.exitCode) {
             c.status = Exit::Differs;
         }
     },
     nullptr, kJson},
    {nullptr, "preset", "named profiles, shared with Python", group, nullptr, nullptr, false},
    {"preset", "list", "the presets, by name", nullptr, nullptr,
     [](const Options& o, const Streams& io) {
         runPresetList(o.json || o.format == "json", io.out);
         return 0;
     },
     kJson},
    {"preset", "save", "save the state as preset NAME",
     [](CLI::App& command, Options& options) {
         presetName(command, options);
         command.add_option("--note", options.note, "a line saved with it")->type_name("TEXT");
     },
     [](Context& c, const Options& o) { runPresetSave(c, o.preset, o.note); }, nullptr, false},
    {"preset", "load", "write preset NAME, as state load writes a profile",
     [](CLI::App& command, Options& options) {
         presetName(command, options);
         dryRunFlag(command, options);
     },
     [](Context& c, const Options& o) { runPresetLoad(c, o.preset, o.dryRun); }, nullptr, kJson},
    {"preset", "show", "print preset NAME", presetName, nullptr,
     [](const Options& o, const Streams& io) {
         runPresetShow(o.preset, io.out);
         return 0;
     },
     false},
    {"preset", "rm", "remove preset NAME", presetName, nullptr,
     [](const Options& o, const Streams&) {
         runPresetRemove(o.preset);
         return 0;
     },
     false},
    {nullptr, "calib", "read or write the calibration record", group, nullptr, nullptr, false},
    {"calib", "read", "read the record into FILE", toFile,
     [](Context& c, const Options& o) { runCalibRead(c, o.file, c.json); }, nullptr, true},
    {"calib", "write", "write the record in FILE", fromFile,
     [](Context& c, const Options& o) { runCalibWrite(c, o.file, c.json); }, nullptr, true},
    {nullptr, "regs", "the simulated module's registers, fields decoded",
     [](CLI::App& command, Options& options) {
         command.require_subcommand(0, 1);
         command.add_flag("--diff", options.diff, "only what differs from the power-on image");
     },
     [](Context& c, const Options& o) { runRegs(c, o.diff); }, nullptr, false},
    {"regs", "get", "read registers on the bus, bypassing the plug-in",
     [](CLI::App& command, Options& options) {
         command
             .add_option("addresses", options.names, "0xADDR (sensor) or 0xDEV:0xREG (byte device)")
             ->type_name("ADDR")
             ->required();
     },
     [](Context& c, const Options& o) { runRegsGet(c, o.names); }, nullptr, false},
    {"regs", "set", "write registers on the bus, bypassing the plug-in",
     [](CLI::App& command, Options& options) {
         command.add_option("assignments", options.assignments, "ADDR=VALUE")
             ->type_name("ADDR=VALUE")
             ->required();
     },
     [](Context& c, const Options& o) { runRegsSet(c, o.assignments); }, nullptr, false},
    {nullptr, "demo", "a guided tour of every command", nullptr, nullptr,
     [](const Options& o, const Streams& io) { return runDemo(o.plugin, io.out, io.err); }, false},
    {nullptr, "probe", "which of the module's devices answer on the bus", nullptr, nullptr,
     probeAlone, false},
    {nullptr, "watch", "print each change of the parameters (or fields) until Ctrl-C",
     [](CLI::App& command, Options& options) {
         command.add_option("parameters", options.names, "NAME or ID; none: every readable one")
             ->type_name("NAME|ID");
         command.add_option("--interval", options.interval, "seconds between looks (default 1)")
             ->type_name("S")
             ->check(CLI::Range(0.01, 3600.0));
         command.add_option("--count", options.count, "stop after N changes")
             ->type_name("N")
             ->check(CLI::PositiveNumber);
         command.add_flag("--registers", options.registers, "watch every field too");
     },
     [](Context& c, const Options& o) {
         runWatch(c, o.names, std::chrono::milliseconds(std::llround(o.interval * 1000)), o.count,
                  o.registers);
     },
     nullptr, kServing},
    {nullptr, "timing", "the frame timing the settings give, as text or drawn (--format svg)",
     nullptr,
     [](Context& c, const Options& o) {
         const vexar::Timing timing = c.camera.timing();
         c.out << (o.format == "svg" ? timing.toSvg() : timing.toText());
     },
     nullptr, kSvg},
    {nullptr, "serve", "a control panel in the browser, on 127.0.0.1 unless --listen says",
     [](CLI::App& command, Options& options) {
         command.add_option("--listen", options.listen, "ADDR:PORT; port 0 picks a free one")
             ->type_name("ADDR:PORT");
         command
             .add_option("--request-timeout", options.requestTimeout,
                         "seconds a request may take to arrive whole (default 5)")
             ->type_name("SECONDS");
         command.add_flag("--restore", options.restore,
                          "write the module's settings back when it reconnects");
     },
     [](Context& c, const Options& o) {
         vexar::panel::ServeOptions serving;
         serving.lockTimeout = lockTimeout(o.lockTimeout);
         serving.restore = o.restore;
         if (!o.listen.empty()) {
             serving.listen = o.listen;
         }
         if (!o.requestTimeout.empty()) {
             serving.requestDeadline = requestDeadline(o.requestTimeout);
         }
         vexar::panel::serve(c.camera, serving, c.out, c.err);
     },
     nullptr, kServing},
};

// The parsed commands, one entry of the table each.
struct Declared {
    std::vector<CLI::App*> apps;
    // The deepest command given: a subcommand is declared after its group.
    const Command* selected() const {
        for (std::size_t i = apps.size(); i-- > 0;) {
            if (apps[i]->parsed()) {
                return &kCommandTable[i];
            }
        }
        return nullptr;
    }
};

std::vector<std::string> topLevelCommands() {
    std::vector<std::string> names;
    for (const Command& command : kCommandTable) {
        if (command.parent == nullptr) {
            names.emplace_back(command.name);
        }
    }
    return names;
}

Declared define(CLI::App& app, Options& options) {
    app.fallthrough();  // global options may also follow the command
    app.require_subcommand(0, 1);
    app.add_option("--plugin", options.plugin, "the plug-in to load")
        ->type_name("PATH")
        ->capture_default_str();
    app.add_option("--image", options.image,
                   "keep the simulated module's register image in FILE between runs")
        ->type_name("FILE");
    app.add_option("--bus", options.bus,
                   "drive the module on this Linux I2C adapter (/dev/i2c-N, or N) instead of the "
                   "simulated one")
        ->type_name("ADAPTER");
    app.add_option("--module", options.module,
                   "the module's identity (key and descriptor, as 'info --format json' prints "
                   "them) instead of the built-in one")
        ->type_name("FILE");
    app.add_option("--lock-timeout", options.lockTimeout,
                   "with --bus: how long to wait for another process to release the adapter "
                   "(default 10)")
        ->type_name("SECONDS");
    app.add_flag("--trace", options.trace, "print every bus transaction, then their count");
    app.add_option("--format", options.format,
                   "output of info, list, get, state save and calib read; json also makes "
                   "state load and calib write insist on JSON; svg: timing drawn")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "json", "svg"}))
        ->capture_default_str();
    app.add_flag("-q,--quiet", options.quiet,
                 "set: say nothing of values the module holds differently or outside the range");
    app.add_flag("--force", options.force,
                 "set: write non-finite numbers (nan, inf) as well; set, state load and preset "
                 "load: write the voltages nothing is known of at their power-on value 50 where a "
                 "system state must write them, and a profile saved from another module");
    app.add_flag("--version", options.version, "print the tool's and the plug-in's versions");

    Declared declared;
    for (const Command& command : kCommandTable) {
        CLI::App* parent = &app;
        if (command.parent != nullptr) {
            for (std::size_t i = 0; i < declared.apps.size(); ++i) {
                if (kCommandTable[i].parent == nullptr &&
                    std::string_view(kCommandTable[i].name) == command.parent) {
                    parent = declared.apps[i];
                }
            }
        }
        CLI::App* added = parent->add_subcommand(command.name, command.help);
        if (command.declare != nullptr) {
            command.declare(*added, options);
        }
        declared.apps.push_back(added);
    }
    return declared;
}

std::chrono::milliseconds lockTimeout(const std::string& text) {
    if (text.empty()) {
        return vexar::OpenOptions{}.lockTimeout;
    }
    double seconds = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    try {
        if (error != std::errc() || end != text.data() + text.size()) {
            throw badInput("not a number of seconds");
        }
        return vexar::lockTimeoutFromSeconds(seconds);
    } catch (const vexar::Error&) {
        throw badInput("--lock-timeout " + text + ": not a number of seconds from 0 to 86400");
    }
}

vexar::OpenOptions openOptions(const Options& options) {
    vexar::OpenOptions open;
    open.plugin = options.plugin;
    open.lockTimeout = lockTimeout(options.lockTimeout);
    return open;
}

int probeAlone(const Options& options, const Streams& io) {
    runProbe(options.bus.empty() ? "sim" : options.bus, openOptions(options), io.out);
    return Exit::Success;
}

// An empty value is what a script with an unset variable passes; taking it for "no value"
// would run the command on the simulated module instead.
void refuseEmptyValues(const CLI::App& app, const Options& options) {
    const std::pair<const char*, const std::string*> values[] = {
        {"--plugin", &options.plugin},
        {"--image", &options.image},
        {"--bus", &options.bus},
        {"--module", &options.module},
        {"--lock-timeout", &options.lockTimeout}};
    for (const auto& [name, value] : values) {
        if (app.get_option(name)->count() > 0 && value->empty()) {
            throw badInput(std::string(name) + " has an empty value");
        }
    }
    for (const CLI::App* command : app.get_subcommands()) {
        for (const char* name : {"--listen", "--request-timeout"}) {
            const CLI::Option* option = command->get_option_no_throw(name);
            if (option != nullptr && option->count() > 0 && option->results().front().empty()) {
                throw badInput(command->get_name() + ": " + name + " has an empty value");
            }
        }
    }
}

// The first word that is neither an option nor an option's value: the command, if any.
std::optional<std::string> commandWord(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            return i + 1 < args.size() ? std::optional(args[i + 1]) : std::nullopt;
        }
        if (!arg.starts_with('-')) {
            return arg;
        }
        if (std::ranges::find(kValueOptions, arg) != kValueOptions.end()) {
            ++i;
        }
    }
    return std::nullopt;
}

// An unknown command is a usage error that suggests the nearest one, as git and others do.
void checkCommand(const std::vector<std::string>& args) {
    const auto word = commandWord(args);
    const std::vector<std::string> commands = topLevelCommands();
    if (!word || std::ranges::find(commands, *word) != commands.end()) {
        return;
    }
    std::string message = "unknown command '" + *word + "'";
    if (const auto nearest = vexar::nearestWord(*word, commands)) {
        message += "; did you mean '" + *nearest + "'?";
    }
    throw badInput(message);
}

// A failure as the run reports it: the line people read, or with --format json the error
// object the panel answers too, on one line. Returns the exit status.
int report(const vexar::Error& error, bool json, std::ostream& err, bool usage = false) {
    if (json) {
        err << vexar::Json{{"error", vexar::toJson(error)}}.dump(
                   -1, ' ', false, vexar::Json::error_handler_t::replace)
            << '\n';
    } else {
        err << "vexar-ctl: " << error.what() << '\n'
            << (usage ? "Run 'vexar-ctl --help' for usage.\n" : "");
    }
    return exitStatus(error.kind());
}

int usageError(const std::string& message, std::ostream& err) {
    return report(badInput(message), false, err, true);
}

void checkFormat(const Command& command, const Options& options) {
    if (options.format == "json" && (command.flags & kJson) == 0) {
        throw badInput(
            "--format json applies to info, list, get, set, state, calib, preset list and preset "
            "load");
    }
    if (options.format == "svg" && (command.flags & kSvg) == 0) {
        throw badInput("--format svg applies to timing");
    }
}

int printVersion(const std::string& pluginPath, std::ostream& out) {
    out << "vexar-ctl " << VEXAR_VERSION << '\n';
    const auto v = vexar::pluginVersion(pluginPath);
    out << "plug-in " << v[0] << '.' << v[1] << '.' << v[2] << " (" << pluginPath << ")\n";
    return Exit::Success;
}

// The transactions of a command in "i2ctransfer" style, then their count.
std::string describeTrace(const std::vector<vexar::Transaction>& transactions) {
    std::string text;
    std::size_t reads = 0;
    for (const vexar::Transaction& t : transactions) {
        text.append(t.toString()).append("\n");
        reads += t.direction == vexar::Direction::Read ? 1 : 0;
    }
    return text + std::to_string(transactions.size()) + " transactions (" + std::to_string(reads) +
           " reads, " + std::to_string(transactions.size() - reads) + " writes)\n";
}

// The library's error with what the tool adds: a busy adapter may be free after a longer wait.
vexar::Error reported(const vexar::Error& error) {
    if (error.kind() == vexar::ErrorKind::Busy) {
        return reworded(error, "", " (--lock-timeout SECONDS waits longer)");
    }
    return error;
}

// A transfer that failed while opening a module on an adapter: probe tells which device is
// missing.
vexar::Error withProbeHint(const vexar::Error& error, const std::string& bus) {
    if (bus.empty() || error.kind() != vexar::ErrorKind::BusFailure || !error.busErrno()) {
        return error;
    }
    const bool number = std::ranges::all_of(bus, [](char c) { return c >= '0' && c <= '9'; });
    return reworded(error, "",
                    "; 'vexar-ctl --bus " + (number ? "/dev/i2c-" + bus : bus) +
                        " probe' shows which of the module's devices answer");
}

}  // namespace

int runCommandLine(const std::vector<std::string>& args, const Streams& io,
                   const std::string& defaultPlugin) {
    CLI::App app(kDescription, "vexar-ctl");
    Options options;
    options.plugin = defaultPlugin;
    const Declared declared = define(app, options);
    const Command* command = nullptr;
    bool json = false;  // known once the command line has been parsed
    try {
        checkCommand(args);
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
        json = options.json || options.format == "json";
        if (options.version) {
            return printVersion(options.plugin, io.out);
        }
        if (app.get_subcommands().empty()) {
            throw badInput("a command is required: " + [] {
                std::string list;
                for (const std::string& name : topLevelCommands()) {
                    list += (list.empty() ? "" : ", ") + name;
                }
                return list;
            }());
        }
        options.format = options.json ? "json" : options.format;
        refuseEmptyValues(app, options);
        lockTimeout(options.lockTimeout);
        command = declared.selected();
        checkFormat(*command, options);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help, io.out, io.err);
    } catch (const CLI::ParseError& error) {
        return usageError(error.what(), io.err);
    } catch (const vexar::Error& error) {
        return report(error, json, io.err, error.kind() == vexar::ErrorKind::BadInput);
    }

    std::optional<vexar::Camera> camera;
    std::optional<vexar::Error> failure;
    int status = Exit::Success;
    try {
        if (command->alone != nullptr) {
            return command->alone(options, io);
        }
        if (!options.image.empty() && !options.bus.empty()) {
            throw badInput(
                "--image keeps the simulated module's registers; a module on --bus keeps its own");
        }
        vexar::OpenOptions open = openOptions(options);
        {
            const std::string where = !options.image.empty()
                                          ? "image:" + (io.base / options.image).string()
                                      : !options.bus.empty() ? options.bus
                                                             : "sim";
            if (!options.module.empty()) {
                open.identity = vexar::ModuleIdentity::load((io.base / options.module).string());
            }
            try {
                camera = vexar::Camera::open(where, open);
            } catch (const vexar::Error& error) {
                throw withProbeHint(error, options.bus);
            }
            // A tool command is one operation: the bus stays held from before the first
            // transfer to after the last, and an image is written back once.
            std::optional<vexar::Hold> hold;
            if ((command->flags & kServing) == 0) {
                hold.emplace(camera->hold());
            }
            camera->clearTransactions();
            Context context{*camera,       io.out,       io.err,
                            io.in,         io.base,      options.format == "json",
                            options.quiet, options.force};
            try {
                command->onCamera(context, options);
            } catch (...) {
                if (options.trace) {
                    io.err << describeTrace(camera->transactions());
                }
                throw;
            }
            if (options.trace) {
                io.err << describeTrace(camera->transactions());
            }
            if (hold) {
                hold->release();
            }
            status = context.status;
        }
    } catch (const vexar::Error& error) {
        failure = reported(error);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        // What the command did not foresee, told in the run's format all the same.
        failure = vexar::Error(vexar::ErrorKind::Internal,
                               std::string("unexpected error: ") + error.what());
    }
    if (failure) {
        io.out.flush();
        return report(*failure, json, io.err);
    }
    return status;
}

}  // namespace vexar::ctl
