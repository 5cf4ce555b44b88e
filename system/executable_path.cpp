#include "system/executable_path.h"

#include <unistd.h>

#include <vector>

namespace glimmer {

std::string executablePath() {
  // readlink does not say whether it truncated, so grow until the link fits.
  std::vector<char> buffer(256);
  while (buffer.size() <= 65536) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
  return {};
}

std::string executableFolder() {
  const std::string path = executablePath();
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace glimmer
