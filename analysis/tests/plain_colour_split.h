// The colour split as first written, step by step, for the tests to hold the
// split from the counts against: the greys present listed in ascending order,
// one pass of adjacent compare-and-swap by count, then the split of the list.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "analysis/detail/colour_split.h"

namespace glimmer::test_support {

struct ColourEntry {
  std::int32_t colour = 0;
  std::int32_t count = 0;
};

// Not a sort: a strictly larger count moves one step towards the end, and with
// fewer than 255 entries the pass steps over runs of equal counts.
inline void orderPass(std::vector<ColourEntry>& entries) {
  const std::size_t n = entries.size();
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (entries[i].count > entries[i + 1].count) std::swap(entries[i], entries[i + 1]);
    while (n < 255 && i + 1 < n && entries[i].count == entries[i + 1].count) ++i;
  }
}

template <typename Count>
std::vector<ColourEntry> orderedColours(const detail::BasicBlockHistogram<Count>& histogram) {
  std::vector<ColourEntry> entries;
  histogram.forEach([&](std::int32_t grey, std::int32_t count) { entries.push_back({grey, count}); });
  orderPass(entries);
  return entries;
}

// Dominant D = the last entry; O = the last earlier entry at least 80 away, or
// the first; the grey with fewer pixels within halfWidth is the text, ties
// keeping D as background.
template <typename Count>
std::optional<detail::ColourPair> plainSplit(const detail::BasicBlockHistogram<Count>& histogram,
                                             std::int32_t halfWidth) {
  const std::vector<ColourEntry> entries = orderedColours(histogram);
  if (entries.empty()) return std::nullopt;
  const std::int32_t dominant = entries.back().colour;
  std::int32_t other = entries.front().colour;
  for (std::size_t i = entries.size() - 1; i-- > 0;) {
    const std::int32_t c = entries[i].colour;
    if (dominant < c - 80 || dominant >= c + 80) {
      other = c;
      break;
    }
  }
  const auto near = [&](std::int32_t colour) {
    std::int32_t count = 0;
    for (const ColourEntry& e : entries) {
      if (e.colour - halfWidth <= colour && colour < e.colour + halfWidth) count += e.count;
    }
    return count;
  };
  const std::int32_t nearDominant = near(dominant);
  const std::int32_t nearOther = near(other);
  if (nearDominant < nearOther) return detail::ColourPair{other, dominant, nearOther};
  return detail::ColourPair{dominant, other, nearDominant};
}

}  // namespace glimmer::test_support
