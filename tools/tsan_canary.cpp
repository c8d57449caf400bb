// A data race on purpose, for tools/test_tsan.sh: its report, made in a child
// process, must reach the logs and be judged as this library's, or a run
// without reports would prove nothing.
#include <thread>

namespace {
int shared = 0;
}

extern "C" __attribute__((visibility("default"))) void vorna_tsan_canary_race() {
    std::thread other([] { shared = 1; });
    shared = 2;
    other.join();
}
