// Reads and writes single keys of an initialisation file: "[section]" header
// lines, "key=value" lines under them. Section and key names match without
// regard to case and blanks around them; lines end in "\n".
#pragma once

#include <optional>
#include <string>

namespace glimmer {

// The value of the first `key` in the first `section`, blanks around it
// removed; empty when the file, the section or the key is missing.
std::optional<std::string> readIniValue(const std::string& path, const std::string& section, const std::string& key);

// Sets `key` in `section` to `value`, creating the file, its folder, the
// section or the key as needed, and keeping every other line as it was. The
// file is replaced atomically. False when it could not be written.
bool writeIniValue(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value);

}  // namespace glimmer
