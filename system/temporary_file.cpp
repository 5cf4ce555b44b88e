#include "system/temporary_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <set>
#include <string_view>
#include <utility>

namespace glimmer {

namespace {

constexpr std::string_view kPrefix = ".glimmer-";
constexpr std::size_t kRandomDigits = 16;
constexpr int kNameAttempts = 100;

std::uint64_t randomBits() {
  std::uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) return bits;
  static std::atomic<std::uint64_t> counter{0};
  return static_cast<std::uint64_t>(std::time(nullptr)) * 0x9E3779B97F4A7C15ull ^ ++counter;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

bool startsWithRandomDigits(std::string_view text) {
  if (text.size() < kRandomDigits) return false;
  for (std::size_t i = 0; i < kRandomDigits; ++i) {
    if (!isHexDigit(text[i])) return false;
  }
  return true;
}

// The process number in a temporary's name, kUnknownOwner for the output
// temporaries of earlier versions (".glimmer-bmp-RANDOM", which name none),
// or -1 when the name is not a temporary's.
constexpr pid_t kUnknownOwner = 0;
constexpr std::string_view kEarlierPrefix = ".glimmer-bmp-";

pid_t ownerOfTemporaryName(std::string_view name) {
  if (name.starts_with(kEarlierPrefix)) {
    return startsWithRandomDigits(name.substr(kEarlierPrefix.size())) ? kUnknownOwner : -1;
  }
  if (!name.starts_with(kPrefix)) return -1;
  name.remove_prefix(kPrefix.size());
  pid_t owner = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), owner);
  if (error != std::errc() || owner <= 0 || end == name.data() + name.size() || *end != '-') return -1;
  return startsWithRandomDigits(name.substr(static_cast<std::size_t>(end - name.data()) + 1)) ? owner : -1;
}

bool isRunning(pid_t process) { return process != kUnknownOwner && (::kill(process, 0) == 0 || errno == EPERM); }

// Each folder is swept once per process: a batch writes many outputs into one.
bool firstVisit(int folder) {
  static std::mutex mutex;
  static std::set<std::pair<dev_t, ino_t>> visited;
  struct stat status {};
  if (::fstat(folder, &status) != 0) return false;
  std::lock_guard lock(mutex);
  return visited.emplace(status.st_dev, status.st_ino).second;
}

}  // namespace

int removeStaleTemporaries(int folder, std::chrono::seconds minimumAge) {
  const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return 0;
  DIR* entries = ::fdopendir(listing);
  if (entries == nullptr) {
    ::close(listing);
    return 0;
  }
  const std::time_t now = std::time(nullptr);
  int removed = 0;
  while (const dirent* entry = ::readdir(entries)) {
    const pid_t owner = ownerOfTemporaryName(entry->d_name);
    if (owner < 0 || owner == ::getpid()) continue;
    struct stat status {};
    if (::fstatat(listing, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid() || now - status.st_mtime < minimumAge.count() || isRunning(owner)) {
      continue;
    }
    if (::unlinkat(listing, entry->d_name, 0) == 0) ++removed;
  }
  ::closedir(entries);
  return removed;
}

int createTemporaryFile(int folder, const std::string& suffix, mode_t mode, std::string& name,
                        InterruptCleanup& cleanup) {
  if (firstVisit(folder)) removeStaleTemporaries(folder);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char random[kRandomDigits + 1];
    std::snprintf(random, sizeof random, "%016llx", static_cast<unsigned long long>(randomBits()));
    name = std::string(kPrefix) + std::to_string(::getpid()) + "-" + random + suffix;
    const InterruptsHeld held;
    const int fd = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) cleanup = InterruptCleanup::removeFile(folder, name);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace glimmer
