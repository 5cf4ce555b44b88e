#include "analysis/detail/colour_split.h"

#include <gtest/gtest.h>

#include <vector>

namespace glimmer::detail {
namespace {

std::vector<std::int32_t> countsOf(const std::vector<ColourEntry>& entries) {
  std::vector<std::int32_t> counts;
  for (const ColourEntry& e : entries) counts.push_back(e.count);
  return counts;
}

std::vector<ColourEntry> entriesWithCounts(const std::vector<std::int32_t>& counts) {
  std::vector<ColourEntry> entries;
  for (std::size_t i = 0; i < counts.size(); ++i) entries.push_back({static_cast<std::int32_t>(i), counts[i]});
  return entries;
}

TEST(OrderPass, EqualCountsAreSteppedOverSoTheDominantNeedNotBeTheMostFrequent) {
  std::vector<ColourEntry> entries = entriesWithCounts({5, 5, 3});
  orderPass(entries);
  EXPECT_EQ(entries, entriesWithCounts({5, 5, 3}));

  entries = entriesWithCounts({1, 4, 4, 4, 2});
  orderPass(entries);
  EXPECT_EQ(countsOf(entries), (std::vector<std::int32_t>{1, 4, 4, 4, 2}));
}

TEST(OrderPass, IsOneBubblePassNotASort) {
  std::vector<ColourEntry> entries = entriesWithCounts({9, 2, 7, 1});
  orderPass(entries);
  EXPECT_EQ(countsOf(entries), (std::vector<std::int32_t>{2, 7, 1, 9}));
}

TEST(OrderPass, FullListsDoNotStepOverEqualCounts) {
  std::vector<std::int32_t> counts(256, 1);
  counts[0] = 2;
  counts[1] = 2;
  std::vector<ColourEntry> full = entriesWithCounts(counts);
  orderPass(full);
  EXPECT_EQ(full.back(), (ColourEntry{1, 2}));

  counts.resize(254);
  std::vector<ColourEntry> shorter = entriesWithCounts(counts);
  orderPass(shorter);
  EXPECT_EQ(shorter, entriesWithCounts(counts));
}

TEST(BuildColourList, ListsGreysAscendingAndLeavesTheHistogramEmpty) {
  BlockHistogram histogram;
  ColourList list;
  for (std::uint8_t grey : {200, 7, 200, 255, 7, 7}) histogram.add(grey);
  buildColourList(histogram, list);
  // Ascending: (7,3) (200,2) (255,1); the pass moves the 3 to the end.
  EXPECT_EQ(std::vector<ColourEntry>(list.entries().begin(), list.entries().end()),
            (std::vector<ColourEntry>{{200, 2}, {255, 1}, {7, 3}}));

  buildColourList(histogram, list);
  EXPECT_TRUE(list.entries().empty());
}

TEST(SplitColours, EmptyListHasNoPair) { EXPECT_FALSE(splitColours({}, 20).has_value()); }

TEST(SplitColours, OtherGreyIsTheLastEarlierEntryFarFromTheDominant) {
  const std::vector<ColourEntry> entries{{30, 20}, {200, 10}, {240, 5}, {250, 60}};
  // D = 250; 240 and 200 are within 80 of it, 30 is not. Near 250: 240 and 250.
  EXPECT_EQ(splitColours(entries, 20), (ColourPair{250, 30, 65}));
}

TEST(SplitColours, GreyWithMorePixelsNearItIsTheBackground) {
  // D = 20 with 30 pixels; O = 220, whose neighbourhood (201..240) holds 40.
  const std::vector<ColourEntry> entries{{210, 15}, {230, 25}, {220, 10}, {20, 30}};
  EXPECT_EQ(splitColours(entries, 20), (ColourPair{220, 20, 50}));
}

TEST(SplitColours, TiesKeepTheDominantAsBackground) {
  const std::vector<ColourEntry> entries{{0, 10}, {255, 10}};
  EXPECT_EQ(splitColours(entries, 20), (ColourPair{255, 0, 10}));
  // Half-width 0 counts nothing near either grey.
  EXPECT_EQ(splitColours(std::vector<ColourEntry>{{255, 10}, {0, 50}}, 0), (ColourPair{0, 255, 0}));
}

TEST(SplitColours, NoFarEntryPairsTheDominantWithTheFirst) {
  EXPECT_EQ(splitColours(std::vector<ColourEntry>{{100, 4}, {140, 9}}, 20), (ColourPair{140, 100, 9}));
  EXPECT_EQ(splitColours(std::vector<ColourEntry>{{90, 4}}, 20), (ColourPair{90, 90, 4}));
}

}  // namespace
}  // namespace glimmer::detail
