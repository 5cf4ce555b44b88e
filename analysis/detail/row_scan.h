// What a row scan follows: the seed's middle row and the seed blob's grey,
// margin and vertical extent. Two scans with equal fields over an unchanged
// page find the same line.
#pragma once

#include <compare>
#include <cstdint>

namespace glimmer::detail {

// The most pixels a seed blob holds. The blob holds its seed pixel, so the row
// scan that starts at its left edge starts at most this many columns left of
// the seed.
constexpr std::int32_t kSeedBlobLimit = 400;

struct RowScan {
  std::int32_t startX = 0;
  std::int32_t endX = 0;  // exclusive
  std::int32_t y = 0;
  std::int32_t level = -1;  // -1: each column's own text grey
  std::int32_t margin = 0;
  std::int32_t seedTop = 0;
  std::int32_t seedBottom = 0;
  std::int32_t fillLimit = 0;
  std::int32_t seedHeight = 0;
  auto operator<=>(const RowScan&) const = default;
};

}  // namespace glimmer::detail
