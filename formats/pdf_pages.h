// The pages of a PDF, each rendered on white at the asked resolution by the
// PDF library and turned into the analysis's grey.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "formats/page_reader.h"

namespace glimmer {

// Opens the document held in `bytes`, which must outlive the result. Refuses a
// damaged or encrypted document and one without pages, setting `problem`.
std::unique_ptr<PageSource> openPdfPages(std::span<const std::uint8_t> bytes, const ReadOptions& options,
                                         std::string& problem);

}  // namespace glimmer
