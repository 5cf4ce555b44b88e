#include "analysis/detail/row_bits_growth.h"

#include <algorithm>
#include <bit>
#include <cassert>

#include "analysis/detail/bit_lanes.h"

namespace glimmer::detail {

namespace {

// The bits of each run of `runs` from its lowest bit in `from` up to its top:
// adding a bit carries through the ones above it and stops past the run.
std::uint64_t spreadUp(std::uint64_t runs, std::uint64_t from) { return runs & (((runs + from) ^ runs) | from); }

// The bits of each run of `runs` from its highest bit in `from` down to its
// bottom. No carry runs downwards, so the bits move down in doubling steps:
// after the step of n, `filled` holds every run bit at most 2n - 1 run bits
// below a bit of `from`, and `open` the bits with 2n - 1 run bits right above.
std::uint64_t spreadDown(std::uint64_t runs, std::uint64_t from) {
  std::uint64_t filled = from;
  std::uint64_t open = runs;
  for (int step = 1; step < 64; step *= 2) {
    filled |= open & (filled >> step);
    open &= open >> step;
  }
  return filled;
}

// The runs of `runs` that hold a bit of `from` (a subset of runs), whole.
std::uint64_t runsHolding(std::uint64_t runs, std::uint64_t from) { return spreadDown(runs, spreadUp(runs, from)); }

// How many bits are set. std::popcount is a library call where the build
// cannot assume the processor counts bits itself.
std::int32_t bitCount(std::uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555u;
  bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
  bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0fu;
  return static_cast<std::int32_t>((bits * 0x0101010101010101u) >> 56);
}

#if defined(__SSE2__)
// The bits of the 64 greys from `row` with grey - first <= span, unsigned:
// min(grey - first, span) == grey - first, sixteen greys a step.
std::uint64_t joiningInFullRow(const std::uint8_t* row, std::uint8_t first, std::uint8_t span) {
  const __m128i firstGrey = _mm_set1_epi8(static_cast<char>(first));
  const __m128i lastOffset = _mm_set1_epi8(static_cast<char>(span));
  std::uint64_t bits = 0;
  for (std::int32_t i = 0; i < 64; i += 16) {
    const __m128i offset = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i)), firstGrey);
    const __m128i joins = _mm_cmpeq_epi8(_mm_min_epu8(offset, lastOffset), offset);
    bits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(joins))} << i;
  }
  return bits;
}
#endif

}  // namespace

RowBitsGrowth::RowBitsGrowth(const SharedPage& page, std::int32_t target, std::int32_t tolerance,
                             const VisitedMap* proofs)
    : page_(page), proofs_(proofs != nullptr && proofs->holdsProofs() ? proofs : nullptr), target_(target) {
  // target - tolerance < grey <= target + tolerance, as whole greys.
  rangeFirst_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{target} - tolerance + 1, 0, 256));
  rangeLast_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{target} + tolerance, -1, 255));
}

std::uint64_t RowBitsGrowth::joiningIn(std::int32_t y) const {
  if (rangeFirst_ > rangeLast_) return 0;
  const std::int32_t columns = std::min(kColumns, page_.width() - left_);
  const std::uint8_t* row = page_.row(y) + left_;
  const auto first = static_cast<std::uint8_t>(rangeFirst_);
  const auto span = static_cast<std::uint8_t>(rangeLast_ - rangeFirst_);
#if defined(__SSE2__)
  if (columns == kColumns) return joiningInFullRow(row, first, span);
#endif
  std::uint64_t bits = 0;
  for (std::int32_t i = 0; i < columns; ++i) {
    bits |= std::uint64_t{static_cast<std::uint8_t>(row[i] - first) <= span} << i;
  }
  return bits;
}

void RowBitsGrowth::load(std::int32_t y) {
  joining_[static_cast<std::size_t>(y - firstRow_)] = joiningIn(y);
  blob_[static_cast<std::size_t>(y - firstRow_)] = 0;
}

