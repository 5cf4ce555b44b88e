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
#include <vector>

#include "analysis/word_marks.h"
#include "common/grey_image.h"
#include "common/line_sink.h"
#include "common/records.h"
#include "skeleton/stroke_width.h"

namespace glimmer {

// One byte per page pixel, column-major: 1 once the pixel belongs to a
// recorded letter.
class LetterMask {
 public:
  LetterMask(std::int32_t width, std::int32_t height)
      : height_(height), bytes_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0) {}

  bool claimed(std::int32_t x, std::int32_t y) const { return bytes_[index(x, y)] != 0; }
  void claim(std::int32_t x, std::int32_t y) { bytes_[index(x, y)] = 1; }

 private:
  std::size_t index(std::int32_t x, std::int32_t y) const {
    return static_cast<std::size_t>(x) * static_cast<std::size_t>(height_) + static_cast<std::size_t>(y);
  }

  std::int32_t height_;
  std::vector<std::uint8_t> bytes_;
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
