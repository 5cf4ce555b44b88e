#include "app/shell/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "app/shell/executable_path.h"
#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  test_support::ScratchDir folder_;
  std::string path_ = folder_.file("glimmer.ini");
  bool readRequest(const std::string& value) {
    test_support::writeFile(path_, "[Glimmer]\npref_request=" + value + "\n");
    return loadSettings(path_).askForFileOnStartup;
  }
};

TEST_F(SettingsTest, TrueForms) {
  for (const char* value : {"yes", "TRUE", "t", "Y", "1", "Yes", "true"}) EXPECT_TRUE(readRequest(value)) << value;
}

TEST_F(SettingsTest, EverythingElseIsFalse) {
  for (const char* value : {"2", "on", "", "0", "No", "YesPlease", "TrueFalse"}) {
    EXPECT_FALSE(readRequest(value)) << value;
  }
}

TEST_F(SettingsTest, MissingFileOrKeyGivesTheDefaults) {
  Settings settings = loadSettings(path_);
  EXPECT_FALSE(settings.askForFileOnStartup);
  EXPECT_TRUE(settings.preferPnm);
  test_support::writeFile(path_, "[Other]\npref_request=Yes\npref_pnm=No\n");
  settings = loadSettings(path_);
  EXPECT_FALSE(settings.askForFileOnStartup);
  EXPECT_TRUE(settings.preferPnm);
  EXPECT_TRUE(readBoolSetting("Glimmer", "missing", "TRUE", path_));
  EXPECT_FALSE(readBoolSetting("Glimmer", "missing", "YesPlease", path_));
  EXPECT_TRUE(loadSettings("").preferPnm);
}

TEST_F(SettingsTest, NamesMatchWithoutRegardToCaseOrBlanks) {
  test_support::writeFile(path_, "[glimmer]\r\n  PREF_REQUEST = yes \r\n");
  EXPECT_TRUE(loadSettings(path_).askForFileOnStartup);
}

TEST_F(SettingsTest, FreshStartWritesBothKeys) {
  saveSettings(loadSettings(path_), path_);
  EXPECT_EQ(test_support::readFile(path_), "[Glimmer]\npref_request=No\npref_pnm=Yes\n");
}

TEST_F(SettingsTest, RewriteKeepsValuesAndOtherContent) {
  test_support::writeFile(path_,
                          "[Other]\nkey=1\n; a comment\n\n[Glimmer]\npref_pnm=No\nextra=keep\n\n[Tail]\n"
                          "pref_request=Yes\nlast line");
  saveSettings(loadSettings(path_), path_);
  EXPECT_EQ(test_support::readFile(path_),
            "[Other]\nkey=1\n; a comment\n\n[Glimmer]\npref_pnm=No\nextra=keep\npref_request=No\n\n[Tail]\n"
            "pref_request=Yes\nlast line\n");

  test_support::writeFile(path_, "[Glimmer]\npref_request=on\npref_pnm=t\n");
  saveSettings(loadSettings(path_), path_);
  EXPECT_EQ(test_support::readFile(path_), "[Glimmer]\npref_request=No\npref_pnm=Yes\n");
}

TEST_F(SettingsTest, WritingCreatesTheFolderAndLeavesNoTemporaryFile) {
  const std::string nested = folder_.file("config/glimmer/glimmer.ini");
  writeBoolSetting("Glimmer", "pref_request", true, nested);
  EXPECT_EQ(test_support::readFile(nested), "[Glimmer]\npref_request=Yes\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.file("config/glimmer")), {}), 1);
}

TEST_F(SettingsTest, FileLivesBesideTheProgramOrInTheUserConfigFolder) {
  EXPECT_EQ(settingsFileFor(folder_.path().string()), path_);

  // A folder that cannot be written to (here: one that does not exist).
  const std::string unwritable = folder_.file("missing");
  ASSERT_EQ(setenv("XDG_CONFIG_HOME", folder_.file("xdg").c_str(), 1), 0);
  EXPECT_EQ(settingsFileFor(unwritable), folder_.file("xdg/glimmer/glimmer.ini"));
  ASSERT_EQ(unsetenv("XDG_CONFIG_HOME"), 0);
  ASSERT_EQ(setenv("HOME", folder_.path().string().c_str(), 1), 0);
  EXPECT_EQ(settingsFileFor(unwritable), folder_.file(".config/glimmer/glimmer.ini"));
}

TEST(ExecutablePath, NamesThisTestProgram) {
  const std::string path = executablePath();
  EXPECT_TRUE(path.ends_with("/shell_test")) << path;
  EXPECT_EQ(executableFolder() + "/shell_test", path);
}

}  // namespace
}  // namespace glimmer
