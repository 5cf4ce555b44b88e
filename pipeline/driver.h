// Takes one input page through the whole pipeline: checks, JPEG conversion,
// reading, band analysis on one thread per band, merging, and the outputs.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/driver_host.h"

namespace glimmer {

struct ProcessRequest {
  std::string inputPath;
  std::string outputPath;
  bool writeRows = false;
  bool writeChars = false;
  std::string coordinateFolder;  // empty: the coordinate files go beside the input
  std::int32_t bandCount = 1;    // clamped to 1..64
  // The output image also keeps the dots, accents, punctuation and bullets of
  // the kept words and clears their letters' filled counters. Diagnostic and
  // coordinate files stay those of the plain analysis.
  bool keepMarks = false;
};

// Returns 0 when the run completed and 1 when it stopped at a check, after the
// host has shown the reason. `processedPnmPath` receives the PNM actually read
// (the input itself, or the decoded temporary file of a JPEG input, which the
// caller deletes after a successful run).
int processImageFile(const ProcessRequest& request, DriverHost& host, std::string& processedPnmPath);

}  // namespace glimmer
