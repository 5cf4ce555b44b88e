// The choice of a background grey and a text grey from the histogram of a
// small block of the page.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "common/shared_page.h"

namespace glimmer::detail {

// Grey counts of one block, visited by the greys present. A block of at most
// 255 pixels may count in bytes.
template <typename Count>
class BasicBlockHistogram {
 public:
  void add(std::uint8_t grey) {
    if (counts_[grey]++ == 0) {
      present_[grey / 64] |= std::uint64_t{1} << (grey % 64);
      ++greysPresent_;
    }
  }
  void remove(std::uint8_t grey) {
    if (--counts_[grey] == 0) {
      present_[grey / 64] &= ~(std::uint64_t{1} << (grey % 64));
      --greysPresent_;
    }
  }
  void clear() {
    forEach([&](std::int32_t grey, std::int32_t) { counts_[static_cast<std::size_t>(grey)] = 0; });
    present_ = {};
    greysPresent_ = 0;
  }
  bool holds(std::uint8_t grey) const { return counts_[grey] != 0; }

  // Calls visit(grey, count) for every grey present, ascending.
  template <typename Visit>
  void forEach(Visit visit) const {
    for (std::size_t word = 0; word < present_.size(); ++word) {
      for (std::uint64_t bits = present_[word]; bits != 0; bits &= bits - 1) {
        const auto grey = static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
        visit(grey, std::int32_t{counts_[static_cast<std::size_t>(grey)]});
      }
    }
  }

  std::int32_t greysPresent() const { return greysPresent_; }

  // The least grey present, or 256 when none is.
  std::int32_t darkestPresent() const {
    for (std::size_t word = 0; word < present_.size(); ++word) {
      if (present_[word] != 0) return static_cast<std::int32_t>(word * 64) + std::countr_zero(present_[word]);
    }
    return 256;
  }

  // The greatest grey present at or below `grey` (0..255), or -1.
  std::int32_t presentAtOrBelow(std::int32_t grey) const {
    std::uint64_t bits = present_[static_cast<std::size_t>(grey / 64)] & (~std::uint64_t{0} >> (63 - grey % 64));
    for (std::int32_t word = grey / 64;;) {
      if (bits != 0) return word * 64 + 63 - std::countl_zero(bits);
      if (--word < 0) return -1;
      bits = present_[static_cast<std::size_t>(word)];
    }
  }

 private:
  std::array<Count, 256> counts_{};
  std::array<std::uint64_t, 4> present_{};
  std::int32_t greysPresent_ = 0;
};

using BlockHistogram = BasicBlockHistogram<std::int32_t>;

// The histogram of the side x side block at (x, y), cut at the page edges,
// carried over from the block asked for before when the new one lies a few
// columns to its right (the row scan walks a row): the columns that leave are
// dropped and those that enter are read. The greys are kept as they were
// read, so the counts always match the pixels they came from.
class SlidingBlock {
 public:
  const BlockHistogram& moveTo(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side);

 private:
  void place(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side);
  auto reader(const SharedPage& page) {
    return [this, &page](std::int32_t x, std::int32_t y, std::uint8_t& slot) {
      slot = page.at(x, y);
      histogram_.add(slot);
    };
  }
  // Page pixel (x, y) of the block is kept in slot (y % side, x % side).
  // These call visit(x, y, slot) along row y of the block, or along column x.
  template <typename Visit>
  void alongRow(std::int32_t y, Visit visit);
  template <typename Visit>
  void alongColumn(std::int32_t x, Visit visit);

  bool placed_ = false;
  std::int32_t side_ = 0;
  std::int32_t x_ = 0;
  std::int32_t y_ = 0;
  std::int32_t right_ = 0;   // one past the block's last column inside the page
  std::int32_t bottom_ = 0;  // one past its last row inside the page
  BlockHistogram histogram_;
  std::vector<std::uint8_t> greys_;
};

struct ColourPair {
  std::int32_t background = 0;
  std::int32_t text = 0;
  std::int32_t backgroundCount = 0;
  bool operator==(const ColourPair&) const = default;
};

// The background grey and the text grey of a block. The greys present are
// taken in ascending order through one pass of adjacent compare-and-swap by
// count (not a sort: a strictly larger count moves one step towards the end,
// and with fewer than 255 greys the pass steps over runs of equal counts). The
// dominant grey D is then the last, which with ties need not be the most
// frequent one; the other grey O is the last earlier one at least 80 away from
// D, or the first. The grey with fewer pixels within `halfWidth` of it is the
// text; ties keep D as background. Nothing when the block is empty.
template <typename Count>
std::optional<ColourPair> splitHistogram(const BasicBlockHistogram<Count>& histogram, std::int32_t halfWidth);

// A pixel's grey and the pair of the block at it.
struct PixelPair {
  std::int32_t grey = 0;
  ColourPair pair;
  bool operator==(const PixelPair&) const = default;
};

// Byte vectors of 16 and 32 lanes, unsigned and signed. (A vector size taken
// from a template parameter is not kept by the compiler.)
template <std::int32_t Lanes>
struct ByteLanes;
template <>
struct ByteLanes<16> {
  using Unsigned = std::uint8_t __attribute__((vector_size(16)));
  using Signed = std::int8_t __attribute__((vector_size(16)));
};
template <>
struct ByteLanes<32> {
  using Unsigned = std::uint8_t __attribute__((vector_size(32)));
  using Signed = std::int8_t __attribute__((vector_size(32)));
};

// The pairs (`splitHistogram`) of the side x side blocks at every pixel of a
// strip of `Columns` columns, cut at the page edges, with the pixels' greys. A
// strip is counted walking the page down a row at a time, so each row of it is
// read once for all its blocks, rather than a row per pixel down each column.
// The order pass and the search for the second grey run for all the strip's
// blocks at once, a byte each in one vector, over the greys any of them holds.
// One page per strip: the page must not change while it is used.
template <std::int32_t Columns>
class BlockPairStripOf {
 public:
  static constexpr std::int32_t kMaxSide = 15;  // the counts, and the pixels of a block, fit bytes

