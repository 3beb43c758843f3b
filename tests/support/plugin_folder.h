// A working directory of its own for tests that load plug-ins:
//
//   PluginFolder dir;                    // fresh temp folder, now the cwd
//   dir.add("tp_a");                     // copies the built tp_a.so to plugins/
//   dir.add(TAUSCHWERK_SO, "Tauschwerk.so");
//   dir.write("plugins/macro.dat", "hallo\x0bHi");
//
// The destructor unloads every agent (so plug-ins save their data while the
// folder still exists), goes back to the old directory and removes the
// folder.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "objects/CLASS_Agents.h"
#include "support/file_io.h"

namespace kavel::test {

// The path of a test plug-in built with the tests ("tp_a" -> .../tp_a.so).
inline std::string testPlugin(const std::string& name) {
    return std::string(KAVEL_TEST_PLUGINS) + "/" + name + ".so";
}

class PluginFolder {
  public:
    PluginFolder() : previous_(std::filesystem::current_path()) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kavel-plugins-XXXXXX");
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        root_ = tmpl;
        std::filesystem::create_directory(root_ / "plugins");
        std::filesystem::current_path(root_);
    }
    ~PluginFolder() {
        unloadAllAgents();
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(root_, ec);
    }
    PluginFolder(const PluginFolder&) = delete;
    PluginFolder& operator=(const PluginFolder&) = delete;

    // Copies a built library into plugins/; source is a test plug-in's name
    // or a path. Returns the file name in plugins/.
    std::string add(const std::string& source, std::string as = {}) {
        const std::string from =
            source.find('/') == std::string::npos ? testPlugin(source) : source;
        if (as.empty()) as = std::filesystem::path(from).filename().string();
        std::filesystem::copy_file(from, root_ / "plugins" / as,
                                   std::filesystem::copy_options::overwrite_existing);
        return as;
    }
    void write(const std::string& relative, const std::string& content) {
        spit((root_ / relative).string(), content);
    }
    std::string read(const std::string& relative) const {
        return slurp((root_ / relative).string());
    }
    const std::filesystem::path& root() const { return root_; }

  private:
    std::filesystem::path previous_;
    std::filesystem::path root_;
};

}  // namespace kavel::test
