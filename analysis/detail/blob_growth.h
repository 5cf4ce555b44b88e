// Bounded growth of 8-connected blobs of one grey, the per-thread storage it
// works in (the visited map, the registry of the blobs a seed analysis keeps)
// and what a band remembers of its growths.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "common/shared_page.h"

namespace glimmer::detail {

class RowBitsGrowth;

struct PixelPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// A blob's pixels in the order they were grown, the start pixel first.
using PixelList = std::vector<PixelPoint>;

// One mark per page pixel, laid out as the page is, so that one offset finds
// a pixel in both. A growth marks the pixels it takes (a row scan's growth also
// those it meets beside its blob) and clears them again by walking its lists
// before it returns.
//
// The row scans also leave pixels proven: each lies in an 8-connected area of
// one grey range that holds more pixels than one limit, so any growth of that
// range and limit that reaches it overflows. A row scan grows along its row
// towards one range again and again; on rough pages every growth overflows,
// and the next start lies beside the last growth's area.
class VisitedMap {
 public:
  VisitedMap(std::int32_t width, std::int32_t height);

  bool marked(std::size_t offset) const { return marks_[offset] != kClear; }
  bool proven(std::size_t offset) const { return marks_[offset] == kProven; }
  void mark(std::size_t offset) { marks_[offset] = kTaken; }
  void clear(std::span<const PixelPoint> pixels);
  // Leaves the pixels, taken by a growth or never marked, proven.
  void prove(std::span<const PixelPoint> pixels);
  void clearProven();
  bool holdsProofs() const { return !provenOffsets_.empty(); }
  bool allClear() const;

 private:
  enum : std::uint8_t { kClear, kTaken, kProven };
  std::int32_t width_;
  std::vector<std::uint8_t> marks_;
  std::vector<std::size_t> provenOffsets_;
};

// How a blob was grown. The page does not change while the bands run, so a
// growBlob like it gives the blob's pixels again.
struct BlobGrowth {
  PixelPoint start;
  std::int32_t target = 0;
  std::int32_t tolerance = 0;
  std::int32_t limit = 0;
};

// The blobs kept during one seed analysis, as the growths that give them. Only
// the characters of the words judged need their pixels, so only those are
// recalled from memory or grown again.
class BlobRegistry {
 public:
  // Keeps the blob and returns its index.
  std::int32_t add(const BlobGrowth& growth) {
    growths_.push_back(growth);
    return count() - 1;
  }

  std::int32_t count() const { return static_cast<std::int32_t>(growths_.size()); }
  void rollBack(std::int32_t savedCount) { growths_.resize(static_cast<std::size_t>(savedCount)); }
  void releaseAll() { growths_.clear(); }

  const BlobGrowth& growth(std::int32_t index) const { return growths_[static_cast<std::size_t>(index)]; }

 private:
  std::vector<BlobGrowth> growths_;
};

// Whether a pixel of grey `grey` joins a blob grown towards `target`:
// target - tolerance < grey <= target + tolerance.
constexpr bool joinsBlob(std::int32_t grey, std::int32_t target, std::int32_t tolerance) {
  return grey - tolerance <= target && target < grey + tolerance;
}

// The greys met beside a grown blob that stayed out of it: the lightest of
// those below its range and the darkest of those above.
struct BorderGreys {
  std::int32_t below = INT32_MIN;  // INT32_MIN: none
  std::int32_t above = INT32_MAX;  // INT32_MAX: none

