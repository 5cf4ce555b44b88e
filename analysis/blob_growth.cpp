#include "analysis/detail/blob_growth.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdlib>
#include <limits>
#include <utility>

#include "analysis/detail/row_bits_growth.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace glimmer::detail {

VisitedMap::VisitedMap(std::int32_t width, std::int32_t height)
    : width_(width), marks_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0) {}

void VisitedMap::clear(std::span<const PixelPoint> pixels) {
  for (const PixelPoint& p : pixels) marks_[SharedPage::offset(p.x, p.y, width_)] = kClear;
}

void VisitedMap::prove(std::span<const PixelPoint> pixels) {
  for (const PixelPoint& p : pixels) {
    const std::size_t offset = SharedPage::offset(p.x, p.y, width_);
    marks_[offset] = kProven;
    provenOffsets_.push_back(offset);
  }
}

void VisitedMap::clearProven() {
  for (const std::size_t offset : provenOffsets_) marks_[offset] = kClear;
  provenOffsets_.clear();
}

bool VisitedMap::allClear() const {
  return provenOffsets_.empty() &&
         std::all_of(marks_.begin(), marks_.end(), [](std::uint8_t m) { return m == kClear; });
}

namespace {

// Clockwise from the pixel above; y grows downwards.
constexpr std::array<PixelPoint, 8> kNeighbours{{{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}}};

// Calls `look` on each neighbour step in the order of kNeighbours while it
// returns true, spelt out so that no step is looked up in a loop.
template <typename Look, std::size_t... i>
__attribute__((always_inline)) inline bool inOrder(Look& look, std::index_sequence<i...>) {
  return (look(kNeighbours[i]) && ...);
}

// Passes over the pixels met beside a blob.
constexpr auto kNoBorder = [](std::size_t, std::int32_t, std::int32_t, std::int32_t) {};

// Never proves a growth too large before it overflows.
constexpr auto kNoProof = [](std::int32_t, std::int32_t) { return false; };

// One breadth-first growth of an 8-connected blob towards a grey range, as
// growBlob does it, but an overflowing growth keeps its pixels and the pixel
// that overflowed, and every pixel beside the blob whose grey lies outside the
// range is passed to `onBorder`. `extent` receives the extent of the pixels
// kept, as extentOf would give it, taken from the greys the growth reads
// anyway. Every pixel taken after the start is passed to `provesOverflow`;
// when that holds, the growth stops there as an overflowing one.
//
// With `kUsesProofs`, a growth also stops as an overflowing one where it meets
// a proven pixel of the visited map, proven for this range and limit: the blob
// would take that pixel's whole area. When the start joins the range, every
// pixel an overflowing growth kept lies in the start's area, which holds more
// than `limit` pixels or a proven one, so they are left proven. A start
// outside the range may join areas that meet only through it; then nothing is
// proven.
template <bool kUsesProofs, typename OnBorder, typename ProvesOverflow>
class AreaGrowth {
 public:
  AreaGrowth(const SharedPage& page, VisitedMap& visited, std::int32_t target, std::int32_t tolerance,
             std::int32_t limit, PixelList& pixels, BlobExtent& extent, OnBorder onBorder,
             ProvesOverflow provesOverflow)
      : page_(page),
        visited_(visited),
        target_(target),
        tolerance_(tolerance),
        limit_(limit),
        pixels_(pixels),
        extent_(extent),
        onBorder_(onBorder),
        provesOverflow_(provesOverflow) {
    assert(kUsesProofs || !visited.holdsProofs());  // a proof would pass for a pixel of this blob
    pixels.clear();
    pixels.reserve(static_cast<std::size_t>(std::max(limit, 1)) + 1);
  }

  // The start pixel, taken without a grey test.
  void takeStart(std::int32_t x, std::int32_t y) {
    extent_ = BlobExtent{x, y, x, y, 0};
    startGrey_ = page_.at(x, y);
    keep(x, y, startGrey_);
    visited_.mark(SharedPage::offset(x, y, page_.width()));
  }

  // A pixel known to lie in the blob, taken without a test; one more within
  // the limit.
  void takeKnown(PixelPoint p) {
    const std::size_t offset = SharedPage::offset(p.x, p.y, page_.width());
    ++accepted_;
    assert(accepted_ < limit_);
    visited_.mark(offset);
    keep(p.x, p.y, page_.atOffset(offset));
  }

