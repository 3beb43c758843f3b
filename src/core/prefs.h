#pragma once
// prefs.ini: the profile last used, the active plug-ins and the deployment
// settings (chat server host, paste service).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

inline constexpr const char* kPrefsFile = "prefs.ini";

struct Settings {
    std::string profile;
    std::string activePlugins;
    // Deployment keys: kept exactly as found, written back only when present.
    std::optional<std::string> server;
    std::optional<std::string> pasteServer;
    // "1": the chat goes over TLS (the options window sets it).
    std::optional<std::string> tls;
    // The plug-in whose library faulted while it was being loaded: it stays
    // out of the next start. Written by the crash handler, read once.
    std::optional<std::string> faultedPlugin;
    // Program-wide options (prefs_options.h); written only when switched on,
    // so a file with every option off reads as it always did.
    std::optional<std::string> rejoinRooms;
    std::optional<std::string> openRooms;
    std::optional<std::string> closeToTray;
    // spellCheck = 0 turns off the input line's spell checking. Written
    // once the user has turned it off, kept as found otherwise.
    std::optional<bool> spellCheck;
    // "timeStamps = 1": every room line starts with its time.
    bool timeStamps = false;
};

// INI reading: "[" opens a section; in [General] a line "key = value"
// matches its key case-insensitively, blanks around the key and before the
// value are skipped, the value runs to the end of the line.
Settings parsePrefs(std::string_view content);
// The file's content, lines ending CR LF. Plug-in names that are not usable
// (usablePluginName) are left out.
std::string formatPrefs(const Settings& settings);
// The active plug-in names: comma-separated, ending at the first empty one.
std::vector<std::string> pluginList(std::string_view activePlugins);
// The other way round: the usable names separated by commas.
std::string joinPluginList(const std::vector<std::string>& names);

// Start-up: reads prefs.ini into profileName, the chat server host and the
// paste service, then loads the listed plug-ins. A missing file changes
// nothing.
void loadSettings();
// Shutdown: writes prefs.ini anew (through a temporary file).
bool saveSettings();

// What the crash handler writes when a plug-in's library faults while it is
// being loaded: prefs.ini as it is on disk, that plug-in taken out of
// activePlugins and named as faultedPlugin, so the next start goes without it.
std::string prefsKeepingOut(const std::string& name);
// Start-up, once the main window exists: says which plug-in was kept out.
void reportPluginKeptOut();

}  // namespace kavel
