#include "skeleton/stroke_width.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

#include "skeleton/detail/decimal_text.h"
#include "skeleton/detail/sixteen_pixels.h"

namespace glimmer {
namespace {

constexpr std::uint8_t kWhite = 255;
constexpr std::int32_t kScaledHeight = 60;

// Maps target indices of one axis to source indices, trunc(i / (newSize / size)).
// Empty sources map to -1.
class NearestAxis {
 public:
  NearestAxis(std::int32_t size, std::int32_t newSize)
      : size_(size), step_(static_cast<double>(newSize) / static_cast<double>(size)) {}

  std::int32_t source(std::int32_t target) const {
    return std::min(static_cast<std::int32_t>(static_cast<double>(target) / step_), size_ - 1);
  }

 private:
  std::int32_t size_;
  double step_;
};

// Columns [left, left + width) and rows [0, height) of an image; the parts that
// lie outside the image read as white.
struct SourceWindow {
  const GreyImage& image;
  std::int32_t left;
  std::int32_t width;
  std::int32_t height;
};

// Writes the window scaled to newWidth x newHeight into `target`, with its
// top-left corner at (offset, offset). `sourceColumns` is scratch.
void scaleInto(const SourceWindow& window, GreyImage& target, std::int32_t offset, std::int32_t newWidth,
               std::int32_t newHeight, std::vector<std::int32_t>& sourceColumns) {
  if (newWidth <= 0 || newHeight <= 0) return;
  const NearestAxis columns(window.width, newWidth);
  const NearestAxis rows(window.height, newHeight);
  // The image column each target column copies, the same for every row. The
  // columns rise with the target column, so those inside the image are copied by
  // one run of target columns, [copyBegin, copyEnd); the others stay white.
  sourceColumns.resize(static_cast<std::size_t>(newWidth));
  std::int32_t copyBegin = newWidth;
  std::int32_t copyEnd = 0;
  for (std::int32_t x = 0; x < newWidth; ++x) {
    const std::int32_t column = columns.source(x);
    const std::int32_t sourceX = window.left + column;
    sourceColumns[static_cast<std::size_t>(x)] = sourceX;
    if (column >= 0 && sourceX >= 0 && sourceX < window.image.width) {
      copyBegin = std::min(copyBegin, x);
      copyEnd = x + 1;
    }
  }
  std::int32_t previousSourceY = -1;
  for (std::int32_t y = 0; y < newHeight; ++y) {
    const std::int32_t sourceY = rows.source(y);
    if (sourceY < 0 || sourceY >= window.image.height) continue;
    std::uint8_t* targetRow = target.row(y + offset) + offset;
    // Enlarging repeats source rows: a repeat copies the row just written.
    if (sourceY == previousSourceY) {
      std::memcpy(targetRow, target.row(y + offset - 1) + offset, static_cast<std::size_t>(newWidth));
      continue;
    }
    previousSourceY = sourceY;
    const std::uint8_t* sourceRow = window.image.row(sourceY);
    for (std::int32_t x = copyBegin; x < copyEnd; ++x)
      targetRow[x] = sourceRow[sourceColumns[static_cast<std::size_t>(x)]];
  }
}

// The scaled width of a character raster: trunc(width / (height / 60.0)).
std::int32_t scaledWidth(std::int32_t rasterWidth, std::int32_t rasterHeight) {
  if (rasterWidth <= 0 || rasterHeight <= 0) return 0;
  return static_cast<std::int32_t>(rasterWidth / (rasterHeight / static_cast<double>(kScaledHeight)));
}

// The measures of one character; the ratios are -1 for an empty skeleton.
struct CharacterMeasures {
  std::int32_t skeletonPixels = 0;  // S
  float inkPixels = 0.0f;           // P1
  float framedArea = 0.0f;          // A
  float thickness = -1.0f;          // N1 = P1 / S
  float wordPerSkeleton = -1.0f;    // N2 = R / S
  float areaPerSkeleton = -1.0f;    // N3 = A / S
};

// How many of the `count` pixels from `first` on may start a vector that stays
// inside `image`: a vector may run past a row's end, not past the image's.
std::int32_t vectorStartsInside(const GreyImage& image, std::size_t first, std::int32_t count) {
  const std::size_t left = image.pixels.size() - first;
  return std::min(count,
                  static_cast<std::int32_t>(std::min<std::size_t>(left, INT32_MAX) - (sixteen_pixels::kLanes - 1)));
}

// The pixels of the raster that are ink, sixteen at a time.
std::int32_t countInk(const GreyImage& image) {
  const std::size_t size = image.pixels.size();
  std::size_t at = 0;
  std::int32_t ink = 0;
  for (; at + sixteen_pixels::kLanes <= size; at += sixteen_pixels::kLanes) {
    ink += sixteen_pixels::inkCount(sixteen_pixels::load(image.pixels.data() + at));
  }
  for (; at < size; ++at) ink += image.pixels[at] != kWhite ? 1 : 0;
  return ink;
}

// Fills `ink` from the window, columns outside the image reading as white, as
// scaleInto reads them; returns whether any pixel is ink. Sixteen pixels at a
// time, the last vector of a row cut at the window's end.
bool readWindowInk(const SourceWindow& window, WindowInk& ink) {
  using namespace sixteen_pixels;
  ink.width = window.width;
  ink.height = window.height;
  const auto width = static_cast<std::size_t>(std::max(window.width, 0));
  ink.bits.assign((width * static_cast<std::size_t>(std::max(window.height, 0)) + 63) / 64, 0);
  const std::int32_t begin = std::max(window.left, 0);
  const std::int32_t end = std::min(window.left + window.width, window.image.width);
  std::uint64_t any = 0;
  for (std::int32_t y = 0; y < std::min(window.height, window.image.height); ++y) {
    const std::uint8_t* const row = window.image.row(y);
    // The bit of column x of this row.
    auto bitOf = [&](std::int32_t x) {
      return static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x - window.left);
    };
    std::int32_t x = begin;
    const std::size_t rowStart = static_cast<std::size_t>(row - window.image.pixels.data());
    for (const std::int32_t vectorEnd =
             begin + vectorStartsInside(window.image, rowStart + static_cast<std::size_t>(begin), end - begin);
         x < vectorEnd; x += kLanes) {
      const std::uint64_t sixteen = nonZeroLanes(inkLanes(load(row + x), end - x));
      const std::size_t at = bitOf(x);
      ink.bits[at / 64] |= sixteen << (at % 64);
      // Bits past the first word's end go to the next (only ink bits, which lie
      // inside the window).
      if (at % 64 > 48 && (sixteen >> (64 - at % 64)) != 0) ink.bits[at / 64 + 1] |= sixteen >> (64 - at % 64);
      any |= sixteen;
    }
    for (; x < end; ++x) {
      const std::uint64_t bit = row[x] != kWhite ? 1 : 0;
      const std::size_t at = bitOf(x);
      ink.bits[at / 64] |= bit << (at % 64);
      any |= bit;
    }
  }
  return any != 0;
}

// Scales the window to `width` x 60, frames it with one white pixel and thins it.
CharacterCounts countFramed(const SourceWindow& window, std::int32_t width, StrokeWidthScratch& scratch) {
  GreyImage& framed = scratch.framed;
  framed.width = width + 2;
  framed.height = kScaledHeight + 2;
  framed.pixels.assign(static_cast<std::size_t>(framed.width) * static_cast<std::size_t>(framed.height), kWhite);
  scaleInto(window, framed, 1, width, kScaledHeight, scratch.sourceColumns);
  CharacterCounts counts{countInk(framed), 0};
  // Thinning only removes ink, so a raster without ink has an empty skeleton.
  if (counts.ink != 0) {
    skeletonise(framed, scratch.thinning);
    counts.skeleton = countInk(framed);
  }
  return counts;
}

// Measures the character's columns of the working image scaled to a height of 60
// and framed. The counts depend only on the window's size and which of its
// pixels are ink (scaling copies pixels, the thinning and the counts see ink
// or not), so a window met before takes the counts it gave then.
CharacterMeasures measureCharacter(const GreyImage& working, const CharacterBox& box, const RowBox& row,
                                   float wordPixels, StrokeWidthScratch& scratch, CharacterCountsMemo& memo) {
  const SourceWindow window{working, box.left - row.left, box.width + 1, row.bottom - row.top + 1};
  const std::int32_t width = scaledWidth(window.width, window.height);
  CharacterCounts counts;
  // Scaling copies only the window's pixels, so a window without ink gives none.
  if (readWindowInk(window, scratch.window)) {
    if (const std::optional<CharacterCounts> known = memo.find(scratch.window)) {
      counts = *known;
    } else {
      counts = countFramed(window, width, scratch);
      memo.remember(scratch.window, counts);
    }
  }

  CharacterMeasures measures;
  measures.skeletonPixels = counts.skeleton;
  measures.inkPixels = static_cast<float>(counts.ink);
  measures.framedArea = static_cast<float>(static_cast<std::int64_t>(width + 2) * (kScaledHeight + 2));
  if (measures.skeletonPixels != 0) {
    const float skeleton = static_cast<float>(measures.skeletonPixels);
    measures.thickness = measures.inkPixels / skeleton;
    measures.wordPerSkeleton = wordPixels / skeleton;
    measures.areaPerSkeleton = measures.framedArea / skeleton;
  }
  return measures;
}

// The log block's pieces: text as it is, integers as "%d" and measures as "%f"
// write them.
void appendPiece(std::string& out, const char* text) { out += text; }
void appendPiece(std::string& out, std::int32_t value) { decimal_text::appendInteger(out, value); }
void appendPiece(std::string& out, float value) { decimal_text::appendFixed(out, value); }

template <typename... Pieces>
void appendPieces(std::string& out, Pieces... pieces) {
  (appendPiece(out, pieces), ...);
}

std::string logBlock(std::span<const CharacterBox> characters, std::span<const CharacterMeasures> measures,
                     float wordPixels, const RowBox& row, std::int32_t seedX, std::int32_t seedY,
                     std::int32_t consistent) {
  std::string block;
  appendPieces(block, "(Valid x ", seedX, " y ", seedY, "\n\t(\nchars \n");
  for (const CharacterBox& box : characters) {
    appendPieces(block, "\t(coords X1 ", box.left, " Y1 ", box.top, " X2 ", box.right, " Y2 ", box.bottom, " Wi ",
                 box.right - box.left, " Hi ", box.bottom - box.top, ")\n");
  }
  block += "\t)\n";
  const CharacterMeasures& last = measures.back();
  appendPieces(block, "\t(rootchar x1 ", row.left, " y1 ", row.top, " x2 ", row.right, " y2 ", row.bottom, " x ", seedX,
               " y ", seedY, " ScTot ", consistent, " Skelly ", last.skeletonPixels, " P1 ", last.inkPixels, " P2 ",
               wordPixels, " P3 ", last.framedArea, ")\n");
  block += "\t(normscores \n";
  for (const CharacterMeasures& character : measures) {
    appendPieces(block, "(Sk ", character.skeletonPixels, " N1 ", character.thickness, " N2 ",
                 character.wordPerSkeleton, " N3 ", character.areaPerSkeleton, " )\n");
  }
  block += "\t)\n)\n";
  return block;
}

}  // namespace

