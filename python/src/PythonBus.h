#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <vexar/bus.hpp>

namespace vexar::python {

namespace py = pybind11;

// A bus written in Python: any object with read(device, register, length) -> bytes and
// write(device, register, data). The camera calls it with its own lock held, the GIL mostly
// kept (see Gil::ReleasedToWait); where it was let go, each transfer takes it back for its own
// duration. What the object raises, or an answer of the wrong size, is a failed transfer (-EIO,
// or the errno of an OSError); its text is kept for the error the camera raises (see
// CallScope). A BaseException that is no Exception (KeyboardInterrupt, SystemExit) is kept to
// be raised as it is once the call returns, and the call's later transfers fail (-EINTR)
// without calling Python again.
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

// What one camera call of this thread met in Python: the text of the first failed transfer of
// a Python bus, and an exception to raise as it is once the call returns (a KeyboardInterrupt
// in a bus or a callback, Ctrl-C while waiting for a lock). Camera calls are made on the calling
// thread, so the scope needs no lock. A Python bus may itself call another camera: each call
// has its scope, the one around it kept aside meanwhile.
class CallScope {
  public:
    CallScope();
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    // The scope of the thread's innermost call; nothing outside calls.
    static CallScope* current();
    const std::string& note() const { return note_; }
    void noteFailure(const std::string& text);
    // Keeps the first exception of the call (needs the GIL).
    void keep(py::error_already_set&& raised);
    bool interrupted() const { return pending_.has_value(); }
    // Keeps the first Exception a Python bus raised, the cause of the failure (needs the GIL).
    void keepCause(py::error_already_set&& raised);
    py::handle cause() const { return cause_ ? py::handle(cause_->value()) : py::handle(); }
    // Raises what was kept, if anything (needs the GIL).
    void raisePending();

  private:
    CallScope* outer_;
    std::string note_;
    std::optional<py::error_already_set> pending_;
    std::optional<py::error_already_set> cause_;
};

// Whether Python has a signal to handle (Ctrl-C) for the current call: then its exception is
// kept and true ends the wait. Called without the GIL, from the waits for a lock.
bool signalArrived();

}  // namespace vexar::python
