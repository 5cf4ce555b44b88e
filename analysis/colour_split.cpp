#include "analysis/detail/colour_split.h"

#include <algorithm>
#include <utility>

namespace glimmer::detail {

namespace {

constexpr std::int32_t kColourDistance = 80;

// Pixels whose grey c has c - halfWidth <= colour < c + halfWidth.
std::int32_t countNear(std::span<const ColourEntry> entries, std::int32_t colour, std::int32_t halfWidth) {
  std::int32_t near = 0;
  for (const ColourEntry& e : entries) {
    if (e.colour - halfWidth <= colour && colour < e.colour + halfWidth) near += e.count;
  }
  return near;
}

}  // namespace

void blockHistogram(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side,
                    BlockHistogram& histogram) {
  histogram.clear();
  const std::int32_t right = std::min(x + side, page.width());
  const std::int32_t bottom = std::min(y + side, page.height());
  for (std::int32_t py = y; py < bottom; ++py) {
    for (std::int32_t px = x; px < right; ++px) histogram.add(page.at(px, py));
  }
}

void orderPass(std::span<ColourEntry> entries) {
  const std::size_t n = entries.size();
  if (n >= 255) {
    for (std::size_t i = 0; i + 1 < n; ++i) {
      if (entries[i].count > entries[i + 1].count) std::swap(entries[i], entries[i + 1]);
    }
    return;
  }
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (entries[i].count > entries[i + 1].count) std::swap(entries[i], entries[i + 1]);
    while (i + 1 < n && entries[i].count == entries[i + 1].count) ++i;
  }
}

const BlockHistogram& SlidingBlock::moveTo(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side) {
  if (placed_ && x == x_ && y == y_ + 1 && side == side_ && side > 0) {
    dropRow(y_);
    if (y_ + side_ < page.height()) readRow(page, y_ + side_);
    y_ = y;
    return histogram_;
  }
  placed_ = true;
  side_ = side;
  x_ = x;
  y_ = y;
  columns_ = std::max(std::min(x + side, page.width()) - x, 0);
  rows_.resize(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
  histogram_.clear();
  for (std::int32_t row = y; row < std::min(y + side, page.height()); ++row) readRow(page, row);
  return histogram_;
}

void SlidingBlock::readRow(const SharedPage& page, std::int32_t y) {
  std::uint8_t* slot = rowSlot(y);
  for (std::int32_t i = 0; i < columns_; ++i) {
    slot[i] = page.at(x_ + i, y);
    histogram_.add(slot[i]);
  }
}

void SlidingBlock::dropRow(std::int32_t y) {
  const std::uint8_t* slot = rowSlot(y);
  for (std::int32_t i = 0; i < columns_; ++i) histogram_.remove(slot[i]);
}

void buildColourList(const BlockHistogram& histogram, ColourList& list) {
  list.clear();
  histogram.forEach([&](std::int32_t grey, std::int32_t count) { list.append({grey, count}); });
  orderPass(list.entries());
}

std::optional<ColourPair> splitColours(std::span<const ColourEntry> entries, std::int32_t halfWidth) {
  if (entries.empty()) return std::nullopt;
  const std::int32_t dominant = entries.back().colour;
  std::int32_t other = entries.front().colour;
  for (std::size_t i = entries.size() - 1; i-- > 0;) {
    const std::int32_t c = entries[i].colour;
    if (dominant < c - kColourDistance || dominant >= c + kColourDistance) {
      other = c;
      break;
    }
  }
  const std::int32_t nearOther = countNear(entries, other, halfWidth);
  const std::int32_t nearDominant = countNear(entries, dominant, halfWidth);
  if (nearDominant < nearOther) return ColourPair{other, dominant, nearOther};
  return ColourPair{dominant, other, nearDominant};
}

}  // namespace glimmer::detail
