#include "formats/bmp_writer.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace glimmer {
namespace {

constexpr std::uint32_t kHeaderSize = 54;
constexpr std::size_t kFlushSize = 1 << 20;

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void appendHeader(std::vector<std::uint8_t>& out, const GreyImage& image, std::uint32_t imageBytes) {
  out.push_back('B');
  out.push_back('M');
  putLittleEndian(out, kHeaderSize + imageBytes, 4);  // file size
  putLittleEndian(out, 0, 4);                         // two reserved fields
  putLittleEndian(out, kHeaderSize, 4);               // offset of the pixel data
  putLittleEndian(out, 40, 4);                        // info header size
  putLittleEndian(out, static_cast<std::uint32_t>(image.width), 4);
  putLittleEndian(out, static_cast<std::uint32_t>(image.height), 4);  // positive: bottom row first
  putLittleEndian(out, 1, 2);                                         // planes
  putLittleEndian(out, 24, 2);                                        // bits per pixel
  putLittleEndian(out, 0, 4);                                         // no compression
  putLittleEndian(out, imageBytes, 4);
  out.insert(out.end(), 16, 0);  // resolutions and colour counts
}

// Header and rows, bottom row first, flushed in large blocks.
bool writeContents(OutputFile& output, const GreyImage& image, std::size_t rowSize, std::uint32_t imageBytes) {
  std::vector<std::uint8_t> buffer;
  buffer.reserve(kFlushSize + rowSize + kHeaderSize);
  appendHeader(buffer, image, imageBytes);
  for (std::int32_t y = image.height - 1; imageBytes > 0 && y >= 0; --y) {
    const std::size_t rowStart = buffer.size();
    buffer.resize(rowStart + rowSize, 0);  // the zeros past the last pixel pad the row
    std::uint8_t* out = buffer.data() + rowStart;
    for (const std::uint8_t* grey = image.row(y); grey != image.row(y) + image.width; ++grey, out += 3) {
      out[0] = out[1] = out[2] = *grey;
    }
    if (buffer.size() >= kFlushSize) {
      if (!output.write(buffer)) return false;
      buffer.clear();
    }
  }
  return output.write(buffer);
}

}  // namespace

bool writeBmp(const GreyImage& image, OutputFile& output) {
  const bool hasPixels = image.width > 0 && image.height > 0;
  const std::size_t rowSize = hasPixels ? (3 * static_cast<std::size_t>(image.width) + 3) / 4 * 4 : 0;
  const std::size_t imageBytes = rowSize * (hasPixels ? static_cast<std::size_t>(image.height) : 0);
  if (imageBytes > std::numeric_limits<std::uint32_t>::max() - kHeaderSize) {
    return output.fail("the image is too large for a BMP file");
  }
  if (hasPixels && image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
    return output.fail("the image holds fewer pixels than its size says");
  }
  return writeContents(output, image, rowSize, static_cast<std::uint32_t>(imageBytes));
}

}  // namespace glimmer