  // Looks at a pixel beside the blob; false when the growth stops there,
  // overflowing. Inlined by force, as the lambda in `spread` and inOrder
  // are: as calls, the eight looks a pixel took a tenth more instructions.
  __attribute__((always_inline)) bool look(std::size_t offset, std::int32_t x, std::int32_t y) {
    // Marked pixels are in the blob already (the start pixel included, which
    // joins whenever a border is watched), were met beside it, or are proven.
    if (visited_.marked(offset)) return !(kUsesProofs && visited_.proven(offset));
    const std::int32_t grey = page_.atOffset(offset);
    if (!joinsBlob(grey, target_, tolerance_)) {
      onBorder_(offset, x, y, grey);
      return true;
    }
    ++accepted_;
    if (accepted_ >= limit_) {
      keep(x, y, grey);
      return false;
    }
    visited_.mark(offset);
    keep(x, y, grey);
    return !provesOverflow_(x, y);
  }

  // Takes the neighbours in range of the pixels kept from the `from`th on,
  // and theirs in turn; false when the growth stops, overflowing.
  bool spread(std::size_t from) {
    const std::int32_t width = page_.width();
    const std::int32_t height = page_.height();
    const auto step = [width](PixelPoint d) { return std::ptrdiff_t{d.y} * width + d.x; };
    for (std::size_t next = from; next < pixels_.size(); ++next) {
      const PixelPoint here = pixels_[next];
      const std::size_t hereOffset = SharedPage::offset(here.x, here.y, width);
      const auto neighbour = [&](PixelPoint d) __attribute__((always_inline)) {
        return look(hereOffset + static_cast<std::size_t>(step(d)), here.x + d.x, here.y + d.y);
      };
      if (here.x > 0 && here.y > 0 && here.x < width - 1 && here.y < height - 1) {
        // Away from the page edges every neighbour lies on the page.
        if (!inOrder(neighbour, std::make_index_sequence<kNeighbours.size()>{})) return false;
        continue;
      }
      for (const PixelPoint d : kNeighbours) {
        const std::int32_t nx = here.x + d.x;
        const std::int32_t ny = here.y + d.y;
        if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
        if (!neighbour(d)) return false;
      }
    }
    return true;
  }

  // Ends the growth, clearing its marks (or proving them when it overflowed);
  // returns `grown`.
  bool end(bool grown) {
    if (!grown && kUsesProofs && joinsBlob(startGrey_, target_, tolerance_)) {
      visited_.prove(pixels_);
    } else {
      visited_.clear(pixels_);
    }
    return grown;
  }

 private:
  void keep(std::int32_t x, std::int32_t y, std::int32_t grey) {
    pixels_.push_back({x, y});
    extent_.left = std::min(extent_.left, x);
    extent_.right = std::max(extent_.right, x);
    extent_.top = std::min(extent_.top, y);
    extent_.bottom = std::max(extent_.bottom, y);
    extent_.darkest = std::min(extent_.darkest, grey);
    extent_.lightest = std::max(extent_.lightest, grey);
    extent_.pixelCount = static_cast<std::int32_t>(pixels_.size());
  }

  const SharedPage& page_;
  VisitedMap& visited_;
  std::int32_t target_;
  std::int32_t tolerance_;
  std::int32_t limit_;
  PixelList& pixels_;
  BlobExtent& extent_;
  OnBorder onBorder_;
  ProvesOverflow provesOverflow_;
  std::int32_t startGrey_ = 0;
  std::int32_t accepted_ = 0;  // pixels taken after the start
};

// Grows from the start pixel alone.
template <bool kUsesProofs, typename OnBorder, typename ProvesOverflow>
bool growArea(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
              std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels, OnBorder onBorder,
              BlobExtent& extent, ProvesOverflow provesOverflow) {
  AreaGrowth<kUsesProofs, OnBorder, ProvesOverflow> growth(page, visited, target, tolerance, limit, pixels, extent,
                                                           onBorder, provesOverflow);
  growth.takeStart(startX, startY);
  return growth.end(growth.spread(0));
}

// Notes the nearest greys met beside a blob below and above its range.
struct BorderGreysNoted {
  BorderGreys& border;
  std::int32_t target;
  void operator()(std::size_t, std::int32_t, std::int32_t, std::int32_t grey) const {
    if (grey <= target) {
      border.below = std::max(border.below, grey);
    } else {
      border.above = std::min(border.above, grey);
    }
  }
};

// growArea, noting the nearest greys met beside the blob below and above its range.
template <typename ProvesOverflow = decltype(kNoProof)>
bool growAreaWithBorder(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
                        std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels,
                        BorderGreys& border, BlobExtent& extent, ProvesOverflow provesOverflow = kNoProof) {
  return growArea<false>(page, visited, startX, startY, target, tolerance, limit, pixels,
                         BorderGreysNoted{border, target}, extent, provesOverflow);
}

}  // namespace

