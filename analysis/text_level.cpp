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

std::array<std::int8_t, 256> twoMeans(const GreyCounts& counts) {
  std::array<std::int32_t, 256> present{};  // the greys counted, ascending
  std::size_t presentCount = 0;
  std::int64_t total = 0;
  for (std::int32_t grey = 0; grey < 256; ++grey) {
    if (counts[static_cast<std::size_t>(grey)] == 0) continue;
    present[presentCount++] = grey;
    total += counts[static_cast<std::size_t>(grey)];
  }
  // The starting centres: the least grey and the grey at position total / 2 in ascending order.
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
    if (error == previousError || round == kMaxKMeansRounds) return cluster;
    previousError = error;
  }
}

}  // namespace glimmer::detail
