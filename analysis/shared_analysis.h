// What the band threads of one run share. Every read and write of these fields
// but the counts memo happens with `mutex` held. Bands commit what they find in
// band order (see analysis/found_lines.h), so the state they leave is that of
// one band scanning the whole page, whatever the band count and however the
// threads interleave.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <vector>

#include "analysis/word_marks.h"
#include "common/grey_image.h"
#include "common/line_sink.h"
#include "common/records.h"
#include "skeleton/stroke_width.h"

namespace glimmer {

// Pixels of a shape as rows of bits over its box: bit b of word k of row r is
// pixel (left + 64 k + b, top + r).
struct PixelBitmap {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t wordsPerRow = 0;
  std::span<const std::uint64_t> words;  // row after row
};

// A bit per page pixel, row by row: set once the pixel belongs to a recorded
// letter. A letter is claimed a row of its bits at a time: an eighth of the
// page's size, and a few words a row instead of a byte a pixel.
class LetterMask {
 public:
  LetterMask(std::int32_t width, std::int32_t height)
      : wordsPerRow_((static_cast<std::size_t>(width) + 63) / 64),
        bits_(wordsPerRow_ * static_cast<std::size_t>(height), 0) {}

  bool claimed(std::int32_t x, std::int32_t y) const {
    return (bits_[rowStart(y) + static_cast<std::size_t>(x) / 64] >> (x % 64) & 1) != 0;
  }
  // The shape's pixels must lie on the page.
  void claim(const PixelBitmap& shape) {
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

 private:
  std::size_t rowStart(std::int32_t y) const { return static_cast<std::size_t>(y) * wordsPerRow_; }

  std::size_t wordsPerRow_;
  std::vector<std::uint64_t> bits_;
};

// A text line's identity: its row box (left, top, right, bottom) and its
// number of characters.
using LineKey = std::array<std::int32_t, 5>;

struct SharedAnalysis {
  SharedAnalysis(std::int32_t pageWidth, std::int32_t pageHeight, LineSink& scoresLog)
      : letterMask(pageWidth, pageHeight), scores(scoresLog), words(pageWidth, pageHeight, 255) {}

  std::mutex mutex;
  std::set<LineKey> seedCache;     // lines whose words have been handled
  std::vector<TextRow> textRows;   // every recorded word box, in recording order
  std::vector<LetterBox> letters;  // every recorded letter
  LetterMask letterMask;
  std::int32_t letterCounter = 0;              // numbers accepted words
  std::map<std::int32_t, std::int32_t> votes;  // stroke-width vote key -> count
  LineSink& scores;                            // scores.txt

  // The page's valid words on white, as the lines commit, and every word
  // painted, for the refinement of marks and counters. One image serves all
  // bands: only the band whose turn it is commits.
  GreyImage words;
  std::vector<KeptWord> keptWords;

  // Not under `mutex`: the bands judge words unlocked, and the memo locks itself.
  CharacterCountsMemo characterCounts;
};

}  // namespace glimmer
