// glimmer-cli end to end: the built program run on pages made in the test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::readFile;
using test_support::ScratchDir;
using test_support::writeFile;

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string whitePage(int width, int height) {
  return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
         std::string(static_cast<std::size_t>(width * height), '\xff');
}

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  CliRun run(const std::vector<std::string>& arguments) {
    std::string command = quoted(GLIMMER_CLI_PATH);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    command += " >cli.out 2>cli.err </dev/null";
    const int raw = std::system(command.c_str());
    CliRun result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile("cli.out"), readFile("cli.err")};
    fs::remove("cli.out");
    fs::remove("cli.err");
    return result;
  }

  ScratchDir dir;
};

TEST_F(CliTest, BadUsageExitsTwoWithAMessageOnStderr) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{},
                                                                     {"--bands", "0", "a.pnm"},
                                                                     {"--bands", "65", "a.pnm"},
                                                                     {"--frobnicate", "a.pnm"},
                                                                     {"-o", "x.bmp", "a.pnm", "b.pnm"},
                                                                     {"a.pnm", "--output"}}) {
    const CliRun run = this->run(arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("glimmer-cli: "), std::string::npos);
  }
  EXPECT_EQ(run({"--help"}).status, 0);
}

TEST_F(CliTest, QuietRunWritesTheOutputsAndNothingOnStdout) {
  writeFile("page.pnm", whitePage(9, 4));
  const CliRun result = run({"page.pnm"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(readFile("page.bmp").substr(0, 2), "BM");
  EXPECT_TRUE(fs::exists("skeleton.bmp"));
  EXPECT_EQ(readFile("scores.txt"), "0:0\n1:0\n2:0\n3:0\n1:0\n2:0\n3:0\n");
  EXPECT_EQ(readFile("logger.txt"), "");
}

TEST_F(CliTest, VerbosePassesTheDriverLinesThroughExactly) {
  writeFile("page.pnm", whitePage(2, 1));
  const CliRun result = run({"--verbose", "--bands", "2", "-o", "out.bmp", "page.pnm"});
  EXPECT_EQ(result.status, 0);
  // Band threads interleave; compare the lines as a set of whole lines.
  std::vector<std::string> lines;
  std::istringstream stream(result.out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"***Thread #0 complete", "***Thread #1 complete",
                                             "Starting thread 0 from 0 to 1", "Starting thread 1 from 1 to 2",
                                             "Thread:0 Complete:0.000000% X:0", "Thread:1 Complete:0.000000% X:1"}));
  EXPECT_EQ(result.err, "");
}

