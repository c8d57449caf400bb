// Keeps the extension loadable on glibc 2.17, whatever glibc it is built on.
//
// The C++ runtime is linked in statically, and a runtime built for a newer
// glibc binds to symbols that 2.17 lacks: the thread-specific-data calls, which
// moved from libpthread into libc in 2.34 under a new version;
// `__cxa_thread_atexit_impl` (2.18), which runs the destructors of
// thread_local objects; and `__libc_single_threaded` (2.32), which lets the
// runtime skip atomic operations while the process has one thread. The link
// renames the references (`--wrap`) to the definitions below, which bind to
// what every glibc since 2.17 provides; the build checks the result with
// `objdump -T`.
#include <pthread.h>

#include <cstdlib>

#if defined(__x86_64__)
#define VORNA_GLIBC_BASE_VERSION "GLIBC_2.2.5"
#elif defined(__aarch64__)
#define VORNA_GLIBC_BASE_VERSION "GLIBC_2.17"
#else
#error "the oldest glibc symbol version of this architecture is not known here"
#endif

// Each name is the symbol of the first glibc version of this architecture;
// before 2.34 it lives in libpthread, which the module lists as needed.
#define VORNA_BIND_BASE(local, symbol) __asm__(".symver " #local ", " #symbol "@" VORNA_GLIBC_BASE_VERSION)

extern "C" {

int vorna_base_pthread_key_create(pthread_key_t* key, void (*destructor)(void*));
int vorna_base_pthread_setspecific(pthread_key_t key, const void* value);
void* vorna_base_pthread_getspecific(pthread_key_t key);
VORNA_BIND_BASE(vorna_base_pthread_key_create, pthread_key_create);
VORNA_BIND_BASE(vorna_base_pthread_setspecific, pthread_setspecific);
VORNA_BIND_BASE(vorna_base_pthread_getspecific, pthread_getspecific);

__attribute__((visibility("hidden"))) int __wrap_pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    return vorna_base_pthread_key_create(key, destructor);
}

__attribute__((visibility("hidden"))) int __wrap_pthread_setspecific(pthread_key_t key, const void* value) {
    return vorna_base_pthread_setspecific(key, value);
}

__attribute__((visibility("hidden"))) void* __wrap_pthread_getspecific(pthread_key_t key) {
    return vorna_base_pthread_getspecific(key);
}

// Always "perhaps several threads": the runtime's atomic paths are correct
// whatever the process does; only glibc 2.32 and later could tell it more.
__attribute__((visibility("hidden"))) char __libc_single_threaded = 0;

}  // extern "C"

namespace {

// The destructors still to run for the calling thread, the latest first.
struct ExitAction {
    void (*run)(void*);
    void* object;
    ExitAction* next;
};

void run_exit_actions(void* head) noexcept;

pthread_key_t exit_actions_key() noexcept {
    static const pthread_key_t key = [] {
        pthread_key_t made;
        if (vorna_base_pthread_key_create(&made, run_exit_actions) != 0) std::abort();
        return made;
    }();
    return key;
}

// Runs at thread exit; a destructor that registers another (a thread_local
// first used during the exit) has it run in the same pass.
void run_exit_actions(void* head) noexcept {
    const pthread_key_t key = exit_actions_key();
    while (auto* action = static_cast<ExitAction*>(head)) {
        vorna_base_pthread_setspecific(key, action->next);
        action->run(action->object);
        std::free(action);
        head = vorna_base_pthread_getspecific(key);
    }
}

}  // namespace

// What glibc 2.18 added for thread_local destructors, kept on a thread-specific
// key. The module is never unloaded, so `dso` needs no reference held.
extern "C" __attribute__((visibility("hidden"))) int __wrap___cxa_thread_atexit_impl(void (*run)(void*), void* object,
                                                                                     void* /*dso*/) {
    auto* action = static_cast<ExitAction*>(std::malloc(sizeof(ExitAction)));
    if (action == nullptr) return -1;
    const pthread_key_t key = exit_actions_key();
    *action = {run, object, static_cast<ExitAction*>(vorna_base_pthread_getspecific(key))};
    if (vorna_base_pthread_setspecific(key, action) != 0) {
        std::free(action);
        return -1;
    }
    return 0;
}
