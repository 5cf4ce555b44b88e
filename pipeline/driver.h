// Takes one input through the whole pipeline: checks, JPEG conversion,
// reading, band analysis on one thread per band, merging, and the outputs.
// An input of several pages (TIFF, PDF) is taken through page by page, one
// page in memory at a time; the diagnostic files then describe the last page.
// The output's extension chooses its format (page_writer.h): a TIFF or PDF
// output holds every page, a BMP or PNG output is one file a page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pipeline/driver_host.h"

namespace glimmer {

struct ProcessRequest {
  std::string inputPath;
  std::string outputPath;
  bool writeRows = false;
  bool writeChars = false;
  std::string coordinateFolder;       // empty: the coordinate files go beside the input
  std::int32_t bandCount = 1;         // clamped to 1..64
  bool dashIsStandardOutput = false;  // an outputPath of "-" means standard output (a BMP)
  std::int32_t pdfDpi = 300;          // resolution PDF pages are drawn at, kMinPdfDpi..kMaxPdfDpi
  bool bilevel = false;               // PNG, TIFF, PDF output of one bit a pixel: below 255 is black
  // The output image also keeps the dots, accents, punctuation and bullets of
  // the kept words and clears their letters' filled counters. Diagnostic and
  // coordinate files stay those of the plain analysis.
  bool keepMarks = false;
  // Where scores.txt, logger.txt and skeleton.bmp go: the current folder unless
  // told otherwise; none are written, and no skeleton is made, when unset.
  std::optional<std::string> diagnosticsFolder = std::string(".");
};

// Returns 0 when the run completed and 1 when it stopped at a check, could not
// write what it was asked to, or was stopped by the host
// (DriverHost::stopReason), after the host has shown the reason. A page that
// is stopped is not written.
// `processedPnmPath` receives the PNM actually read after a successful run:
// the input itself, or the decoded temporary file of a JPEG input, which the
// run has already removed (the caller has nothing to delete).
int processImageFile(const ProcessRequest& request, DriverHost& host, std::string& processedPnmPath);

}  // namespace glimmer
