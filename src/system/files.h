#pragma once
// Files that hold user data. A write goes to a temporary file in the same
// folder that is renamed over the old one, so a crash or a full disk leaves
// either the old file or the new one, never half of one.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavel::platform {

// mode: permission bits of the new file (0600 for files with passwords).
bool writeFileAtomically(const std::string& path, std::string_view content, unsigned mode = 0644);
std::optional<std::string> readWholeFile(const std::string& path);
bool fileExists(const std::string& path);
// Creates the folder when missing; true when it exists afterwards.
bool makeFolder(const std::string& path);

}  // namespace kavel::platform
