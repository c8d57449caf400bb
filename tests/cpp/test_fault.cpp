#include <gtest/gtest.h>

#include "core/fault.hpp"

namespace vorna {
namespace {

void break_an_invariant() { internal_fault("the widget count went negative"); }

TEST(InternalFaultDeathTest, ReportsWhereAndWhatThenEndsTheProcess) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(break_an_invariant(),
                 "^vorna: internal fault on thread [0-9]+ at .*test_fault\\.cpp:8 in .*break_an_invariant.*: "
                 "the widget count went negative\n$");
}

}  // namespace
}  // namespace vorna
