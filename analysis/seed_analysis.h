// Page analysis at one pixel: does a line of text start here? If so, follow the
// line, cut it into words, record the words and letters in the run's shared
// state and paint the words that pass the stroke-width test into the band image.
#pragma once

#include <cstdint>

#include "analysis/band_scratch.h"
#include "analysis/shared_analysis.h"
#include "common/grey_image.h"
#include "common/shared_page.h"

namespace glimmer {

void analyseSeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y, GreyImage& bandImage,
                 SharedAnalysis& shared);

}  // namespace glimmer
