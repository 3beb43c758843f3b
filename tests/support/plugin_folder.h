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

#include <filesystem>
#include <string>
#include <vector>

#include "objects/CLASS_Agents.h"
#include "support/file_io.h"
#include "support/work_folder.h"

namespace kavel::test {

// The path of a test plug-in built with the tests ("tp_a" -> .../tp_a.so).
inline std::string testPlugin(const std::string& name) {
    return std::string(KAVEL_TEST_PLUGINS) + "/" + name + ".so";
}

// The loaded agents' names, in load order.
inline std::vector<std::string> agentNames() {
    std::vector<std::string> names;
    for (Agent* agent : AgentList)
        names.push_back(agentGetName(agent));
    return names;
}

// File names a plug-in may not have: each would add keys of its own to
// prefs.ini, be split in its list, or (NUL) name another file than itself.
inline std::vector<std::string> badPluginNames() {
    return {"cr\r.so",
            "lf\n.so",
            "a=b.so",
            "a,b.so",
            "x.so\r\nserver = evil.example",
            " lead.so",
            "\tlead.so",
            std::string("nul\0.so", 7)};
}

class PluginFolder : public WorkFolder {
  public:
    PluginFolder() { std::filesystem::create_directory(path() / "plugins"); }
    ~PluginFolder() { unloadAllAgents(); }

    // Copies a built library into plugins/; source is a test plug-in's name
    // or a path. Returns the file name in plugins/.
    std::string add(const std::string& source, std::string as = {}) {
        const std::string from =
            source.find('/') == std::string::npos ? testPlugin(source) : source;
        if (as.empty()) as = std::filesystem::path(from).filename().string();
        std::filesystem::copy_file(from, path() / "plugins" / as,
                                   std::filesystem::copy_options::overwrite_existing);
        return as;
    }
    void write(const std::string& relative, const std::string& content) {
        spit((path() / relative).string(), content);
    }
    std::string read(const std::string& relative) const {
        return slurp((path() / relative).string());
    }
};

}  // namespace kavel::test
