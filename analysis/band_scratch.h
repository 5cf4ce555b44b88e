// Working storage of one band thread's analysis, reused from pixel to pixel.
// Nothing in it outlives one call of analyseSeed except reserved capacity.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/detail/blob_growth.h"
#include "analysis/detail/colour_split.h"

namespace glimmer {

struct BandScratch {
  BandScratch(std::int32_t pageWidth, std::int32_t pageHeight) : visited(pageWidth, pageHeight) {}

  detail::BlobRegistry registry;
  detail::VisitedMap visited;
  detail::BlockHistogram histogram{};
  detail::ColourList colours;
  std::vector<std::int32_t> levelValues;  // greys of a box, for the text level estimate
  std::vector<std::int32_t> levelLabels;  // their cluster labels
};

}  // namespace glimmer
