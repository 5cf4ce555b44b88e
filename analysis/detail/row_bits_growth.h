// Blob growth a row of 64 pixels at a time, as bits, for the seed test and the
// row scans: which pixels of a window around the start join the grey range,
// and which of those the blob has reached.
#pragma once

#include <array>
#include <cstdint>

#include "analysis/detail/blob_growth.h"
#include "common/shared_page.h"

namespace glimmer::detail {

// Grows the 8-connected area of one grey range around a start inside it,
// within a window of 64 columns and 127 rows centred on the start (moved
// inside the page where it can be). A row of the blob spreads along its runs
// of joining pixels in a few word operations, and to the rows above and below
// through its neighbours; sweeps down and up repeat until nothing changes.
// The blob is the start's whole area unless it reaches an edge of the window
// that is not an edge of the page: unless its part inside the window is
// already too large, the growth then gives up and the caller grows pixel by
// pixel.
class RowBitsGrowth {
 public:
  enum class Outcome {
    kGrown,        // the start's whole area, of at most `limit` pixels
    kOverflows,    // a connected part of the area holds more than `limit` pixels, or a proven one
    kLeavesWindow  // the area may go on past the window
  };

  // With `proofs`, a growth that reaches a pixel proven in that map (see
  // VisitedMap) overflows there, as the row scans' growths do.
  RowBitsGrowth(const SharedPage& page, std::int32_t target, std::int32_t tolerance,
                const VisitedMap* proofs = nullptr);

  // The start must join the range. The seed memo's known overflowing areas
  // are not looked up here as its pixel-by-pixel growth does: a lookup a
  // pixel cost more than the growths it cut short spared. An area that
  // leaves the window by its left or its right side alone is grown once more
  // in a window reaching that way: most that leave are words, wider than
  // they are high, that the start lies near one end of.
  Outcome grow(std::int32_t startX, std::int32_t startY, std::int32_t limit);

  // After kGrown or kOverflows: the pixels reached, in no particular order,
  // and their extent.
  void pixelsReached(PixelList& pixels, BlobExtent& extent) const;
  BlobExtent extentReached() const;
  // After kGrown or kOverflows: calls visit(y, bits) for each row the blob
  // reached, bit i of `bits` standing for column windowLeft() + i.
  template <typename Visit>
  void forEachRowReached(Visit visit) const {
    for (std::int32_t y = top_; y <= bottom_; ++y) {
      if (const std::uint64_t row = reachedIn(y); row != 0) visit(y, row);
    }
  }
  std::int32_t windowLeft() const { return left_; }
  // After kGrown: the greys beside the area, all outside the range.
  BorderGreys border() const;

 private:
  static constexpr std::int32_t kColumns = 64;
  static constexpr std::int32_t kRowsEachWay = 63;
  static constexpr std::int32_t kLeanMargin = 8;  // columns on the near side of a leaning window
  static constexpr std::int32_t kRowsAhead = 4;   // how far ahead of a sweep the page is read

  // Which way the window reaches furthest from the start: centred, or with
  // most of its columns left or right of it.
  enum class Lean { kNone, kLeft, kRight };
  Outcome growIn(std::int32_t startX, std::int32_t startY, std::int32_t limit, Lean lean);

  std::uint64_t joiningIn(std::int32_t y) const;
  // The blob's pixels in row y, none outside the rows loaded.
  std::uint64_t reachedIn(std::int32_t y) const {
    return y < top_ || y > bottom_ ? 0 : blob_[static_cast<std::size_t>(y - firstRow_)];
  }
  void load(std::int32_t y);
  // Places the window and reaches the start's run of its row.
  Outcome start(std::int32_t startX, std::int32_t startY, std::int32_t limit, Lean lean);
  // Notes the window's open sides that pixels gained in a row lie on.
  void noteSidesMet(std::uint64_t gained);
  // Where a window would reach further: towards the one open side met, when
  // the blob met no other and no end of the window's rows.
  Lean leanToLeave() const;
  // Spreads row y from the blob's rows beside it; returns the pixels it gained.
  std::uint64_t spreadRow(std::int32_t y);
  // The next row a sweep by `step` takes in past row y, the last loaded on
  // that side, or -1 when it ends there (noted when the blob goes on past
  // the window's rows).
  std::int32_t rowPast(std::int32_t y, std::int32_t step);
  // Sweeps rows down (step 1) or up (step -1) from the blob's first row on
  // that side, taking in a row past the last while the blob reaches it.
  enum class Sweep { kUnchanged, kGrew, kOverflows };
  Sweep sweep(std::int32_t step, std::int32_t limit);

  // Whether one of the pixels gained in row y is proven.
  bool meetsProof(std::int32_t y, std::uint64_t gained) const;

  const SharedPage& page_;
  const VisitedMap* proofs_;
  std::int32_t target_;
  std::int32_t rangeFirst_ = 0;  // the range's greys, clamped to 0..255; none when first > last
  std::int32_t rangeLast_ = -1;
  std::int32_t left_ = 0;        // the window's first column
  std::uint64_t onPage_ = 0;     // the window's columns inside the page
  std::uint64_t openSides_ = 0;  // its first and last column where the page goes on past them
  std::int32_t firstRow_ = 0;    // the window's rows, [firstRow_, endRow_)
  std::int32_t endRow_ = 0;
  std::int32_t top_ = 0;  // the rows loaded, [top_, bottom_]
  std::int32_t bottom_ = 0;
  std::int32_t pixelCount_ = 0;
  // The open sides the blob met: window columns, and the ends of its rows.
  enum : std::uint32_t { kLeftSide = 1, kRightSide = 2, kRowsEnd = 4 };
  std::uint32_t sidesMet_ = 0;
  // Per row loaded, from the window's first row: which pixels join the range,
  // and which the blob has reached. Each is set as its row is loaded, before
  // it is read, so neither is cleared for a growth.
  std::array<std::uint64_t, 2 * kRowsEachWay + 1> joining_;
  std::array<std::uint64_t, 2 * kRowsEachWay + 1> blob_;
};

}  // namespace glimmer::detail
