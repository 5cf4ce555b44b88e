#include "analysis/detail/letter_record.h"

#include <algorithm>
#include <utility>

namespace glimmer::detail {

void recordLetter(LetterMask& mask, std::vector<LetterBox>& letters, std::span<const PixelPoint> group,
                  std::int32_t wordNumber, std::int32_t baselo, std::int32_t basehi) {
  if (group.empty() || mask.claimed(group.front().x, group.front().y)) return;
  PixelPoint least = group.front();
  PixelPoint greatest = group.front();
  for (const PixelPoint& p : group) {
    least = {std::min(least.x, p.x), std::min(least.y, p.y)};
    greatest = {std::max(greatest.x, p.x), std::max(greatest.y, p.y)};
    mask.claim(p.x, p.y);
  }
  LetterBox letter;
  letter.x = least.x;
  letter.y = least.y;
  letter.width = greatest.x - least.x + 1;
  letter.height = greatest.y - least.y + 1;
  letter.pixelCount = static_cast<std::int32_t>(group.size());
  letter.wordNumber = wordNumber;
  letter.clones = {{least.x, least.y}};
  letter.baselo = {baselo};
  letter.basehi = {basehi};
  letters.push_back(std::move(letter));
}

}  // namespace glimmer::detail
