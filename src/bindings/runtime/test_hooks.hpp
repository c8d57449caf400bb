// Fault injection for the test suite. Built with VORNA_TEST_HOOKS only (the
// extension the Makefile installs for the tests, never a wheel); the suite
// reaches the hooks with ctypes.PyDLL on the extension's own file, so the
// module's Python surface is the same in both builds.
#pragma once

#include <cstddef>

#include "core/unicode/text_sink.hpp"

namespace vorna::bindings::test_hooks {

// What the next instance made for a parsed value meets (see InstanceSite).
enum class SiteFault {
    none,
    // std::bad_alloc once the instance is allocated, before its value is
    // built: the instance holds no value yet.
    bad_alloc,
    // A tail that is not 16-byte aligned.
    misaligned_tail,
    // Room one byte shorter than the block asked for.
    short_room,
    // An allocation sized without the padding that aligns the tail.
    unpadded_allocation,
    // A tail out of alignment handed on as room all the same.
    misaligned_room,
};

#ifdef VORNA_TEST_HOOKS
// Throws the C++ exception a test armed for the next property store, once.
void before_store();
// Throws std::bad_alloc at the end of the next API record, once, if armed.
void before_record_close();
// Throws the C++ exception a test armed for the next parse report, once.
void before_report();
// Adds the characters a test armed to the next parse report's measure, once:
// storage that disagrees with the drawing.
void after_report_measure(TextMeasure& size) noexcept;
// Adds the characters a test armed to the length of the next str made from
// a count of its own (a text form, a long text), once.
void after_str_measure(std::size_t& length) noexcept;
// The fault armed for the next instance site, once.
SiteFault next_site_fault() noexcept;
// Holds the calling thread, if armed, until the interpreter finalizes, once:
// test_function calls it after its write, before it takes the interpreter
// lock back, so that the thread comes back while the interpreter finalizes.
void before_taking_the_interpreter_lock_back() noexcept;
#else
inline void before_store() noexcept {}
inline void before_record_close() noexcept {}
inline void before_report() noexcept {}
inline void after_report_measure(TextMeasure&) noexcept {}
inline void after_str_measure(std::size_t&) noexcept {}
inline constexpr SiteFault next_site_fault() noexcept { return SiteFault::none; }
inline void before_taking_the_interpreter_lock_back() noexcept {}
#endif

}  // namespace vorna::bindings::test_hooks
