#include "analysis/detail/text_level.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <random>

namespace glimmer::detail {
namespace {

// The clustering as first written: every round assigns each grey present in
// turn and adds up its sums.
std::array<std::int8_t, 256> plainTwoMeans(const GreyCounts& counts) {
  std::array<std::int32_t, 256> present{};
  std::size_t presentCount = 0;
  std::int64_t total = 0;
  for (std::int32_t grey = 0; grey < 256; ++grey) {
    if (counts[static_cast<std::size_t>(grey)] == 0) continue;
    present[presentCount++] = grey;
    total += counts[static_cast<std::size_t>(grey)];
  }
  std::array<std::int64_t, 2> centres{present[0], 0};
  std::int64_t seen = 0;
  for (std::size_t i = 0; i < presentCount; ++i) {
    seen += counts[static_cast<std::size_t>(present[i])];
    if (seen > total / 2) {
      centres[1] = present[i];
      break;
    }
  }
  std::array<std::int8_t, 256> cluster{};
  std::int64_t previousError = INT32_MAX;
  for (std::int32_t round = 1;; ++round) {
    std::array<std::int64_t, 2> sums{};
    std::array<std::int64_t, 2> members{};
    std::int64_t error = 0;
    for (std::size_t i = 0; i < presentCount; ++i) {
      const std::int32_t grey = present[i];
      const std::int64_t count = counts[static_cast<std::size_t>(grey)];
      const std::int64_t toFirst = (grey - centres[0]) * (grey - centres[0]);
      const std::int64_t toSecond = (grey - centres[1]) * (grey - centres[1]);
      const std::size_t best = toSecond < toFirst ? 1 : 0;
      cluster[static_cast<std::size_t>(grey)] = static_cast<std::int8_t>(best);
      error += count * std::min(toFirst, toSecond);
      sums[best] += count * grey;
      members[best] += count;
    }
    for (std::size_t j = 0; j < 2; ++j) centres[j] = members[j] == 0 ? 0 : sums[j] / members[j];
    if (error == previousError || round == 1000) return cluster;
    previousError = error;
  }
}

// Random histograms: a few greys or many, one heap or two, light or dark text,
// counts from one pixel to a whole block, and the greys at the ends.
TEST(TwoMeans, SplitsAsTheRoundByRoundClusteringDoes) {
  std::mt19937 random(11);
  std::int32_t bothClusters = 0;
  for (std::int32_t trial = 0; trial < 4000; ++trial) {
    GreyCounts counts{};
    const std::int32_t heaps = 1 + static_cast<std::int32_t>(random() % 3);
    const std::int32_t greys = 1 + static_cast<std::int32_t>(random() % 60);
    for (std::int32_t heap = 0; heap < heaps; ++heap) {
      const auto centre = static_cast<std::int32_t>(random() % 256);
      const std::int32_t spread = 1 + static_cast<std::int32_t>(random() % 40);
      for (std::int32_t i = 0; i < greys; ++i) {
        const std::int32_t grey =
            std::clamp(centre + static_cast<std::int32_t>(random() % (2 * spread)) - spread, 0, 255);
        counts[static_cast<std::size_t>(grey)] +=
            1 + static_cast<std::int64_t>(random() % (trial % 2 == 0 ? 5 : 20000));
      }
    }
    if (trial % 7 == 0) counts[trial % 14 == 0 ? 0 : 255] += 1 + static_cast<std::int64_t>(random() % 50);
    const std::array<std::int8_t, 256> split = twoMeans(counts);
    ASSERT_EQ(split, plainTwoMeans(counts)) << "trial " << trial;
    bothClusters += std::ranges::count(split, 1) > 0;
  }
  EXPECT_GT(bothClusters, 1000);
  GreyCounts one{};
  one[77] = 5;
  EXPECT_EQ(twoMeans(one), plainTwoMeans(one));
  EXPECT_EQ(twoMeans(GreyCounts{}), plainTwoMeans(GreyCounts{}));
}

}  // namespace
}  // namespace glimmer::detail
