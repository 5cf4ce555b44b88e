// The column bands of a page: their bounds and the thread that analyses one band.
#pragma once

#include <barrier>
#include <condition_variable>
#include <cstdint>

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

// Whose turn it is to commit: the bands commit what they find, and write their
// diagnostic lines, one after the other from the left. Guarded by the shared
// analysis mutex.
struct CommitOrder {
  std::int32_t committedBands = 0;  // bands, from the left, that have committed everything
  std::condition_variable bandCommitted;
};

// Everything one band thread works with. The page, the shared analysis state,
// the host, the start barrier and the commit order are shared by all bands of
// the run.
struct BandJob {
  std::int32_t index = 0;
  BandRange range;
  const GreyImage* page = nullptr;
  SharedAnalysis* shared = nullptr;
  DriverHost* host = nullptr;
  std::barrier<>* startLine = nullptr;
  CommitOrder* order = nullptr;
};

// Runs on the band's own thread: analyses every pixel of the band's columns.
// While bands to its left are still at work it holds back its lines and its
// diagnostic lines; they take effect when its turn comes, so the run records
// what one band scanning the whole page records. The page is only read.
void runBand(BandJob& job);

}  // namespace glimmer
