// The text grey of a box: the two-cluster split of its greys and the grey
// at the text end of the text cluster.
#pragma once

#include <array>
#include <compare>
#include <cstdint>

#include "common/shared_page.h"

namespace glimmer::detail {

struct TextLevel {
  std::int32_t spread = 0;
  std::int32_t level = -1;  // -1: no level; take each block's own text grey
  bool operator==(const TextLevel&) const = default;
};

// A box whose text level is asked for, and which text.
struct LevelBox {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  bool darkText = false;
  auto operator<=>(const LevelBox&) const = default;
};

// Text grey and its spread inside the box (right column and bottom row
// excluded): the darkest (or, for light text, the lightest) grey of the text
// cluster of a two-cluster split of the box's greys.
TextLevel estimateTextLevel(const SharedPage& page, const LevelBox& box);

// How many pixels of each grey.
using GreyCounts = std::array<std::int64_t, 256>;

// One-dimensional two-cluster k-means of the pixels counted, from centres at
// the least grey and the grey at position n / 2 in ascending order; a pixel
// joins the second cluster only when strictly nearer its centre. Stops when
// the summed squared error no longer changes, or after 1000 rounds. Returns
// the cluster (0 or 1) of every grey in the last round.
std::array<std::int8_t, 256> twoMeans(const GreyCounts& counts);

}  // namespace glimmer::detail
