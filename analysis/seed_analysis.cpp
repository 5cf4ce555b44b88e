#include "analysis/seed_analysis.h"

namespace glimmer {

void analyseSeed(BandScratch&, const SharedPage&, std::int32_t, std::int32_t, GreyImage&, SharedAnalysis&) {}

}  // namespace glimmer
