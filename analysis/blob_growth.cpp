#include "analysis/detail/blob_growth.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdlib>
#include <limits>
#include <utility>

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

// Never proves a growth too large before it overflows.
constexpr auto kNoProof = [](std::int32_t, std::int32_t) { return false; };

// growBlob, but an overflowing growth keeps its pixels and the pixel that
// overflowed, and every grey outside the range met beside the blob is passed
// to `onBorder`. `extent` receives the extent of the pixels kept, as extentOf
// would give it, taken from the greys the growth reads anyway. Every pixel
// taken after the start is passed to `provesOverflow`; when that holds, the
// growth stops there as an overflowing one.
//
// With `kUsesProofs`, a growth also stops as an overflowing one where it meets
// a proven pixel of the visited map, proven for this range and limit: the blob
// would take that pixel's whole area. When the start joins the range, every
// pixel an overflowing growth kept lies in the start's area, which holds more
// than `limit` pixels or a proven one, so they are left proven. A start
// outside the range may join areas that meet only through it; then nothing is
// proven.
template <bool kUsesProofs, typename OnBorder, typename ProvesOverflow>
bool growArea(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
              std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels, OnBorder onBorder,
              BlobExtent& extent, ProvesOverflow provesOverflow) {
  assert(kUsesProofs || !visited.holdsProofs());  // a proof would pass for a pixel of this blob
  pixels.clear();
  pixels.reserve(static_cast<std::size_t>(std::max(limit, 1)) + 1);
  const std::int32_t width = page.width();
  const std::int32_t height = page.height();
  extent = BlobExtent{startX, startY, startX, startY, 0};
  const auto keep = [&](std::int32_t x, std::int32_t y, std::int32_t grey) {
    pixels.push_back({x, y});
    extent.left = std::min(extent.left, x);
    extent.right = std::max(extent.right, x);
    extent.top = std::min(extent.top, y);
    extent.bottom = std::max(extent.bottom, y);
    extent.darkest = std::min(extent.darkest, grey);
    extent.lightest = std::max(extent.lightest, grey);
    extent.pixelCount = static_cast<std::int32_t>(pixels.size());
  };
  const std::int32_t startGrey = page.at(startX, startY);
  keep(startX, startY, startGrey);
  visited.mark(SharedPage::offset(startX, startY, width));
  const auto overflow = [&] {
    if (kUsesProofs && joinsBlob(startGrey, target, tolerance)) {
      visited.prove(pixels);
    } else {
      visited.clear(pixels);
    }
    return false;
  };
  std::int32_t accepted = 0;
  // Looks at one neighbour of a blob pixel; false when the growth stops there,
  // overflowing. Inlined by force, as the lambda below and inOrder are: as
  // calls, the eight looks a pixel took a tenth more instructions in all.
  const auto takeNeighbour = [&](std::size_t offset, std::int32_t nx, std::int32_t ny) __attribute__((always_inline)) {
    // Marked pixels are in the blob already (the start pixel included, which
    // joins whenever a border is watched), or proven.
    if (visited.marked(offset)) return !(kUsesProofs && visited.proven(offset));
    const std::int32_t grey = page.atOffset(offset);
    if (!joinsBlob(grey, target, tolerance)) {
      onBorder(grey);
      return true;
    }
    ++accepted;
    if (accepted >= limit) {
      keep(nx, ny, grey);
      return false;
    }
    visited.mark(offset);
    keep(nx, ny, grey);
    return !provesOverflow(nx, ny);
  };
  const auto step = [width](PixelPoint d) { return std::ptrdiff_t{d.y} * width + d.x; };
  for (std::size_t next = 0; next < pixels.size(); ++next) {
    const PixelPoint here = pixels[next];
    const std::size_t hereOffset = SharedPage::offset(here.x, here.y, width);
    const auto neighbour = [&](PixelPoint d) __attribute__((always_inline)) {
      return takeNeighbour(hereOffset + static_cast<std::size_t>(step(d)), here.x + d.x, here.y + d.y);
    };
    if (here.x > 0 && here.y > 0 && here.x < width - 1 && here.y < height - 1) {
      // Away from the page edges every neighbour lies on the page.
      if (!inOrder(neighbour, std::make_index_sequence<kNeighbours.size()>{})) return overflow();
      continue;
    }
    for (const PixelPoint d : kNeighbours) {
      const std::int32_t nx = here.x + d.x;
      const std::int32_t ny = here.y + d.y;
      if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
      if (!neighbour(d)) return overflow();
    }
  }
  visited.clear(pixels);
  return true;
}

// growArea, noting the nearest greys met beside the blob below and above its range.
template <bool kUsesProofs = false, typename ProvesOverflow = decltype(kNoProof)>
bool growAreaWithBorder(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
                        std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels,
                        BorderGreys& border, BlobExtent& extent, ProvesOverflow provesOverflow = kNoProof) {
  return growArea<kUsesProofs>(
      page, visited, startX, startY, target, tolerance, limit, pixels,
      [&](std::int32_t grey) {
        if (grey <= target) {
          border.below = std::max(border.below, grey);
        } else {
          border.above = std::min(border.above, grey);
        }
      },
      extent, provesOverflow);
}

}  // namespace

