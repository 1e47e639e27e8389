// The panel on a camera, for the tests until and besides vexar-ctl serve:
//   panel-server WHERE [--listen ADDR:PORT] [--token TOKEN] [--threads N] [--deadline-ms N]
//                [--lock-timeout-ms N]
//   panel-server WHERE --timing-text | --set NAME VALUE | --reset
#include <cstring>
#include <iostream>
#include <string>

#include "vexar/camera.hpp"
#include "vexar/panel.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: panel-server WHERE [options]\n";
        return 2;
    }
    try {
        vexar::Camera camera = vexar::Camera::open(argv[1]);
        vexar::panel::ServeOptions options;
        for (int i = 2; i < argc; ++i) {
            const std::string option = argv[i];
            if (option == "--timing-text") {
                std::cout << camera.timing().toText();
                return 0;
            }
            if (option == "--reset") {
                camera.reset();
                return 0;
            }
            if (option == "--set" && i + 2 < argc) {
                const auto parameter = camera.parameter(argv[i + 1]);
                const auto value = vexar::Value::parse(parameter.type, argv[i + 2]);
                if (!value) return 2;
                camera.set(parameter.name, *value);
                return 0;
            }
            if (i + 1 >= argc) break;
            if (option == "--listen") options.listen = argv[++i];
            if (option == "--token") options.token = argv[++i];
            if (option == "--threads") options.threads = std::stoul(argv[++i]);
            if (option == "--lock-timeout-ms") {
                options.lockTimeout = std::chrono::milliseconds(std::stol(argv[++i]));
            }
            if (option == "--deadline-ms") {
                options.requestDeadline = std::chrono::milliseconds(std::stol(argv[++i]));
            }
        }
        vexar::panel::serve(camera, options, std::cout, std::cerr);
        return 0;
    } catch (const vexar::Error& e) {
        std::cerr << "panel-server: " << e.what() << "\n";
        return vexar::kindInfo(e.kind()).exitStatus;
    }
}
