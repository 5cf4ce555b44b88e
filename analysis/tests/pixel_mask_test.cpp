#include "analysis/pixel_mask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace glimmer {
namespace {

// Shapes set at every offset to the mask's words, on a page whose width is no
// multiple of 64: the page keeps the text value of exactly the pixels set, light
// and dark, and every other pixel turns white.
TEST(PixelMask, KeepsTheTextValuesOfExactlyThePixelsSet) {
  std::mt19937 random(5);
  const std::int32_t width = 130, height = 40;
  GreyImage page(width, height);
  for (std::uint8_t& grey : page.pixels) grey = static_cast<std::uint8_t>(random());
  PixelMask mask(width, height);
  std::vector<bool> expected(page.pixels.size(), false);
  for (int shape = 0; shape < 30; ++shape) {
    const auto left = static_cast<std::int32_t>(random() % width);
    const auto top = static_cast<std::int32_t>(random() % height);
    const auto columns = std::min<std::int32_t>(width - left, 1 + static_cast<std::int32_t>(random() % 90));
    const auto rows = std::min<std::int32_t>(height - top, 1 + static_cast<std::int32_t>(random() % 6));
    const std::int32_t wordsPerRow = (columns + 63) / 64;
    std::vector<std::uint64_t> words(static_cast<std::size_t>(wordsPerRow * rows));
    for (std::int32_t r = 0; r < rows; ++r) {
      for (std::int32_t c = 0; c < columns; ++c) {
        if (random() % 2 == 0) continue;
        words[static_cast<std::size_t>(r * wordsPerRow + c / 64)] |= std::uint64_t{1} << (c % 64);
        expected[static_cast<std::size_t>((top + r) * width + left + c)] = true;
      }
    }
    mask.set({left, top, wordsPerRow, words});
  }
  GreyImage text = page;
  keepTextOnWhite(text, mask);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const bool set = expected[static_cast<std::size_t>(y * width + x)];
      ASSERT_EQ(mask.isSet(x, y), set) << x << "," << y;
      ASSERT_EQ(text.at(x, y), set ? textPixelValue(page.at(x, y)) : 255) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace glimmer
