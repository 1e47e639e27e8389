#include "CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <ostream>
#include <tuple>
#include <utility>

#include "Commands.h"
#include "Errors.h"

namespace Lumivor::Ctl {

namespace {
constexpr const char* kDescription =
    "vexar-ctl: loads the parameter-interpreter plug-in as a host does and drives it on the "
    "simulated camera module or, with --bus, on a module on a Linux I2C adapter.\n"
    "Exit status: 0 success; 1 the plug-in refused an operation; 2 bad input: usage, a "
    "parameter, a value, or a file that cannot be read, parsed or written; 3 the plug-in "
    "cannot be loaded; 4 a bus failure that is not a plug-in refusal; 70 a fault of the tool "
    "itself.";

constexpr std::array<const char*, 9> kCommands{"info",  "list", "get",  "set",  "state",
                                               "calib", "regs", "demo", "probe"};
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
};

struct Subcommands {
    CLI::App* info;
    CLI::App* list;
    CLI::App* get;
    CLI::App* set;
    CLI::App* stateSave;
    CLI::App* stateLoad;
    CLI::App* calibRead;
    CLI::App* calibWrite;
    CLI::App* regs;
    CLI::App* regsGet;
    CLI::App* regsSet;
    CLI::App* demo;
    CLI::App* probe;
};

struct Named {
    const char* name;
    const char* help;
};

// A command whose two subcommands move something of the plug-in out to a file and back in,
// in binary or in JSON: "state save|load", "calib read|write".
std::pair<CLI::App*, CLI::App*> fileCommands(CLI::App& app, Options& options, Named command,
                                             Named out, Named in) {
    CLI::App* parent = app.add_subcommand(command.name, command.help);
    parent->require_subcommand(1);
    CLI::App* toFile = parent->add_subcommand(out.name, out.help);
    toFile->add_option("file", options.file, "FILE, or - for standard output")
        ->type_name("FILE")
        ->required();
    toFile->add_flag("--json", options.json, "the same as --format json");
    CLI::App* fromFile = parent->add_subcommand(in.name, in.help);
    fromFile->add_option("file", options.file, "FILE, or - for standard input")
        ->type_name("FILE")
        ->required();
    fromFile->add_flag("--json", options.json,
                       "insist on JSON (a file beginning with '{' is taken as JSON anyway)");
    return {toFile, fromFile};
}

Subcommands define(CLI::App& app, Options& options) {
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
                   "state load and calib write insist on JSON")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    app.add_flag("-q,--quiet", options.quiet,
                 "set: say nothing of values the module holds differently or outside the range");
    app.add_flag("--force", options.force, "set: write non-finite numbers (nan, inf) as well");
    app.add_flag("--version", options.version, "print the tool's and the plug-in's versions");

    Subcommands s{};
    s.info = app.add_subcommand("info", "plug-in, SDK and module identity, phase scaling");
    s.list = app.add_subcommand("list", "every parameter: type, unit, access, range, value");
    s.get = app.add_subcommand("get", "read parameters");
    s.get->add_option("parameters", options.names, "NAME (any case) or ID (decimal or 0x)")
        ->type_name("NAME|ID")
        ->required();
    s.set = app.add_subcommand("set", "write parameters, in the order given, and read them back");
    s.set
        ->add_option("assignments", options.assignments, "NAME=VALUE; a region as x,y,width,height")
        ->required();

    std::tie(s.stateSave, s.stateLoad) =
        fileCommands(app, options, {"state", "save or restore the system state"},
                     {"save", "read the state into FILE"}, {"load", "write the state in FILE"});
    std::tie(s.calibRead, s.calibWrite) =
        fileCommands(app, options, {"calib", "read or write the calibration record"},
                     {"read", "read the record into FILE"}, {"write", "write the record in FILE"});

    s.regs = app.add_subcommand("regs", "the simulated module's registers, fields decoded");
    s.regs->require_subcommand(0, 1);
    s.regs->add_flag("--diff", options.diff, "only what differs from the power-on image");
    s.regsGet = s.regs->add_subcommand("get", "read registers on the bus, bypassing the plug-in");
    s.regsGet
        ->add_option("addresses", options.names, "0xADDR (sensor) or 0xDEV:0xREG (byte device)")
        ->type_name("ADDR")
        ->required();
    s.regsSet = s.regs->add_subcommand("set", "write registers on the bus, bypassing the plug-in");
    s.regsSet->add_option("assignments", options.assignments, "ADDR=VALUE")
        ->type_name("ADDR=VALUE")
        ->required();
    s.demo = app.add_subcommand("demo", "a guided tour of every command");
    s.probe = app.add_subcommand("probe", "which of the module's devices answer on the bus");
    return s;
}

void dispatch(const Subcommands& s, const Options& options, Context& context) {
    if (s.info->parsed()) runInfo(context);
    if (s.list->parsed()) runList(context);
    if (s.get->parsed()) runGet(context, options.names);
    if (s.set->parsed()) runSet(context, options.assignments);
    if (s.stateSave->parsed()) runStateSave(context, options.file, context.json);
    if (s.stateLoad->parsed()) runStateLoad(context, options.file, context.json);
    if (s.calibRead->parsed()) runCalibRead(context, options.file, context.json);
    if (s.calibWrite->parsed()) runCalibWrite(context, options.file, context.json);
    if (s.regsGet->parsed()) {
        runRegsGet(context, options.names);
    } else if (s.regsSet->parsed()) {
        runRegsSet(context, options.assignments);
    } else if (s.regs->parsed()) {
        runRegs(context, options.diff);
    }
}

