// What the band threads of one run share. Every read and write of these fields
// happens with `mutex` held; the seed-cache test-and-set and the letter-mask
// test, marking and append are each one critical section.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/line_sink.h"
#include "common/records.h"

namespace glimmer {

struct SharedAnalysis {
  SharedAnalysis(std::int32_t pageWidth, std::int32_t pageHeight, LineSink& scoresLog)
      : letterMask(static_cast<std::size_t>(pageWidth) * static_cast<std::size_t>(pageHeight), 0),
        maskHeight(pageHeight),
        scores(scoresLog) {}

  std::mutex mutex;
  std::set<std::string> seedCache;       // line keys already handled
  std::vector<TextRow> textRows;         // every recorded word box, in recording order
  std::vector<LetterBox> letters;        // every recorded letter
  std::vector<std::uint8_t> letterMask;  // x * maskHeight + y; 1 = claimed by a letter
  std::int32_t maskHeight;
  std::int32_t letterCounter = 0;              // numbers accepted words
  std::map<std::int32_t, std::int32_t> votes;  // stroke-width vote key -> count
  LineSink& scores;                            // scores.txt
};

}  // namespace glimmer