bool growBlob(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
              std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels) {
  BlobExtent extent;
  const bool grown =
      growArea<false>(page, visited, startX, startY, target, tolerance, limit, pixels, kNoBorder, extent, kNoProof);
  if (!grown) pixels.clear();
  return grown;
}

BlobExtent extentOf(const SharedPage& page, std::span<const PixelPoint> pixels) {
  BlobExtent extent;
  extent.left = extent.right = pixels.front().x;
  extent.top = extent.bottom = pixels.front().y;
  for (const PixelPoint& p : pixels) {
    extent.left = std::min(extent.left, p.x);
    extent.right = std::max(extent.right, p.x);
    extent.top = std::min(extent.top, p.y);
    extent.bottom = std::max(extent.bottom, p.y);
    const std::int32_t grey = page.at(p.x, p.y);
    extent.darkest = std::min(extent.darkest, grey);
    extent.lightest = std::max(extent.lightest, grey);
  }
  extent.pixelCount = static_cast<std::int32_t>(pixels.size());
  return extent;
}

namespace {

// Columns of start pixels a seed memo holds. Entries filed further ahead are
// seldom still good when their column comes; on every page measured, holding
// 512 columns spared no growth that 64 did not.
constexpr std::int32_t kSeedMemoColumns = 64;

}  // namespace

SeedGrowthMemo::SeedGrowthMemo(std::int32_t firstColumn, std::int32_t endColumn, std::int32_t pageHeight)
    : firstColumn_(firstColumn),
      endColumn_(std::max(firstColumn, endColumn)),
      height_(pageHeight),
      // A power of two, so that a column's slot is found by a mask.
      columnIn_(std::bit_ceil(static_cast<std::size_t>(std::min(endColumn_ - firstColumn_, kSeedMemoColumns))), -1),
      areaAt_(columnIn_.size() * static_cast<std::size_t>(pageHeight)),
      // Room for a growth at every start of 8 columns. Most starts on paper
      // are answered by the area beside them and grow nothing, so this holds
      // the growths of far more columns: on the A4 page a ring of 4 columns'
      // worth spared as many growths as one of 64. A power of two: every
      // lookup of an area finds its slot, and a mask is cheaper than a division.
      capacity_(std::bit_ceil(std::max<std::size_t>(4096, 8 * static_cast<std::size_t>(pageHeight)))) {
  areas_.reserve(capacity_);
}