std::chrono::milliseconds lockTimeout(const std::string& text) {
    if (text.empty()) {
        return vexar::OpenOptions{}.lockTimeout;
    }
    double seconds = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0) ||
        seconds > 86400) {
        throw badInput("--lock-timeout " + text + ": not a number of seconds from 0 to 86400");
    }
    return std::chrono::milliseconds(std::llround(seconds * 1000));
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
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
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
    if (!word || std::ranges::find(kCommands, *word) != kCommands.end()) {
        return;
    }
    std::string message = "unknown command '" + *word + "'";
    const auto nearest = std::ranges::min_element(
        kCommands, {}, [&](const char* command) { return editDistance(*word, command); });
    if (editDistance(*word, *nearest) <= 2) {
        message += "; did you mean '" + std::string(*nearest) + "'?";
    }
    throw badInput(message);
}

int usageError(const std::string& message, std::ostream& err) {
    err << "vexar-ctl: " << message << "\nRun 'vexar-ctl --help' for usage.\n";
    return Exit::BadInput;
}

void checkFormat(const Subcommands& s, const Options& options) {
    const bool formatted = s.info->parsed() || s.list->parsed() || s.get->parsed() ||
                           s.stateSave->parsed() || s.stateLoad->parsed() ||
                           s.calibRead->parsed() || s.calibWrite->parsed();
    if (options.format == "json" && !formatted) {
        throw badInput("--format json applies to info, list, get, state and calib");
    }
}

int printVersion(const std::string& pluginPath, std::ostream& out) {
    out << "vexar-ctl " << VEXAR_VERSION << '\n';
    try {
        const auto v = vexar::pluginVersion(pluginPath);
        out << "plug-in " << v[0] << '.' << v[1] << '.' << v[2] << " (" << pluginPath << ")\n";
    } catch (const vexar::Error& error) {
        throw CommandError(error);
    }
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

// A busy adapter may be free after a longer wait.
CommandError reported(const vexar::Error& error) {
    if (error.kind() == vexar::ErrorKind::BusFailure && error.busErrno() == EBUSY &&
        !error.code()) {
        return CommandError(Exit::BusFailure,
                            std::string(error.what()) + " (--lock-timeout SECONDS waits longer)");
    }
    return CommandError(error);
}

}  // namespace

int runCommandLine(const std::vector<std::string>& args, const Streams& io,
                   const std::string& defaultPlugin) {
    CLI::App app(kDescription, "vexar-ctl");
    Options options;
    options.plugin = defaultPlugin;
    const Subcommands commands = define(app, options);
    try {
        checkCommand(args);
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
        if (options.version) {
            return printVersion(options.plugin, io.out);
        }
        if (app.get_subcommands().empty()) {
            throw badInput("a command is required: " + [] {
                std::string list;
                for (const char* command : kCommands) {
                    list += (list.empty() ? "" : ", ") + std::string(command);
                }
                return list;
            }());
        }
        options.format = options.json ? "json" : options.format;
        refuseEmptyValues(app, options);
        lockTimeout(options.lockTimeout);
        checkFormat(commands, options);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help, io.out, io.err);
    } catch (const CLI::ParseError& error) {
        return usageError(error.what(), io.err);
    } catch (const vexar::Error& error) {
        return usageError(error.what(), io.err);
    } catch (const CommandError& error) {
        if (error.status() != Exit::BadInput) {
            io.err << "vexar-ctl: " << error.what() << '\n';
            return error.status();
        }
        return usageError(error.what(), io.err);
    }
    if (commands.demo->parsed()) {
        return runDemo(options.plugin, io.out, io.err);
    }

    std::optional<vexar::Camera> camera;
    std::optional<CommandError> failure;
    try {
        if (!options.image.empty() && !options.bus.empty()) {
            throw badInput(
                "--image keeps the simulated module's registers; a module on --bus keeps its own");
        }
        vexar::OpenOptions open;
        open.plugin = options.plugin;
        open.lockTimeout = lockTimeout(options.lockTimeout);
        // probe runs before any plug-in is loaded: it is what to try when initialising fails.
        if (commands.probe->parsed()) {
            runProbe(options.bus.empty() ? "sim" : options.bus, open, io.out);
        } else {
            const std::string where = !options.image.empty()
                                          ? "image:" + (io.base / options.image).string()
                                      : !options.bus.empty() ? options.bus
                                                             : "sim";
            if (!options.module.empty()) {
                open.identity = vexar::ModuleIdentity::load(io.base / options.module);
            }
            camera = vexar::Camera::open(where, open);
            // A tool command is one operation: the bus stays held from before the first
            // transfer to after the last, and an image is written back once.
            vexar::Hold hold = camera->hold();
            camera->clearTransactions();
            Context context{*camera,       io.out,       io.err,
                            io.in,         io.base,      options.format == "json",
                            options.quiet, options.force};
            try {
                dispatch(commands, options, context);
            } catch (...) {
                if (options.trace) {
                    io.err << describeTrace(camera->transactions());
                }
                throw;
            }
            if (options.trace) {
                io.err << describeTrace(camera->transactions());
            }
            hold.release();
        }
    } catch (const CommandError& error) {
        failure = error;
    } catch (const vexar::Error& error) {
        failure = reported(error);
    }
    if (failure) {
        io.out.flush();
        io.err << "vexar-ctl: " << failure->what() << '\n';
        return failure->status();
    }
    return Exit::Success;
}

}  // namespace Lumivor::Ctl
