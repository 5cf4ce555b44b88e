#include "formats/bmp_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

namespace glimmer {
namespace {

constexpr std::uint32_t kHeaderSize = 54;
constexpr std::size_t kFlushSize = 1 << 20;

// umask() can only be read by setting it, which would race with files other
// threads create; so it is read once, before main, while there is one thread.
mode_t readUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}
const mode_t kNewFileMode = 0644 & ~readUmask();

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

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// Header and rows, bottom row first, flushed in large blocks.
bool writeContents(int fd, const GreyImage& image, std::size_t rowSize, std::uint32_t imageBytes) {
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
      if (!writeAll(fd, buffer)) return false;
      buffer.clear();
    }
  }
  return writeAll(fd, buffer);
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool writeBmp(const GreyImage& image, const std::string& path) {
  const bool hasPixels = image.width > 0 && image.height > 0;
  const std::size_t rowSize = hasPixels ? (3 * static_cast<std::size_t>(image.width) + 3) / 4 * 4 : 0;
  const std::size_t imageBytes = rowSize * (hasPixels ? static_cast<std::size_t>(image.height) : 0);
  if (imageBytes > std::numeric_limits<std::uint32_t>::max() - kHeaderSize) return false;
  if (hasPixels && image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) return false;

  std::string temporaryPath = folderOf(path) + ".glimmer-bmp-XXXXXX";
  const int fd = ::mkstemp(temporaryPath.data());
  if (fd < 0) return false;
  bool written =
      ::fchmod(fd, kNewFileMode) == 0 && writeContents(fd, image, rowSize, static_cast<std::uint32_t>(imageBytes));
  written = ::close(fd) == 0 && written;
  if (written && std::rename(temporaryPath.c_str(), path.c_str()) == 0) return true;
  std::remove(temporaryPath.c_str());
  return false;
}

}  // namespace glimmer
