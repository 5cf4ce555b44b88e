// Small synthetic pages for the analysis tests: white rasters with solid boxes
// and rings of ink drawn into them.
#pragma once

#include <cstdint>

#include "common/grey_image.h"

namespace glimmer::test_support {

// Fills the inclusive box (left, top) - (right, bottom).
inline void fillBox(GreyImage& image, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                    std::uint8_t grey = 0) {
  for (std::int32_t y = top; y <= bottom; ++y) {
    for (std::int32_t x = left; x <= right; ++x) image.at(x, y) = grey;
  }
}

// A hollow box whose sides are `stroke` pixels thick.
inline void drawRing(GreyImage& image, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                     std::int32_t stroke, std::uint8_t grey = 0) {
  fillBox(image, left, top, right, bottom, grey);
  fillBox(image, left + stroke, top + stroke, right - stroke, bottom - stroke, 255);
}

}  // namespace glimmer::test_support
