#include "tools/ctl/CommandLine.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>

#include "tools/ctl/Commands.h"
#include "tools/ctl/Errors.h"
#include "tools/ctl/ModuleIdentity.h"

namespace Lumivor::Ctl {

namespace {
constexpr const char* kDescription =
    "vexar-ctl: loads the parameter-interpreter plug-in as a host does and drives it on the "
    "simulated camera module or, with --bus, on a module on a Linux I2C adapter.\nExit status: 0 "
    "success, 1 the plug-in refused an operation, 2 bad input (parameter, value or file), 3 the "
    "plug-in cannot be loaded, 4 a bus failure (adapter, or a device that does not answer), 100 "
    "and up command-line errors.";

struct Options {
    std::string plugin;
    std::string image;
    std::string bus;
    std::string module;
    bool trace = false;
    std::string format = "text";
    std::vector<std::string> names;
    std::vector<std::string> assignments;
    std::string file;
    bool json = false;
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
    toFile->add_flag("--json", options.json, "write the readable JSON form");
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
    app.require_subcommand(1);
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
    app.add_flag("--trace", options.trace, "print every bus transaction, then their count");
    app.add_option("--format", options.format, "output of info, list and get")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();

    Subcommands s{};
    s.info = app.add_subcommand("info", "plug-in, SDK and module identity, phase scaling");
    s.list = app.add_subcommand("list", "every parameter: type, unit, access, range, value");
    s.get = app.add_subcommand("get", "read parameters");
    s.get->add_option("parameters", options.names, "NAME (any case) or ID (decimal or 0x)")
        ->type_name("NAME|ID")
        ->required();
    s.set = app.add_subcommand("set", "write parameters, in the order given");
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
    s.regs->add_flag("--diff", options.diff, "only what differs from the power-on image");
    s.demo = app.add_subcommand("demo", "a guided tour of every command");
    s.probe = app.add_subcommand("probe", "which of the module's devices answer on the bus");
    return s;
}

void dispatch(const Subcommands& s, const Options& options, Context& context) {
    if (s.info->parsed()) runInfo(context);
    if (s.list->parsed()) runList(context);
    if (s.get->parsed()) runGet(context, options.names);
    if (s.set->parsed()) runSet(context, options.assignments);
    if (s.stateSave->parsed()) runStateSave(context, options.file, options.json);
    if (s.stateLoad->parsed()) runStateLoad(context, options.file, options.json);
    if (s.calibRead->parsed()) runCalibRead(context, options.file, options.json);
    if (s.calibWrite->parsed()) runCalibWrite(context, options.file, options.json);
    if (s.regs->parsed()) runRegs(context, options.diff);
}

std::unique_ptr<Bus::Backend> openBus(const Options& options) {
    if (!options.bus.empty() && !options.image.empty()) {
        throw badInput(
            "--image keeps the simulated module's registers; a module on --bus keeps "
            "its own");
    }
    try {
        return Bus::openBackend(options.bus);
    } catch (const Bus::OpenError& error) {
        throw CommandError(Exit::BusFailure, error.what());
    }
}
}  // namespace

int runCommandLine(const std::vector<std::string>& args, const Io& io, Session* shared,
                   const std::string& defaultPlugin) {
    CLI::App app(kDescription, "vexar-ctl");
    Options options;
    options.plugin = defaultPlugin;
    const Subcommands commands = define(app, options);
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
        const bool formatted =
            commands.info->parsed() || commands.list->parsed() || commands.get->parsed();
        if (options.format == "json" && !formatted) {
            throw CLI::ValidationError("--format", "json applies to info, list and get");
        }
    } catch (const CLI::ParseError& error) {
        return app.exit(error, io.out, io.err);
    }
    if (commands.demo->parsed()) {
        if (shared != nullptr) {
            io.err << "vexar-ctl: demo: the tour does not run inside itself\n";
            return Exit::BadInput;
        }
        return runDemo(options.plugin, io.out);
    }

    const auto image = options.image.empty() || shared != nullptr
                           ? std::optional<std::filesystem::path>()
                           : std::optional(io.base / options.image);
    std::unique_ptr<Session> own;
    Session* session = shared;
    // probe runs before any plug-in is loaded: it is what to try when initialising fails.
    std::unique_ptr<Bus::Backend> probed;
    Bus::Backend* bus = shared != nullptr ? &shared->bus() : nullptr;
    std::optional<CommandError> failure;
    try {
        if (session == nullptr && commands.probe->parsed()) {
            probed = openBus(options);
            bus = probed.get();
            runProbe(*bus, io.out);
        } else {
            if (session == nullptr) {
                auto identity = options.module.empty()
                                    ? std::nullopt
                                    : std::optional(loadModuleIdentity(io.base / options.module));
                own = std::make_unique<Session>(options.plugin, openBus(options), identity);
                session = own.get();
                bus = &session->bus();
                if (image) {
                    session->loadImage(*image);
                }
            }
            bus->clearLog();
            Context context{*session, io.out, io.in, io.base, options.format == "json"};
            if (commands.probe->parsed()) {
                runProbe(*bus, io.out);
            }
            dispatch(commands, options, context);
        }
    } catch (const CommandError& error) {
        failure = error;
    }
    if (bus != nullptr && options.trace) {
        io.err << bus->describeLog();
    }
    if (session != nullptr) {
        // A refused write may have changed fields before it stopped, as on a real module.
        if (image && (!failure || failure->status() == Exit::Refused)) {
            try {
                session->saveImage(*image);
            } catch (const CommandError& error) {
                failure = failure ? failure : error;
            }
        }
    }
    if (failure) {
        io.out.flush();
        io.err << "vexar-ctl: " << failure->what() << '\n';
        return failure->status();
    }
    return Exit::Success;
}

}  // namespace Lumivor::Ctl
