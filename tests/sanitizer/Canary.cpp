// Each canary commits one fault that the sanitizer build must report and stop at. The tests
// around them pass only when the report appears, the program fails, and it did not carry on:
// proof that a report anywhere in the suite fails the suite.

#include <cstdio>

namespace {
volatile float huge = 1e20f;
volatile int pastTheEnd = 4;
int* volatile kept = nullptr;
}  // namespace

int main() {
#if defined(CANARY_FLOAT_CAST_OVERFLOW)
    volatile int converted = static_cast<int>(huge);
    (void)converted;
#elif defined(CANARY_HEAP_OVERFLOW)
    int* block = new int[4]();
    volatile int read = block[pastTheEnd];
    (void)read;
    delete[] block;
#elif defined(CANARY_LEAK)
    kept = new int[4];
    kept = nullptr;
#endif
    std::puts("carried on past the fault");
    return 0;
}