TEST_F(CliTest, ExistingOutputIsKeptWithoutYesWhenNobodyCanBeAsked) {
  writeFile("page.pnm", whitePage(3, 3));
  writeFile("page.bmp", "keep me");
  CliRun result = run({"page.pnm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("--yes"), std::string::npos);
  EXPECT_EQ(readFile("page.bmp"), "keep me");
  result = run({"--yes", "page.pnm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readFile("page.bmp").substr(0, 2), "BM");
}

TEST_F(CliTest, BatchGoesOnAfterAFailureAndNamesEveryFailure) {
  fs::create_directory("in");
  fs::create_directory("out");
  writeFile("in/one.pnm", whitePage(3, 3));
  writeFile("in/broken.pnm", "P5\n3 3\n");
  writeFile("in/three.pnm", whitePage(4, 2));
  const CliRun result = run({"--output-dir", "out", "in/one.pnm", "in/broken.pnm", "in/missing.pnm", "in/three.pnm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(fs::exists("out/one.bmp"));
  EXPECT_TRUE(fs::exists("out/three.bmp"));
  EXPECT_FALSE(fs::exists("out/broken.bmp"));
  EXPECT_NE(result.err.find("in/broken.pnm: Not a valid PNM file"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("in/missing.pnm: Specified image file does not exist"), std::string::npos);
  EXPECT_NE(result.err.find("2 of 4 inputs failed"), std::string::npos);
}

TEST_F(CliTest, AwkwardFileNamesWork) {
  for (const std::string name : {"with blank.pnm", "-dash.pnm", "quo'te\".pnm", "\xc3\xa9t\xc3\xa9.pnm"}) {
    writeFile(name, whitePage(3, 3));
    const CliRun result = run({"--", name});
    EXPECT_EQ(result.status, 0) << name << ": " << result.err;
    EXPECT_TRUE(fs::exists(fs::path(name).replace_extension(".bmp"))) << name;
  }
}

TEST_F(CliTest, MissingOutputFolderIsReportedBeforeAnyWork) {
  writeFile("page.pnm", whitePage(3, 3));
  const CliRun result = run({"--output-dir", "nowhere", "page.pnm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Output folder does not exist"), std::string::npos);
  EXPECT_FALSE(fs::exists("scores.txt"));
}

// Inputs that come from anywhere: special files, names no shell would like,
// paths at the system's length limit, and a JPEG decoder that fails. A fake
// decoder named djpeg in the current folder (found before any other) notes
// its arguments and writes a prepared page, or fails as told.
class CliHostileInputTest : public CliTest {
 protected:
  void SetUp() override {
    fs::create_directory("tmp");
    const char* previous = std::getenv("TMPDIR");
    if (previous != nullptr) savedTmpdir_ = previous;
    ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
    writeFile("decoded.pnm", whitePage(5, 3));
  }
  void TearDown() override {
    if (savedTmpdir_) {
      ::setenv("TMPDIR", savedTmpdir_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  void installDecoder(const std::string& ending = "") {
    writeFile("djpeg", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.file("arguments") + "'\ncat '" +
                           dir.file("decoded.pnm") + "' > \"$3\"\n" + ending + "\n");
    ASSERT_EQ(::chmod("djpeg", 0755), 0);
  }

  // What the decoder was called with, the temporary page aside.
  std::vector<std::string> decoderArguments() {
    std::vector<std::string> lines;
    std::istringstream stream(readFile("arguments"));
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    if (lines.size() == 4 && lines[2].starts_with(dir.file("tmp/"))) lines[2] = "TMP";
    return lines;
  }

  std::optional<std::string> savedTmpdir_;
};

TEST_F(CliHostileInputTest, SpecialFilesFailAtOnceAndTheRestOfTheBatchIsProcessed) {
  ASSERT_EQ(::mkfifo("pipe.pnm", 0600), 0);  // nobody writes to it: an ordinary open would wait for ever
  fs::create_directory("folder.pnm");
  fs::create_symlink("gone.pnm", "dangling.pnm");
  writeFile("good.pnm", whitePage(4, 4));
  const CliRun result = run({"pipe.pnm", "folder.pnm", "dangling.pnm", "good.pnm", "/dev/zero"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(fs::exists("good.bmp"));
  for (const char* input : {"pipe.pnm", "folder.pnm", "dangling.pnm", "/dev/zero"}) {
    EXPECT_NE(result.err.find(std::string("  ") + input + ": Specified image file does not exist"), std::string::npos)
        << input << "\n"
        << result.err;
  }
  EXPECT_NE(result.err.find("4 of 5 inputs failed"), std::string::npos);
}

TEST_F(CliHostileInputTest, AwkwardNamesReachTheDecoderWhole) {
  installDecoder();
  for (const std::string name : {"with blank.jpg", "-dash.JPG", "quo'te\"d.jpeg", "\xc3\xa9t\xc3\xa9.jpg",
                                 "\xff\xfe not UTF-8.jpg", "tab\there.jpg"}) {
    writeFile(name, "a JPEG, as far as the fake decoder cares");
    const CliRun result = run({"--", name});
    EXPECT_EQ(result.status, 0) << name << ": " << result.err;
    EXPECT_TRUE(fs::exists(fs::path(name).replace_extension(".bmp"))) << name;
    const std::string operand = name.starts_with("-") ? "./" + name : name;
    EXPECT_EQ(decoderArguments(), (std::vector<std::string>{"-grayscale", "-outfile", "TMP", operand})) << name;
  }
  EXPECT_TRUE(fs::is_empty("tmp"));
}

TEST_F(CliHostileInputTest, PathsAtTheSystemsLengthLimitWork) {
  // A relative input path exactly PATH_MAX - 1 bytes long, ending in a name
  // too short to hold any temporary name made beside it.
  const std::size_t length = PATH_MAX - 1;
  std::string folder = "deep";
  fs::create_directory(folder);
  while (folder.size() + 1 + 200 + 1 + 5 < length) {
    folder += "/" + std::string(200, 'd');
    ASSERT_TRUE(fs::create_directory(folder));
  }
  folder += "/" + std::string(length - folder.size() - 1 - 5 - 1, 'e');
  ASSERT_TRUE(fs::create_directory(folder));
  installDecoder();
  for (const char* name : {"p.pnm", "j.jpg"}) {
    const std::string input = folder + "/" + name;
    ASSERT_EQ(input.size(), length);
    writeFile(input, whitePage(6, 2));
    const CliRun result = run({input});
    EXPECT_EQ(result.status, 0) << name << ": " << result.err;
    EXPECT_TRUE(fs::exists(fs::path(input).replace_extension(".bmp"))) << name;
  }
  EXPECT_EQ(decoderArguments(), (std::vector<std::string>{"-grayscale", "-outfile", "TMP", folder + "/j.jpg"}));
  EXPECT_TRUE(fs::is_empty("tmp"));
}

TEST_F(CliHostileInputTest, DecoderThatFailsOrIsKilledIsReportedAndLeavesNothing) {
  writeFile("scan.jpg", "whatever");
  for (const char* ending : {"exit 1", "kill -9 $$"}) {
    installDecoder(ending);  // the page is written whole, but the decoder does not vouch for it
    const CliRun result = run({"scan.jpg"});
    EXPECT_EQ(result.status, 1) << ending;
    EXPECT_NE(result.err.find("scan.jpg: Not a valid PNM file"), std::string::npos) << ending << ": " << result.err;
    EXPECT_FALSE(fs::exists("scan.bmp")) << ending;
    EXPECT_TRUE(fs::is_empty("tmp")) << ending;
  }
}

}  // namespace
}  // namespace glimmer
