#include "analysis/detail/text_line.h"

#include <algorithm>
#include <cstdlib>

#include "common/tolerance.h"

namespace glimmer::detail {

namespace {

constexpr std::int32_t kMinBlockSide = 10;
constexpr std::int32_t kMaxCharacterGap = 30;
constexpr std::int32_t kFillFactor = 8;

bool sameBox(const CharBlob& a, const CharBlob& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Rejects thin scatter (little ink in its box) and small, nearly solid specks.
bool hasCharacterShape(const CharBlob& blob) {
  const std::int32_t n = blob.pixelCount;
  const std::int32_t w = blob.width;
  const std::int32_t h = blob.height;
  if (n <= 0.2 * w * h) return false;
  return !(n >= 1.5 * w * h && 0.4 * h <= w && 0.4 * w <= 3.0);
}

// The blob's top must lie near the seed's top, or its bottom near the seed's bottom.
bool sitsOnSeedBand(const CharBlob& blob, const RowScan& scan) {
  const float seedExtent = static_cast<float>(scan.seedBottom - scan.seedTop);
  if (withinTolerance(static_cast<float>(blob.top), static_cast<float>(scan.seedTop), seedExtent / 2.75f)) {
    return true;
  }
  return withinTolerance(static_cast<float>(blob.bottom), static_cast<float>(scan.seedBottom),
                         static_cast<float>((scan.seedBottom - scan.seedTop) / 3));
}

WordCell collectWord(std::span<const CharBlob> blobs, std::int32_t start, std::int32_t end) {
  WordCell word;
  for (std::size_t j = 0; j < blobs.size(); ++j) {
    const CharBlob& b = blobs[j];
    const bool inside = b.left >= start && b.right <= end;
    const bool spanning = b.left <= start && b.right >= end;
    if (!inside && !spanning) continue;
    if (word.members.empty()) {
      word.left = b.left;
      word.top = b.top;
      word.right = b.right;
      word.bottom = b.bottom;
      word.topLimit = b.top;
      word.bottomLimit = b.bottom;
    }
    word.left = std::min(word.left, b.left);
    word.top = std::min(word.top, b.top);
    word.right = std::max(word.right, b.right);
    word.bottom = std::max(word.bottom, b.bottom);
    word.topLimit = std::max(word.topLimit, b.top);
    word.bottomLimit = std::min(word.bottomLimit, b.bottom);
    word.pixelCount += b.pixelCount;
    word.members.push_back(static_cast<std::int32_t>(j));
  }
  return word;
}

}  // namespace

void TextBand::set(float top, float bottom) {
  fTop_ = top;
  fBottom_ = bottom;
  top_ = static_cast<std::int32_t>(fTop_);
  bottom_ = static_cast<std::int32_t>(fBottom_);
}

void TextBand::take(const CharBlob& blob, std::int32_t seedHeight) {
  const std::int32_t h = blob.height;
  if (h <= std::abs(top_ - bottom_) / 3) return;  // dots and commas leave the band alone
  const auto t = static_cast<float>(blob.top);
  const auto u = static_cast<float>(blob.bottom);
  if (first_) {
    set(t, u);
    first_ = false;
  }
  const float halfSeed = 0.5f * static_cast<float>(seedHeight);
  if (fTop_ + halfSeed <= t || u >= fBottom_ - halfSeed) {
    const std::int32_t s = std::abs(top_ - bottom_);
    if (withinTolerance(h, s, s / 10)) {
      set(t, u);
    } else {
      set(std::max(fTop_, t), std::min(fBottom_, u));
    }
  }
}

std::optional<CharBlob> verifyBlobAt(BandScratch& scratch, const SharedPage& page, std::int32_t x,
                                     const RowScan& scan) {
  // The block holds the pixel (x, y), so it always yields a colour pair. It
  // is counted only for a scan without a text level, whose blobs each take
  // their own text grey.
  const auto blockColours = [&] {
    return *splitHistogram(scratch.scanBlock.moveTo(page, x, scan.y, std::max(scan.seedHeight, kMinBlockSide)),
                           scan.margin / 4);
  };
  std::optional<ColourPair> pair;
  if (scan.level == -1) pair = blockColours();
  const std::int32_t text = pair ? pair->text : scan.level;
  if (!withinTolerance(std::int32_t{page.at(x, scan.y)}, text, scan.margin)) return std::nullopt;

  const std::optional<BlobExtent> extent =
      scratch.scanGrowths.grow(page, scratch.visited, x, scan.y, text, scan.margin, scan.fillLimit, scratch.scanPixels);
  if (!extent) return std::nullopt;
  const std::int32_t index = scratch.registry.add({{x, scan.y}, text, scan.margin, scan.fillLimit});
  if (pair) return measureBlob(*extent, index, *pair);
  // The seed box's level is the text grey of the whole line (keptWordOf), and
  // nothing reads a line blob's background: the block's pair would set only
  // colours that nothing reads, so it is not counted.
  CharBlob blob = blobShape(*extent, index);
  blob.textColour = scan.level;
  return blob;
}

TextBand scanRow(BandScratch& scratch, const SharedPage& page, const RowScan& scan, std::vector<CharBlob>& blobs) {
  blobs.clear();
  TextBand band(scan.seedTop, scan.seedBottom);
  for (std::int32_t x = scan.startX; x < scan.endX; ++x) {
    const std::int32_t savedCount = scratch.registry.count();
    const std::optional<CharBlob> blob = verifyBlobAt(scratch, page, x, scan);
    if (!blob) continue;
    if (!hasCharacterShape(*blob) || !sitsOnSeedBand(*blob, scan)) {
      scratch.registry.rollBack(savedCount);
      continue;
    }
    band.take(*blob, scan.seedHeight);
    const bool repeated = std::any_of(blobs.begin(), blobs.end(), [&](const CharBlob& b) { return sameBox(b, *blob); });
    x = std::max(x, blob->right);
    if (blobs.size() >= 2 && blob->left - blobs.back().right > kMaxCharacterGap) break;
    if (repeated) {
      scratch.registry.rollBack(savedCount);
    } else {
      blobs.push_back(*blob);
    }
  }
  // The growths' proofs hold for this scan's range only; the seed test grows in the same map.
  scratch.visited.clearProven();
  return band;
}

std::optional<RowScan> rowScanOfSeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y) {
  const std::optional<CharBlob> seed = verifySeed(scratch, page, x, y);
  if (!seed) return std::nullopt;
  const LevelBox box{seed->left, seed->top, seed->right, seed->bottom, seed->darkText};
  auto known = scratch.textLevels.find(box);
  if (known == scratch.textLevels.end()) known = scratch.textLevels.emplace(box, estimateTextLevel(page, box)).first;
  const TextLevel level = known->second;
  RowScan scan;
  scan.startX = seed->left;
  scan.endX = page.width() - 1;
  scan.y = (seed->bottom - seed->top) / 2 + seed->top;
  scan.level = level.level;
  scan.margin = std::max(std::abs(seed->backgroundColour - seed->textColour) / 4, level.spread);
  scan.seedTop = seed->top;
  scan.seedBottom = seed->bottom;
  scan.fillLimit = kFillFactor * seed->pixelCount;
  scan.seedHeight = std::abs(seed->bottom - seed->top);
  return scan;
}

void findRowFromSeed(BandScratch& scratch, const SharedPage& page, const RowScan& scan, std::vector<CharBlob>& line) {
  const TextBand band = scanRow(scratch, page, scan, line);
  dropDuplicateBlobs(line);
  sortByLeft(line);
  for (CharBlob& blob : line) {
    blob.baselo = band.top();
    blob.basehi = band.bottom();
  }
}

void dropDuplicateBlobs(std::vector<CharBlob>& blobs) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < blobs.size(); ++i) {
    const auto keptEnd = blobs.begin() + static_cast<std::ptrdiff_t>(kept);
    if (std::none_of(blobs.begin(), keptEnd, [&](const CharBlob& b) { return sameBox(b, blobs[i]); })) {
      blobs[kept++] = blobs[i];
    }
  }
  blobs.resize(kept);
}

