#include <new>

#include "core/platform/fault.hpp"
#include "core/platform/thread.hpp"
#include "core/platform/windows.hpp"

namespace vorna::platform {

std::uint64_t os_thread_id() noexcept { return GetCurrentThreadId(); }

namespace {

// Fiber-local storage calls back when a thread ends, like a POSIX key
// destructor, but with the system's calling convention; the value stored is
// a cell that carries the slot's own disposer beside the thread's pointer.
struct Cell {
    ThreadSlot::Dispose dispose;
    void* value;
};

void NTAPI dispose_cell(void* data) {
    auto* cell = static_cast<Cell*>(data);
    if (cell->value != nullptr) cell->dispose(cell->value);
    delete cell;
}

}  // namespace

ThreadSlot::ThreadSlot(Dispose dispose) noexcept : key_(0), dispose_(dispose) {
    const DWORD index = FlsAlloc(dispose_cell);
    if (index == FLS_OUT_OF_INDEXES) internal_fault("no fiber-local storage index left");
    key_ = index;
}

void* ThreadSlot::get() const noexcept {
    const auto* cell = static_cast<const Cell*>(FlsGetValue(static_cast<DWORD>(key_)));
    return cell != nullptr ? cell->value : nullptr;
}

bool ThreadSlot::set(void* value) noexcept {
    auto* cell = static_cast<Cell*>(FlsGetValue(static_cast<DWORD>(key_)));
    if (cell != nullptr) {
        cell->value = value;
        return true;
    }
    cell = new (std::nothrow) Cell{dispose_, value};
    if (cell == nullptr) return false;
    if (FlsSetValue(static_cast<DWORD>(key_), cell)) return true;
    delete cell;
    return false;
}

}  // namespace vorna::platform
