#include "analysis/seed_analysis.h"

#include <algorithm>
#include <cassert>
#include <mutex>
#include <optional>
#include <span>
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

void countVotes(SharedAnalysis& shared, const StrokeWidthVerdict& verdict) {
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

// Tests the word's text shape and stroke widths; touches no shared state but
// the counts memo, which locks itself.
void judgeWord(BandScratch& scratch, const SharedPage& page, std::int32_t seedX, std::int32_t seedY,
               const detail::RowScan& scan, const std::vector<CharBlob>& line, const RowBox& row, const WordCell& word,
               CharacterCountsMemo& counts, FoundLine& found) {
  const std::vector<CharacterBox> cells = detail::makeCharCells(line);
  if (!detail::isTextWord(cells, word)) return;
  found.isText = true;
  found.row = {word.left - 2, word.right + 2, word.top - 2, word.bottom + 2, word.topLimit, word.bottomLimit};
  GreyImage working(row.right - row.left + 1, row.bottom - row.top + 1);
  detail::PixelList& pixels = scratch.scanPixels;
  for (const std::int32_t member : word.members) {
    const detail::BlobGrowth& growth = scratch.registry.growth(line[static_cast<std::size_t>(member)].blobIndex);
    if (!scratch.scanGrowths.recall(page, growth.start.x, growth.start.y, growth.target, growth.tolerance, growth.limit,
                                    pixels)) {
      [[maybe_unused]] const bool grown = detail::growBlob(page, scratch.visited, growth.start.x, growth.start.y,
                                                           growth.target, growth.tolerance, growth.limit, pixels);
      assert(grown);  // it did not overflow the first time
    }
    for (const PixelPoint& p : pixels) working.at(p.x - row.left, p.y - row.top) = textPixelValue(page.at(p.x, p.y));
    found.characters.emplace_back(pixels);
  }
  found.verdict = strokeWidthTest(working, cells, word.pixelCount, row, seedX, seedY, scratch.strokeWidths, counts);
  if (found.verdict.valid()) found.kept = keptWordOf(line, word, scan);
}

// Makes a found line take effect: its key is set, and a text word leaves its
// box, its votes, its pixels among the page's words when it is valid, and its
// letters. The caller holds the shared mutex.
void commitLine(const FoundLine& found, SharedAnalysis& shared) {
  shared.seedCache.insert(found.key);
  if (!found.isText) return;
  shared.textRows.push_back(found.row);
  countVotes(shared, found.verdict);
  if (found.verdict.valid()) shared.keptWords.push_back(found.kept);
  for (const FoundCharacter& character : found.characters) {
    if (found.verdict.valid()) shared.wordPixels.set(character.bitmap());
    detail::recordLetter(shared.letterMask, shared.letters, character, shared.letterCounter, found.row.baselo,
                         found.row.basehi);
  }
  ++shared.letterCounter;
}

// Tests and records the line found from the seed at (x, y). Every word of a
// line carries the line's key, so only the first word of a line met for the
// first time gets past the key test. A band that holds its lines back skips
// the keys set by committed bands, all of which lie before its own in the
// commit order, and the keys it met itself; the rest it judges now and
// commits later.
void recordLine(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y,
                const detail::RowScan& scan, const std::vector<CharBlob>& line, SharedAnalysis& shared) {
  const RowBox row = rowBoxOf(line);
  FoundLine found;
  found.key = {row.left, row.top, row.right, row.bottom, static_cast<std::int32_t>(line.size())};
  HeldLines& held = scratch.held;
  {
    const std::lock_guard lock(shared.mutex);
    if (shared.seedCache.contains(found.key)) return;
    if (held.holding) {
      if (!held.keys.insert(found.key).second) return;
    } else {
      shared.seedCache.insert(found.key);
    }
  }
  judgeWord(scratch, page, x, y, scan, line, row, detail::splitIntoWords(line).front(), shared.characterCounts, found);
  if (held.holding) {
    held.lines.push_back(std::move(found));
    return;
  }
  const std::lock_guard lock(shared.mutex);
  commitLine(found, shared);
}

}  // namespace

void analyseSeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y, SharedAnalysis& shared) {
  // Most seeds lie on a line found before. Following its scan again on an
  // unchanged page would find the same line, whose key is already set, and
  // record nothing; so each scan is followed once.
  const std::optional<detail::RowScan> scan = detail::rowScanOfSeed(scratch, page, x, y);
  if (scan && scratch.followedScans.insert(*scan).second) {
    std::vector<CharBlob> line;
    detail::findRowFromSeed(scratch, page, *scan, line);
    if (!line.empty()) recordLine(scratch, page, x, y, *scan, line, shared);
  }
  scratch.registry.releaseAll();
}

FoundCharacter::FoundCharacter(std::span<const PixelPoint> pixels)
    : start_(pixels.front()), pixelCount_(static_cast<std::int32_t>(pixels.size())) {
  PixelPoint greatest = start_;
  PixelPoint least = start_;
  for (const PixelPoint& p : pixels) {
    least = {std::min(least.x, p.x), std::min(least.y, p.y)};
    greatest = {std::max(greatest.x, p.x), std::max(greatest.y, p.y)};
  }
  left_ = least.x;
  top_ = least.y;
  bottomRight_ = greatest;
  wordsPerRow_ = (greatest.x - least.x + 64) / 64;
  inked_.resize(static_cast<std::size_t>(wordsPerRow_) * static_cast<std::size_t>(greatest.y - least.y + 1));
  for (const PixelPoint& p : pixels) {
    const auto x = static_cast<std::size_t>(p.x - left_);
    const std::size_t rowStart = static_cast<std::size_t>(p.y - top_) * static_cast<std::size_t>(wordsPerRow_);
    inked_[rowStart + x / 64] |= std::uint64_t{1} << (x % 64);
  }
}

void commitHeldLines(HeldLines& held, SharedAnalysis& shared) {
  for (const FoundLine& found : held.lines) {
    if (!shared.seedCache.contains(found.key)) commitLine(found, shared);
  }
  held = HeldLines{};
}

}  // namespace glimmer
