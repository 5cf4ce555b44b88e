#include "analysis/detail/letter_record.h"

#include <utility>

namespace glimmer::detail {

void recordLetter(LetterMask& mask, std::vector<LetterBox>& letters, const FoundCharacter& character,
                  std::int32_t wordNumber, std::int32_t baselo, std::int32_t basehi) {
  if (mask.isSet(character.start().x, character.start().y)) return;
  mask.set(character.bitmap());
  const PixelPoint least = character.topLeft();
  const PixelPoint greatest = character.bottomRight();
  LetterBox letter;
  letter.x = least.x;
  letter.y = least.y;
  letter.width = greatest.x - least.x + 1;
  letter.height = greatest.y - least.y + 1;
  letter.pixelCount = character.pixelCount();
  letter.wordNumber = wordNumber;
  letter.clones = {{least.x, least.y}};
  letter.baselo = {baselo};
  letter.basehi = {basehi};
  letters.push_back(std::move(letter));
}

}  // namespace glimmer::detail
