// The process as a whole: ending it abnormally, and what a child made by
// fork() must redo.
#pragma once

#include <cstddef>

namespace vorna::platform {

// Ends the process at once, as a crash: no exit handlers, no flushing, a
// non-zero status (SIGABRT on POSIX, exit code 3 on Windows).
[[noreturn]] void end_process_abnormally() noexcept;

// Runs `hook` in the child of every later fork(), on the one thread the child
// has, before fork() returns there. Nothing runs in the parent, so fork()
// never waits for a lock another thread holds. The hook must only reset
// state: the threads that held it do not exist in the child. Where there is
// no fork() (Windows) this does nothing.
void run_in_forked_children(void (*hook)()) noexcept;

// `size` zeroed bytes shared by this process and the children it forks
// afterwards: what one of them stores there, the others see. Null when the
// system has none to give. Where there is no fork() (Windows) the bytes are
// the process's own. Never given back.
void* memory_shared_with_children(std::size_t size) noexcept;

}  // namespace vorna::platform
