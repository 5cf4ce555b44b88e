#include "analysis/seed_analysis.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

#include "analysis/detail/letter_record.h"
#include "analysis/detail/text_line.h"
#include "skeleton/stroke_width.h"

namespace glimmer {

namespace {

using detail::CharBlob;
using detail::PixelPoint;
using detail::WordCell;

enum VoteKey : std::int32_t { kValid = 0, kConsistentThickness = 1, kShortSkeleton = 2, kFewThinCharacters = 3 };

RowBox rowBoxOf(const std::vector<CharBlob>& line) {
  RowBox row{line.front().left, line.front().top, line.front().right, line.front().bottom};
  for (const CharBlob& b : line) {
    row.left = std::min(row.left, b.left);
    row.top = std::min(row.top, b.top);
    row.right = std::max(row.right, b.right);
    row.bottom = std::max(row.bottom, b.bottom);
  }
  return row;
}

// Calls `paint` with every pixel of the word's characters.
template <typename Paint>
void forEachWordPixel(const BandScratch& scratch, const std::vector<CharBlob>& line, const WordCell& word,
                      Paint paint) {
  for (const std::int32_t member : word.members) {
    for (const PixelPoint& p : scratch.registry.pixels(line[static_cast<std::size_t>(member)].blobIndex)) paint(p);
  }
}

void countVotes(SharedAnalysis& shared, const StrokeWidthVerdict& verdict) {
  const std::lock_guard lock(shared.mutex);
  if (verdict.consistentThickness) ++shared.votes[kConsistentThickness];
  if (verdict.skeletonShorterThanWord) ++shared.votes[kShortSkeleton];
  if (verdict.fewThinCharacters) ++shared.votes[kFewThinCharacters];
  if (verdict.valid()) {
    ++shared.votes[kValid];
    shared.scores.write(verdict.logBlock);
  }
}

std::int32_t medianOf(std::vector<std::int32_t>& values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// The word as the refinement of marks and counters needs it. Most characters
// stand on the baseline and most reach up to the mean line only, whatever
// marks the word has taken in. A line scanned without one text level took
// each column's own; the word's is then the median of its characters'.
KeptWord keptWordOf(const std::vector<CharBlob>& line, const WordCell& word, const detail::RowScan& scan) {
  std::vector<std::int32_t> tops;
  std::vector<std::int32_t> bottoms;
  std::vector<std::int32_t> textGreys;
  for (const std::int32_t member : word.members) {
    const CharBlob& blob = line[static_cast<std::size_t>(member)];
    tops.push_back(blob.top);
    bottoms.push_back(blob.bottom);
    textGreys.push_back(blob.textColour);
  }
  const std::int32_t level = scan.level == -1 ? medianOf(textGreys) : scan.level;
  return {word.left, word.top, word.right, word.bottom, medianOf(tops), medianOf(bottoms), level, scan.margin};
}

// Records a word that has the shape of text: its box, its stroke-width votes,
// its pixels in the band image when it is valid, and its letters.
void recordWord(const BandScratch& scratch, const SharedPage& page, std::int32_t seedX, std::int32_t seedY,
                const detail::RowScan& scan, const std::vector<CharBlob>& line, const std::vector<CharacterBox>& cells,
                const RowBox& row, const WordCell& word, GreyImage& bandImage, SharedAnalysis& shared) {
  GreyImage working(row.right - row.left + 1, row.bottom - row.top + 1);
  forEachWordPixel(scratch, line, word, [&](PixelPoint p) {
    working.at(p.x - row.left, p.y - row.top) = textPixelValue(page.at(p.x, p.y));
  });
  {
    const std::lock_guard lock(shared.mutex);
    shared.textRows.push_back(
        {word.left - 2, word.right + 2, word.top - 2, word.bottom + 2, word.topLimit, word.bottomLimit});
  }

  const StrokeWidthVerdict verdict = strokeWidthTest(working, cells, word.pixelCount, row, seedX, seedY);
  countVotes(shared, verdict);
  std::optional<KeptWord> kept;
  if (verdict.valid()) {
    forEachWordPixel(scratch, line, word,
                     [&](PixelPoint p) { bandImage.at(p.x, p.y) = textPixelValue(page.at(p.x, p.y)); });
    kept = keptWordOf(line, word, scan);
  }

  const std::lock_guard lock(shared.mutex);
  if (kept) shared.keptWords.push_back(*kept);
  for (const std::int32_t member : word.members) {
    const CharBlob& blob = line[static_cast<std::size_t>(member)];
    detail::recordLetter(shared.letterMask, shared.letters, scratch.registry.pixels(blob.blobIndex),
                         shared.letterCounter, word.topLimit, word.bottomLimit);
  }
  ++shared.letterCounter;
}

// Tests and records the words of a line found from the seed at (x, y).
void recordLine(const BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y,
                const detail::RowScan& scan, const std::vector<CharBlob>& line, GreyImage& bandImage,
                SharedAnalysis& shared) {
  const RowBox row = rowBoxOf(line);
  const std::vector<CharacterBox> cells = detail::makeCharCells(line);
  const LineKey key{row.left, row.top, row.right, row.bottom, static_cast<std::int32_t>(line.size())};
  for (const WordCell& word : detail::splitIntoWords(line)) {
    {
      // Every word of a line carries the line's key, so only the first word
      // of a line found for the first time gets past this test.
      const std::lock_guard lock(shared.mutex);
      if (!shared.seedCache.insert(key).second) continue;
    }
    if (detail::isTextWord(cells, word))
      recordWord(scratch, page, x, y, scan, line, cells, row, word, bandImage, shared);
  }
}

}  // namespace

void analyseSeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y, GreyImage& bandImage,
                 SharedAnalysis& shared) {
  const std::uint64_t pageEdits = shared.pageEdits.load(std::memory_order_acquire);
  if (pageEdits != scratch.pageEditsSeen) {
    scratch.followedScans.clear();
    scratch.textLevels.clear();
    scratch.seedGrowths.forget();
    scratch.seedBlock.forget();
    scratch.pageEditsSeen = pageEdits;
  }
  // Most seeds lie on a line found before. Following its scan again on an
  // unchanged page would find the same line, whose key is already set, and
  // record nothing; so each scan is followed once.
  const std::optional<detail::RowScan> scan = detail::rowScanOfSeed(scratch, page, x, y);
  if (scan && scratch.followedScans.insert(*scan).second) {
    std::vector<CharBlob> line;
    detail::findRowFromSeed(scratch, page, *scan, line);
    if (!line.empty()) recordLine(scratch, page, x, y, *scan, line, bandImage, shared);
  }
  scratch.registry.releaseAll();
}

}  // namespace glimmer