  // Whether the border still stops a growth towards `target`: every border
  // grey lies below the blob's greys or above them, so the nearest on each
  // side decide.
  bool stopsGrowthTowards(std::int32_t target, std::int32_t tolerance) const {
    return below <= static_cast<std::int64_t>(target) - tolerance &&
           above > static_cast<std::int64_t>(target) + tolerance;
  }
};

// Grows the blob of pixels 8-connected to (startX, startY) whose grey p has
// target - tolerance < p <= target + tolerance, breadth first, into `pixels`.
// The start pixel is taken without a grey test. Returns false (overflow) when
// the blob would hold more than `limit` pixels. The visited map is clear again
// on return either way.
bool growBlob(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
              std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels);

// Box, size and grey range of a grown blob; bounds inclusive.
struct BlobExtent {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::int32_t pixelCount = 0;
  std::int32_t darkest = 255;
  std::int32_t lightest = 0;
  bool operator==(const BlobExtent&) const = default;
};

BlobExtent extentOf(const SharedPage& page, std::span<const PixelPoint> pixels);

// The row scans' growths, remembered with their pixels. A band follows many
// scans along one text line, each from another seed, and they grow the same
// characters again, towards slightly different greys.
//
// A growth from a start inside its grey range fills the start's connected area
// of that range; from any pixel of that area, a growth towards another range
// fills the same area when all of the area's greys lie within the new range,
// all greys on its border outside it, and the limit holds the area. Such an
// area's extent is handed back from memory, and its pixels when asked for.
// When the new range holds all of the area's greys but also some on its
// border, the new blob holds the area whole: it is grown from the area's
// pixels, taken without a grey test.
//
// What the memo cannot answer is grown a row at a time (RowBitsGrowth) where
// the area stays near the start.
//
// The memo also proves overflows in the visited map (see VisitedMap) for the
// range and limit of its latest growth. The caller clears them with
// VisitedMap::clearProven before the map serves any other growth.
class ScanGrowthMemo {
 public:
  // Remembers the growths from starts in columns firstColumn and right of it;
  // the others it grows every time.
  ScanGrowthMemo(std::int32_t pageWidth, std::int32_t pageHeight, std::int32_t firstColumn = 0);

  // The extent of the blob growBlob would grow, or nothing when it would
  // overflow. `pixels` is working storage, left alone by an answer from memory.
  std::optional<BlobExtent> grow(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
                                 std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels);
  // The pixels of the blob growBlob would grow, the start first, when a kept
  // blob that does not overflow answers the growth; false otherwise.
  bool recall(const SharedPage& page, std::int32_t startX, std::int32_t startY, std::int32_t target,
              std::int32_t tolerance, std::int32_t limit, PixelList& pixels) const;

 private:
  // Runs of pixels, packed, in a ring: a run stays whole until later runs
  // take its place. A run is found by where it starts, counted over all the
  // pixels ever put in.
  class PixelRing {
   public:
    // The slots are left unset (only slots written are read), so a page that
    // keeps few pixels touches little of the ring's memory.
    explicit PixelRing(std::size_t size = 0)
        : slots_(std::make_unique_for_overwrite<std::uint32_t[]>(size)), size_(size) {}
    std::uint64_t append(std::span<const PixelPoint> run);
    bool holds(std::uint64_t first) const { return end_ - first <= size_; }
    // Up to the ring's end, then from its start.
    std::array<std::span<const std::uint32_t>, 2> run(std::uint64_t first, std::size_t count) const;
    std::size_t size() const { return size_; }

   private:
    std::unique_ptr<std::uint32_t[]> slots_;
    std::size_t size_;
    std::uint64_t end_ = 0;
  };

  struct KnownBlob {
    std::uint32_t id = 0;     // 0: none
    std::uint64_t first = 0;  // its pixels' run in the pool
    BlobExtent extent;
    BorderGreys border;
    bool overflows = false;      // then it holds the limit + 1 pixels the growth met
    std::uint32_t shadowed = 0;  // the blob kept last through this one's start before it
  };

  // What the memo knows of a growth: a blob that answers it, or else the
  // largest blob that the growth's blob holds whole, with its start.
  struct Known {
    const KnownBlob* answer = nullptr;
    const KnownBlob* within = nullptr;
    bool startJoins = false;     // a growth from the start would be remembered
    std::uint32_t lastKept = 0;  // the id of the blob kept last through the start
  };
  Known lookUp(const SharedPage& page, std::int32_t startX, std::int32_t startY, std::int32_t target,
               std::int32_t tolerance, std::int32_t limit) const;
  // Grows the blob from a kept blob it holds, whose pixels join without a
  // grey test.
  bool growFrom(const KnownBlob& within, const SharedPage& page, VisitedMap& visited, std::int32_t startX,
                std::int32_t startY, std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels,
                BorderGreys& border, BlobExtent& extent);
  // Whether a growth from the start is remembered: it joins its range and lies in the columns held.
  bool startJoins(const SharedPage& page, std::int32_t startX, std::int32_t startY, std::int32_t target,
                  std::int32_t tolerance) const;
  bool holdsStart(const KnownBlob& blob, std::int32_t startX, std::int32_t startY) const;
  // The blob of that id, if still kept.
  const KnownBlob* knownAt(std::uint32_t id) const;
  void remember(std::span<const PixelPoint> pixels, const BlobExtent& extent, const BorderGreys& border, bool overflows,
                std::uint32_t shadowed);

