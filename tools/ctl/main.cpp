// vexar-ctl: a command-line host of the parameter-interpreter plug-in.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/PluginLoader.h"
#include "tools/ctl/CommandLine.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return Lumivor::Ctl::runCommandLine(args, {std::cout, std::cerr, std::cin, {}}, nullptr,
                                            Lumivor::Tools::defaultPluginPath(argv[0]));
    } catch (const std::exception& error) {
        // Commands report what they foresee themselves; this is for what they do not.
        std::cerr << "vexar-ctl: unexpected error: " << error.what() << '\n';
        return 70;
    }
}
