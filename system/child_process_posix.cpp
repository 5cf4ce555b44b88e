// The child process runner on POSIX systems: posix_spawnp in a new session with
// /dev/null as the standard streams, then waitpid.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "system/child_process.h"
#include "system/interrupt_cleanup.h"

extern char** environ;

namespace glimmer {

namespace {

// Owns the spawn attributes and file actions for one start.
class SpawnSetup {
 public:
  // `errorFd` receives the child's standard error; -1 for /dev/null.
  explicit SpawnSetup(int errorFd) {
    ready_ = posix_spawnattr_init(&attributes_) == 0;
    if (!ready_) return;
    actionsReady_ = posix_spawn_file_actions_init(&actions_) == 0;
    ready_ = actionsReady_ && configure(errorFd);
  }
  ~SpawnSetup() {
    if (actionsReady_) posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool ready() const { return ready_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  bool configure(int errorFd) {
    // A new session detaches the child from our terminal; signal mask and
    // dispositions start clean whatever the calling thread had set.
    sigset_t noSignals;
    sigset_t allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    const short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (posix_spawnattr_setflags(&attributes_, flags) != 0 ||
        posix_spawnattr_setsigmask(&attributes_, &noSignals) != 0 ||
        posix_spawnattr_setsigdefault(&attributes_, &allSignals) != 0) {
      return false;
    }
    return posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
           posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
           (errorFd >= 0 ? posix_spawn_file_actions_adddup2(&actions_, errorFd, STDERR_FILENO) == 0
                         : posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0);
  }

  posix_spawnattr_t attributes_{};
  posix_spawn_file_actions_t actions_{};
  bool ready_ = false;
  bool actionsReady_ = false;
};

// waitpid, again when a signal interrupts it.
pid_t waitFor(pid_t child, int& status, int options) {
  pid_t waited = 0;
  do {
    waited = waitpid(child, &status, options);
  } while (waited < 0 && errno == EINTR);
  return waited;
}

std::int32_t exitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return kChildNotStarted;
}

std::int32_t waitWithoutLimit(pid_t child) {
  int status = 0;
  if (waitFor(child, status, 0) != child) return kChildNotStarted;  // the exit status is lost (SIGCHLD ignored)
  return exitCodeOf(status);
}

// Polls for the child's end, first often, since most children end quickly,
// then at most every 50 ms. A child past the deadline is killed with its
// process group: being a session leader, it leads the group of everything it
// started that did not leave it.
std::int32_t waitWithLimit(pid_t child, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + limit;
  std::chrono::milliseconds pause(1);
  int status = 0;
  for (;;) {
    const pid_t waited = waitFor(child, status, WNOHANG);
    if (waited == child) return exitCodeOf(status);
    if (waited < 0) return kChildNotStarted;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) break;
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
  kill(-child, SIGKILL);
  waitFor(child, status, 0);
  return kChildTimedOut;
}

// A file in memory that takes a child's standard error.
class ErrorCapture {
 public:
  ErrorCapture() : fd_(memfd_create("child-stderr", MFD_CLOEXEC)) {}
  ~ErrorCapture() {
    if (fd_ >= 0) close(fd_);
  }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

  int fd() const { return fd_; }
  std::string text() const {
    std::string text(kErrorOutputLimit, '\0');
    const ssize_t got = fd_ >= 0 ? pread(fd_, text.data(), text.size(), 0) : -1;
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
  }

 private:
  int fd_;
};

// The null-ended argument array that the spawn call takes.
std::vector<char*> argumentVector(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

std::int32_t runChildArguments(const std::vector<std::string>& arguments, bool /*hidden*/,
                               std::optional<std::chrono::milliseconds> timeLimit, std::string* errorOutput) {
  // Without a window system's start-up hints there is nothing to hide: the
  // child shows a window only if it opens one itself.
  if (arguments.empty() || arguments.front().empty()) return kChildNotStarted;
  std::vector<char*> argv = argumentVector(arguments);

  std::optional<ErrorCapture> capture;
  if (errorOutput != nullptr) capture.emplace();
  SpawnSetup setup(capture ? capture->fd() : -1);
  if (!setup.ready()) return kChildNotStarted;
  pid_t child = 0;
  // glibc's posix_spawnp reports a failed exec (program missing, not
  // executable) as its result, so a command that cannot start never looks
  // like a child that ran.
  // A signal that ends the run while the child works ends the child too: it
  // leads its own session, so the terminal's signals do not reach it.
  InterruptCleanup stopOnInterrupt;
  {
    const InterruptsHeld held;
    if (posix_spawnp(&child, argv[0], setup.actions(), setup.attributes(), argv.data(), environ) != 0) {
      return kChildNotStarted;
    }
    stopOnInterrupt = InterruptCleanup::stopChild(child);
  }
  const std::int32_t status = timeLimit ? waitWithLimit(child, *timeLimit) : waitWithoutLimit(child);
  stopOnInterrupt.release();
  if (capture) *errorOutput = capture->text();
  return status;
}

std::string startDetachedChild(const std::vector<std::string>& arguments, std::chrono::milliseconds watch) {
  if (arguments.empty() || arguments.front().empty()) return "no program given";
  std::vector<char*> argv = argumentVector(arguments);
  SpawnSetup setup(-1);
  if (!setup.ready()) return "cannot prepare a child process";
  pid_t child = 0;
  if (const int error = posix_spawnp(&child, argv[0], setup.actions(), setup.attributes(), argv.data(), environ);
      error != 0) {
    return arguments.front() + ": " + std::strerror(error);
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + watch;
  int status = 0;
  for (;;) {
    const pid_t waited = waitFor(child, status, WNOHANG);
    if (waited < 0) return {};  // already reaped elsewhere: nothing left to watch
    if (waited == child) {
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
      return arguments.front() + (WIFEXITED(status) ? " exited with status " + std::to_string(WEXITSTATUS(status))
                                                    : " ended by signal " + std::to_string(WTERMSIG(status)));
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Still running, as a viewer may stay: its end is collected without holding anyone up.
  std::thread([child] {
    int ignored = 0;
    waitFor(child, ignored, 0);
  }).detach();
  return {};
}

std::int32_t runChildProcess(const std::string& commandLine, bool hidden) {
  return runChildArguments(splitCommandLine(commandLine), hidden);
}

}  // namespace glimmer
