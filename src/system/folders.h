#pragma once
// Listing a folder.

#include <string>
#include <string_view>
#include <vector>

namespace kavel::platform {

// The names of the regular files in folder whose names end in suffix (a
// name that is only the suffix does not count), in the order the folder
// lists them; empty when the folder cannot be read.
std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix);
bool folderExists(const std::string& path);

}  // namespace kavel::platform
