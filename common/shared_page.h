// The page as the band threads see it: read by every band, written by none.
// The page is complete before the band threads start and stays unchanged until
// the last of them has ended, so plain reads are free of data races.
#pragma once

#include <cstdint>

#include "common/grey_image.h"

namespace glimmer {

class SharedPage {
 public:
  explicit SharedPage(const GreyImage& image)
      : pixels_(image.pixels.data()), width_(image.width), height_(image.height) {}

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }

  std::uint8_t at(std::int32_t x, std::int32_t y) const { return pixels_[offset(x, y, width_)]; }
  // Row y, its width() greys one after another.
  const std::uint8_t* row(std::int32_t y) const { return pixels_ + offset(0, y, width_); }
  // The pixel at offset(x, y, width()).
  std::uint8_t atOffset(std::size_t position) const { return pixels_[position]; }

  // Where pixel (x, y) lies in a row-major raster `width` pixels wide.
  static std::size_t offset(std::int32_t x, std::int32_t y, std::int32_t width) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
  }

 private:
  const std::uint8_t* pixels_;
  std::int32_t width_;
  std::int32_t height_;
};

}  // namespace glimmer