std::int32_t countConsistentThickness(std::span<const float> thickness) {
  if (thickness.empty()) return 0;
  double sum = 0.0;
  for (const float value : thickness) sum += value;
  const double mean = sum / static_cast<double>(thickness.size());
  const double low = mean - mean / 3;
  const double high = mean + mean / 3;
  std::int32_t consistent = 0;
  for (const float single : thickness) {
    const double value = single;
    if (low <= value && value < high) ++consistent;
    if (value < 2.5 || value > 35.0) break;
  }
  return consistent;
}

std::size_t WindowInkHash::operator()(const WindowInk& ink) const {
  std::uint64_t hash =
      static_cast<std::uint64_t>(static_cast<std::uint32_t>(ink.width)) << 32 | static_cast<std::uint32_t>(ink.height);
  for (const std::uint64_t word : ink.bits) hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
  return static_cast<std::size_t>(hash ^ hash >> 32);
}

std::optional<CharacterCounts> CharacterCountsMemo::find(const WindowInk& window) const {
  const std::shared_lock lock(mutex_);
  const auto known = countsByInk_.find(window);
  if (known == countsByInk_.end()) return std::nullopt;
  return known->second;
}

void CharacterCountsMemo::remember(const WindowInk& window, CharacterCounts counts) {
  const std::lock_guard lock(mutex_);
  if (rememberedWords_ + window.bits.size() > wordLimit_) {
    countsByInk_.clear();
    rememberedWords_ = 0;
  }
  // Another thread may have measured the same window meanwhile, to the same counts.
  if (countsByInk_.emplace(window, counts).second) rememberedWords_ += window.bits.size();
}

