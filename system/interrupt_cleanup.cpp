#include "system/interrupt_cleanup.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace glimmer {

namespace {

// A slot is claimed (kClaimed) while its fields are filled and only then
// published (kActive), so the handler never sees half a registration.
enum SlotState : int { kFree = 0, kClaimed = 1, kActive = 2 };
enum class Undo { kRemove, kTruncate, kRemoveFolder, kKillGroup };

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr std::size_t kSlots = 64;
constexpr std::size_t kNameCapacity = 256;

struct Slot {
  std::atomic<int> state{kFree};
  Undo undo = Undo::kRemove;
  int descriptor = -1;
  off_t length = 0;
  char name[kNameCapacity] = {};
};

std::array<Slot, kSlots> slots;
std::atomic<bool> stopGently{false};
std::atomic<int> stopRequest{0};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler reads these atomics");

int claimSlot() {
  for (std::size_t i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (slots[i].state.compare_exchange_strong(expected, kClaimed)) return static_cast<int>(i);
  }
  return -1;
}

// A registration without a name; the slot's index, or -1 when all are taken.
int registerNumbers(Undo undo, int descriptor, off_t length) {
  const int index = claimSlot();
  if (index < 0) return -1;
  Slot& slot = slots[static_cast<std::size_t>(index)];
  slot.undo = undo;
  slot.descriptor = descriptor;
  slot.length = length;
  slot.state.store(kActive);
  return index;
}

void stopChildren() {
  for (Slot& slot : slots) {
    if (slot.state.load() == kActive && slot.undo == Undo::kKillGroup) ::kill(-slot.descriptor, SIGKILL);
  }
}

void undoEverything(int signalNumber) {
  stopChildren();
  // Files first, so that the folders they were in are empty when their turn comes.
  for (Slot& slot : slots) {
    if (slot.state.load() != kActive) continue;
    if (slot.undo == Undo::kRemove) {
      ::unlinkat(slot.descriptor, slot.name, 0);
    } else if (slot.undo == Undo::kTruncate) {
      // The result is of no use here: the process ends either way.
      [[maybe_unused]] const int ignored = ::ftruncate(slot.descriptor, slot.length);
    }
  }
  for (Slot& slot : slots) {
    if (slot.state.load() == kActive && slot.undo == Undo::kRemoveFolder)
      ::unlinkat(slot.descriptor, slot.name, AT_REMOVEDIR);
  }
  // End by the same signal, with its default action.
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

void onSignal(int signalNumber) {
  const int savedErrno = errno;
  int noRequest = 0;
  if (stopGently.load() && (signalNumber == SIGINT || signalNumber == SIGTERM) &&
      stopRequest.compare_exchange_strong(noRequest, signalNumber)) {
    stopChildren();
  } else {
    undoEverything(signalNumber);
  }
  errno = savedErrno;
}

}  // namespace

void installInterruptCleanup() {
  for (const int signalNumber : kCleanupSignals) {
    struct sigaction previous {};
    if (::sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
  }
}

void stopGentlyOnInterrupt() { stopGently.store(true); }

int stopSignal() { return stopRequest.load(); }

void endByStopSignal() {
  undoEverything(stopRequest.load());
  ::_exit(128 + stopRequest.load());  // not reached unless the signal is blocked elsewhere
}

InterruptCleanup& InterruptCleanup::operator=(InterruptCleanup&& other) noexcept {
  if (this != &other) {
    release();
    slot_ = other.slot_;
    other.slot_ = -1;
  }
  return *this;
}

InterruptCleanup InterruptCleanup::removeFile(int folder, const std::string& name) {
  return removeEntry(folder, name, false);
}

InterruptCleanup InterruptCleanup::removeFolder(int parent, const std::string& name) {
  return removeEntry(parent, name, true);
}

InterruptCleanup InterruptCleanup::removeEntry(int folder, const std::string& name, bool isFolder) {
  if (name.size() >= kNameCapacity) return InterruptCleanup();
  const int index = claimSlot();
  if (index < 0) return InterruptCleanup();
  Slot& slot = slots[static_cast<std::size_t>(index)];
  slot.undo = isFolder ? Undo::kRemoveFolder : Undo::kRemove;
  slot.descriptor = folder;
  std::memcpy(slot.name, name.c_str(), name.size() + 1);
  slot.state.store(kActive);
  return InterruptCleanup(index);
}

InterruptCleanup InterruptCleanup::truncateFile(int file, off_t length) {
  return InterruptCleanup(registerNumbers(Undo::kTruncate, file, length));
}

InterruptCleanup InterruptCleanup::stopChild(pid_t processGroup) {
  return InterruptCleanup(registerNumbers(Undo::kKillGroup, processGroup, 0));
}

void InterruptCleanup::release() {
  if (slot_ < 0) return;
  slots[static_cast<std::size_t>(slot_)].state.store(kFree);
  slot_ = -1;
}

InterruptsHeld::InterruptsHeld() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signalNumber : kCleanupSignals) sigaddset(&held, signalNumber);
  pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

InterruptsHeld::~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace glimmer