  std::int32_t firstColumn_;
  std::int32_t columns_;  // from the first column to the page's right edge
  // Where a pixel of those columns lives in blobAt_.
  std::size_t entryOf(std::int32_t x, std::int32_t y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(columns_) +
           static_cast<std::size_t>(x - firstColumn_);
  }
  // The id of the blob in the slot last kept through the pixel; that blob may
  // since have been replaced, so whether it holds the pixel is checked on use.
  std::uint32_t lastIdAt(std::size_t entry) const { return blobAt_[entry] == 0 ? 0 : blobs_[blobAt_[entry] - 1u].id; }

  // A kept pixel in 32 bits: x in the low half, y in the high half. Pages
  // with a side longer than that are not remembered (the memo stays empty).
  static std::uint32_t packed(PixelPoint p) {
    return static_cast<std::uint32_t>(p.x) | static_cast<std::uint32_t>(p.y) << 16;
  }
  static PixelPoint unpacked(std::uint32_t p) {
    return {static_cast<std::int32_t>(p & 0xffffu), static_cast<std::int32_t>(p >> 16)};
  }

  std::vector<std::uint16_t> blobAt_;  // per pixel of the columns: 1 + the slot of the last blob kept through it
  std::vector<KnownBlob> blobs_;       // a ring: blob n in slot (n - 1) % size
  PixelRing pool_;                     // the kept blobs' pixels
  std::uint32_t lastId_ = 0;

  // The range and limit the proven pixels in the visited map hold for.
  struct Range {
    std::int32_t target = -1;
    std::int32_t tolerance = 0;
    std::int32_t limit = 0;
    bool operator==(const Range&) const = default;
  };
  Range proven_;
};

// The seed growths of one band's columns, remembered while the page is
// unchanged. Nearly every pixel of the page is a seed start, and the pixels
// of one character, or of one large area, mostly grow the same blob again,
// only towards a slightly different target grey.
//
// A growth from a start inside its grey range fills the start's connected
// area of that range. Another growth from a pixel of that area fills exactly
// the same area when all of the area's greys lie within the new range and all
// greys on its border outside it; so the area is kept with its extent, its
// grey range and the nearest greys outside it on either side. An overflowing
// growth stopped after `limit` + 1 connected pixels in range; a growth from
// one of them overflows again when all of them lie within the new range.
// Anything else is grown.
class SeedGrowthMemo {
 public:
  // Remembers starts in columns [firstColumn, endColumn) of a page
  // `pageHeight` pixels high. Only the starts of the latest columns written
  // are held: the seed test asks about its own column only, walking the
  // columns from the left.
  SeedGrowthMemo(std::int32_t firstColumn, std::int32_t endColumn, std::int32_t pageHeight);

  // The extent of the blob growBlob would grow, or nothing when it would
  // overflow. `startGrey` is the start pixel's grey, which the seed test has
  // at hand: most starts are answered without reading the page at all.
  // `pixels` is working storage.
  std::optional<BlobExtent> grow(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
                                 std::int32_t startGrey, std::int32_t target, std::int32_t tolerance,
                                 std::int32_t limit, PixelList& pixels);
  // The page has changed: nothing known holds any more.
  void forget();

 private:
  struct KnownArea {
    std::uint32_t id = 0;  // the growth's number; a start pixel's entry holds only while the slot keeps it
    bool overflows = false;
    BlobExtent extent;
    BorderGreys border;
    std::int32_t tolerance = 0;
    std::int32_t limit = 0;
  };

