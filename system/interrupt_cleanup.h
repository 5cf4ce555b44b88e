// What a run leaves behind when a signal ends it: the files it registered are
// removed or cut back, the child processes it waits for are stopped, and the
// process then ends by that same signal, so its exit status still tells which.
// A batch may instead take the first SIGINT or SIGTERM as a request to stop,
// wind down and end by that signal itself (stopGentlyOnInterrupt).
// Everything the handler does is safe inside a signal handler.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>

namespace glimmer {

// Installs the handler for SIGINT, SIGTERM, SIGHUP and SIGPIPE, each unless it
// is ignored at start (a run started with nohup keeps ignoring SIGHUP). Front
// ends call it once at start; without it the registrations below are kept but
// nothing acts on them.
void installInterruptCleanup();

// From now on the first SIGINT or SIGTERM only stops the registered children
// and is remembered (stopSignal); the run is expected to notice, abandon its
// work (what is not committed is removed as usual) and call endByStopSignal.
// A second such signal ends the run at once, as without this call.
void stopGentlyOnInterrupt();

// The signal that asked the run to stop, or 0 while none has.
int stopSignal();

// Cleans up whatever is still registered and ends the process by stopSignal().
[[noreturn]] void endByStopSignal();

// One registered undo step, kept for as long as it is needed; dropping it
// (destruction or release) forgets the step without doing it. When every slot
// is taken the registration is empty and a signal leaves the file.
class InterruptCleanup {
 public:
  InterruptCleanup() = default;
  ~InterruptCleanup() { release(); }
  InterruptCleanup(InterruptCleanup&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
  InterruptCleanup& operator=(InterruptCleanup&& other) noexcept;
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

  // Remove `name` in the folder open as `folder` (the descriptor must stay
  // open while registered).
  static InterruptCleanup removeFile(int folder, const std::string& name);
  // Remove the empty folder `name` in the folder open as `parent`, after
  // every registered file is gone.
  static InterruptCleanup removeFolder(int parent, const std::string& name);
  // Cut the file open as `file` back to `length` bytes.
  static InterruptCleanup truncateFile(int file, off_t length);
  // Kill the child process group `processGroup` (SIGKILL), also when the
  // signal only asks the run to stop.
  static InterruptCleanup stopChild(pid_t processGroup);

  void release();

 private:
  explicit InterruptCleanup(int slot) : slot_(slot) {}
  static InterruptCleanup removeEntry(int folder, const std::string& name, bool isFolder);
  int slot_ = -1;
};

// Holds back, in the calling thread and while it lives, the signals the
// cleanup acts on, so that a child can be started and registered as one step:
// a signal in between would otherwise leave the child running.
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace glimmer
