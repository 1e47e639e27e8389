#include "Gil.h"

#include <utility>

namespace vexar::python {

namespace {
thread_local KeptGil* innermost = nullptr;
}  // namespace

KeptGil::KeptGil(bool keeping) : outer_(std::exchange(innermost, this)), keeping_(keeping) {}

KeptGil::~KeptGil() {
    innermost = outer_;
}

void KeptGil::takeBack() {
    if (released_ != nullptr) {
        PyEval_RestoreThread(std::exchange(released_, nullptr));
    }
}

void letGilGoToWait() {
    KeptGil* const call = innermost;
    if (call != nullptr && call->keeping_ && call->released_ == nullptr &&
        PyGILState_Check() != 0) {
        call->released_ = PyEval_SaveThread();
    }
}

}  // namespace vexar::python
