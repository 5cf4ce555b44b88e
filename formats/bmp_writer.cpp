#include "formats/bmp_writer.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace glimmer {
namespace {

constexpr std::uint32_t kHeaderSize = 54;
constexpr std::size_t kFlushSize = 1 << 20;

constexpr int kNameAttempts = 100;

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

// The folder part of `path` (its text up to the last slash; "." for none) and
// the name after it.
std::pair<std::string, std::string> splitFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::uint64_t randomBits() {
  std::uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) return bits;
  return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
         (static_cast<std::uint64_t>(::getpid()) << 40);
}

// Creates a new file under a fresh name in the folder open as `folder`, with
// the mode any new file gets (the kernel applies the umask); O_EXCL makes sure
// it is ours and not something planted under that name. Sets `name`; returns
// the descriptor, or -1.
int createTemporary(int folder, std::string& name) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(randomBits()));
    name = std::string(".glimmer-bmp-") + suffix;
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool writeBmp(const GreyImage& image, const std::string& path) {
  const bool hasPixels = image.width > 0 && image.height > 0;
  const std::size_t rowSize = hasPixels ? (3 * static_cast<std::size_t>(image.width) + 3) / 4 * 4 : 0;
  const std::size_t imageBytes = rowSize * (hasPixels ? static_cast<std::size_t>(image.height) : 0);
  if (imageBytes > std::numeric_limits<std::uint32_t>::max() - kHeaderSize) return false;
  if (hasPixels && image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) return false;

  // Working relative to the folder keeps the temporary name within reach even
  // when `path` is close to the longest path the system takes.
  const auto [folderPath, name] = splitFolder(path);
  const int folder = ::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  std::string temporaryName;
  const int fd = createTemporary(folder, temporaryName);
  bool written = fd >= 0 && writeContents(fd, image, rowSize, static_cast<std::uint32_t>(imageBytes));
  if (fd >= 0) written = ::close(fd) == 0 && written;
  written = written && ::renameat(folder, temporaryName.c_str(), folder, name.c_str()) == 0;
  if (!written && fd >= 0) ::unlinkat(folder, temporaryName.c_str(), 0);
  ::close(folder);
  return written;
}

}  // namespace glimmer
