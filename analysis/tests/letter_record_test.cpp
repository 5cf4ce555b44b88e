#include "analysis/detail/letter_record.h"

#include <gtest/gtest.h>

namespace glimmer::detail {
namespace {

TEST(RecordLetter, GroupWhoseStartPixelIsClaimedAddsNothing) {
  LetterMask mask(20, 20);
  std::vector<LetterBox> letters;
  recordLetter(mask, letters, PixelList{{5, 5}, {5, 6}}, 0, 0, 0);
  recordLetter(mask, letters, PixelList{{5, 5}, {5, 6}}, 1, 0, 0);  // the same character again
  recordLetter(mask, letters, PixelList{{5, 6}, {9, 9}}, 2, 0, 0);  // overlapping from another start
  EXPECT_EQ(letters.size(), 1u);
  EXPECT_FALSE(mask.claimed(9, 9));
}

}  // namespace
}  // namespace glimmer::detail
