// A bit per page pixel, and shapes set in it a row of bits at a time: which
// pixels belong to a recorded letter, and which to a valid word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/grey_image.h"

namespace glimmer {

// Pixels of a shape as rows of bits over its box: bit b of word k of row r is
// pixel (left + 64 k + b, top + r).
struct PixelBitmap {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t wordsPerRow = 0;
  std::span<const std::uint64_t> words;  // row after row
};

// Row by row, a word for 64 columns. A shape is set a few words a row, instead
// of a byte a pixel, in an eighth of the page's size.
class PixelMask {
 public:
  PixelMask(std::int32_t width, std::int32_t height)
      : wordsPerRow_((static_cast<std::size_t>(width) + 63) / 64),
        bits_(wordsPerRow_ * static_cast<std::size_t>(height), 0) {}

  bool isSet(std::int32_t x, std::int32_t y) const {
    return (bits_[rowStart(y) + static_cast<std::size_t>(x) / 64] >> (x % 64) & 1) != 0;
  }
  // The shape's pixels must lie on the page.
  void set(const PixelBitmap& shape) {
    const auto wordsPerRow = static_cast<std::size_t>(shape.wordsPerRow);
    for (std::size_t r = 0; r * wordsPerRow < shape.words.size(); ++r) {
      std::uint64_t* const row = bits_.data() + rowStart(shape.top + static_cast<std::int32_t>(r));
      for (std::size_t k = 0; k < wordsPerRow; ++k) {
        const std::uint64_t bits = shape.words[r * wordsPerRow + k];
        if (bits == 0) continue;
        const std::size_t column = static_cast<std::size_t>(shape.left) + 64 * k;
        const std::size_t shift = column % 64;
        row[column / 64] |= bits << shift;
        // Bits shifted past the word are pixels of the next one, which then lies on the page.
        if (shift != 0 && (bits >> (64 - shift)) != 0) row[column / 64 + 1] |= bits >> (64 - shift);
      }
    }
  }
  // Row y's words: bit b of word k is column 64 k + b.
  const std::uint64_t* row(std::int32_t y) const { return bits_.data() + rowStart(y); }

  bool operator==(const PixelMask&) const = default;

 private:
  std::size_t rowStart(std::int32_t y) const { return static_cast<std::size_t>(y) * wordsPerRow_; }

  std::size_t wordsPerRow_;
  std::vector<std::uint64_t> bits_;
};

// Turns the page into its text on white: each pixel set in `text` takes its
// text value, every other pixel turns white. The mask is the page's size.
void keepTextOnWhite(GreyImage& page, const PixelMask& text);

}  // namespace glimmer
