// Distance-ordered thinning of every ink shape of a raster to one-pixel lines.
#pragma once

#include "common/grey_image.h"

namespace glimmer {

// Thins `image` in place. With `convert` set, every value below 255 is ink and
// the result holds 0 for skeleton pixels and 255 elsewhere; without it, the
// input holds non-zero for ink and 0 for background, and so does the result.
// Pixels on the outermost rows and columns are never removed. Allocates nothing
// and touches nothing but `image`, so threads may thin different rasters at once.
void skeletonise(GreyImage& image, bool convert);

}  // namespace glimmer
