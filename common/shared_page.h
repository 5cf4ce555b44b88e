// The page as the band threads see it: read by every band while finished bands
// whiten word boxes in it. Every access is a relaxed atomic byte access, so the
// sharing is free of data races without any lock on the per-pixel path.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/grey_image.h"

namespace glimmer {

class SharedPage {
 public:
  explicit SharedPage(GreyImage& image) : pixels_(image.pixels.data()), width_(image.width), height_(image.height) {}

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }

  std::uint8_t at(std::int32_t x, std::int32_t y) const { return atOffset(offset(x, y, width_)); }
  // The pixel at offset(x, y, width()).
  std::uint8_t atOffset(std::size_t position) const {
    return std::atomic_ref<std::uint8_t>(pixels_[position]).load(std::memory_order_relaxed);
  }
  void set(std::int32_t x, std::int32_t y, std::uint8_t value) const {
    std::atomic_ref<std::uint8_t>(pixels_[offset(x, y, width_)]).store(value, std::memory_order_relaxed);
  }

  // Where pixel (x, y) lies in a row-major raster `width` pixels wide.
  static std::size_t offset(std::int32_t x, std::int32_t y, std::int32_t width) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
  }

 private:
  std::uint8_t* pixels_;
  std::int32_t width_;
  std::int32_t height_;
};

}  // namespace glimmer