void sortByLeft(std::vector<CharBlob>& blobs) {
  std::stable_sort(blobs.begin(), blobs.end(), [](const CharBlob& a, const CharBlob& b) { return a.left < b.left; });
}

std::vector<CharacterBox> makeCharCells(std::span<const CharBlob> blobs) {
  std::vector<CharacterBox> cells;
  cells.reserve(blobs.size());
  for (const CharBlob& b : blobs) cells.push_back({b.left, b.top, b.right, b.bottom, b.width});
  return cells;
}

std::vector<WordCell> splitIntoWords(std::span<const CharBlob> blobs) {
  std::vector<WordCell> words;
  if (blobs.empty()) return words;
  std::int32_t start = blobs.front().left;
  for (const CharBlob& b : blobs) start = std::min(start, b.left);
  std::int32_t reference = blobs.size() >= 2 ? (blobs[0].height + blobs[1].height) / 2 : blobs[0].height;
  for (std::size_t i = 0; i < blobs.size(); ++i) {
    const bool last = i + 1 == blobs.size();
    if (!last && blobs[i + 1].left - blobs[i].right <= 4 * reference) continue;
    words.push_back(collectWord(blobs, start, blobs[i].right));
    if (!last) {
      reference = blobs[i + 1].height;
      start = blobs[i + 1].left;
    }
  }
  return words;
}

bool isTextWord(std::span<const CharacterBox> cells, const WordCell& word) {
  std::vector<std::int32_t> tops;
  std::vector<std::int32_t> bottoms;
  std::vector<const CharacterBox*> inside;
  std::int32_t heightSum = 0;
  for (const CharacterBox& c : cells) {
    if (word.left > c.left || c.right > word.right) continue;
    inside.push_back(&c);
    tops.push_back(c.top);
    bottoms.push_back(c.bottom);
    heightSum += c.bottom - c.top;
  }
  if (inside.empty()) return false;
  const std::int32_t meanHeight = heightSum / static_cast<std::int32_t>(inside.size());
  const auto tolerance = static_cast<std::int32_t>(meanHeight * 0.25);
  if (countLevels(tops, tolerance) >= 3 || countLevels(bottoms, tolerance) >= 4) return false;
  if (inside.size() < 2) return false;
  if (inside.size() == 2) {
    const std::int32_t distance = inside[1]->left - inside[0]->left;
    if (std::min(inside[0]->width, inside[1]->width) < distance / 4) return false;
  }
  return true;
}

std::int32_t countLevels(std::vector<std::int32_t> values, std::int32_t tolerance) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  std::int32_t levels = 1;
  for (std::size_t i = 1; i < values.size(); ++i) {
    if (!withinTolerance(values[i - 1], values[i], tolerance)) ++levels;
  }
  return levels;
}

}  // namespace glimmer::detail