bool growBlob(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
              std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels) {
  BlobExtent extent;
  const bool grown = growArea<false>(
      page, visited, startX, startY, target, tolerance, limit, pixels, [](std::int32_t) {}, extent, kNoProof);
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
  if (const KnownArea* area =
          findAt(startX, startY, [&](const KnownArea& known) { return fillsAgain(known, target, tolerance, limit); })) {
    if (area->overflows) return std::nullopt;
    return area->extent;
  }
  const KnownArea* known = knownAt(startX, startY);
  if (known == nullptr || known->overflows) {
    if (const KnownArea* proof = neighbourProof(page, startX, startY, target, tolerance, limit)) {
      fileUnder(*proof, startX, startY, startGrey);
      return std::nullopt;
    }
    if (overflowsNarrowly(page, visited, startX, startY, target, tolerance, limit, pixels)) return std::nullopt;
  }

  KnownArea area;
  area.tolerance = tolerance;
  area.limit = limit;
  const KnownArea* proof = nullptr;
  area.overflows = !growAreaWithBorder(page, visited, startX, startY, target, tolerance, limit, pixels, area.border,
                                       area.extent, [&](std::int32_t x, std::int32_t y) {
                                         proof = overflowProofAt(x, y, target, tolerance, limit);
                                         return proof != nullptr;
                                       });
  if (proof != nullptr) joinProof(*proof, area);
  remember(pixels, area);
  if (area.overflows) return std::nullopt;
  return area.extent;
}

void SeedGrowthMemo::forget() {
  // A column's entries are cleared when its slot is claimed again.
  std::fill(columnIn_.begin(), columnIn_.end(), -1);
  areas_.clear();
  lastId_ = 0;
}

bool SeedGrowthMemo::overflowsNarrowly(const SharedPage& page, VisitedMap& visited, std::int32_t startX,
                                       std::int32_t startY, std::int32_t target, std::int32_t tolerance,
                                       std::int32_t limit, PixelList& pixels) {
  const std::int32_t narrowTolerance = tolerance / 2;
  if (narrowTolerance == tolerance || !joinsBlob(page.at(startX, startY), target, narrowTolerance)) return false;
  KnownArea area;
  const KnownArea* proof = nullptr;
  if (growArea<false>(
          page, visited, startX, startY, target, narrowTolerance, limit, pixels, [](std::int32_t) {}, area.extent,
          [&](std::int32_t x, std::int32_t y) {
            proof = overflowProofAt(x, y, target, tolerance, limit);
            return proof != nullptr;
          })) {
    return false;
  }
  area.overflows = true;
  area.tolerance = tolerance;
  area.limit = limit;
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
  if (grey < area.extent.darkest || grey > area.extent.lightest) return;
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
  if (lastId_ == std::numeric_limits<std::uint32_t>::max()) forget();
  area.id = ++lastId_;
  if (areas_.size() < capacity_) {
    areas_.push_back(area);
  } else {
    areas_[(area.id - 1) & (capacity_ - 1)] = area;
  }
  // The area's columns are claimed first; unless one of them is held by a
  // later column, or the area is wider than the ring, every pixel then finds
  // its column held.
  const std::int32_t left = std::max(area.extent.left, firstColumn_);
  const std::int32_t right = std::min(area.extent.right, endColumn_ - 1);
  bool allHeld = right - left < static_cast<std::int32_t>(columnIn_.size());
  for (std::int32_t x = left; allHeld && x <= right; ++x) allHeld = claimColumn(x);
  for (const PixelPoint& p : pixels) {
    if (p.x < firstColumn_ || p.x >= endColumn_) continue;
    const std::size_t slot = slotOf(p.x);
    if (allHeld || columnIn_[slot] == p.x)
      areaAt_[slot * static_cast<std::size_t>(height_) + static_cast<std::size_t>(p.y)].file(area.id);
  }
}

namespace {

// Room for the blobs of many scans of many lines: every text line on a column
// of seeds is scanned before the next column's scans come back to it.
constexpr std::size_t kKnownScanBlobs = 65535;  // a slot number + 1 fits 16 bits
constexpr std::size_t kKeptScanPixels = std::size_t{1} << 21;
// A pixel lies in blobs of several ranges that scans alternate between.
constexpr std::int32_t kShadowsTried = 4;

}  // namespace

