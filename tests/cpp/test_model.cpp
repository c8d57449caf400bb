#include <gtest/gtest.h>
#include "core/version.hpp"
TEST(Placeholder, Builds) { EXPECT_EQ(vorna::to_text(vorna::SemVer{1, 2, 3, {}, {}}), "1.2.3"); }
