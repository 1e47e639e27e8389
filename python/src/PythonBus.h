#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <vexar/bus.hpp>

namespace vexar::python {

namespace py = pybind11;

// A bus written in Python: any object with read(device, register, length) -> bytes and
// write(device, register, data). The camera calls it with its own lock held and the GIL
// released, so each transfer takes the GIL back for its own duration. What the object raises,
// or an answer of the wrong size, is a failed transfer (-EIO, or the errno of an OSError);
// its text is kept for the error the camera raises (see failureNote).
class PythonBus final : public Bus {
  public:
    // Error(BadInput) when the object lacks either method. Needs the GIL.
    explicit PythonBus(py::object target);
    ~PythonBus() override;

    int read(std::uint16_t device, std::uint8_t reg, std::span<std::uint8_t> data) override;
    int write(std::uint16_t device, std::uint8_t reg, std::span<const std::uint8_t> data) override;
    std::string name() const override { return name_; }

  private:
    int failed(const std::string& call, const std::string& what, int error);
    int failedWith(const std::string& call, py::error_already_set& raised);

    py::object target_;
    py::object read_;
    py::object write_;
    std::string name_;
};

// What made the first Python bus transfer of this thread's current camera call fail, empty if
// none did. Camera calls are made on the calling thread, so the note needs no lock. A Python
// bus may itself call another camera: each call's scope keeps the note of the call around it.
class FailureNoteScope {
  public:
    FailureNoteScope();
    ~FailureNoteScope();
    FailureNoteScope(const FailureNoteScope&) = delete;
    FailureNoteScope& operator=(const FailureNoteScope&) = delete;

  private:
    std::string outer_;
};
const std::string& failureNote();

}  // namespace vexar::python
