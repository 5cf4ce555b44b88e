#include "analysis/detail/text_level.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>

namespace glimmer::detail {

namespace {

constexpr std::int32_t kMaxKMeansRounds = 1000;

}  // namespace

TextLevel estimateTextLevel(const SharedPage& page, const LevelBox& box) {
  const std::int64_t area =
      std::int64_t{std::max(box.right - box.left, 0)} * std::int64_t{std::max(box.bottom - box.top, 0)};
  if (area < 2) return {};
  GreyCounts counts{};
  for (std::int32_t px = box.left; px < box.right; ++px) {
    for (std::int32_t py = box.top; py < box.bottom; ++py) ++counts[page.at(px, py)];
  }
  const std::array<std::int8_t, 256> cluster = twoMeans(counts);

  const std::int8_t textCluster = box.darkText ? 0 : 1;
  std::optional<std::int32_t> first;
  std::int32_t last = 0;
  for (std::int32_t grey = 0; grey < 256; ++grey) {
    const auto g = static_cast<std::size_t>(grey);
    if (counts[g] == 0 || cluster[g] != textCluster) continue;
    if (!first) first = grey;
    last = grey;
  }
  if (!first) return {};
  return {std::abs(last - *first), box.darkText ? *first : last};
}

// In one dimension the clusters are two runs of greys either side of the
// midpoint of the centres, so each round takes its sums from running totals of
// the counts, of count x grey and of count x grey squared: the same integers
// a round adds up grey by grey, in a few steps rather than one a grey.
std::array<std::int8_t, 256> twoMeans(const GreyCounts& counts) {
  // Totals over the greys below each grey: pixels, grey sum, squared grey sum.
  std::array<std::array<std::int64_t, 3>, 257> below{};
  for (std::size_t grey = 0; grey < 256; ++grey) {
    const std::int64_t count = counts[grey];
    const auto g = static_cast<std::int64_t>(grey);
    below[grey + 1] = {below[grey][0] + count, below[grey][1] + count * g, below[grey][2] + count * g * g};
  }
  const std::int64_t total = below[256][0];
  // The starting centres: the least grey and the grey at position total / 2 in ascending order.
  std::array<std::int64_t, 2> centres{0, 0};
  const auto least = std::ranges::find_if(counts, [](std::int64_t count) { return count != 0; });
  if (least != counts.end()) centres[0] = least - counts.begin();
  for (std::size_t grey = 0; grey < 256; ++grey) {
    if (below[grey + 1][0] > total / 2) {
      centres[1] = static_cast<std::int64_t>(grey);
      break;
    }
  }

  // Greys [from, to): their pixels, grey sum and squared error about `centre`.
  struct Run {
    std::int64_t members = 0;
    std::int64_t sum = 0;
    std::int64_t error = 0;
  };
  const auto run = [&](std::int64_t from, std::int64_t to, std::int64_t centre) {
    const auto& high = below[static_cast<std::size_t>(to)];
    const auto& low = below[static_cast<std::size_t>(from)];
    const std::int64_t members = high[0] - low[0];
    const std::int64_t sum = high[1] - low[1];
    return Run{members, sum, (high[2] - low[2]) - 2 * centre * sum + centre * centre * members};
  };
  // A grey joins the second cluster when strictly nearer its centre: with the
  // first centre a and the second b, when 2 x grey > a + b for a < b, when
  // 2 x grey < a + b for a > b, and never for a = b. The second cluster is
  // the greys from `split` up (rising) or below it (falling).
  std::int64_t split = 256;
  bool secondRises = true;
  std::int64_t previousError = INT32_MAX;
  for (std::int32_t round = 1;; ++round) {
    const std::int64_t a = centres[0];
    const std::int64_t b = centres[1];
    secondRises = a <= b;
    split = a < b ? (a + b) / 2 + 1 : a > b ? (a + b + 1) / 2 : 256;
    const Run first = secondRises ? run(0, split, a) : run(split, 256, a);
    const Run second = secondRises ? run(split, 256, b) : run(0, split, b);
    const std::int64_t error = first.error + second.error;
    centres[0] = first.members == 0 ? 0 : first.sum / first.members;
    centres[1] = second.members == 0 ? 0 : second.sum / second.members;
    if (error == previousError || round == kMaxKMeansRounds) break;
    previousError = error;
  }
  std::array<std::int8_t, 256> cluster{};
  for (std::size_t grey = 0; grey < 256; ++grey) {
    const bool inSecond =
        secondRises ? static_cast<std::int64_t>(grey) >= split : static_cast<std::int64_t>(grey) < split;
    if (counts[grey] != 0 && inSecond) cluster[grey] = 1;
  }
  return cluster;
}

}  // namespace glimmer::detail
