// The stroke-width test: a word is text when its characters, scaled to a height
// of 60 pixels and thinned, show a consistent ink-per-skeleton-pixel ratio.
// The test touches no shared state but the counts memo, which locks itself:
// the caller counts the votes and writes the log block, under its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/grey_image.h"
#include "skeleton/skeletonise.h"

namespace glimmer {

// One character cell of the line, as the test measures it.
struct CharacterBox {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::int32_t width = 0;
};

// The extreme pixel positions of all characters of the line.
struct RowBox {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

struct StrokeWidthVerdict {
  bool consistentThickness = false;      // vote key 1
  bool skeletonShorterThanWord = false;  // vote key 2
  bool fewThinCharacters = false;        // vote key 3 (votes, does not decide)
  std::string logBlock;                  // the scores.txt block; filled only for a valid word
  bool valid() const { return consistentThickness && skeletonShorterThanWord; }  // vote key 0
};

// A character's window of the working image as its measures see it: its size,
// and which pixels are ink (not 255), a bit each, row after row.
struct WindowInk {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint64_t> bits;  // bit i of word w: pixel 64 * w + i, counted row by row
  bool operator==(const WindowInk&) const = default;
};

struct WindowInkHash {
  std::size_t operator()(const WindowInk& ink) const;
};

// The ink and skeleton pixels of a character's scaled, framed raster.
struct CharacterCounts {
  std::int32_t ink = 0;
  std::int32_t skeleton = 0;
};

// The counts of the character windows measured before. A page's words are
// judged many times over, as parts of different lines and by every band whose
// scans reach them, and the counts depend on the window's ink and size alone,
// so a window met again is not scaled and thinned again. One memo serves all
// the band threads of a page: it locks itself, readers sharing the lock. It
// starts afresh rather than pass its limit of ink bits (by default 16 MB: a
// 60 x 30 window takes 232 bytes, and some 100 more in the map).
class CharacterCountsMemo {
 public:
  explicit CharacterCountsMemo(std::size_t wordLimit = std::size_t{1} << 21) : wordLimit_(wordLimit) {}

  std::optional<CharacterCounts> find(const WindowInk& window) const;
  void remember(const WindowInk& window, CharacterCounts counts);

  std::size_t size() const;
  std::size_t rememberedWords() const;  // the ink bits' words of the windows held
  std::size_t wordLimit() const { return wordLimit_; }

 private:
  mutable std::shared_mutex mutex_;
  std::unordered_map<WindowInk, CharacterCounts, WindowInkHash> countsByInk_;
  std::size_t rememberedWords_ = 0;
  std::size_t wordLimit_;
};

// Rasters the test reuses from word to word, one per thread.
struct StrokeWidthScratch {
  GreyImage framed;
  std::vector<std::int32_t> sourceColumns;
  ThinningScratch thinning;
  WindowInk window;  // the character being measured
};

// `working` is row-box sized and holds only the word's pixels; `characters` are
// all of the line's cells, left to right; `wordPixels` is the word's pixel count.
// Count key 1, 2, 3 for the tests that hold, in that order, then key 0 and the
// log block when the word is valid.
StrokeWidthVerdict strokeWidthTest(const GreyImage& working, std::span<const CharacterBox> characters,
                                   std::int32_t wordPixels, const RowBox& row, std::int32_t seedX, std::int32_t seedY,
                                   StrokeWidthScratch& scratch, CharacterCountsMemo& counts);

// How many characters, in order, have a thickness within a third of the mean
// thickness (lower bound included, upper excluded); the walk stops after the
// first thickness below 2.5 or above 35.0. The mean includes every value.
std::int32_t countConsistentThickness(std::span<const float> thickness);

}  // namespace glimmer
