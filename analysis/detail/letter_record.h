// Recording a character of an accepted word as a letter, once per character
// however often it is met.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/found_lines.h"
#include "analysis/shared_analysis.h"
#include "common/records.h"

namespace glimmer::detail {

// Appends the character's letter unless its start pixel already belongs to a
// letter, and claims all of its pixels. The caller holds the shared mutex.
void recordLetter(LetterMask& mask, std::vector<LetterBox>& letters, const FoundCharacter& character,
                  std::int32_t wordNumber, std::int32_t baselo, std::int32_t basehi);

}  // namespace glimmer::detail
