// An 8-bit greyscale raster: 255 is white background, lower values are ink.
#pragma once

#include <cstdint>
#include <vector>

namespace glimmer {

struct GreyImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> pixels;  // row-major, top row first

  GreyImage() = default;
  GreyImage(std::int32_t w, std::int32_t h, std::uint8_t fill = 255)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

  std::uint8_t at(std::int32_t x, std::int32_t y) const { return pixels[index(x, y)]; }
  std::uint8_t& at(std::int32_t x, std::int32_t y) { return pixels[index(x, y)]; }
  std::uint8_t* row(std::int32_t y) { return pixels.data() + index(0, y); }
  const std::uint8_t* row(std::int32_t y) const { return pixels.data() + index(0, y); }

  bool operator==(const GreyImage&) const = default;

 private:
  std::size_t index(std::int32_t x, std::int32_t y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
  }
};

// The value a text pixel keeps in the output: a grey above 128 is written less 128.
constexpr std::uint8_t textPixelValue(std::uint8_t pageValue) {
  return pageValue > 128 ? static_cast<std::uint8_t>(pageValue - 128) : pageValue;
}

}  // namespace glimmer
