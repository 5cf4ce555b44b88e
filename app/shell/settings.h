// The program's two settings and the file that keeps them between runs.
#pragma once

#include <string>

namespace glimmer {

inline constexpr const char* kSettingsSection = "Glimmer";

// "glimmer.ini" in the running program's folder, or, when that folder is not
// writable, glimmer/glimmer.ini in the user's configuration folder
// ($XDG_CONFIG_HOME, by default ~/.config). Empty when neither can be found.
std::string locateSettingsFile();

// The same choice for a given program folder.
std::string settingsFileFor(const std::string& programFolder);

// Reads one key: at most 7 characters of the value count, and it is true when
// it equals "Yes", "True", "Y" or "T" in any letter case, or "1"; anything else
// is false. A missing file or key gives `defaultText`, read the same way.
bool readBoolSetting(const std::string& section, const std::string& key, const std::string& defaultText,
                     const std::string& path);

// Writes "Yes" or "No" under the key, creating the file, its folder and the
// section as needed; other contents stay. Failures are ignored: settings are
// a convenience, so an unwritable location only loses them.
void writeBoolSetting(const std::string& section, const std::string& key, bool value, const std::string& path);

struct Settings {
  bool askForFileOnStartup = false;  // pref_request: open the file chooser when the dialog opens
  bool preferPnm = true;             // pref_pnm: kept and written back, no other effect
  // Where the choosers open: the folders of the last input and output, kept
  // under keys of their own (last_input_folder, last_output_folder) and written
  // only once known, so that a file without them keeps its two lines.
  std::string lastInputFolder{};
  std::string lastOutputFolder{};
};

Settings loadSettings(const std::string& path);
void saveSettings(const Settings& settings, const std::string& path);

}  // namespace glimmer
