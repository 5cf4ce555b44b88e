// Temporary files under a name a later run recognises: ".glimmer-PID-RANDOM"
// and a suffix, PID being the process that made it. A run killed outright
// (SIGKILL, a power cut) cannot remove its own; the next run that makes a
// temporary in the same folder removes those left by runs that have ended.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include "system/interrupt_cleanup.h"

namespace glimmer {

// How old a temporary of an ended run must be before it is removed: a run on
// another machine sharing the folder has a process number that means nothing
// here, and no run takes a day.
inline constexpr std::chrono::hours kStaleTemporaryAge{24};

// Creates a new file under a fresh temporary name in the folder open as
// `folder`, with O_EXCL so that it is ours and nothing planted under that name.
// `mode` as for open (the umask applies). Sets `name`, and `cleanup` to its
// removal should a signal end the run (made in one step with the file, the
// folder descriptor must stay open while it is registered). Returns the
// descriptor (open for reading and writing), or -1 with errno set. Before the
// first temporary in a folder, stale ones are removed from it.
int createTemporaryFile(int folder, const std::string& suffix, mode_t mode, std::string& name,
                        InterruptCleanup& cleanup);

// Removes the regular files in the folder open as `folder` that carry a
// temporary name, belong to this user, were last changed at least `minimumAge`
// ago and whose process is no longer running (an earlier version's
// ".glimmer-bmp-RANDOM", which names no process, counts as such). Returns how
// many it removed.
int removeStaleTemporaries(int folder, std::chrono::seconds minimumAge = kStaleTemporaryAge);

}  // namespace glimmer