  // The last area grown through the pixel, if still kept.
  const KnownArea* knownAt(std::int32_t x, std::int32_t y) const;
  // The latest area grown through the pixel, of those still kept, for which
  // `accept` holds, or nothing. Starts along a character's edge alternate
  // between a few target greys, so each pixel keeps several areas.
  template <typename Accept>
  const KnownArea* findAt(std::int32_t x, std::int32_t y, Accept accept) const;
  const KnownArea* areaOf(std::uint32_t id) const;
  // Whether a growth towards `target` from a pixel of the area fills it again.
  static bool fillsAgain(const KnownArea& area, std::int32_t target, std::int32_t tolerance, std::int32_t limit);
  // Tries a growth towards a range half as wide. An area too large in
  // it is too large for every target whose range holds the area's greys,
  // which spares the growths of nearby targets; it is remembered as such.
  bool overflowsNarrowly(const SharedPage& page, VisitedMap& visited, std::int32_t startX, std::int32_t startY,
                         std::int32_t target, std::int32_t tolerance, std::int32_t limit, PixelList& pixels);
  // A known overflowing area through (x, y) whose greys all join a growth
  // towards `target`, or nothing. A growth that takes (x, y) overflows: it
  // takes that whole connected area, which holds more pixels than the limit.
  const KnownArea* overflowProofAt(std::int32_t x, std::int32_t y, std::int32_t target, std::int32_t tolerance,
                                   std::int32_t limit) const;
  // A known overflowing area beside (x, y) whose greys all join a growth
  // towards `target`, or nothing. A growth from (x, y) takes that neighbour,
  // whatever the start's own grey, and with it the whole area: it overflows.
  const KnownArea* neighbourProof(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t target,
                                  std::int32_t tolerance, std::int32_t limit) const;
  // Files (x, y), of grey `grey`, as a pixel of the overflowing area beside
  // it when the grey lies within the area's greys: the area with it is then
  // still connected and within those greys, and proves for it what it proves
  // for its own pixels.
  void fileUnder(const KnownArea& area, std::int32_t x, std::int32_t y, std::int32_t grey);
  // An overflowing growth stopped by a proof: its pixels and the proof's are
  // connected together, and they all lie within the greys of both.
  static void joinProof(const KnownArea& proof, KnownArea& area);
  static bool holdsGrey(const KnownArea& area, std::int32_t grey) {
    return area.extent.darkest <= grey && grey <= area.extent.lightest;
  }
  // Keeps an area grown pixel by pixel, or as rows of bits, filed under its pixels.
  void remember(std::span<const PixelPoint> pixels, KnownArea area);
  void remember(const RowBitsGrowth& rows, KnownArea area);
  // The columns an area's pixels are filed in, [left, right], claimed; when
  // all of them could be, each pixel there finds its column held.
  struct FilingColumns {
    std::int32_t left = 0;
    std::int32_t right = -1;
    bool allHeld = false;
  };
  FilingColumns keep(KnownArea area);
  void file(const FilingColumns& columns, std::int32_t x, std::int32_t y) {
    const std::size_t slot = slotOf(x);
    if (columns.allHeld || columnIn_[slot] == x)
      areaAt_[slot * static_cast<std::size_t>(height_) + static_cast<std::size_t>(y)].file(lastId_);
  }

  // Where the start pixel's entry lives in areaAt_, or nothing when its column is not held.
  std::optional<std::size_t> entryOf(std::int32_t x, std::int32_t y) const;
  // Lets the slot of column x (in the band) hold it, cleared when it held
  // an earlier column; false when it holds a later one.
  bool claimColumn(std::int32_t x);
  std::size_t slotOf(std::int32_t x) const {
    return static_cast<std::size_t>(x - firstColumn_) & (columnIn_.size() - 1);
  }

  std::int32_t firstColumn_;
  std::int32_t endColumn_;
  std::int32_t height_;
  // The columns held, a ring: column x in slot (x - firstColumn_) % size; -1: none.
  std::vector<std::int32_t> columnIn_;
  // The ids of the last growths that reached a pixel, latest first; 0: none.
  struct AreaIds {
    std::array<std::uint32_t, 4> ids{};
    void file(std::uint32_t id) {
      if (ids[0] == id) return;
      std::copy_backward(ids.begin(), ids.end() - 1, ids.end());
      ids[0] = id;
    }
  };
  // Per held column and row.
  std::vector<AreaIds> areaAt_;
  // The latest growths, a ring: growth n lives in slot (n - 1) % capacity until a later one takes it.
  std::vector<KnownArea> areas_;
  std::size_t capacity_;
  std::uint32_t lastId_ = 0;
  // The last start asked about, and the id of a known area that holds it (0:
  // none known): an overflowing area it is connected to within the area's
  // greys, or an area that does not overflow, of which it is a pixel.
  PixelPoint lastStart_{-1, -1};
  std::uint32_t areaAtLast_ = 0;
};

}  // namespace glimmer::detail
