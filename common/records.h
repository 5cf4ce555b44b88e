// The records that page analysis produces and the coordinate files write out.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace glimmer {

// One recorded word box: the word's box widened by 2 pixels on each side, and
// the page rows that bound the strip shared by all the word's characters.
struct TextRow {
  std::int32_t left = 0;
  std::int32_t right = 0;
  std::int32_t top = 0;
  std::int32_t bottom = 0;
  std::int32_t baselo = 0;
  std::int32_t basehi = 0;
  bool operator==(const TextRow&) const = default;
};

// One recorded character.
struct LetterBox {
  std::int32_t x = 0;  // top-left corner
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t pixelCount = 0;
  std::int32_t wordNumber = 0;
  std::vector<std::pair<std::int32_t, std::int32_t>> clones;  // starts with the letter's own corner
  std::string ocrGuess;                                       // always empty
  std::vector<std::int32_t> baselo;
  std::vector<std::int32_t> basehi;
  bool operator==(const LetterBox&) const = default;
};

}  // namespace glimmer
