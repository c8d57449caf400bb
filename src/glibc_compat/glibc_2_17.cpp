// Keeps the extension loadable on glibc 2.17, whatever glibc it is built on.
//
// The C++ runtime is linked in statically, and a runtime built for a newer
// glibc binds to symbols that 2.17 lacks: the thread-specific-data calls (the
// thread slots use them too), which moved from libpthread into libc in 2.34
// under a new version, and `__libc_single_threaded` (2.32), which lets the
// runtime skip atomic operations while the process has one thread. The link
// renames the references (`--wrap`) to the definitions below, which bind to
// what every glibc since 2.17 provides. The module holds no thread_local with
// a destructor, which would register through `__cxa_thread_atexit_impl`
// (2.18): per-thread objects live in thread slots. The wheel build
// (tools/build_wheels.py) reads every versioned symbol of the module with
// `readelf --dyn-syms` and refuses one newer than 2.17.
#include <pthread.h>

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