std::optional<BlobExtent> SeedGrowthMemo::grow(const SharedPage& page, VisitedMap& visited, std::int32_t startX,
                                               std::int32_t startY, std::int32_t startGrey, std::int32_t target,
                                               std::int32_t tolerance, std::int32_t limit, PixelList& pixels) {
  assert(startGrey == page.at(startX, startY));
  if (!joinsBlob(startGrey, target, tolerance)) {
    // The start pixel joins without a test, so this blob is not one connected area of the range.
    if (!growBlob(page, visited, startX, startY, target, tolerance, limit, pixels)) return std::nullopt;
    return extentOf(page, pixels);
  }
  // The start just above, walking down a column, lay in a known area, and
  // this start joins the range. When the area fills again towards this
  // target, a growth from here takes the start above and so the whole area:
  // an overflowing one overflows again; one that does not is this start's own
  // area, since a pixel beside it that joins the range is not on its border.
  const bool belowLast = startX == lastStart_.x && startY == lastStart_.y + 1;
  lastStart_ = {startX, startY};
  if (const KnownArea* above = belowLast ? areaOf(areaAtLast_) : nullptr;
      above != nullptr && fillsAgain(*above, target, tolerance, limit)) {
    if (!above->overflows) return above->extent;
    fileUnder(*above, startX, startY, startGrey);
    areaAtLast_ = holdsGrey(*above, startGrey) ? above->id : 0;
    return std::nullopt;
  }
  areaAtLast_ = 0;
  if (const KnownArea* area =
          findAt(startX, startY, [&](const KnownArea& known) { return fillsAgain(known, target, tolerance, limit); })) {
    areaAtLast_ = area->id;
    if (area->overflows) return std::nullopt;
    return area->extent;
  }
  const KnownArea* known = knownAt(startX, startY);
  if (known == nullptr || known->overflows) {
    if (const KnownArea* proof = neighbourProof(page, startX, startY, target, tolerance, limit)) {
      fileUnder(*proof, startX, startY, startGrey);
      if (holdsGrey(*proof, startGrey)) areaAtLast_ = proof->id;
      return std::nullopt;
    }
    if (overflowsNarrowly(page, visited, startX, startY, target, tolerance, limit, pixels)) {
      areaAtLast_ = lastId_;  // the area it kept holds the start
      return std::nullopt;
    }
  }

  KnownArea area;
  area.tolerance = tolerance;
  area.limit = limit;
  // A row of 64 pixels at a time where the area stays near the start; pixel
  // by pixel, with the known overflows, where it may not.
  RowBitsGrowth rows(page, target, tolerance);
  const RowBitsGrowth::Outcome outcome = rows.grow(startX, startY, limit);
  if (outcome != RowBitsGrowth::Outcome::kLeavesWindow) {
    area.extent = rows.extentReached();
    area.overflows = outcome == RowBitsGrowth::Outcome::kOverflows;
    if (!area.overflows) area.border = rows.border();
    remember(rows, area);
    areaAtLast_ = lastId_;
    if (area.overflows) return std::nullopt;
    return area.extent;
  }
  const KnownArea* proof = nullptr;
  area.overflows = !growAreaWithBorder(page, visited, startX, startY, target, tolerance, limit, pixels, area.border,
                                       area.extent, [&](std::int32_t x, std::int32_t y) {
                                         proof = overflowProofAt(x, y, target, tolerance, limit);
                                         return proof != nullptr;
                                       });
  if (proof != nullptr) joinProof(*proof, area);
  remember(pixels, area);
  areaAtLast_ = lastId_;
  if (area.overflows) return std::nullopt;
  return area.extent;
}

void SeedGrowthMemo::forget() {
  // A column's entries are cleared when its slot is claimed again.
  std::fill(columnIn_.begin(), columnIn_.end(), -1);
  areas_.clear();
  lastId_ = 0;
  areaAtLast_ = 0;
}

bool SeedGrowthMemo::overflowsNarrowly(const SharedPage& page, VisitedMap& visited, std::int32_t startX,
                                       std::int32_t startY, std::int32_t target, std::int32_t tolerance,
                                       std::int32_t limit, PixelList& pixels) {
  const std::int32_t narrowTolerance = tolerance / 2;
  if (narrowTolerance == tolerance || !joinsBlob(page.at(startX, startY), target, narrowTolerance)) return false;
  KnownArea area;
  area.tolerance = tolerance;
  area.limit = limit;
  RowBitsGrowth rows(page, target, narrowTolerance);
  const RowBitsGrowth::Outcome outcome = rows.grow(startX, startY, limit);
  if (outcome == RowBitsGrowth::Outcome::kGrown) return false;
  if (outcome == RowBitsGrowth::Outcome::kOverflows) {
    area.extent = rows.extentReached();
    area.overflows = true;
    remember(rows, area);
    return true;
  }
  const KnownArea* proof = nullptr;
  if (growArea<false>(page, visited, startX, startY, target, narrowTolerance, limit, pixels, kNoBorder, area.extent,
                      [&](std::int32_t x, std::int32_t y) {
                        proof = overflowProofAt(x, y, target, tolerance, limit);
                        return proof != nullptr;
                      })) {
    return false;
  }
  area.overflows = true;
  if (proof != nullptr) joinProof(*proof, area);
  remember(pixels, area);
  return true;
}

const SeedGrowthMemo::KnownArea* SeedGrowthMemo::overflowProofAt(std::int32_t x, std::int32_t y, std::int32_t target,
                                                                 std::int32_t tolerance, std::int32_t limit) const {
  return findAt(x, y,
                [&](const KnownArea& known) { return known.overflows && fillsAgain(known, target, tolerance, limit); });
}

