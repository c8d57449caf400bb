// Two probes of the run's machinery for tools/test_tsan.sh, which must see
// the first reported, in a child process, and the second not: otherwise a run
// without reports would prove nothing, or one with reports would blame the
// extension for what the interpreter lock orders.
#include <thread>

namespace {
int shared = 0;
}

#define CANARY_EXPORT extern "C" __attribute__((visibility("default")))

// A data race on purpose.
CANARY_EXPORT void vorna_tsan_canary_race() {
    std::thread other([] { shared = 1; });
    shared = 2;
    other.join();
}

// A store that only the interpreter lock orders, for threads that call it
// holding that lock.
CANARY_EXPORT void vorna_tsan_canary_store(int value) { shared = value; }
