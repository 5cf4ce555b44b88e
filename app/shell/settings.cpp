#include "app/shell/settings.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <utility>

#include "app/shell/ini_file.h"
#include "system/executable_path.h"
#include "system/path_text.h"

namespace glimmer {

namespace {

constexpr const char* kFileName = "glimmer.ini";
constexpr std::size_t kValueLimit = 7;  // characters of a value that are read

std::string joinPath(const std::string& folder, const std::string& name) {
  return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

std::string userConfigFolder() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && configHome[0] == '/') return configHome;  // relative values are to be ignored
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return joinPath(home, ".config");
  return {};
}

constexpr const char* kLastInputFolderKey = "last_input_folder";
constexpr const char* kLastOutputFolderKey = "last_output_folder";

// A value line cannot hold a line break, and blanks around a value are not read back.
bool storableFolder(const std::string& folder) {
  return !folder.empty() && folder.find_first_of("\r\n") == std::string::npos && folder.front() != ' ' &&
         folder.back() != ' ' && folder.front() != '\t' && folder.back() != '\t';
}

bool readsAsTrue(const std::string& value) {
  const std::string lowered = toLowerCopy(value.substr(0, kValueLimit));
  return lowered == "yes" || lowered == "true" || lowered == "y" || lowered == "t" || lowered == "1";
}

}  // namespace

std::string settingsFileFor(const std::string& programFolder) {
  if (!programFolder.empty() && access(programFolder.c_str(), W_OK) == 0) return joinPath(programFolder, kFileName);
  const std::string configFolder = userConfigFolder();
  if (configFolder.empty()) return {};
  return joinPath(joinPath(configFolder, "glimmer"), kFileName);
}

std::string locateSettingsFile() { return settingsFileFor(executableFolder()); }

bool readBoolSetting(const std::string& section, const std::string& key, const std::string& defaultText,
                     const std::string& path) {
  return readsAsTrue(readIniValue(path, section, key).value_or(defaultText));
}

void writeBoolSetting(const std::string& section, const std::string& key, bool value, const std::string& path) {
  writeIniValue(path, section, key, value ? "Yes" : "No");
}

Settings loadSettings(const std::string& path) {
  Settings settings;
  settings.askForFileOnStartup = readBoolSetting(kSettingsSection, "pref_request", "0", path);
  settings.preferPnm = readBoolSetting(kSettingsSection, "pref_pnm", "1", path);
  settings.lastInputFolder = readIniValue(path, kSettingsSection, kLastInputFolderKey).value_or("");
  settings.lastOutputFolder = readIniValue(path, kSettingsSection, kLastOutputFolderKey).value_or("");
  return settings;
}

void saveSettings(const Settings& settings, const std::string& path) {
  writeBoolSetting(kSettingsSection, "pref_request", settings.askForFileOnStartup, path);
  writeBoolSetting(kSettingsSection, "pref_pnm", settings.preferPnm, path);
  for (const auto& [key, folder] : {std::pair{kLastInputFolderKey, &settings.lastInputFolder},
                                    std::pair{kLastOutputFolderKey, &settings.lastOutputFolder}}) {
    if (storableFolder(*folder)) writeIniValue(path, kSettingsSection, key, *folder);
  }
}

}  // namespace glimmer