const SeedGrowthMemo::KnownArea* SeedGrowthMemo::neighbourProof(const SharedPage& page, std::int32_t x, std::int32_t y,
                                                                std::int32_t target, std::int32_t tolerance,
                                                                std::int32_t limit) const {
  // The pixels above and to the left were asked about before this one.
  constexpr std::array<PixelPoint, 8> kNearestFirst{
      {{0, -1}, {-1, 0}, {-1, -1}, {-1, 1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}}};
  for (const PixelPoint step : kNearestFirst) {
    const std::int32_t nx = x + step.x;
    const std::int32_t ny = y + step.y;
    if (nx < 0 || ny < 0 || nx >= page.width() || ny >= page.height()) continue;
    if (const KnownArea* proof = overflowProofAt(nx, ny, target, tolerance, limit)) return proof;
  }
  return nullptr;
}

void SeedGrowthMemo::fileUnder(const KnownArea& area, std::int32_t x, std::int32_t y, std::int32_t grey) {
  if (!holdsGrey(area, grey)) return;
  if (claimColumn(x))
    areaAt_[slotOf(x) * static_cast<std::size_t>(height_) + static_cast<std::size_t>(y)].file(area.id);
}

void SeedGrowthMemo::joinProof(const KnownArea& proof, KnownArea& area) {
  area.extent.darkest = std::min(area.extent.darkest, proof.extent.darkest);
  area.extent.lightest = std::max(area.extent.lightest, proof.extent.lightest);
}

std::optional<std::size_t> SeedGrowthMemo::entryOf(std::int32_t x, std::int32_t y) const {
  if (x < firstColumn_ || x >= endColumn_ || columnIn_[slotOf(x)] != x) return std::nullopt;
  return slotOf(x) * static_cast<std::size_t>(height_) + static_cast<std::size_t>(y);
}

bool SeedGrowthMemo::claimColumn(std::int32_t x) {
  std::int32_t& held = columnIn_[slotOf(x)];
  if (held > x) return false;
  if (held < x) {
    const auto column = areaAt_.begin() + static_cast<std::ptrdiff_t>(slotOf(x) * static_cast<std::size_t>(height_));
    std::fill(column, column + height_, AreaIds{});
    held = x;
  }
  return true;
}

const SeedGrowthMemo::KnownArea* SeedGrowthMemo::knownAt(std::int32_t x, std::int32_t y) const {
  const std::optional<std::size_t> entry = entryOf(x, y);
  return entry ? areaOf(areaAt_[*entry].ids.front()) : nullptr;
}

template <typename Accept>
const SeedGrowthMemo::KnownArea* SeedGrowthMemo::findAt(std::int32_t x, std::int32_t y, Accept accept) const {
  const std::optional<std::size_t> entry = entryOf(x, y);
  if (!entry) return nullptr;
  for (const std::uint32_t id : areaAt_[*entry].ids) {
    const KnownArea* area = areaOf(id);
    if (area != nullptr && accept(*area)) return area;
  }
  return nullptr;
}

const SeedGrowthMemo::KnownArea* SeedGrowthMemo::areaOf(std::uint32_t id) const {
  if (id == 0) return nullptr;
  const KnownArea& area = areas_[(id - 1) & (capacity_ - 1)];
  return area.id == id ? &area : nullptr;
}

bool SeedGrowthMemo::fillsAgain(const KnownArea& area, std::int32_t target, std::int32_t tolerance,
                                std::int32_t limit) {
  if (area.tolerance != tolerance || area.limit != limit) return false;
  const auto inRange = [&](std::int32_t grey) { return joinsBlob(grey, target, tolerance); };
  if (!inRange(area.extent.darkest) || !inRange(area.extent.lightest)) return false;
  if (area.overflows) return true;
  return area.border.stopsGrowthTowards(target, tolerance);
}

void SeedGrowthMemo::remember(std::span<const PixelPoint> pixels, KnownArea area) {
  const FilingColumns columns = keep(area);
  for (const PixelPoint& p : pixels) {
    if (p.x >= columns.left && p.x <= columns.right) file(columns, p.x, p.y);
  }
}

