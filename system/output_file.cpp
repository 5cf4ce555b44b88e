#include "system/output_file.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "system/temporary_file.h"

namespace glimmer {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

// The folder part of `path` (its text up to the last slash; "." for none) and
// the name after it.
std::pair<std::string, std::string> splitFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    if (written == 0) {
      errno = EIO;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Connects to a Unix socket through the folder's descriptor, which keeps the
// address short whatever the path's length.
int connectSocket(int folder, const std::string& name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const int length =
      std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s", folder, name.c_str());
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace

OutputFile::OutputFile(std::string path, OutputRules rules) : path_(std::move(path)), rules_(rules) { open(); }

OutputFile::~OutputFile() {
  discard();
  if (folder_ >= 0) ::close(folder_);
}

bool OutputFile::failWithErrno(int error) { return fail(std::strerror(error)); }

bool OutputFile::fail(std::string reason) {
  if (failure_.empty()) failure_ = std::move(reason);
  discard();
  return false;
}

bool OutputFile::statOpened(struct stat& status) { return ::fstat(fd_, &status) == 0 || failWithErrno(errno); }

bool OutputFile::openFolder(const std::string& folderPath) {
  if (folder_ >= 0) ::close(folder_);
  folder_ = ::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  return folder_ >= 0 || failWithErrno(errno);
}

void OutputFile::open() {
  if (rules_.dashIsStandardOutput && path_ == "-") {
    kind_ = Kind::kStream;
    fd_ = STDOUT_FILENO;
    ownsDescriptor_ = false;
    return;
  }
  const auto [folderPath, name] = splitFolder(path_);
  if (name.empty() || name == "." || name == "..") {
    failWithErrno(path_.empty() ? ENOENT : EISDIR);
    return;
  }
  // Working relative to the folder keeps the temporary's name within reach
  // even when the path is close to the longest the system takes.
  if (!openFolder(folderPath)) return;
  struct stat status {};
  if (::fstatat(folder_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) {
      failWithErrno(errno);
    } else if (rules_.append) {
      openAppend(name);
    } else {
      openReplacement(name, nullptr);
    }
    return;
  }
  if (S_ISLNK(status.st_mode)) {
    if (rules_.ownName) {
      fail("a symbolic link, not followed for a file the program names itself");
      return;
    }
    struct stat target {};
    if (::fstatat(folder_, name.c_str(), &target, 0) != 0) {
      fail(errno == ENOENT ? "a symbolic link to a file that does not exist (not written through it)"
                           : std::strerror(errno));
      return;
    }
    if (S_ISDIR(target.st_mode)) {
      fail("a symbolic link to a folder");
      return;
    }
    if (!S_ISREG(target.st_mode)) {
      openStream(folder_, name, target.st_mode);
      return;
    }
    // The output replaces the link's final target; the link itself stays.
    char* resolved = ::realpath(path_.c_str(), nullptr);
    if (resolved == nullptr) {
      failWithErrno(errno);
      return;
    }
    const auto [targetFolder, targetName] = splitFolder(resolved);
    std::free(resolved);
    if (!openFolder(targetFolder)) return;
    if (::fstatat(folder_, targetName.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode)) {
      fail("a symbolic link whose target changed while it was opened");
      return;
    }
    if (rules_.append) {
      openAppend(targetName);
    } else {
      openReplacement(targetName, &status);
    }
    return;
  }
  if (S_ISDIR(status.st_mode)) {
    failWithErrno(EISDIR);
  } else if (S_ISREG(status.st_mode)) {
    if (rules_.append) {
      openAppend(name);
    } else {
      openReplacement(name, &status);
    }
  } else if (rules_.ownName) {
    fail("not a regular file");
  } else {
    openStream(folder_, name, status.st_mode);
  }
}

void OutputFile::openReplacement(const std::string& name, const struct stat* existing) {
  kind_ = Kind::kReplace;
  targetName_ = name;
  replacesExisting_ = existing != nullptr;
  if (existing != nullptr) existing_ = *existing;
  // A file that replaces another is private until it takes the other's mode
  // at the commit; a new file gets the mode any new file gets.
  fd_ = createTemporaryFile(folder_, ".tmp", replacesExisting_ ? 0600 : 0666, temporaryName_, cleanup_);
  if (fd_ < 0) failWithErrno(errno);
}

void OutputFile::openAppend(const std::string& name) {
  kind_ = Kind::kAppend;
  targetName_ = name;
  const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  fd_ = ::openat(folder_, name.c_str(), flags);
  if (fd_ < 0 && errno == ENOENT) {
    fd_ = ::openat(folder_, name.c_str(), flags | O_CREAT | O_EXCL, 0666);
    createdForAppend_ = fd_ >= 0;
  }
  if (fd_ < 0) {
    // ELOOP: a link that appeared since the look.
    if (errno == ELOOP) fail("a symbolic link, not followed for a file the program names itself");
    failWithErrno(errno);
    return;
  }
  struct stat status {};
  if (!statOpened(status)) return;
  if (!S_ISREG(status.st_mode)) {
    fail("not a regular file");
    return;
  }
  appendStart_ = status.st_size;
  cleanup_ = createdForAppend_ ? InterruptCleanup::removeFile(folder_, targetName_)
                               : InterruptCleanup::truncateFile(fd_, appendStart_);
}

void OutputFile::openStream(int folder, const std::string& name, mode_t type) {
  kind_ = Kind::kStream;
  if (S_ISBLK(type)) {
    fail("a block device (not written)");
    return;
  }
  if (S_ISSOCK(type)) {
    fd_ = connectSocket(folder, name);
    if (fd_ < 0) failWithErrno(errno);
    return;
  }
  // Without O_NONBLOCK a FIFO nobody reads would hold the run for ever.
  fd_ = ::openat(folder, name.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    if (errno == ENXIO && S_ISFIFO(type)) {
      fail("a FIFO that nothing reads from");
    } else {
      failWithErrno(errno);
    }
    return;
  }
  struct stat status {};
  if (!statOpened(status)) return;
  if (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) {
    // Swapped for a file between the look and the open: never written in place.
    fail("replaced by a regular file while it was opened");
    return;
  }
  // Once open, writes wait for a slow reader like any other.
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) failWithErrno(errno);
}

bool OutputFile::flush() {
  if (!ok()) return false;
  if (!buffer_.empty() && !writeAll(fd_, buffer_.data(), buffer_.size())) return failWithErrno(errno);
  buffer_.clear();
  return true;
}

bool OutputFile::write(std::span<const std::uint8_t> bytes) {
  if (!ok()) return false;
  if (buffer_.size() + bytes.size() <= kBufferSize) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return true;
  }
  if (!flush()) return false;
  if (bytes.size() >= kBufferSize) return writeAll(fd_, bytes.data(), bytes.size()) || failWithErrno(errno);
  buffer_.assign(bytes.begin(), bytes.end());
  return true;
}

bool OutputFile::write(std::string_view bytes) {
  return write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

bool OutputFile::overwriteInPlace() {
  const off_t size = ::lseek(fd_, 0, SEEK_END);
  if (size < 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return failWithErrno(errno);
  const int target = ::openat(folder_, targetName_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (target < 0) return failWithErrno(errno);
  struct stat status {};
  int error = ::fstat(target, &status) != 0 ? errno : 0;
  if (error == 0 && (status.st_dev != existing_.st_dev || status.st_ino != existing_.st_ino)) {
    ::close(target);
    return fail("it was replaced while the run was working (not overwritten)");
  }
  // Room for every byte is taken before the first old one is overwritten.
  if (error == 0 && size > status.st_size && ::fallocate(target, FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
      errno != EOPNOTSUPP) {
    error = errno;
  }
  for (off_t copied = 0; error == 0 && copied < size;) {
    const ssize_t sent = ::sendfile(target, fd_, &copied, static_cast<std::size_t>(size - copied));
    if (sent < 0 && errno != EINTR) error = errno;
    if (sent == 0) error = EIO;
  }
  if (error == 0 && ::ftruncate(target, size) != 0) error = errno;
  if (error == 0 && ::fsync(target) != 0) error = errno;
  if (::close(target) != 0 && error == 0) error = errno;
  if (error != 0) return failWithErrno(error);
  ::close(std::exchange(fd_, -1));
  ::unlinkat(folder_, temporaryName_.c_str(), 0);
  temporaryName_.clear();
  return true;
}

bool OutputFile::publishReplacement() {
  // Several names share the replaced file: a rename would give only this one
  // the new image. Once the image is whole beside it, it goes into the file itself.
  if (replacesExisting_ && existing_.st_nlink > 1 && rules_.mayReplace) return overwriteInPlace();
  if (replacesExisting_) {
    // The owner first: changing it clears set-user-id bits that the mode then restores.
    if (::geteuid() == 0 && ::fchown(fd_, existing_.st_uid, existing_.st_gid) != 0) return failWithErrno(errno);
    if (::fchmod(fd_, existing_.st_mode & 07777) != 0) return failWithErrno(errno);
  }
  if (::fsync(fd_) != 0) return failWithErrno(errno);
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) return failWithErrno(errno);
  if (rules_.mayReplace) {
    if (::renameat(folder_, temporaryName_.c_str(), folder_, targetName_.c_str()) != 0) return failWithErrno(errno);
  } else if (::renameat2(folder_, temporaryName_.c_str(), folder_, targetName_.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST) return fail("it appeared while the run was working (not replaced)");
    if (errno != EINVAL) return failWithErrno(errno);
    // A file system without the atomic no-replace rename: a hard link fails the same way on an existing name.
    if (::linkat(folder_, temporaryName_.c_str(), folder_, targetName_.c_str(), 0) != 0) {
      return errno == EEXIST ? fail("it appeared while the run was working (not replaced)") : failWithErrno(errno);
    }
    ::unlinkat(folder_, temporaryName_.c_str(), 0);
  }
  temporaryName_.clear();
  return true;
}

bool OutputFile::commit() {
  if (!flush()) return false;
  bool done = true;
  switch (kind_) {
    case Kind::kReplace:
      done = publishReplacement();
      break;
    case Kind::kAppend:
      done = ::fsync(fd_) == 0 || failWithErrno(errno);
      break;
    case Kind::kStream:
      done = !ownsDescriptor_ || ::close(std::exchange(fd_, -1)) == 0 || failWithErrno(errno);
      break;
    case Kind::kNone:
      break;
  }
  if (!done) return false;
  cleanup_.release();
  if (fd_ >= 0 && ownsDescriptor_) ::close(fd_);
  fd_ = -1;
  kind_ = Kind::kNone;
  return true;
}

void OutputFile::discard() {
  buffer_.clear();
  if (kind_ == Kind::kAppend && fd_ >= 0) {
    if (createdForAppend_) {
      ::unlinkat(folder_, targetName_.c_str(), 0);
    } else {
      // Nothing more can be done when cutting back fails as well.
      [[maybe_unused]] const int ignored = ::ftruncate(fd_, appendStart_);
    }
  }
  if (fd_ >= 0 && ownsDescriptor_) ::close(fd_);
  fd_ = -1;
  if (kind_ == Kind::kReplace && !temporaryName_.empty()) ::unlinkat(folder_, temporaryName_.c_str(), 0);
  temporaryName_.clear();
  cleanup_.release();
  kind_ = Kind::kNone;
}

}  // namespace glimmer
