// The plain thinning that skeletonise() must match byte for byte; tests only.
#pragma once

#include "common/grey_image.h"

namespace glimmer {

// Same contract as skeletonise(): values below 255 are ink, the result holds 0
// for skeleton pixels and 255 elsewhere.
void referenceSkeletonise(GreyImage& image);

}  // namespace glimmer
