// Marks and counters of the kept words: a refinement of the output image once
// the valid words are known. The word analysis keeps whole letters only, so
// the dots of i and j, accents, punctuation and bullets are missing, and a
// letter grown through a pale counter keeps that counter as a grey blob. This
// gives both back, near the kept words only.
#pragma once

#include <compare>
#include <cstdint>
#include <span>

#include "common/grey_image.h"

namespace glimmer {

// What the analysis knows of a word it painted.
struct KeptWord {
  std::int32_t left = 0;  // extremes of the word's characters
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::int32_t meanLine = 0;   // where most of its characters start and end:
  std::int32_t baseline = 0;   // the x-height band
  std::int32_t textLevel = 0;  // the grey its letters were grown from
  std::int32_t margin = 0;     // how far from it their greys reached
  auto operator<=>(const KeptWord&) const = default;
};

// `words` is the analysis output for `page` (the page as it was read, before
// any whitening) and `kept` the words painted into it. Returns the output with,
// around each kept word, the small components of its text grey that sit where
// marks belong (above its letters, beside it on its line, a bullet before the
// first word of a line), and with every pixel of its letters whose grey lies
// nearer its background than its text level made white. Nothing else changes.
GreyImage withMarksAndCounters(const GreyImage& page, const GreyImage& words, std::span<const KeptWord> kept);

}  // namespace glimmer
