// Threads as the operating system knows them: their ids, and per-thread
// objects that are destroyed when their thread ends.
#pragma once

#include <cstdint>
#include <new>

namespace vorna::platform {

// The operating system's id of the calling thread.
std::uint64_t os_thread_id() noexcept;

// One pointer per thread, disposed of by `dispose` when a thread that set it
// ends. Slots live for the process. (Thread-local objects with destructors
// crash at thread exit under the emulated TLS of some Windows toolchains, so
// per-thread state that needs cleaning up goes through a slot instead.)
class ThreadSlot {
public:
    using Dispose = void (*)(void*);
    explicit ThreadSlot(Dispose dispose) noexcept;
    ThreadSlot(const ThreadSlot&) = delete;
    ThreadSlot& operator=(const ThreadSlot&) = delete;

    void* get() const noexcept;
    // False when the system had no room for the thread's value.
    bool set(void* value) noexcept;

private:
    std::uintptr_t key_;
    // Kept with each value on Windows; POSIX hands it to the key instead.
    [[maybe_unused]] Dispose dispose_;
};

template <class T> ThreadSlot& thread_slot_of() noexcept {
    // Never destroyed: threads may end after static destruction has begun.
    static ThreadSlot* const slot = new ThreadSlot([](void* object) { delete static_cast<T*>(object); });
    return *slot;
}

// The calling thread's T, or null before its first `this_thread_object`.
template <class T> T* this_thread_object_if_any() noexcept { return static_cast<T*>(thread_slot_of<T>().get()); }

// The calling thread's T, value-initialised on the thread's first call and
// destroyed when the thread ends. Throws std::bad_alloc.
template <class T> T& this_thread_object() {
    ThreadSlot& slot = thread_slot_of<T>();
    if (void* object = slot.get()) return *static_cast<T*>(object);
    auto* object = new T();
    if (!slot.set(object)) {
        delete object;
        throw std::bad_alloc();
    }
    return *object;
}

}  // namespace vorna::platform
