// One output file, written where the user pointed and through what they pointed
// at, never lost half-way:
// - a new name or a regular file: written to a temporary beside it, synced,
//   then renamed into place with the old file's mode (and, for root, owner);
//   an existing name is replaced only when the caller may replace it; a file
//   with several hard links is overwritten in place once the new bytes are
//   whole beside it, so that every name shows the new image;
// - a symbolic link to a regular file: the same at the link's target, so the
//   link stays; a link to a folder or to nothing is refused;
// - a character device, FIFO or socket: written straight into, opened without
//   waiting (a FIFO nobody reads is a failure, not a hang); a block device is
//   refused;
// - "-", where the caller allows it: standard output.
// Every failure is kept with the system's reason; an output not committed
// leaves nothing behind (for an append: the file as it was).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "system/interrupt_cleanup.h"

namespace glimmer {

struct OutputRules {
  // An existing file may be replaced: the user agreed, or the name is the
  // program's own. Without it, a name that exists when the output is committed
  // (one that appeared while the run worked) is left alone and the commit fails.
  bool mayReplace = false;
  // The program's own name (scores.txt, a coordinate file) in a folder others
  // may write to: a symbolic link there is not followed, and only a regular
  // file or a new name is written.
  bool ownName = false;
  // Add to the end instead of replacing; an append that fails or is not
  // committed cuts the file back to its length before (a new file is removed).
  bool append = false;
  // "-" names standard output.
  bool dashIsStandardOutput = false;
};

class OutputFile {
 public:
  OutputFile(std::string path, OutputRules rules);
  ~OutputFile();  // an output not committed is discarded
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& path() const { return path_; }
  bool ok() const { return failure_.empty(); }
  // Why the output failed: the system's reason ("No space left on device") or
  // a refusal ("a symbolic link to a folder"); empty while all is well.
  const std::string& failure() const { return failure_; }
  // True when the bytes go straight into a device, FIFO, socket or standard
  // output, where nothing can be taken back.
  bool isStream() const { return kind_ == Kind::kStream; }

  // Each false once the output has failed.
  bool write(std::span<const std::uint8_t> bytes);
  bool write(std::string_view bytes);
  // Makes the output whole and visible: flushed, synced and renamed into place.
  bool commit();
  // Abandons the output with `reason` (a writer's own failure); returns false.
  bool fail(std::string reason);

 private:
  enum class Kind { kNone, kReplace, kAppend, kStream };

  void open();
  void openReplacement(const std::string& name, const struct stat* existing);
  void openAppend(const std::string& name);
  void openStream(int folder, const std::string& name, mode_t type);
  bool openFolder(const std::string& folderPath);
  bool statOpened(struct stat& status);
  bool flush();
  bool publishReplacement();
  bool overwriteInPlace();
  bool failWithErrno(int error);
  void discard();

  std::string path_;
  OutputRules rules_;
  Kind kind_ = Kind::kNone;
  std::string failure_;
  int folder_ = -1;
  int fd_ = -1;
  bool ownsDescriptor_ = true;
  std::string targetName_;     // the name in folder_ that the output becomes
  std::string temporaryName_;  // kReplace: the temporary beside it
  bool replacesExisting_ = false;
  struct stat existing_ {};  // the replaced file's status, when replacesExisting_
  off_t appendStart_ = 0;    // kAppend: the length before this run
  bool createdForAppend_ = false;
  std::vector<std::uint8_t> buffer_;
  InterruptCleanup cleanup_;
};

}  // namespace glimmer