std::size_t CharacterCountsMemo::size() const {
  const std::shared_lock lock(mutex_);
  return countsByInk_.size();
}

std::size_t CharacterCountsMemo::rememberedWords() const {
  const std::shared_lock lock(mutex_);
  return rememberedWords_;
}

StrokeWidthVerdict strokeWidthTest(const GreyImage& working, std::span<const CharacterBox> characters,
                                   std::int32_t wordPixels, const RowBox& row, std::int32_t seedX, std::int32_t seedY,
                                   StrokeWidthScratch& scratch, CharacterCountsMemo& counts) {
  const float word = static_cast<float>(wordPixels);
  std::vector<CharacterMeasures> measures;
  std::vector<float> thickness;
  measures.reserve(characters.size());
  thickness.reserve(characters.size());
  for (const CharacterBox& box : characters) {
    measures.push_back(measureCharacter(working, box, row, word, scratch, counts));
    thickness.push_back(measures.back().thickness);
  }

  const double count = static_cast<double>(characters.size());
  const std::int32_t consistent = countConsistentThickness(thickness);
  const auto thinCharacters =
      std::ranges::count_if(measures, [](const CharacterMeasures& m) { return m.areaPerSkeleton < 15.0f; });

  StrokeWidthVerdict verdict;
  verdict.consistentThickness = 0.8 * count <= consistent;
  verdict.skeletonShorterThanWord =
      std::ranges::any_of(measures, [](const CharacterMeasures& m) { return m.wordPerSkeleton > 1.0f; });
  verdict.fewThinCharacters = static_cast<double>(thinCharacters) <= count / 4.5;
  if (verdict.valid()) verdict.logBlock = logBlock(characters, measures, word, row, seedX, seedY, consistent);
  return verdict;
}

}  // namespace glimmer
