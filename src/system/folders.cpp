#include "system/folders.h"

#include <dirent.h>
#include <sys/stat.h>

namespace kavel::platform {

std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.size() <= suffix.size() || !name.ends_with(suffix)) continue;
        struct stat info {};
        const std::string path = folder + "/" + std::string(name);
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        names.emplace_back(name);
    }
    closedir(dir);
    return names;
}

bool folderExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace kavel::platform
