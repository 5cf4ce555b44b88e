// Working storage of one band thread's analysis, reused from pixel to pixel,
// made anew for every run. Beyond reserved capacity only what the band learnt
// about the page (the seed growths, row scans already followed) and the lines it
// holds back outlive a call of analyseSeed.
#pragma once

#include <cstdint>
#include <map>
#include <set>

#include "analysis/detail/blob_growth.h"
#include "analysis/detail/colour_split.h"
#include "analysis/detail/row_scan.h"
#include "analysis/detail/text_level.h"
#include "analysis/found_lines.h"

namespace glimmer {

struct BandScratch {
  // Seeds start in columns [firstColumn, endColumn) only.
  BandScratch(std::int32_t pageWidth, std::int32_t pageHeight, std::int32_t firstColumn, std::int32_t endColumn)
      : visited(pageWidth, pageHeight),
        seedGrowths(firstColumn, endColumn, pageHeight),
        scanGrowths(pageWidth, pageHeight, firstColumn - detail::kSeedBlobLimit) {}
  BandScratch(std::int32_t pageWidth, std::int32_t pageHeight) : BandScratch(pageWidth, pageHeight, 0, pageWidth) {}

  detail::BlobRegistry registry;
  detail::VisitedMap visited;
  detail::BlockPairStrip seedPairs;    // the seed test's colour pairs, a strip of columns ahead
  detail::SlidingBlock scanBlock;      // the row scan's block, carried along the row
  detail::SeedGrowthMemo seedGrowths;  // of the seed tests, pixel after pixel
  detail::PixelList seedPixels;        // the seed test's growth
  detail::ScanGrowthMemo scanGrowths;  // of the row scans, scan after scan
  detail::PixelList scanPixels;        // a row scan's growth, or a judged character's again

  // Scans this band has followed: the page does not change while bands scan,
  // so following one again finds the same line, whose words are already handled.
  std::set<detail::RowScan> followedScans;
  // Text levels of the seed boxes met; many seeds share a box.
  std::map<detail::LevelBox, detail::TextLevel> textLevels;
  HeldLines held;  // lines waiting for the bands to the left
  StrokeWidthScratch strokeWidths;
};

}  // namespace glimmer
