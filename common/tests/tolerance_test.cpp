#include "common/tolerance.h"

#include <gtest/gtest.h>

#include <climits>

namespace glimmer {
namespace {

TEST(WithinTolerance, LowerBoundIncludedUpperBoundExcluded) {
  EXPECT_TRUE(withinTolerance(7, 10, 3));
  EXPECT_TRUE(withinTolerance(12, 10, 3));
  EXPECT_FALSE(withinTolerance(13, 10, 3));
  EXPECT_FALSE(withinTolerance(6, 10, 3));
}

TEST(WithinTolerance, NonPositiveToleranceAcceptsOnlyEquality) {
  EXPECT_TRUE(withinTolerance(5, 5, 0));
  EXPECT_FALSE(withinTolerance(4, 5, 0));
  EXPECT_TRUE(withinTolerance(5, 5, -2));
  EXPECT_FALSE(withinTolerance(4, 5, -2));
}

TEST(WithinTolerance, ExtremeValuesDoNotOverflow) {
  EXPECT_TRUE(withinTolerance(INT_MAX - 1, INT_MAX, 80));
  EXPECT_FALSE(withinTolerance(INT_MIN, INT_MAX, 80));
}

TEST(WithinTolerance, FloatsUseTheSameBounds) {
  EXPECT_TRUE(withinTolerance(6.5f, 10.0f, 3.5f));
  EXPECT_FALSE(withinTolerance(13.5f, 10.0f, 3.5f));
  EXPECT_TRUE(withinTolerance(10.0f, 10.0f, 0.0f));
}

}  // namespace
}  // namespace glimmer
