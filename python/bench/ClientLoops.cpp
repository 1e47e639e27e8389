// The calls python/bench/bench.py times from Python, made in a C++ loop inside the same
// process, on a camera of the same kind: timed batch by batch in turn with the Python loop, the
// two differ by what the binding adds alone, whatever else the machine does meanwhile.
#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <vexar/camera.hpp>

namespace py = pybind11;

PYBIND11_MODULE(vexar_client_loops, m) {
    py::class_<vexar::Camera>(m, "Camera")
        .def(py::init([] { return std::make_unique<vexar::Camera>(vexar::Camera::open("sim")); }))
        .def("get_frame_rate",
             [](vexar::Camera& camera, std::size_t times) {
                 for (std::size_t i = 0; i < times; ++i) {
                     const vexar::Value value = camera.get("FrameRate");
                     static_cast<void>(value);
                 }
             })
        .def("set_frame_rate", [](vexar::Camera& camera, std::size_t times) {
            for (std::size_t i = 0; i < times; ++i) {
                const vexar::Applied applied = camera.set("FrameRate", 25.0);
                static_cast<void>(applied);
            }
        });
}
