#include "system/mapped_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

namespace glimmer {

namespace {

// The mappings whose reads are guarded. A slot's range is published under a
// version that is odd while it changes, so that the signal handler, which may
// run while another thread maps or unmaps, takes only whole ranges.
struct GuardSlot {
  std::atomic<bool> taken{false};
  std::atomic<std::uint32_t> version{0};
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<bool> cutShort{false};
};

constexpr std::size_t kGuardSlots = 256;
std::array<GuardSlot, kGuardSlots> guardSlots;
struct sigaction busActionBefore {};
std::uintptr_t pageSize = 4096;

static_assert(std::atomic<std::uintptr_t>::is_always_lock_free && std::atomic<std::uint32_t>::is_always_lock_free,
              "the signal handler reads these atomics");

void publish(GuardSlot& slot, std::uintptr_t begin, std::uintptr_t end) {
  slot.version.fetch_add(1);
  slot.begin.store(begin);
  slot.end.store(end);
  slot.version.fetch_add(1);
}

bool covers(const GuardSlot& slot, std::uintptr_t address) {
  const std::uint32_t version = slot.version.load();
  if (version % 2 != 0) return false;
  const std::uintptr_t begin = slot.begin.load();
  const std::uintptr_t end = slot.end.load();
  return slot.version.load() == version && begin <= address && address < end;
}

// A read past the end of a guarded mapping's file gets a page of zeros in
// place of the page that is gone, and the read is done again. Any other bus
// error is left to the action there was before: the read faults again under it.
void onBusError(int, siginfo_t* info, void*) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (GuardSlot& slot : guardSlots) {
    if (!covers(slot, address)) continue;
    void* const page = reinterpret_cast<void*>(address & ~(pageSize - 1));
    if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_ANONYMOUS, -1, 0) == MAP_FAILED) break;
    slot.cutShort.store(true);
    return;
  }
  ::sigaction(SIGBUS, &busActionBefore, nullptr);
}

// The slot now guarding [data, data + size), or -1 when every slot is taken.
int guard(const std::uint8_t* data, std::size_t size) {
  static std::once_flag handlerInstalled;
  std::call_once(handlerInstalled, [] {
    pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &busActionBefore);
  });
  for (std::size_t i = 0; i < kGuardSlots; ++i) {
    bool expected = false;
    if (!guardSlots[i].taken.compare_exchange_strong(expected, true)) continue;
    guardSlots[i].cutShort.store(false);
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    publish(guardSlots[i], begin, begin + size);
    return static_cast<int>(i);
  }
  return -1;
}

void release(int index) {
  GuardSlot& slot = guardSlots[static_cast<std::size_t>(index)];
  publish(slot, 0, 0);
  slot.taken.store(false);
}

}  // namespace

std::optional<MappedFile> MappedFile::open(const std::string& path, std::string& problem) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    problem = std::strerror(errno);
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    problem = "not a regular file";
    ::close(fd);
    return std::nullopt;
  }
  if (info.st_size == 0) {
    ::close(fd);
    return MappedFile(nullptr, 0, -1);
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  const int mapError = errno;
  ::close(fd);  // the mapping keeps the file
  if (data == MAP_FAILED) {
    problem = std::strerror(mapError);
    return std::nullopt;
  }
  const auto* const bytes = static_cast<const std::uint8_t*>(data);
  return MappedFile(bytes, size, guard(bytes, size));
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      guard_(std::exchange(other.guard_, -1)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    unmap();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    guard_ = std::exchange(other.guard_, -1);
  }
  return *this;
}

MappedFile::~MappedFile() { unmap(); }

bool MappedFile::cutShort() const {
  return guard_ >= 0 && guardSlots[static_cast<std::size_t>(guard_)].cutShort.load();
}

void MappedFile::unmap() {
  // Unguarded first: once unmapped, the range may be mapped again for anything.
  if (guard_ >= 0) release(std::exchange(guard_, -1));
  if (data_ != nullptr) ::munmap(const_cast<std::uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace glimmer