ScanGrowthMemo::ScanGrowthMemo(std::int32_t pageWidth, std::int32_t pageHeight, std::int32_t firstColumn)
    : firstColumn_(std::clamp(firstColumn, 0, pageWidth)), columns_(pageWidth - firstColumn_) {
  if (pageWidth > 65536 || pageHeight > 65536) return;  // pixels do not pack
  blobAt_.assign(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(pageHeight), 0);
  blobs_.resize(kKnownScanBlobs);
  pool_.resize(kKeptScanPixels);
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
  if (const KnownBlob* known = keptAnswer(page, startX, startY, target, tolerance, limit)) {
    if (known->overflows) return std::nullopt;
    return known->extent;
  }
  BorderGreys border;
  BlobExtent extent;
  const bool grown =
      growAreaWithBorder<true>(page, visited, startX, startY, target, tolerance, limit, pixels, border, extent);
  // A start outside its range joins without a test: its blob is no area of
  // the range, so it is not kept. Nor is a growth stopped by a proof, which
  // kept too few pixels to prove its own overflow again.
  if (startJoins(page, startX, startY, target, tolerance) && (grown || extent.pixelCount > limit)) {
    remember(pixels, extent, grown ? border : BorderGreys{}, !grown, lastIdAt(entryOf(startX, startY)));
  }
  if (!grown) return std::nullopt;
  return extent;
}

bool ScanGrowthMemo::recall(const SharedPage& page, std::int32_t startX, std::int32_t startY, std::int32_t target,
                            std::int32_t tolerance, std::int32_t limit, PixelList& pixels) const {
  const KnownBlob* known = keptAnswer(page, startX, startY, target, tolerance, limit);
  if (known == nullptr || known->overflows) return false;
  const PixelPoint start{startX, startY};
  pixels.assign(1, start);
  for (const std::span<const std::uint32_t> part : poolParts(*known)) {
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

const ScanGrowthMemo::KnownBlob* ScanGrowthMemo::keptAnswer(const SharedPage& page, std::int32_t startX,
                                                            std::int32_t startY, std::int32_t target,
                                                            std::int32_t tolerance, std::int32_t limit) const {
  if (!startJoins(page, startX, startY, target, tolerance)) return nullptr;
  const auto inRange = [&](std::int32_t grey) { return joinsBlob(grey, target, tolerance); };
  // The last blob kept through the start, then the blobs it shadowed there in
  // turn; the start pixel lies in those only if their pixels hold it.
  const KnownBlob* known = knownAt(lastIdAt(entryOf(startX, startY)));
  for (std::int32_t depth = 0; known != nullptr && depth < kShadowsTried; ++depth, known = knownAt(known->shadowed)) {
    const BlobExtent& extent = known->extent;
    // An overflowing growth kept limit + 1 connected pixels of its range: a
    // growth from one of them overflows whenever they all join it.
    const bool fits = known->overflows
                          ? extent.pixelCount > limit
                          : extent.pixelCount <= limit && known->border.stopsGrowthTowards(target, tolerance);
    if (!fits || !inRange(extent.darkest) || !inRange(extent.lightest) || startX < extent.left ||
        startX > extent.right || startY < extent.top || startY > extent.bottom) {
      continue;
    }
    const std::uint32_t start = packed({startX, startY});
    if (std::ranges::any_of(poolParts(*known), [&](std::span<const std::uint32_t> part) {
          return std::ranges::find(part, start) != part.end();
        })) {
      return known;
    }
  }
  return nullptr;
}

std::array<std::span<const std::uint32_t>, 2> ScanGrowthMemo::poolParts(const KnownBlob& blob) const {
  // Up to the ring's end, then from its start.
  const std::size_t begin = static_cast<std::size_t>(blob.first % pool_.size());
  const std::size_t count = static_cast<std::size_t>(blob.extent.pixelCount);
  const std::size_t firstPart = std::min(count, pool_.size() - begin);
  return {{{pool_.data() + begin, firstPart}, {pool_.data(), count - firstPart}}};
}

const ScanGrowthMemo::KnownBlob* ScanGrowthMemo::knownAt(std::uint32_t id) const {
  if (id == 0) return nullptr;
  const KnownBlob& blob = blobs_[(id - 1) % blobs_.size()];
  // Later blobs may have taken its slot or its pixels.
  if (blob.id != id || poolEnd_ - blob.first > pool_.size()) return nullptr;
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
  const std::size_t slot = lastId_ % blobs_.size();
  KnownBlob& blob = blobs_[slot];
  blob.id = ++lastId_;
  blob.first = poolEnd_;
  blob.extent = extent;
  blob.border = border;
  blob.overflows = overflows;
  blob.shadowed = shadowed;
  std::size_t at = static_cast<std::size_t>(poolEnd_ % pool_.size());
  for (const PixelPoint& p : pixels) {
    pool_[at] = packed(p);
    if (++at == pool_.size()) at = 0;
    if (p.x >= firstColumn_) blobAt_[entryOf(p.x, p.y)] = static_cast<std::uint16_t>(slot + 1);
  }
  poolEnd_ += pixels.size();
}

}  // namespace glimmer::detail