RowBitsGrowth::Outcome RowBitsGrowth::start(std::int32_t startX, std::int32_t startY, std::int32_t limit, Lean lean) {
  const std::int32_t columnsLeftOfStart =
      lean == Lean::kNone ? kColumns / 2 : (lean == Lean::kLeft ? kColumns - kLeanMargin : kLeanMargin);
  left_ = std::clamp(startX - columnsLeftOfStart, 0, std::max(0, page_.width() - kColumns));
  sidesMet_ = 0;
  const std::int32_t columns = std::min(kColumns, page_.width() - left_);
  onPage_ = columns == kColumns ? ~std::uint64_t{0} : (std::uint64_t{1} << columns) - 1;
  openSides_ =
      (left_ > 0 ? std::uint64_t{1} : 0) | (left_ + kColumns < page_.width() ? std::uint64_t{1} << (kColumns - 1) : 0);
  firstRow_ = std::max(0, startY - kRowsEachWay);
  endRow_ = std::min(page_.height(), startY + kRowsEachWay + 1);
  top_ = bottom_ = startY;
  load(startY);
  const std::uint64_t start = std::uint64_t{1} << (startX - left_);
  const std::uint64_t joining = joining_[static_cast<std::size_t>(startY - firstRow_)];
  assert((joining & start) != 0);
  const std::uint64_t run = runsHolding(joining, start);
  blob_[static_cast<std::size_t>(startY - firstRow_)] = run;
  pixelCount_ = bitCount(run);
  noteSidesMet(run);
  if (pixelCount_ > limit || meetsProof(startY, run)) return Outcome::kOverflows;
  return Outcome::kGrown;
}

bool RowBitsGrowth::meetsProof(std::int32_t y, std::uint64_t gained) const {
  if (proofs_ == nullptr) return false;
  const std::size_t rowStart = SharedPage::offset(left_, y, page_.width());
  for (std::uint64_t bits = gained; bits != 0; bits &= bits - 1) {
    if (proofs_->proven(rowStart + static_cast<std::size_t>(std::countr_zero(bits)))) return true;
  }
  return false;
}

std::uint64_t RowBitsGrowth::spreadRow(std::int32_t y) {
  const std::uint64_t beside = reachedIn(y - 1) | reachedIn(y + 1);
  const std::uint64_t joining = joining_[static_cast<std::size_t>(y - firstRow_)];
  std::uint64_t& row = blob_[static_cast<std::size_t>(y - firstRow_)];
  const std::uint64_t reached = joining & (beside | beside << 1 | beside >> 1) & ~row;
  if (reached == 0) return 0;
  const std::uint64_t grown = runsHolding(joining, row | reached);
  const std::uint64_t gained = grown & ~row;
  pixelCount_ += bitCount(gained);
  row = grown;
  return gained;
}

std::int32_t RowBitsGrowth::rowPast(std::int32_t y, std::int32_t step) {
  const std::int32_t next = y + step;
  if (reachedIn(y) == 0 || next < 0 || next >= page_.height()) return -1;
  if (next < firstRow_ || next >= endRow_) {
    sidesMet_ |= kRowsEnd;
    return -1;
  }
  load(next);
  (step > 0 ? bottom_ : top_) = next;
  // The page's rows are far apart, and a blob is mostly taken in a row after
  // another: the window's part of a row a few ahead is asked for while this
  // one is worked. (Moved into a function of its own, the request was taken
  // for one without effect and dropped.)
  if (const std::int32_t ahead = next + kRowsAhead * step; ahead >= firstRow_ && ahead < endRow_) {
    const std::uint8_t* const row = page_.row(ahead) + left_;
    __builtin_prefetch(row);
    __builtin_prefetch(row + kColumns - 1);
  }
  return next;
}

void RowBitsGrowth::noteSidesMet(std::uint64_t gained) {
  if ((gained & openSides_ & 1) != 0) sidesMet_ |= kLeftSide;
  if ((gained & openSides_ & ~std::uint64_t{1}) != 0) sidesMet_ |= kRightSide;
}

