// What a band's analysis takes from a text line it meets for the first time,
// held back while bands to its left are still scanning. Committed later in the
// order the band found them, the lines take effect exactly as if the band had
// started only after every band to its left had finished: the order of one band
// scanning the whole page column by column.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <vector>

#include "analysis/detail/blob_growth.h"
#include "analysis/shared_analysis.h"
#include "common/records.h"
#include "skeleton/stroke_width.h"

namespace glimmer {

// A character of a word: its blob's pixels as a bitmap over the blob's box (a
// band may hold thousands of words), and the pixel the growth started from,
// whose claim decides whether the character is a letter already. Each row of the
// bitmap takes whole words, so that the pixels are read a word at a time with
// no division, and claimed in the letter mask a word at a time.
class FoundCharacter {
 public:
  // The pixels of a blob, each once, the start pixel first.
  explicit FoundCharacter(std::span<const detail::PixelPoint> pixels);

  detail::PixelPoint start() const { return start_; }
  std::int32_t pixelCount() const { return pixelCount_; }
  // The box's corners, inclusive.
  detail::PixelPoint topLeft() const { return {left_, top_}; }
  detail::PixelPoint bottomRight() const { return bottomRight_; }
  PixelBitmap bitmap() const { return {left_, top_, wordsPerRow_, inked_}; }

 private:
  detail::PixelPoint start_;
  std::int32_t left_ = 0;
  std::int32_t top_ = 0;
  detail::PixelPoint bottomRight_;
  std::int32_t pixelCount_ = 0;
  std::int32_t wordsPerRow_ = 0;
  std::vector<std::uint64_t> inked_;  // row by row over the box, bit x % 64 of word x / 64
};

// A line whose key the band set, with the first word of the line: the only
// word a new key lets through, since every word of a line carries its key.
struct FoundLine {
  LineKey key{};
  bool isText = false;  // the word has the shape of text; the fields below are set only then
  TextRow row;
  StrokeWidthVerdict verdict;
  std::vector<FoundCharacter> characters;
  KeptWord kept;  // a valid word, for the refinement of marks and counters
};

struct HeldLines {
  bool holding = false;          // bands to the left have not committed yet
  std::set<LineKey> keys;        // keys the band set while holding
  std::vector<FoundLine> lines;  // in the order the band found them
};

}  // namespace glimmer