  // Pixel (x, y), inside the page, and the pair of the block there; the block
  // holds that pixel, so its pair exists. Counts the strip from column x when
  // x lies outside it. Inline: the seed test asks at every pixel.
  PixelPair at(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side, std::int32_t halfWidth) {
    if (side != side_ || halfWidth != halfWidth_ || x < firstColumn_ || x >= endColumn_ || page.height() != height_) {
      recount(page, x, side, halfWidth);
    }
    const Pair& pair = pairs_[static_cast<std::size_t>(x - firstColumn_) * static_cast<std::size_t>(height_) +
                              static_cast<std::size_t>(y)];
    return {pair.grey, {pair.background, pair.text, pair.backgroundCount}};
  }

 private:
  struct Pair {
    std::uint8_t background = 0;
    std::uint8_t text = 0;
    std::uint8_t backgroundCount = 0;
    std::uint8_t grey = 0;
  };
  // One byte for each block of the strip, the block of the strip's first column first.
  using Lanes = typename ByteLanes<Columns>::Unsigned;

  // Counts the strip from column x for blocks of that side (1 to kMaxSide,
  // else std::invalid_argument) and half-width.
  void recount(const SharedPage& page, std::int32_t x, std::int32_t side, std::int32_t halfWidth);
  void count(const SharedPage& page, std::int32_t firstColumn);
  // Adds row y to every block of the strip.
  void addRow(const SharedPage& page, std::int32_t y);
  // Moves every block of the strip from row y a row down: row y leaves and
  // row y + side, if inside the page, enters. A pixel whose grey enters again
  // in its column leaves the counts as they are. False when no block's
  // counts changed.
  bool moveDown(const SharedPage& page, std::int32_t y);
  // Counts a pixel of grey `grey` in page column firstColumn_ + column, once
  // (step 1) or once less (step -1), in every block that holds the column.
  void countPixel(std::int32_t column, std::uint8_t grey, std::int32_t step);
  // The pairs of all the strip's blocks at row y: splitRowInline, for the
  // wide strip inlined and built for the 32-byte vector unit.
  void splitRow(std::int32_t y);
  void splitRowInline(std::int32_t y);

  std::int32_t side_ = 0;
  std::int32_t halfWidth_ = 0;
  std::int32_t firstColumn_ = 0;
  std::int32_t endColumn_ = 0;  // empty until first counted
  std::int32_t height_ = 0;
  // The rows of lanes are aligned to their size by hand: code built without
  // the 32-byte unit aligns a 32-byte vector to 16 bytes only, while the wide
  // split, built with it, loads them as aligned to 32.
  static constexpr std::size_t kLanesAlignment = sizeof(Lanes);
  alignas(kLanesAlignment) std::array<Lanes, 256> counts_{};  // per grey, its count in each block
  std::array<std::int32_t, 256> inAllBlocks_{};               // per grey, its counts in all blocks together
  // The greys some block holds, each counted once.
  BasicBlockHistogram<std::uint8_t> held_;
  // Per column of the strip and the side past it, 1 in the lane of each block
  // that holds it, and how many blocks do.
  alignas(kLanesAlignment) std::array<Lanes, Columns + kMaxSide> holders_{};
  std::array<std::int32_t, Columns + kMaxSide> holderCount_{};
  // Working rows of splitRow: per grey held, what the order pass passed on
  // there; per grey from the darkest held to the lightest, each block's pixels
  // of that grey or darker (a grey no block holds adds none).
  alignas(kLanesAlignment) std::array<Lanes, 256> passedAt_{};
  alignas(kLanesAlignment) std::array<Lanes, 256> pixelsUpTo_{};
  std::vector<Pair> pairs_;  // column after column
};

// The seed test's pairs: a strip of 32 columns where the processor has 32-byte
// vectors, else of 16. Both give the same pairs; the wider strip splits twice
// the blocks a vector step.
class BlockPairStrip {
 public:
  enum class Width { kNarrow, kWide };

  BlockPairStrip() : BlockPairStrip(wideRuns() ? Width::kWide : Width::kNarrow) {}
  explicit BlockPairStrip(Width width);
  // Whether this processor runs the wide strip's vectors.
  static bool wideRuns();

  PixelPair at(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side, std::int32_t halfWidth) {
    return std::visit([&](auto& strip) { return strip.at(page, x, y, side, halfWidth); }, strip_);
  }

 private:
  std::variant<BlockPairStripOf<16>, BlockPairStripOf<32>> strip_;
};

}  // namespace glimmer::detail
