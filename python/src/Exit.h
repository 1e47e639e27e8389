#pragma once

namespace vexar::python {

// Python ends daemon threads at exit by unwinding their stacks the moment they take the GIL
// back; inside a camera call that would run the call's cleanups without the GIL while the
// interpreter is being torn down. So the interpreter's exit first waits (briefly) for the calls
// under way to end, each until its thread holds the GIL again (one still waiting for it when
// the exit went on would be ended right there), and a call begun after that never starts: its
// thread waits for the process to end, holding nothing.
//
// Made with the GIL released, ended with it held: a call under way from construction to
// destruction, or the wait.
class CallUnderWay {
  public:
    CallUnderWay();
    ~CallUnderWay();
    CallUnderWay(const CallUnderWay&) = delete;
    CallUnderWay& operator=(const CallUnderWay&) = delete;
};

// A call made with the GIL held, counted as CallUnderWay counts it, unless the exit has begun:
// then nothing is counted and admitted() is false, for the caller to make the call with the
// GIL released instead (where CallUnderWay keeps the thread out, holding nothing).
class CallWithGil {
  public:
    CallWithGil();
    ~CallWithGil();
    CallWithGil(const CallWithGil&) = delete;
    CallWithGil& operator=(const CallWithGil&) = delete;
    bool admitted() const { return admitted_; }

  private:
    bool admitted_;
};

// Whether the interpreter is exiting: a call waiting for a lock stops waiting.
bool exiting();

// Registered with atexit: marks the exit and waits, the GIL released, until no call is under
// way (at most a few seconds).
void awaitCallsAtExit();

}  // namespace vexar::python
