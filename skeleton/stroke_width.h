// The stroke-width test: a word is text when its characters, scaled to a height
// of 60 pixels and thinned, show a consistent ink-per-skeleton-pixel ratio.
// The test touches no shared state: the caller counts the votes and writes the
// log block, under its own lock.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/grey_image.h"

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

// `working` is row-box sized and holds only the word's pixels; `characters` are
// all of the line's cells, left to right; `wordPixels` is the word's pixel count.
// Count key 1, 2, 3 for the tests that hold, in that order, then key 0 and the
// log block when the word is valid.
StrokeWidthVerdict strokeWidthTest(const GreyImage& working, std::span<const CharacterBox> characters,
                                   std::int32_t wordPixels, const RowBox& row, std::int32_t seedX, std::int32_t seedY);

// How many characters, in order, have a thickness within a third of the mean
// thickness (lower bound included, upper excluded); the walk stops after the
// first thickness below 2.5 or above 35.0. The mean includes every value.
std::int32_t countConsistentThickness(std::span<const float> thickness);

}  // namespace glimmer
