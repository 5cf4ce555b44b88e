// The column bands of a page: their bounds, the thread that analyses one band,
// and the merge of the band images into the page result.
#pragma once

#include <barrier>
#include <cstdint>
#include <span>

#include "analysis/shared_analysis.h"
#include "common/grey_image.h"
#include "common/records.h"
#include "common/shared_page.h"
#include "pipeline/driver_host.h"

namespace glimmer {

struct BandRange {
  std::int32_t start = 0;  // first column
  std::int32_t end = 0;    // column after the last
};

// Band `index` of `count` over a page `width` columns wide: floor(width * i / count)
// in 64-bit arithmetic, so bands are consecutive, disjoint and within one column
// of each other in width.
BandRange bandBounds(std::int32_t width, std::int32_t count, std::int32_t index);

// Everything one band thread works with. The page, the shared analysis state,
// the host and the start barrier are shared by all bands of the run.
struct BandJob {
  std::int32_t index = 0;
  BandRange range;
  GreyImage* page = nullptr;
  SharedAnalysis* shared = nullptr;
  DriverHost* host = nullptr;
  std::barrier<>* startLine = nullptr;
  GreyImage bandImage;  // the band's output, set when the band ends
};

// Runs on the band's own thread: analyses every pixel of the band's columns,
// then whitens the interior of every word box recorded so far in the page.
void runBand(BandJob& job);

// Sets to 255 the page pixels strictly inside each row's box (the word box grown
// by one pixel on each side), skipping rows that reach outside the page.
void whitenRowInteriors(const SharedPage& page, std::span<const TextRow> rows);

// The text pixels of both band images on white; where both hold text, the lesser.
GreyImage mergeBandImages(const GreyImage& a, const GreyImage& b);

}  // namespace glimmer
