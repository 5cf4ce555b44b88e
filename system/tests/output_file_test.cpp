#include "system/output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "common/tests/scratch_dir.h"
#include "system/temporary_file.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::listing;
using test_support::readFile;
using test_support::ScratchDir;
using test_support::writeFile;

mode_t modeOf(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

// Writes `bytes` to `path` and commits; the failure text, empty on success.
std::string writeAndCommit(const std::string& path, OutputRules rules, const std::string& bytes = "new") {
  OutputFile output(path, rules);
  output.write(bytes);
  output.commit();
  return output.failure();
}

constexpr OutputRules kAgreed{.mayReplace = true};
constexpr OutputRules kOwnName{.mayReplace = true, .ownName = true};

TEST(OutputFile, ReplacesWholeKeepingTheModeAndLeavesNoTemporary) {
  const ScratchDir dir;
  writeFile("private", "old");
  ASSERT_EQ(::chmod("private", 0640), 0);
  ASSERT_EQ(::link("private", "second-name"), 0);
  EXPECT_EQ(writeAndCommit("private", kAgreed), "");
  EXPECT_EQ(readFile("private"), "new");
  EXPECT_EQ(readFile("second-name"), "new");
  EXPECT_EQ(modeOf("private") & 07777, 0640u);
  if (::geteuid() == 0) {
    // Root keeps another user's file theirs.
    writeFile("theirs", "old");
    ASSERT_EQ(::chown("theirs", 65534, 65534), 0);
    EXPECT_EQ(writeAndCommit("theirs", kAgreed), "");
    struct stat status {};
    ASSERT_EQ(::stat("theirs", &status), 0);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
    std::filesystem::remove("theirs");
  }

  const mode_t mask = ::umask(027);
  EXPECT_EQ(writeAndCommit("fresh", {}), "");
  ::umask(mask);
  EXPECT_EQ(modeOf("fresh") & 07777, 0640u);
  {
    OutputFile abandoned("private", kAgreed);
    abandoned.write("never seen");
  }
  EXPECT_EQ(readFile("private"), "new");
  EXPECT_EQ(listing(), (std::vector<std::string>{"fresh", "private", "second-name"}));
}

TEST(OutputFile, WithoutAgreementANameThatAppearedMeanwhileIsLeftAlone) {
  const ScratchDir dir;
  OutputFile output("out", {});
  output.write("ours");
  writeFile("out", "theirs");
  EXPECT_FALSE(output.commit());
  EXPECT_EQ(output.failure(), "it appeared while the run was working (not replaced)");
  EXPECT_EQ(readFile("out"), "theirs");
  EXPECT_EQ(listing(), std::vector<std::string>{"out"});
}

TEST(OutputFile, LinksAreWrittenThroughToAFileAndRefusedOtherwise) {
  const ScratchDir dir;
  fs::create_directory("folder");
  writeFile("target", "old");
  ASSERT_EQ(::chmod("target", 0600), 0);
  fs::create_symlink("target", "link");
  fs::create_symlink("link", "link-to-link");
  fs::create_symlink("folder", "folder-link");
  fs::create_symlink("nowhere", "dangling");
  fs::create_symlink("target", "scores.txt");
  const struct {
    const char* path;
    OutputRules rules;
    const char* failure;
  } cases[] = {
      {"link", kAgreed, ""},
      {"link-to-link", kAgreed, ""},
      {"folder-link", kAgreed, "a symbolic link to a folder"},
      {"dangling", kAgreed, "a symbolic link to a file that does not exist (not written through it)"},
      {"scores.txt", kOwnName, "a symbolic link, not followed for a file the program names itself"},
      {"scores.txt",
       {.ownName = true, .append = true},
       "a symbolic link, not followed for a file the program names itself"},
      {"folder", kAgreed, "Is a directory"},
      {"folder/", kAgreed, "Is a directory"},
      {"target/x", kAgreed, "Not a directory"},
      {"absent/x", kAgreed, "No such file or directory"},
  };
  for (const auto& [path, rules, failure] : cases) {
    writeFile("target", "old");
    EXPECT_EQ(writeAndCommit(path, rules, path), failure) << path;
    EXPECT_EQ(readFile("target"), *failure ? "old" : path) << path;
  }
  EXPECT_EQ(modeOf("target") & 07777, 0600u);
  EXPECT_TRUE(fs::is_symlink("link") && fs::is_symlink("scores.txt") && fs::is_symlink("dangling"));
  EXPECT_TRUE(fs::is_empty("folder"));
  EXPECT_EQ(listing(), (std::vector<std::string>{"dangling", "folder", "folder-link", "link", "link-to-link",
                                                 "scores.txt", "target"}));
}

TEST(OutputFile, DevicesFifosAndSocketsAreWrittenStraightIntoWithoutWaiting) {
  const ScratchDir dir;
  ASSERT_EQ(::mkfifo("fifo", 0600), 0);
  EXPECT_EQ(writeAndCommit("fifo", kAgreed), "a FIFO that nothing reads from");
  EXPECT_EQ(writeAndCommit("fifo", kOwnName), "not a regular file");
  {
    const int reader = ::open("fifo", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(writeAndCommit("fifo", kAgreed, "through the pipe"), "");
    char received[32] = {};
    EXPECT_EQ(::read(reader, received, sizeof received), 16);
    EXPECT_STREQ(received, "through the pipe");
    ::close(reader);
  }

  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, "socket");
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  EXPECT_EQ(writeAndCommit("socket", kAgreed, "over the socket"), "");
  const int connection = ::accept(listener, nullptr, nullptr);
  char received[32] = {};
  EXPECT_EQ(::read(connection, received, sizeof received), 15);
  ::close(connection);
  ::close(listener);

  if (::geteuid() == 0) {
    ASSERT_EQ(::mknod("null", S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mknod("disk", S_IFBLK | 0600, makedev(7, 200)), 0);
    fs::create_symlink("null", "null-link");
    EXPECT_EQ(writeAndCommit("null", kAgreed), "");
    EXPECT_EQ(writeAndCommit("null-link", {}), "");
    EXPECT_EQ(writeAndCommit("disk", kAgreed), "a block device (not written)");
    EXPECT_TRUE(S_ISCHR(modeOf("null")) && S_ISBLK(modeOf("disk")) && fs::is_symlink("null-link"));
  }
  EXPECT_TRUE(S_ISFIFO(modeOf("fifo")) && S_ISSOCK(modeOf("socket")));
}

TEST(OutputFile, AFailedWriteLeavesTheOldFileAndAnAppendIsCutBack) {
  const ScratchDir dir;
  writeFile("page", "old page");
  writeFile("log", "earlier runs\n");
  // A file-size limit stands in for a full disk: writes past it fail with EFBIG.
  const std::string large(1 << 20, 'x');
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const std::string replaced = writeAndCommit("page", kAgreed, large);
  const std::string appended = writeAndCommit("log", {.append = true}, large);
  const std::string created = writeAndCommit("new-log", {.append = true}, large);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::signal(SIGXFSZ, oldHandler);

  for (const std::string& failure : {replaced, appended, created}) EXPECT_EQ(failure, "File too large");
  EXPECT_EQ(readFile("page"), "old page");
  EXPECT_EQ(readFile("log"), "earlier runs\n");
  EXPECT_EQ(listing(), (std::vector<std::string>{"log", "page"}));
  EXPECT_EQ(writeAndCommit("log", {.append = true}, "this run\n"), "");
  EXPECT_EQ(readFile("log"), "earlier runs\nthis run\n");
}

TEST(OutputFile, ASignalRemovesTheTemporaryCutsTheAppendBackAndEndsTheProcess) {
  const ScratchDir dir;
  writeFile("log", "kept\n");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    installInterruptCleanup();
    OutputFile replacement("page", {});
    OutputFile append("log", {.append = true});
    replacement.write(std::string(200000, 'x'));
    append.write(std::string(200000, 'y'));
    ::raise(SIGTERM);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ(readFile("log"), "kept\n");
  EXPECT_EQ(listing(), std::vector<std::string>{"log"});
}

TEST(OutputFile, AGentleStopKillsTheChildrenAndWaitsForTheRunAndASecondSignalEndsIt) {
  const ScratchDir dir;
  for (const bool secondSignal : {false, true}) {
    const pid_t run = ::fork();
    ASSERT_GE(run, 0);
    if (run == 0) {
      installInterruptCleanup();
      stopGentlyOnInterrupt();
      const pid_t sleeper = ::fork();
      if (sleeper == 0) {
        ::setpgid(0, 0);
        ::pause();
        ::_exit(0);
      }
      ::setpgid(sleeper, sleeper);
      InterruptCleanup stopSleeper = InterruptCleanup::stopChild(sleeper);
      OutputFile page("page", {});
      page.write("half a page");
      ::raise(SIGINT);
      // Still running: the child is gone, the stop remembered, the file still ours.
      int childStatus = 0;
      const bool childKilled = ::waitpid(sleeper, &childStatus, 0) == sleeper && WIFSIGNALED(childStatus) &&
                               WTERMSIG(childStatus) == SIGKILL;
      if (!childKilled || stopSignal() != SIGINT || std::filesystem::is_empty(".")) ::_exit(3);
      if (secondSignal) ::raise(SIGTERM);
      endByStopSignal();
    }
    int status = 0;
    ASSERT_EQ(::waitpid(run, &status, 0), run);
    const int expected = secondSignal ? SIGTERM : SIGINT;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == expected) << status;
    EXPECT_TRUE(listing().empty());
  }
}

TEST(StaleTemporaries, OnlyOldOnesOfEndedRunsAreRemoved) {
  const ScratchDir dir;
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string endedRun = ".glimmer-" + std::to_string(ended) + "-0123456789abcdef";
  const std::string runningRun = ".glimmer-" + std::to_string(::getppid()) + "-0123456789abcdef.tmp";
  const char* const old[] = {".glimmer-x-0123456789abcdef", ".glimmer-1-0123", "other"};
  for (const std::string& name : {endedRun + ".tmp", endedRun + ".pnm", std::string(".glimmer-bmp-0123456789abcdef"),
                                  runningRun, std::string(old[0]), std::string(old[1]), std::string(old[2])}) {
    writeFile(name, "");
    const timespec twoDaysAgo[2] = {{::time(nullptr) - 2 * 86400, 0}, {::time(nullptr) - 2 * 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), twoDaysAgo, 0), 0);
  }
  writeFile(endedRun + "-recent.tmp", "");
  const int folder = ::open(".", O_PATH | O_DIRECTORY);
  EXPECT_EQ(removeStaleTemporaries(folder), 3);
  ::close(folder);
  std::vector<std::string> kept = {endedRun + "-recent.tmp", old[0], old[1], runningRun, old[2]};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(listing(), kept);
}

}  // namespace
}  // namespace glimmer
