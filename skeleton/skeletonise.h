// Distance-ordered thinning of every ink shape of a raster to one-pixel lines.
#pragma once

#include "common/grey_image.h"

namespace glimmer {

// Thins `image` in place. With `convert` set, every value below 255 is ink and
// the result holds 0 for skeleton pixels and 255 elsewhere; without it, the
// input holds 1 for ink and 0 for background, and so does the result.
// Pixels on the outermost rows and columns are never removed. Touches nothing
// but `image` and its own storage, so threads may thin different rasters at once.
void skeletonise(GreyImage& image, bool convert);

// The levels the thinning sweeps by, in an image of 1 for ink and 0 for
// background: every interior ink pixel gets its city-block distance to the
// background, levels stopping at 255 (the pixel byte); the outermost rows and
// columns stay as they are, as if the background lay beyond them. Returns the
// highest level plus one (2 when there is no level above 1).
int computeDistanceLevels(GreyImage& image);

}  // namespace glimmer
