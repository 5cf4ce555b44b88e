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

template <typename Visit>
void SlidingBlock::alongRow(std::int32_t y, Visit visit) {
  std::uint8_t* row = greys_.data() + static_cast<std::size_t>(y % side_) * static_cast<std::size_t>(side_);
  std::int32_t column = x_ % side_;
  for (std::int32_t px = x_; px < right_; ++px) {
    visit(px, y, row[column]);
    if (++column == side_) column = 0;
  }
}

template <typename Visit>
void SlidingBlock::alongColumn(std::int32_t x, Visit visit) {
  std::uint8_t* column = greys_.data() + static_cast<std::size_t>(x % side_);
  std::int32_t row = y_ % side_;
  for (std::int32_t py = y_; py < bottom_; ++py) {
    visit(x, py, column[static_cast<std::size_t>(row) * static_cast<std::size_t>(side_)]);
    if (++row == side_) row = 0;
  }
}

const BlockHistogram& SlidingBlock::moveTo(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side) {
  const auto read = reader(page);
  const auto drop = [&](std::int32_t, std::int32_t, std::uint8_t grey) { histogram_.remove(grey); };
  if (!placed_ || side != side_ || side <= 0) {
    place(page, x, y, side);
  } else if (x == x_ && y == y_ + 1) {
    alongRow(y_, drop);
    if (y_ + side_ < page.height()) alongRow(y_ + side_, read);
    y_ = y;
    bottom_ = std::min(y_ + side_, page.height());
  } else if (y == y_ && x > x_ && x - x_ < side_ / 2) {
    // Sliding costs two columns a step, reading afresh a side of them.
    for (; x_ < x; ++x_) {
      alongColumn(x_, drop);
      if (x_ + side_ < page.width()) alongColumn(x_ + side_, read);
    }
    right_ = std::min(x_ + side_, page.width());
  } else if (x != x_ || y != y_) {
    place(page, x, y, side);
  }
  return histogram_;
}

void SlidingBlock::place(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side) {
  placed_ = true;
  side_ = side;
  x_ = x;
  y_ = y;
  right_ = std::min(x + side, page.width());
  bottom_ = std::min(y + side, page.height());
  greys_.resize(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
  histogram_.clear();
  for (std::int32_t py = y; py < bottom_; ++py) alongRow(py, reader(page));
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
