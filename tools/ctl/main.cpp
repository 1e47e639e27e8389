// vexar-ctl: a command-line host of the parameter-interpreter plug-in.

#include <iostream>
#include <string>
#include <vector>

#include "tools/PluginLoader.h"
#include "tools/ctl/CommandLine.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return Lumivor::Ctl::runCommandLine(args, {std::cout, std::cerr, std::cin, {}}, nullptr,
                                        Lumivor::Tools::defaultPluginPath(argv[0]));
}
