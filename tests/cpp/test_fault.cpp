#include <gtest/gtest.h>

#include <string>

#include "core/platform/fault.hpp"

namespace vorna {
namespace {

// GoogleTest's regular expressions are POSIX ones, except on Windows.
#ifdef _WIN32
#define DIGITS "\\d+"
#else
#define DIGITS "[0-9]+"
#endif

const unsigned fault_line = __LINE__ + 1;
void break_an_invariant() { internal_fault("the widget count went negative"); }

TEST(InternalFaultDeathTest, ReportsWhereAndWhatThenEndsTheProcess) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(break_an_invariant(),
                 "^vorna: internal fault on thread " DIGITS " at .*test_fault\\.cpp:" + std::to_string(fault_line) +
                     " in .*break_an_invariant.*: the widget count went negative\n$");
}

}  // namespace
}  // namespace vorna