void SeedGrowthMemo::remember(const RowBitsGrowth& rows, KnownArea area) {
  const FilingColumns columns = keep(area);
  if (columns.left > columns.right) return;
  // The filing columns lie in the area's extent, so in the window.
  const std::int32_t first = columns.left - rows.windowLeft();
  const std::int32_t last = columns.right - rows.windowLeft();
  assert(0 <= first && last < 64);
  const std::uint64_t filed = (~std::uint64_t{0} << first) & (~std::uint64_t{0} >> (63 - last));
  rows.forEachRowReached([&](std::int32_t y, std::uint64_t row) {
    for (std::uint64_t bits = row & filed; bits != 0; bits &= bits - 1)
      file(columns, rows.windowLeft() + std::countr_zero(bits), y);
  });
}

SeedGrowthMemo::FilingColumns SeedGrowthMemo::keep(KnownArea area) {
  if (lastId_ == std::numeric_limits<std::uint32_t>::max()) forget();
  area.id = ++lastId_;
  if (areas_.size() < capacity_) {
    areas_.push_back(area);
  } else {
    areas_[(area.id - 1) & (capacity_ - 1)] = area;
  }
  // Only pixels from the column before the start's are filed: the seed walk
  // never starts left of the start's column again, and a start looks one
  // column back for proofs. The area's columns are claimed first; unless one
  // of them is held by a later column, or the area is wider than the ring,
  // every pixel then finds its column held.
  FilingColumns columns;
  columns.left = std::max({area.extent.left, firstColumn_, lastStart_.x - 1});
  columns.right = std::min(area.extent.right, endColumn_ - 1);
  columns.allHeld = columns.right - columns.left < static_cast<std::int32_t>(columnIn_.size());
  for (std::int32_t x = columns.left; columns.allHeld && x <= columns.right; ++x) columns.allHeld = claimColumn(x);
  return columns;
}

namespace {

// Room for the blobs of many scans of many lines: every text line on a column
// of seeds is scanned before the next column's scans come back to it.
constexpr std::size_t kKnownScanBlobs = 65535;  // a slot number + 1 fits 16 bits
constexpr std::size_t kKeptScanPixels = std::size_t{1} << 21;
// A pixel lies in blobs of several ranges that scans alternate between.
constexpr std::int32_t kShadowsTried = 4;

}  // namespace

std::uint64_t ScanGrowthMemo::PixelRing::append(std::span<const PixelPoint> run) {
  const std::uint64_t first = end_;
  const auto at = static_cast<std::size_t>(end_ % size_);
  // Up to the ring's end, then from its start.
  const std::size_t firstPart = std::min(run.size(), size_ - at);
  std::ranges::transform(run.first(firstPart), slots_.get() + at, packed);
  std::ranges::transform(run.subspan(firstPart), slots_.get(), packed);
  end_ += run.size();
  return first;
}

std::array<std::span<const std::uint32_t>, 2> ScanGrowthMemo::PixelRing::run(std::uint64_t first,
                                                                             std::size_t count) const {
  const std::size_t begin = static_cast<std::size_t>(first % size_);
  const std::size_t firstPart = std::min(count, size_ - begin);
  return {{{slots_.get() + begin, firstPart}, {slots_.get(), count - firstPart}}};
}

ScanGrowthMemo::ScanGrowthMemo(std::int32_t pageWidth, std::int32_t pageHeight, std::int32_t firstColumn)
    : firstColumn_(std::clamp(firstColumn, 0, pageWidth)), columns_(pageWidth - firstColumn_) {
  if (pageWidth > 65536 || pageHeight > 65536) return;  // pixels do not pack
  blobAt_.assign(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(pageHeight), 0);
  blobs_.reserve(kKnownScanBlobs);  // filled as blobs are kept: a small page touches little of it
  pool_ = PixelRing(kKeptScanPixels);
}

