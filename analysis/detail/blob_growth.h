// Bounded growth of 8-connected blobs of one grey, and the per-thread storage
// it works in: the visited map and the registry of the blobs a seed analysis keeps.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/shared_page.h"

namespace glimmer::detail {

struct PixelPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// A blob's pixels in the order they were grown, the start pixel first.
using PixelList = std::vector<PixelPoint>;

// One byte per page pixel, column-major, all zero between growths. A growth
// clears its own marks by walking its pixel list.
class VisitedMap {
 public:
  VisitedMap(std::int32_t width, std::int32_t height);

  bool marked(std::int32_t x, std::int32_t y) const { return marks_[index(x, y)] != 0; }
  void mark(std::int32_t x, std::int32_t y) { marks_[index(x, y)] = 1; }
  void clear(std::span<const PixelPoint> pixels);
  bool allClear() const;

 private:
  std::size_t index(std::int32_t x, std::int32_t y) const {
    return static_cast<std::size_t>(x) * static_cast<std::size_t>(height_) + static_cast<std::size_t>(y);
  }

  std::int32_t height_;
  std::vector<std::uint8_t> marks_;
};

// The pixel lists of the blobs kept during one seed analysis. Slots past the
// count keep their storage, so growing a blob allocates nothing once warm.
class BlobRegistry {
 public:
  // Storage for the next growth; it is kept only if `registerNext` follows.
  PixelList& nextSlot();
  // Keeps the blob grown into `nextSlot` and returns its index.
  std::int32_t registerNext();

  std::int32_t count() const { return count_; }
  void rollBack(std::int32_t savedCount) { count_ = savedCount; }
  void releaseAll() { count_ = 0; }

  std::span<const PixelPoint> pixels(std::int32_t index) const { return slots_[static_cast<std::size_t>(index)]; }

 private:
  std::vector<PixelList> slots_;
  std::int32_t count_ = 0;
};

// Whether a pixel of grey `grey` joins a blob grown towards `target`:
// target - tolerance < grey <= target + tolerance.
constexpr bool joinsBlob(std::int32_t grey, std::int32_t target, std::int32_t tolerance) {
  return grey - tolerance <= target && target < grey + tolerance;
}

// Grows the blob of pixels 8-connected to (startX, startY) whose grey p has
// target - tolerance < p <= target + tolerance, breadth first, into `pixels`.
// The start pixel is taken without a grey test. Returns false (overflow) when
// the blob would hold more than `limit` pixels. The visited map is clear again
// on return either way.
bool growBlob(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
              std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels);

// growBlob that skips growths bound to overflow. Once a growth overflowed
// from a start pixel inside its own grey range, a growth alike from any pixel
// beside that start reaches the start's whole 8-connected area, which is known
// to be too large. Large uniform areas are thus flooded once per run of
// neighbouring start pixels, not once per pixel.
class OverflowMemo {
 public:
  bool grow(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY, std::int32_t target,
            std::int32_t tolerance, std::int32_t limit, PixelList& pixels);
  void forget() { known_ = false; }

 private:
  bool besideKnownOverflow(std::int32_t x, std::int32_t y, std::int32_t target, std::int32_t tolerance,
                           std::int32_t limit) const;

  bool known_ = false;
  std::int32_t x_ = 0;  // the start pixel of an overflowing growth, inside its grey range
  std::int32_t y_ = 0;
  std::int32_t target_ = 0;
  std::int32_t tolerance_ = 0;
  std::int32_t limit_ = 0;
};

}  // namespace glimmer::detail