RowBitsGrowth::Lean RowBitsGrowth::leanToLeave() const {
  if (sidesMet_ == kLeftSide) return Lean::kLeft;
  if (sidesMet_ == kRightSide) return Lean::kRight;
  return Lean::kNone;
}

RowBitsGrowth::Outcome RowBitsGrowth::grow(std::int32_t startX, std::int32_t startY, std::int32_t limit) {
  const Outcome centred = growIn(startX, startY, limit, Lean::kNone);
  const Lean lean = leanToLeave();
  if (centred != Outcome::kLeavesWindow || lean == Lean::kNone) return centred;
  return growIn(startX, startY, limit, lean);
}

RowBitsGrowth::Outcome RowBitsGrowth::growIn(std::int32_t startX, std::int32_t startY, std::int32_t limit, Lean lean) {
  if (start(startX, startY, limit, lean) == Outcome::kOverflows) return Outcome::kOverflows;
  // A sweep spreads each row from both rows beside it and goes on past the
  // row at its far end, while the row past its near end was looked at by the
  // sweep before, the other way. So once a sweep after the first grows no
  // row, no row can grow; the sweeps an unchanged one would go on to grow
  // nothing either, and meet no side of the window the sweeps before did not.
  // A blob that meets a side of the window is still grown inside it: its part
  // there is connected, so when that part alone is too large, so is the blob.
  for (bool first = true;; first = false) {
    const Sweep down = sweep(1, limit);
    if (down == Sweep::kOverflows) return Outcome::kOverflows;
    if (down == Sweep::kUnchanged && !first) break;
    const Sweep up = sweep(-1, limit);
    if (up == Sweep::kOverflows) return Outcome::kOverflows;
    if (up == Sweep::kUnchanged) break;
  }
  return sidesMet_ == 0 ? Outcome::kGrown : Outcome::kLeavesWindow;
}

RowBitsGrowth::Sweep RowBitsGrowth::sweep(std::int32_t step, std::int32_t limit) {
  bool grew = false;
  for (std::int32_t y = step > 0 ? top_ : bottom_; y >= 0;) {
    if (const std::uint64_t gained = spreadRow(y); gained != 0) {
      grew = true;
      noteSidesMet(gained);
      if (pixelCount_ > limit || meetsProof(y, gained)) return Sweep::kOverflows;
    }
    y = (step > 0 ? y == bottom_ : y == top_) ? rowPast(y, step) : y + step;
  }
  return grew ? Sweep::kGrew : Sweep::kUnchanged;
}

void RowBitsGrowth::pixelsReached(PixelList& pixels, BlobExtent& extent) const {
  pixels.resize(static_cast<std::size_t>(pixelCount_));
  PixelPoint* next = pixels.data();
  forEachRowReached([&](std::int32_t y, std::uint64_t row) {
    for (std::uint64_t bits = row; bits != 0; bits &= bits - 1) *next++ = {left_ + std::countr_zero(bits), y};
  });
  assert(next == pixels.data() + pixels.size());
  extent = extentReached();
}

