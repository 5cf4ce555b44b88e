// The choice of a background grey and a text grey from the histogram of a
// small block of the page.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/shared_page.h"

namespace glimmer::detail {

// Grey counts of one block, visited by the greys present.
class BlockHistogram {
 public:
  void add(std::uint8_t grey) {
    ++counts_[grey];
    present_[grey / 64] |= std::uint64_t{1} << (grey % 64);
  }
  void remove(std::uint8_t grey) {
    if (--counts_[grey] == 0) present_[grey / 64] &= ~(std::uint64_t{1} << (grey % 64));
  }
  void clear() {
    forEach([&](std::int32_t grey, std::int32_t) { counts_[static_cast<std::size_t>(grey)] = 0; });
    present_ = {};
  }

  // Calls visit(grey, count) for every grey present, ascending.
  template <typename Visit>
  void forEach(Visit visit) const {
    for (std::size_t word = 0; word < present_.size(); ++word) {
      for (std::uint64_t bits = present_[word]; bits != 0; bits &= bits - 1) {
        const auto grey = static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
        visit(grey, counts_[static_cast<std::size_t>(grey)]);
      }
    }
  }

 private:
  std::array<std::int32_t, 256> counts_{};
  std::array<std::uint64_t, 4> present_{};
};

// The histogram of the side x side block at (x, y), cut at the page edges,
// carried over from the block asked for before when the new one lies a row
// below it (the seed test walks a column from the top down) or a few columns
// to its right (the row scan walks a row): the rows or columns that leave are
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

struct ColourEntry {
  std::int32_t colour = 0;
  std::int32_t count = 0;
  bool operator==(const ColourEntry&) const = default;
};

// The greys present in a block with their counts; storage for all 256 greys,
// reused from call to call.
class ColourList {
 public:
  void clear() { size_ = 0; }
  void append(ColourEntry entry) { entries_[static_cast<std::size_t>(size_++)] = entry; }
  std::span<ColourEntry> entries() { return {entries_.data(), static_cast<std::size_t>(size_)}; }
  std::span<const ColourEntry> entries() const { return {entries_.data(), static_cast<std::size_t>(size_)}; }

 private:
  std::array<ColourEntry, 256> entries_{};
  std::int32_t size_ = 0;
};

struct ColourPair {
  std::int32_t background = 0;
  std::int32_t text = 0;
  std::int32_t backgroundCount = 0;
  bool operator==(const ColourPair&) const = default;
};

// One pass of adjacent compare-and-swap by count, not a sort: it moves a
// strictly larger count one step towards the end, and with fewer than 255
// entries it steps over runs of equal counts. The last entry is then taken as
// the dominant grey, which with ties need not be the most frequent one.
void orderPass(std::span<ColourEntry> entries);

// Lists the greys present in ascending order and runs `orderPass` once.
void buildColourList(const BlockHistogram& histogram, ColourList& list);

// Dominant grey D = the last entry; the other grey O = the last earlier entry
// at least 80 away from D, or the first entry. The grey with fewer pixels
// within `halfWidth` of it is the text; ties keep D as background.
std::optional<ColourPair> splitColours(std::span<const ColourEntry> entries, std::int32_t halfWidth);

}  // namespace glimmer::detail
