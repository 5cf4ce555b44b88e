// What the band threads of one run share. Every read and write of these fields
// but the counts memo happens with `mutex` held. Bands commit what they find in
// band order (see analysis/found_lines.h), so the state they leave is that of
// one band scanning the whole page, whatever the band count and however the
// threads interleave.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "analysis/pixel_mask.h"
#include "analysis/word_marks.h"
#include "common/line_sink.h"
#include "common/records.h"
#include "skeleton/stroke_width.h"

namespace glimmer {

// A bit per page pixel: set once the pixel belongs to a recorded letter.
using LetterMask = PixelMask;

// A text line's identity: its row box (left, top, right, bottom) and its
// number of characters.
using LineKey = std::array<std::int32_t, 5>;

struct SharedAnalysis {
  SharedAnalysis(std::int32_t pageWidth, std::int32_t pageHeight, LineSink& scoresLog)
      : letterMask(pageWidth, pageHeight), scores(scoresLog), wordPixels(pageWidth, pageHeight) {}

  std::mutex mutex;
  std::set<LineKey> seedCache;     // lines whose words have been handled
  std::vector<TextRow> textRows;   // every recorded word box, in recording order
  std::vector<LetterBox> letters;  // every recorded letter
  LetterMask letterMask;
  std::int32_t letterCounter = 0;              // numbers accepted words
  std::map<std::int32_t, std::int32_t> votes;  // stroke-width vote key -> count
  LineSink& scores;                            // scores.txt

  // The pixels of every valid word, set as the lines commit (the page's words
  // on white once the bands are done, see keepTextOnWhite), and every such
  // word, for the refinement of marks and counters.
  PixelMask wordPixels;
  std::vector<KeptWord> keptWords;

  // Not under `mutex`: the bands judge words unlocked, and the memo locks itself.
  CharacterCountsMemo characterCounts;
};

}  // namespace glimmer
