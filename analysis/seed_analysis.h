// Page analysis at one pixel: does a line of text start here? If so, follow the
// line, cut it into words, record the words and letters in the run's shared
// state and mark the pixels of the words that pass the stroke-width test.
// A band whose left neighbours are still scanning holds its lines back
// (BandScratch::held) until they have committed theirs.
#pragma once

#include <cstdint>

#include "analysis/band_scratch.h"
#include "analysis/shared_analysis.h"
#include "common/shared_page.h"

namespace glimmer {

void analyseSeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y, SharedAnalysis& shared);

// Commits the lines a band held back, in the order it found them, and lets it
// commit each line as it finds it from then on. The caller holds the shared
// mutex, and every band to the left has committed all of its lines.
void commitHeldLines(HeldLines& held, SharedAnalysis& shared);

}  // namespace glimmer
