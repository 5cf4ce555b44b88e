#include "analysis/detail/blob_growth.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace glimmer::detail {

namespace {

// Clockwise from the pixel above; y grows downwards.
constexpr std::array<PixelPoint, 8> kNeighbours{{{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}}};

}  // namespace

VisitedMap::VisitedMap(std::int32_t width, std::int32_t height)
    : height_(height), marks_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0) {}

void VisitedMap::clear(std::span<const PixelPoint> pixels) {
  for (const PixelPoint& p : pixels) marks_[index(p.x, p.y)] = 0;
}

bool VisitedMap::allClear() const {
  return std::all_of(marks_.begin(), marks_.end(), [](std::uint8_t m) { return m == 0; });
}

PixelList& BlobRegistry::nextSlot() {
  if (static_cast<std::size_t>(count_) == slots_.size()) slots_.emplace_back();
  return slots_[static_cast<std::size_t>(count_)];
}

std::int32_t BlobRegistry::registerNext() {
  nextSlot();
  return count_++;
}

bool growBlob(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
              std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels) {
  pixels.clear();
  pixels.reserve(static_cast<std::size_t>(std::max(limit, 1)));
  pixels.push_back({startX, startY});
  visited.mark(startX, startY);
  std::int32_t accepted = 0;
  for (std::size_t next = 0; next < pixels.size(); ++next) {
    const PixelPoint here = pixels[next];
    for (const PixelPoint& step : kNeighbours) {
      const std::int32_t nx = here.x + step.x;
      const std::int32_t ny = here.y + step.y;
      if (nx < 0 || nx >= page.width() || ny < 0 || ny >= page.height()) continue;
      if (!joinsBlob(page.at(nx, ny), target, tolerance)) continue;
      if (visited.marked(nx, ny)) continue;
      ++accepted;
      if (accepted >= limit) {
        visited.clear(pixels);
        pixels.clear();
        return false;
      }
      visited.mark(nx, ny);
      pixels.push_back({nx, ny});
    }
  }
  visited.clear(pixels);
  return true;
}

bool OverflowMemo::grow(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
                        std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels) {
  bool grown = false;
  if (besideKnownOverflow(startX, startY, target, tolerance, limit)) {
    pixels.clear();
  } else {
    grown = growBlob(page, visited, startX, startY, target, tolerance, limit, pixels);
  }
  if (!grown && joinsBlob(page.at(startX, startY), target, tolerance)) {
    known_ = true;
    x_ = startX;
    y_ = startY;
    target_ = target;
    tolerance_ = tolerance;
    limit_ = limit;
  }
  return grown;
}

bool OverflowMemo::besideKnownOverflow(std::int32_t x, std::int32_t y, std::int32_t target, std::int32_t tolerance,
                                       std::int32_t limit) const {
  return known_ && std::abs(x - x_) <= 1 && std::abs(y - y_) <= 1 && target == target_ && tolerance == tolerance_ &&
         limit == limit_;
}

}  // namespace glimmer::detail
