// Following a text line to the right of a seed blob, cutting it into
// characters and words, and judging each word by the levels of its tops and
// bottoms.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/band_scratch.h"
#include "analysis/detail/row_scan.h"
#include "analysis/detail/seed_verification.h"
#include "common/shared_page.h"
#include "skeleton/stroke_width.h"

namespace glimmer::detail {

// The band of heights the line's characters share. It starts at the seed's
// extent and changes only on blobs taller than a third of it.
class TextBand {
 public:
  TextBand(std::int32_t top, std::int32_t bottom) { set(static_cast<float>(top), static_cast<float>(bottom)); }

  void take(const CharBlob& blob, std::int32_t seedHeight);
  std::int32_t top() const { return top_; }
  std::int32_t bottom() const { return bottom_; }

 private:
  void set(float top, float bottom);

  std::int32_t top_ = 0;
  std::int32_t bottom_ = 0;
  float fTop_ = 0.0f;
  float fBottom_ = 0.0f;
  bool first_ = true;
};

// A word of the line: the line blobs it collected, in line order.
struct WordCell {
  std::int32_t left = 0;  // extremes of the collected blobs
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::vector<std::int32_t> members;  // indices into the line's blobs
  std::int32_t pixelCount = 0;        // of the collected blobs together
  std::int32_t topLimit = 0;          // greatest top: the strip all members share
  std::int32_t bottomLimit = 0;       // least bottom
};

// The blob grown at column x of the scanned row, registered, or nothing.
std::optional<CharBlob> verifyBlobAt(BandScratch& scratch, const SharedPage& page, std::int32_t x, const RowScan& scan);

// Walks the row from scan.startX and returns the band the accepted blobs set;
// `blobs` receives them in scan order. Rejected and repeated blobs are rolled
// back out of the registry.
TextBand scanRow(BandScratch& scratch, const SharedPage& page, const RowScan& scan, std::vector<CharBlob>& blobs);

// The scan that follows the line of the seed at (x, y), or nothing when (x, y)
// is not a seed. The seed blob stays registered either way.
std::optional<RowScan> rowScanOfSeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y);

// The line a seed's scan finds, left to right, with the line's band set in
// every blob.
void findRowFromSeed(BandScratch& scratch, const SharedPage& page, const RowScan& scan, std::vector<CharBlob>& line);

// Keeps the first blob of every box.
void dropDuplicateBlobs(std::vector<CharBlob>& blobs);

// By left edge; blobs with equal left edges keep their order.
void sortByLeft(std::vector<CharBlob>& blobs);

std::vector<CharacterBox> makeCharCells(std::span<const CharBlob> blobs);

// Cuts the line (sorted left to right) into words at gaps wider than four
// character heights.
std::vector<WordCell> splitIntoWords(std::span<const CharBlob> blobs);

// A word is text when its characters' tops fall into at most two levels and
// their bottoms into at most three, and it has at least two characters of
// plausible width.
bool isTextWord(std::span<const CharacterBox> cells, const WordCell& word);

// The number of groups the values fall into when neighbours more than
// `tolerance` apart start a new group.
std::int32_t countLevels(std::vector<std::int32_t> values, std::int32_t tolerance);

}  // namespace glimmer::detail