BlobExtent RowBitsGrowth::extentReached() const {
  // Built in a local, so that the extent stays in registers.
  BlobExtent reached{page_.width(), page_.height(), -1, -1, pixelCount_, 255, 0};
#if defined(__SSE2__)
  // Sixteen greys at a time where the window lies whole on the page: those
  // not reached count as white for the darkest and black for the lightest.
  __m128i darkest = _mm_set1_epi8(-1);
  __m128i lightest = _mm_setzero_si128();
  const bool bySixteen = onPage_ == ~std::uint64_t{0};
#endif
  forEachRowReached([&](std::int32_t y, std::uint64_t row) {
    reached.top = std::min(reached.top, y);
    reached.bottom = y;
    reached.left = std::min(reached.left, left_ + std::countr_zero(row));
    reached.right = std::max(reached.right, left_ + kColumns - 1 - std::countl_zero(row));
    const std::uint8_t* const greys = page_.row(y) + left_;
#if defined(__SSE2__)
    if (bySixteen) {
      for (std::int32_t i = 0; i < kColumns; i += 16) {
        if ((row >> i & 0xffff) == 0) continue;
        const __m128i reachedLanes = lanesOfBits(row, i);
        const __m128i lane = _mm_loadu_si128(reinterpret_cast<const __m128i*>(greys + i));
        darkest = _mm_min_epu8(darkest, _mm_or_si128(lane, _mm_andnot_si128(reachedLanes, _mm_set1_epi8(-1))));
        lightest = _mm_max_epu8(lightest, _mm_and_si128(lane, reachedLanes));
      }
      return;
    }
#endif
    for (std::uint64_t bits = row; bits != 0; bits &= bits - 1) {
      const std::int32_t grey = greys[std::countr_zero(bits)];
      reached.darkest = std::min(reached.darkest, grey);
      reached.lightest = std::max(reached.lightest, grey);
    }
  });
#if defined(__SSE2__)
  if (bySixteen) {
    reached.darkest = leastLane(darkest);
    reached.lightest = greatestLane(lightest);
  }
#endif
  return reached;
}

BorderGreys RowBitsGrowth::border() const {
  BorderGreys border;
#if defined(__SSE2__)
  // Sixteen greys at a time where the window lies whole on the page and the
  // target is a grey: the lightest of those beside the area at or below the
  // target, the darkest of those above it, and whether there are any of each.
  const bool bySixteen = onPage_ == ~std::uint64_t{0} && target_ >= 0 && target_ <= 255;
  const __m128i target = _mm_set1_epi8(static_cast<char>(target_));
  __m128i below = _mm_setzero_si128();
  __m128i above = _mm_set1_epi8(-1);
  int anyBelow = 0;
  int anyAbove = 0;
#endif
  // The area never reaches an open side, so every neighbour lies in the window
  // or off the page.
  for (std::int32_t y = std::max(top_ - 1, 0); y <= std::min(bottom_ + 1, page_.height() - 1); ++y) {
    const std::uint64_t near = reachedIn(y - 1) | reachedIn(y) | reachedIn(y + 1);
    const std::uint64_t beside = (near | near << 1 | near >> 1) & ~reachedIn(y) & onPage_;
    const std::uint8_t* const greys = page_.row(y) + left_;
#if defined(__SSE2__)
    if (bySixteen) {
      for (std::int32_t i = 0; i < kColumns; i += 16) {
        if ((beside >> i & 0xffff) == 0) continue;
        const __m128i besideLanes = lanesOfBits(beside, i);
        const __m128i lane = _mm_loadu_si128(reinterpret_cast<const __m128i*>(greys + i));
        const __m128i atOrBelow = _mm_cmpeq_epi8(_mm_min_epu8(lane, target), lane);
        const __m128i belowLanes = _mm_and_si128(besideLanes, atOrBelow);
        const __m128i aboveLanes = _mm_andnot_si128(atOrBelow, besideLanes);
        below = _mm_max_epu8(below, _mm_and_si128(lane, belowLanes));
        above = _mm_min_epu8(above, _mm_or_si128(lane, _mm_andnot_si128(aboveLanes, _mm_set1_epi8(-1))));
        anyBelow |= _mm_movemask_epi8(belowLanes);
        anyAbove |= _mm_movemask_epi8(aboveLanes);
      }
      continue;
    }
#endif
    for (std::uint64_t bits = beside; bits != 0; bits &= bits - 1) {
      const std::int32_t column = std::countr_zero(bits);
      const std::int32_t grey = greys[column];
      if (grey <= target_) {
        border.below = std::max(border.below, grey);
      } else {
        border.above = std::min(border.above, grey);
      }
    }
  }
#if defined(__SSE2__)
  if (bySixteen) {
    if (anyBelow != 0) border.below = greatestLane(below);
    if (anyAbove != 0) border.above = leastLane(above);
  }
#endif
  return border;
}

}  // namespace glimmer::detail