std::optional<BlobExtent> ScanGrowthMemo::grow(const SharedPage& page, VisitedMap& visited, std::int32_t startX,
                                               std::int32_t startY, std::int32_t target, std::int32_t tolerance,
                                               std::int32_t limit, PixelList& pixels) {
  const Range range{target, tolerance, limit};
  if (range != proven_) {
    visited.clearProven();
    proven_ = range;
  }
  if (visited.proven(SharedPage::offset(startX, startY, page.width()))) return std::nullopt;
  const Known known = lookUp(page, startX, startY, target, tolerance, limit);
  if (known.answer != nullptr) {
    if (known.answer->overflows) return std::nullopt;
    return known.answer->extent;
  }
  BorderGreys border;
  BlobExtent extent;
  bool grown = false;
  // A row of 64 pixels at a time where the area stays near the start; from
  // a kept blob within, or pixel by pixel, where it may not.
  RowBitsGrowth rows(page, target, tolerance, &visited);
  const RowBitsGrowth::Outcome outcome = joinsBlob(page.at(startX, startY), target, tolerance)
                                             ? rows.grow(startX, startY, limit)
                                             : RowBitsGrowth::Outcome::kLeavesWindow;
  if (outcome != RowBitsGrowth::Outcome::kLeavesWindow) {
    rows.pixelsReached(pixels, extent);
    grown = outcome == RowBitsGrowth::Outcome::kGrown;
    if (grown) {
      border = rows.border();
    } else {
      visited.prove(pixels);  // all in the start's area, which overflows
    }
  } else {
    grown = known.within != nullptr ? growFrom(*known.within, page, visited, startX, startY, target, tolerance, limit,
                                               pixels, border, extent)
                                    : growArea<true>(page, visited, startX, startY, target, tolerance, limit, pixels,
                                                     BorderGreysNoted{border, target}, extent, kNoProof);
  }
  // A start outside its range joins without a test: its blob is no area of
  // the range, so it is not kept. Nor is a growth stopped by a proof, which
  // kept too few pixels to prove its own overflow again.
  if (known.startJoins && (grown || extent.pixelCount > limit)) {
    remember(pixels, extent, grown ? border : BorderGreys{}, !grown, known.lastKept);
  }
  if (!grown) return std::nullopt;
  return extent;
}

bool ScanGrowthMemo::growFrom(const KnownBlob& within, const SharedPage& page, VisitedMap& visited, std::int32_t startX,
                              std::int32_t startY, std::int32_t target, std::int32_t tolerance, std::int32_t limit,
                              PixelList& pixels, BorderGreys& border, BlobExtent& extent) {
  AreaGrowth<true, BorderGreysNoted, decltype(kNoProof)> growth(page, visited, target, tolerance, limit, pixels, extent,
                                                                BorderGreysNoted{border, target}, kNoProof);
  growth.takeStart(startX, startY);
  const std::uint32_t start = packed({startX, startY});
  for (const std::span<const std::uint32_t> part : pool_.run(within.first, within.extent.pixelCount)) {
    for (const std::uint32_t p : part) {
      if (p != start) growth.takeKnown(unpacked(p));
    }
  }
  // Their neighbours are looked at as the growth spreads from them; those
  // in the kept blob are marked, and passed over.
  return growth.end(growth.spread(0));
}

bool ScanGrowthMemo::recall(const SharedPage& page, std::int32_t startX, std::int32_t startY, std::int32_t target,
                            std::int32_t tolerance, std::int32_t limit, PixelList& pixels) const {
  const KnownBlob* known = lookUp(page, startX, startY, target, tolerance, limit).answer;
  if (known == nullptr || known->overflows) return false;
  const PixelPoint start{startX, startY};
  pixels.assign(1, start);
  for (const std::span<const std::uint32_t> part : pool_.run(known->first, known->extent.pixelCount)) {
    for (const std::uint32_t p : part) {
      if (p != packed(start)) pixels.push_back(unpacked(p));
    }
  }
  return true;
}

bool ScanGrowthMemo::startJoins(const SharedPage& page, std::int32_t startX, std::int32_t startY, std::int32_t target,
                                std::int32_t tolerance) const {
  return !blobAt_.empty() && startX >= firstColumn_ && joinsBlob(page.at(startX, startY), target, tolerance);
}

namespace {

// Whether `values` holds `value`, sixteen at a time through the vector unit:
// most lookups search a kept blob's pixels for the start.
bool holdsValue(std::span<const std::uint32_t> values, std::uint32_t value) {
  std::size_t at = 0;
#if defined(__SSE2__)
  const __m128i key = _mm_set1_epi32(static_cast<int>(value));
  const auto equalAt = [&](std::size_t i) {
    return _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values.data() + i)), key);
  };
  for (; at + 16 <= values.size(); at += 16) {
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(equalAt(at), equalAt(at + 4)), _mm_or_si128(equalAt(at + 8), equalAt(at + 12)));
    if (_mm_movemask_epi8(hits) != 0) return true;
  }
