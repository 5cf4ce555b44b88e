#include "app/shell/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

using test_support::readFile;
using test_support::writeFile;

class SettingsTest : public ::testing::Test {
 protected:
  test_support::ScratchDir folder_;
  std::string path_ = folder_.file("glimmer.ini");
};

TEST_F(SettingsTest, ValuesReadAsTrueOnlyInTheirFiveForms) {
  const std::pair<const char*, bool> cases[] = {{"yes", true}, {"TRUE", true}, {"t", true},         {"Y", true},
                                                {"1", true},   {"2", false},   {"on", false},       {"", false},
                                                {"0", false},  {"No", false},  {"YesPlease", false}};
  for (const auto& [value, expected] : cases) {
    writeFile(path_, std::string("[Glimmer]\npref_request=") + value + "\n");
    EXPECT_EQ(loadSettings(path_).askForFileOnStartup, expected) << value;
  }
  writeFile(path_, "[glimmer]\r\n  PREF_REQUEST = yes \r\n");
  EXPECT_TRUE(loadSettings(path_).askForFileOnStartup);

  writeFile(path_, "[Other]\npref_request=Yes\npref_pnm=No\n");
  EXPECT_FALSE(loadSettings(path_).askForFileOnStartup);
  EXPECT_TRUE(loadSettings(path_).preferPnm);
}

TEST_F(SettingsTest, SavingWritesBothKeysAndKeepsEverythingElse) {
  const std::string nested = folder_.file("config/glimmer/glimmer.ini");
  saveSettings(loadSettings(nested), nested);
  EXPECT_EQ(readFile(nested), "[Glimmer]\npref_request=No\npref_pnm=Yes\n");

  writeFile(path_, "[Other]\nkey=1\n; a comment\n\n[Glimmer]\npref_pnm=No\nextra=keep\n\n[Tail]\npref_request=Yes");
  saveSettings(loadSettings(path_), path_);
  EXPECT_EQ(readFile(path_),
            "[Other]\nkey=1\n; a comment\n\n[Glimmer]\npref_pnm=No\nextra=keep\npref_request=No\n\n[Tail]\n"
            "pref_request=Yes\n");
}

TEST_F(SettingsTest, RememberedFoldersComeBackAndOnlyStorableOnesAreWritten) {
  Settings settings;
  settings.lastInputFolder = "/scans/caf\xc3\xa9 = \"new\"";
  settings.lastOutputFolder = "/out/two\nlines";
  saveSettings(settings, path_);
  EXPECT_EQ(readFile(path_),
            "[Glimmer]\npref_request=No\npref_pnm=Yes\nlast_input_folder=/scans/caf\xc3\xa9 = \"new\"\n");
  EXPECT_EQ(loadSettings(path_).lastInputFolder, settings.lastInputFolder);
  EXPECT_EQ(loadSettings(path_).lastOutputFolder, "");
}

TEST_F(SettingsTest, ALinkedFileIsSavedAtItsTargetAndAFifoIsNeitherReadNorReplaced) {
  writeFile(folder_.file(".dotfile"), "[Glimmer]\npref_request=Yes\n");
  std::filesystem::create_symlink(".dotfile", path_);
  saveSettings(loadSettings(path_), path_);
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_EQ(readFile(folder_.file(".dotfile")), "[Glimmer]\npref_request=Yes\npref_pnm=Yes\n");

  std::filesystem::remove(path_);
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);  // nothing writes to it: reading must not wait
  EXPECT_FALSE(loadSettings(path_).askForFileOnStartup);
  saveSettings(Settings{.askForFileOnStartup = true}, path_);
  EXPECT_TRUE(std::filesystem::is_fifo(path_));
}

TEST_F(SettingsTest, FileLivesBesideTheProgramOrInTheUserConfigFolder) {
  EXPECT_EQ(settingsFileFor(folder_.path().string()), path_);
  const std::string unwritable = folder_.file("missing");
  ASSERT_EQ(setenv("XDG_CONFIG_HOME", folder_.file("xdg").c_str(), 1), 0);
  EXPECT_EQ(settingsFileFor(unwritable), folder_.file("xdg/glimmer/glimmer.ini"));
  ASSERT_EQ(unsetenv("XDG_CONFIG_HOME"), 0);
  ASSERT_EQ(setenv("HOME", folder_.path().string().c_str(), 1), 0);
  EXPECT_EQ(settingsFileFor(unwritable), folder_.file(".config/glimmer/glimmer.ini"));
}

}  // namespace
}  // namespace glimmer
