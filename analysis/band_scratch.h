// Working storage of one band thread's analysis, reused from pixel to pixel,
// made anew for every run. Beyond reserved capacity only what the band learnt
// about the unchanged page (areas too large to be a seed, row scans already
// followed) outlives a call of analyseSeed.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "analysis/detail/blob_growth.h"
#include "analysis/detail/colour_split.h"
#include "analysis/detail/row_scan.h"

namespace glimmer {

struct BandScratch {
  BandScratch(std::int32_t pageWidth, std::int32_t pageHeight) : visited(pageWidth, pageHeight) {}

  detail::BlobRegistry registry;
  detail::VisitedMap visited;
  detail::BlockHistogram histogram{};
  detail::ColourList colours;
  std::vector<std::int32_t> levelValues;  // greys of a box, for the text level estimate
  std::vector<std::int32_t> levelLabels;  // their cluster labels
  detail::OverflowMemo seedOverflows;     // of the seed tests, pixel after pixel

  // Scans this band has followed since the page last changed: following one
  // again finds the same line, whose words are already handled.
  std::set<detail::RowScan> followedScans;
  std::uint64_t pageEditsSeen = 0;  // the page's edit count both records hold for
};

}  // namespace glimmer