#endif
  const std::span<const std::uint32_t> rest = values.subspan(at);
  return std::ranges::find(rest, value) != rest.end();
}

}  // namespace

bool ScanGrowthMemo::holdsStart(const KnownBlob& blob, std::int32_t startX, std::int32_t startY) const {
  const std::uint32_t start = packed({startX, startY});
  return std::ranges::any_of(pool_.run(blob.first, blob.extent.pixelCount),
                             [&](std::span<const std::uint32_t> part) { return holdsValue(part, start); });
}

ScanGrowthMemo::Known ScanGrowthMemo::lookUp(const SharedPage& page, std::int32_t startX, std::int32_t startY,
                                             std::int32_t target, std::int32_t tolerance, std::int32_t limit) const {
  Known found;
  found.startJoins = startJoins(page, startX, startY, target, tolerance);
  if (!found.startJoins) return found;
  found.lastKept = lastIdAt(entryOf(startX, startY));
  const auto inRange = [&](std::int32_t grey) { return joinsBlob(grey, target, tolerance); };
  // Blobs within the new one.
  std::array<const KnownBlob*, kShadowsTried> within{};
  std::size_t withinCount = 0;
  // The last blob kept through the start, then the blobs it shadowed there in
  // turn; the start pixel lies in those only if their pixels hold it.
  const KnownBlob* known = knownAt(found.lastKept);
  for (std::int32_t depth = 0; known != nullptr && depth < kShadowsTried; ++depth, known = knownAt(known->shadowed)) {
    const BlobExtent& extent = known->extent;
    if (!inRange(extent.darkest) || !inRange(extent.lightest) || startX < extent.left || startX > extent.right ||
        startY < extent.top || startY > extent.bottom) {
      continue;
    }
    // An overflowing growth kept limit + 1 connected pixels of its range: a
    // growth from one of them overflows whenever they all join it.
    if (known->overflows ? extent.pixelCount > limit
                         : extent.pixelCount <= limit && known->border.stopsGrowthTowards(target, tolerance)) {
      if (holdsStart(*known, startX, startY)) {
        found.answer = known;
        return found;
      }
    } else if (!known->overflows && extent.pixelCount <= limit) {
      within[withinCount++] = known;
    }
  }
  // The blob grown from the start holds a connected area of its range that
  // holds the start.
  for (const KnownBlob* blob : std::span(within).first(withinCount)) {
    if ((found.within == nullptr || blob->extent.pixelCount > found.within->extent.pixelCount) &&
        holdsStart(*blob, startX, startY)) {
      found.within = blob;
    }
  }
  return found;
}

const ScanGrowthMemo::KnownBlob* ScanGrowthMemo::knownAt(std::uint32_t id) const {
  if (id == 0) return nullptr;
  // Every id handed out has its slot: slots are filled in id order.
  const KnownBlob& blob = blobs_[(id - 1) % kKnownScanBlobs];
  // Later blobs may have taken its slot or its pixels.
  if (blob.id != id || !pool_.holds(blob.first)) return nullptr;
  return &blob;
}

void ScanGrowthMemo::remember(std::span<const PixelPoint> pixels, const BlobExtent& extent, const BorderGreys& border,
                              bool overflows, std::uint32_t shadowed) {
  if (pixels.size() > pool_.size()) return;
  if (lastId_ == std::numeric_limits<std::uint32_t>::max()) {
    std::fill(blobAt_.begin(), blobAt_.end(), 0);
    std::fill(blobs_.begin(), blobs_.end(), KnownBlob{});
    lastId_ = 0;
  }
  const std::size_t slot = lastId_ % kKnownScanBlobs;
  if (slot == blobs_.size()) blobs_.emplace_back();
  KnownBlob& blob = blobs_[slot];
  blob.id = ++lastId_;
  blob.first = pool_.append(pixels);
  blob.extent = extent;
  blob.border = border;
  blob.overflows = overflows;
  blob.shadowed = shadowed;
  for (const PixelPoint& p : pixels) {
    if (p.x >= firstColumn_) blobAt_[entryOf(p.x, p.y)] = static_cast<std::uint16_t>(slot + 1);
  }
}

}  // namespace glimmer::detail
