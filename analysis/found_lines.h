// What a band's analysis takes from a text line it meets for the first time,
// held back while bands to its left are still scanning. Committed later in the
// order the band found them, the lines take effect exactly as if the band had
// started only after every band to its left had finished: the order of one band
// scanning the whole page column by column.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "analysis/detail/blob_growth.h"
#include "analysis/shared_analysis.h"
#include "common/records.h"
#include "skeleton/stroke_width.h"

namespace glimmer {

// A line whose key the band set, with the first word of the line: the only
// word a new key lets through, since every word of a line carries its key.
struct FoundLine {
  LineKey key{};
  bool isText = false;  // the word has the shape of text; the fields below are set only then
  TextRow row;
  StrokeWidthVerdict verdict;
  std::vector<detail::PixelPoint> pixels;  // the word's characters, one after the other
  std::vector<std::size_t> characterEnds;  // where each character's pixels end
  KeptWord kept;                           // a valid word, for the refinement of marks and counters
};

struct HeldLines {
  bool holding = false;          // bands to the left have not committed yet
  std::set<LineKey> keys;        // keys the band set while holding
  std::vector<FoundLine> lines;  // in the order the band found them
};

}  // namespace glimmer
