#include "analysis/detail/colour_split.h"

#include <algorithm>
#include <stdexcept>

namespace glimmer::detail {

namespace {

constexpr std::int32_t kColourDistance = 80;

bool farApart(std::int32_t dominant, std::int32_t colour) {
  return dominant < colour - kColourDistance || dominant >= colour + kColourDistance;
}

// The grey with fewer pixels near it is the text; ties keep the dominant as background.
ColourPair pairOf(std::int32_t dominant, std::int32_t other, std::int32_t nearDominant, std::int32_t nearOther) {
  if (nearDominant < nearOther) return ColourPair{other, dominant, nearOther};
  return ColourPair{dominant, other, nearDominant};
}

// The pixels of the greys c with colour - halfWidth < c <= colour + halfWidth
// (none for a half-width of 0 or less): the pixels up to the top of that
// window less those up to its bottom. pixelsAtOrBelow(grey) gives the pixels
// of that grey (0..255) or darker.
template <typename PixelsAtOrBelow>
std::int32_t countNear(std::int32_t colour, std::int32_t halfWidth, PixelsAtOrBelow pixelsAtOrBelow) {
  if (halfWidth <= 0) return 0;
  const auto upTo = [&](std::int64_t top) -> std::int32_t {
    return top < 0 ? 0 : pixelsAtOrBelow(static_cast<std::int32_t>(std::min<std::int64_t>(top, 255)));
  };
  return upTo(std::int64_t{colour} + halfWidth) - upTo(std::int64_t{colour} - halfWidth);
}

}  // namespace

template <typename Visit>
void SlidingBlock::alongRow(std::int32_t y, Visit visit) {
  std::uint8_t* row = greys_.data() + static_cast<std::size_t>(y % side_) * static_cast<std::size_t>(side_);
  std::int32_t column = x_ % side_;
  for (std::int32_t px = x_; px < right_; ++px) {
    visit(px, y, row[column]);
    if (++column == side_) column = 0;
  }
}

template <typename Visit>
void SlidingBlock::alongColumn(std::int32_t x, Visit visit) {
  std::uint8_t* column = greys_.data() + static_cast<std::size_t>(x % side_);
  std::int32_t row = y_ % side_;
  for (std::int32_t py = y_; py < bottom_; ++py) {
    visit(x, py, column[static_cast<std::size_t>(row) * static_cast<std::size_t>(side_)]);
    if (++row == side_) row = 0;
  }
}

const BlockHistogram& SlidingBlock::moveTo(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side) {
  const auto read = reader(page);
  const auto drop = [&](std::int32_t, std::int32_t, std::uint8_t grey) { histogram_.remove(grey); };
  if (!placed_ || side != side_ || side <= 0) {
    place(page, x, y, side);
  } else if (y == y_ && x > x_ && x - x_ < side_ / 2) {
    // Sliding costs two columns a step, reading afresh a side of them.
    for (; x_ < x; ++x_) {
      alongColumn(x_, drop);
      if (x_ + side_ < page.width()) alongColumn(x_ + side_, read);
    }
    right_ = std::min(x_ + side_, page.width());
  } else if (x != x_ || y != y_) {
    place(page, x, y, side);
  }
  return histogram_;
}

void SlidingBlock::place(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side) {
  placed_ = true;
  side_ = side;
  x_ = x;
  y_ = y;
  right_ = std::min(x + side, page.width());
  bottom_ = std::min(y + side, page.height());
  greys_.resize(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
  histogram_.clear();
  for (std::int32_t py = y; py < bottom_; ++py) alongRow(py, reader(page));
}

// The order pass runs over the greys as they come, ascending: `held` is the
// entry at the pass's position, either carried on from the left or the next
// one reached; a smaller count meeting it is passed at once, so every entry
// is final when it leaves. In a run of equal counts the pass only steps on, and
// takes the entry after the run without comparing. The near counts are the
// counts of the greys c with c - halfWidth <= colour < c + halfWidth, that is
// colour - halfWidth < c <= colour + halfWidth, taken as a difference of the
// running pixel counts.
template <typename Count>
std::optional<ColourPair> splitHistogram(const BasicBlockHistogram<Count>& histogram, std::int32_t halfWidth) {
  const std::int32_t greys = histogram.greysPresent();
  if (greys == 0) return std::nullopt;
  const bool stepsOverEqualRuns = greys < 255;
  // The final order but the last entry from passed[1]; the first step, with
  // nothing held yet, fills passed[0].
  std::array<std::uint8_t, 257> passed;
  std::array<std::int32_t, 256> pixelsUpTo;  // at a grey present: the pixels of that grey or darker
  std::int32_t passedCount = 0;
  std::int32_t heldColour = 0;
  std::int32_t heldCount = -1;
  bool inEqualRun = false;
  std::int32_t pixels = 0;
  histogram.forEach([&](std::int32_t colour, std::int32_t count) {
    pixels += count;
    pixelsUpTo[static_cast<std::size_t>(colour)] = pixels;
    const bool passes = !inEqualRun && heldCount > count;
    passed[static_cast<std::size_t>(passedCount++)] = static_cast<std::uint8_t>(passes ? colour : heldColour);
    inEqualRun = !passes && stepsOverEqualRuns && heldCount == count;
    heldColour = passes ? heldColour : colour;
    heldCount = passes ? heldCount : count;
  });
  const std::int32_t dominant = heldColour;
  std::int32_t other = greys > 1 ? passed[1] : dominant;
  // Every grey present but the dominant one was passed; when none lies far
  // from it, the search would find none.
  const bool anyFar =
      farApart(dominant, histogram.darkestPresent()) || farApart(dominant, histogram.presentAtOrBelow(255));
  for (std::int32_t i = anyFar ? passedCount : 0; --i > 0;) {
    if (farApart(dominant, passed[static_cast<std::size_t>(i)])) {
      other = passed[static_cast<std::size_t>(i)];
      break;
    }
  }
  const auto near = [&](std::int32_t colour) {
    return countNear(colour, halfWidth, [&](std::int32_t top) {
      const std::int32_t grey = histogram.presentAtOrBelow(top);
      return grey < 0 ? 0 : pixelsUpTo[static_cast<std::size_t>(grey)];
    });
  };
  return pairOf(dominant, other, near(dominant), near(other));
}

template std::optional<ColourPair> splitHistogram(const BasicBlockHistogram<std::int32_t>&, std::int32_t);
template std::optional<ColourPair> splitHistogram(const BasicBlockHistogram<std::uint8_t>&, std::int32_t);

template <std::int32_t Columns>
void BlockPairStripOf<Columns>::countPixel(std::int32_t column, std::uint8_t grey, std::int32_t step) {
  const auto at = static_cast<std::size_t>(column);
  const std::int32_t before = inAllBlocks_[grey];
  inAllBlocks_[grey] += step * holderCount_[at];
  if (step > 0) {
    counts_[grey] += holders_[at];
    if (before == 0 && inAllBlocks_[grey] != 0) held_.add(grey);
  } else {
    counts_[grey] -= holders_[at];
    if (before != 0 && inAllBlocks_[grey] == 0) held_.remove(grey);
  }
}

template <std::int32_t Columns>
void BlockPairStripOf<Columns>::addRow(const SharedPage& page, std::int32_t y) {
  const std::int32_t pageEnd = std::min(endColumn_ + side_ - 1, page.width());
  for (std::int32_t px = firstColumn_; px < pageEnd; ++px) countPixel(px - firstColumn_, page.at(px, y), 1);
}

template <std::int32_t Columns>
bool BlockPairStripOf<Columns>::moveDown(const SharedPage& page, std::int32_t y) {
  const bool entering = y + side_ < height_;
  // Each page column's pixels are read and compared once, and counted in all
  // the blocks that hold the column at once.
  const std::int32_t pageEnd = std::min(endColumn_ + side_ - 1, page.width());
  bool changed = false;
  for (std::int32_t px = firstColumn_; px < pageEnd; ++px) {
    const std::uint8_t leaving = page.at(px, y);
    const std::uint8_t entered = entering ? page.at(px, y + side_) : 0;
    if (entering && entered == leaving) continue;
    countPixel(px - firstColumn_, leaving, -1);
    if (entering) countPixel(px - firstColumn_, entered, 1);
    changed = true;
  }
  return changed;
}

// splitHistogram for every block of the strip at once, one byte a block. A
// grey no block holds would step no block's pass, so only the greys held are
// visited. A block holds at most 15 x 15 pixels, fewer greys than 255, so its
// pass always steps over runs of equal counts. A block's held count starts at
// 0 rather than -1: no count passes it and none present equals it, so the
// first grey is taken as in the plain pass. The running counts are also set
// at the greys between those held, which add no pixels, so that a window's
// end reads its count directly.
template <std::int32_t Columns>
void BlockPairStripOf<Columns>::splitRowInline(std::int32_t y) {
  static_assert(kMaxSide * kMaxSide < 255, "counts and pixel totals fit bytes, and no block holds 255 greys");
  const Lanes none{};
  const auto lanesOf = [&](std::int32_t value) { return none + static_cast<std::uint8_t>(value); };
  const auto choose = [](Lanes mask, Lanes chosen, Lanes otherwise) { return (chosen & mask) | (otherwise & ~mask); };
  // The vector unit compares bytes as signed only: unsigned bytes compare
  // alike with their top bits flipped.
  using SignedLanes = typename ByteLanes<Columns>::Signed;
  const auto above = [flip = lanesOf(0x80)](Lanes a, Lanes b) {
    return static_cast<Lanes>(reinterpret_cast<SignedLanes>(a ^ flip) > reinterpret_cast<SignedLanes>(b ^ flip));
  };
  const Lanes two = lanesOf(2);

  Lanes heldColour{};
  Lanes heldCount{};
  Lanes inEqualRun{};
  Lanes pixels{};
  Lanes greysSeen{};
  Lanes secondPassed{};  // what the pass passed on at each block's second grey
  const std::int32_t darkestHeld = held_.darkestPresent();
  const std::int32_t lightestHeld = held_.presentAtOrBelow(255);
  std::int32_t countedUpTo = darkestHeld;  // pixelsUpTo_ is set below this grey
  held_.forEach([&](std::int32_t grey, std::int32_t) {
    const Lanes count = counts_[static_cast<std::size_t>(grey)];
    const auto present = static_cast<Lanes>(count != none);
    for (; countedUpTo < grey; ++countedUpTo) pixelsUpTo_[static_cast<std::size_t>(countedUpTo)] = pixels;
    pixels += count;
    pixelsUpTo_[static_cast<std::size_t>(grey)] = pixels;
    countedUpTo = grey + 1;
    const Lanes colour = lanesOf(grey);
    const Lanes passes = present & ~inEqualRun & above(heldCount, count);
    const Lanes passed = choose(passes, colour, heldColour);
    passedAt_[static_cast<std::size_t>(grey)] = passed;
    const Lanes takes = present & ~passes;
    inEqualRun = choose(present, takes & static_cast<Lanes>(heldCount == count), inEqualRun);
    heldColour = choose(takes, colour, heldColour);
    heldCount = choose(takes, count, heldCount);
    greysSeen -= present;  // a present lane is all ones
    secondPassed = choose(present & static_cast<Lanes>(greysSeen == two), passed, secondPassed);
  });
  const Lanes dominant = heldColour;
  // The last grey passed on at the second grey or later that lies far from
  // the dominant one; else the one passed on at the second grey, or with a
  // single grey the dominant one.
  const Lanes distance = lanesOf(kColourDistance);
  Lanes other = choose(above(greysSeen, lanesOf(1)), secondPassed, dominant);
  // A grey passed on is one its block holds, so within the greys held. When
  // every one of those lies near every block's dominant grey, the search
  // would find none (on paper alone, most rows of a strip).
  std::int32_t leastDominant = 255;
  std::int32_t greatestDominant = 0;
  for (std::int32_t block = 0; block < endColumn_ - firstColumn_; ++block) {
    leastDominant = std::min<std::int32_t>(leastDominant, dominant[block]);
    greatestDominant = std::max<std::int32_t>(greatestDominant, dominant[block]);
  }
  const bool anyFar = farApart(leastDominant, lightestHeld) || farApart(greatestDominant, darkestHeld);
  greysSeen = none;
  if (anyFar) {
    held_.forEach([&](std::int32_t grey, std::int32_t) {
      const auto present = static_cast<Lanes>(counts_[static_cast<std::size_t>(grey)] != none);
      greysSeen -= present;
      const Lanes colour = passedAt_[static_cast<std::size_t>(grey)];
      const Lanes lighter = above(colour, dominant);
      const Lanes far =
          (lighter & above(colour - dominant, distance)) | (~lighter & ~above(distance, dominant - colour));
      other = choose(present & above(greysSeen, lanesOf(1)) & far, colour, other);
    });
  }

  for (std::int32_t x = firstColumn_; x < endColumn_; ++x) {
    const auto block = static_cast<std::size_t>(x - firstColumn_);
    const auto near = [&](std::int32_t colour) {
      return countNear(colour, halfWidth_, [&](std::int32_t top) {
        if (top < darkestHeld) return 0;
        return std::int32_t{pixelsUpTo_[static_cast<std::size_t>(std::min(top, lightestHeld))][block]};
      });
    };
    const ColourPair split = pairOf(dominant[block], other[block], near(dominant[block]), near(other[block]));
    pairs_[block * static_cast<std::size_t>(height_) + static_cast<std::size_t>(y)] = {
        static_cast<std::uint8_t>(split.background), static_cast<std::uint8_t>(split.text),
        static_cast<std::uint8_t>(split.backgroundCount), 0};
  }
}

template <std::int32_t Columns>
void BlockPairStripOf<Columns>::count(const SharedPage& page, std::int32_t firstColumn) {
  firstColumn_ = firstColumn;
  endColumn_ = std::min(firstColumn + Columns, page.width());
  height_ = page.height();
  pairs_.resize(static_cast<std::size_t>(Columns) * static_cast<std::size_t>(height_));
  counts_.fill(Lanes{});
  inAllBlocks_.fill(0);
  held_.clear();
  const std::int32_t blocks = endColumn_ - firstColumn_;
  for (std::int32_t column = 0; column < Columns + kMaxSide; ++column) {
    // The strip's blocks that hold this column of the page: b <= column < b + side.
    const auto at = static_cast<std::size_t>(column);
    holderCount_[at] = 0;
    for (std::int32_t block = 0; block < Columns; ++block) {
      const bool holds = block < blocks && block <= column && column < block + side_;
      holders_[at][block] = holds;
      holderCount_[at] += holds;
    }
  }
  for (std::int32_t y = 0; y < std::min(side_, height_); ++y) addRow(page, y);
  bool changed = true;
  for (std::int32_t y = 0; y < height_; ++y) {
    if (changed) {
      // Split for every block: those unchanged keep their pair.
      splitRow(y);
    } else {
      for (std::size_t block = 0; block < static_cast<std::size_t>(blocks); ++block) {
        Pair& pair = pairs_[block * static_cast<std::size_t>(height_) + static_cast<std::size_t>(y)];
        pair = (&pair)[-1];  // the same counts as the row above
      }
    }
    for (std::int32_t x = firstColumn_; x < endColumn_; ++x) {
      pairs_[static_cast<std::size_t>(x - firstColumn_) * static_cast<std::size_t>(height_) +
             static_cast<std::size_t>(y)]
          .grey = page.at(x, y);
    }
    changed = moveDown(page, y);
  }
}

template <std::int32_t Columns>
void BlockPairStripOf<Columns>::recount(const SharedPage& page, std::int32_t x, std::int32_t side,
                                        std::int32_t halfWidth) {
  if (side < 1 || side > kMaxSide) throw std::invalid_argument("block side outside 1..15");
  side_ = side;
  halfWidth_ = halfWidth;
  count(page, x);
}

template <std::int32_t Columns>
void BlockPairStripOf<Columns>::splitRow(std::int32_t y) {
  splitRowInline(y);
}

// The wide strip's vectors need the 32-byte unit; without it the compiler
// splits its byte compares into scalar code. `flatten` keeps every step of the
// split inside this function, compiled for that unit.
#if defined(__x86_64__) || defined(__i386__)
static_assert(alignof(BlockPairStripOf<32>) >= 32, "the wide split loads its rows as aligned to 32 bytes");
template <>
__attribute__((target("avx2"), flatten)) void BlockPairStripOf<32>::splitRow(std::int32_t y) {
  splitRowInline(y);
}

bool BlockPairStrip::wideRuns() { return __builtin_cpu_supports("avx2"); }
#else
bool BlockPairStrip::wideRuns() { return false; }
#endif

template void BlockPairStripOf<16>::recount(const SharedPage&, std::int32_t, std::int32_t, std::int32_t);
template void BlockPairStripOf<32>::recount(const SharedPage&, std::int32_t, std::int32_t, std::int32_t);

BlockPairStrip::BlockPairStrip(Width width) {
  if (width == Width::kWide) strip_.emplace<BlockPairStripOf<32>>();
}

}  // namespace glimmer::detail
