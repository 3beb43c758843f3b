#include "core/prefs.h"

#include "common/cp1252.h"
#include "common/data.h"
#include "common/reset.h"
#include "core/prefs_options.h"
#include "desktop/spell.h"
#include "net/NET_Methods.h"
#include "objects/CLASS_Agents.h"
#include "system/files.h"
#include "ui/GUI.h"
#include "ui/GUI_Methods.h"
#include "ui/GUI_Methods_Display.h"

namespace kavel {

namespace {

// Deployment keys read at start-up, so that saving keeps them.
std::optional<std::string> keptServer;
std::optional<std::string> keptPaste;
bool keptTls = false;
std::string keptOut;
bool keptSpellCheck = false;  // the key was in the file

// Status line of ours; "$" is the plug-in's name.
constexpr const char* kKeptOut =
    "Das Plugin $ wurde nicht geladen, da es beim letzten Start einen Fehler verursacht hat";

const bool registered = registerReset([] {
    keptServer.reset();
    keptPaste.reset();
    keptTls = false;
    keptOut.clear();
    keptSpellCheck = false;
});

bool sameKey(std::string_view a, std::string_view b) {
    return cp1252::equalIgnoringCase(a, b);
}

bool blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// "host" or "host:port": a server on another port than the protocol's own.
void setChatServer(std::string_view value) {
    const auto colon = value.rfind(':');
    const std::string_view port = colon == std::string_view::npos ? "" : value.substr(colon + 1);
    int number = 0;
    for (char c : port)
        number = c >= '0' && c <= '9' && number <= 65535 ? number * 10 + (c - '0') : 65536;
    const bool hasPort = !port.empty() && value.find(':') == colon && number > 0 && number <= 65535;
    session().setHost(std::string(hasPort ? value.substr(0, colon) : value));
    if (hasPort) session().setPort(number);
}

}  // namespace

Settings parsePrefs(std::string_view content) {
    Settings s;
    bool general = false;
    bool seenProfile = false, seenPlugins = false, seenStamps = false;
    while (!content.empty()) {
        const auto end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        std::string_view lead = line;
        while (!lead.empty() && blank(lead.front()))
            lead.remove_prefix(1);
        if (!lead.empty() && lead.front() == '[') {
            const auto close = lead.find(']');
            general = close != std::string_view::npos &&
                      sameKey(trimBlanks(lead.substr(1, close - 1)), "General");
            continue;
        }
        if (!general) continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = trimBlanks(line.substr(0, eq));
        std::string_view value = line.substr(eq + 1);
        while (!value.empty() && blank(value.front()))
            value.remove_prefix(1);
        // The first occurrence of a key counts, as with any INI reader.
        if (sameKey(key, "profile") && !seenProfile) {
            s.profile = value;
            seenProfile = true;
        } else if (sameKey(key, "activePlugins") && !seenPlugins) {
            s.activePlugins = value;
            seenPlugins = true;
        } else if (sameKey(key, "server") && !s.server) {
            s.server = std::string(value);
        } else if (sameKey(key, "pasteServer") && !s.pasteServer) {
            s.pasteServer = std::string(value);
        } else if (sameKey(key, "tls") && !s.tls) {
            s.tls = std::string(trimBlanks(value));
        } else if (sameKey(key, "faultedPlugin") && !s.faultedPlugin) {
            s.faultedPlugin = std::string(value);
        } else if (sameKey(key, "rejoinRooms") && !s.rejoinRooms) {
            s.rejoinRooms = std::string(value);
        } else if (sameKey(key, "openRooms") && !s.openRooms) {
            s.openRooms = std::string(value);
        } else if (sameKey(key, "closeToTray") && !s.closeToTray) {
            s.closeToTray = std::string(value);
        } else if (sameKey(key, "spellCheck") && !s.spellCheck) {
            s.spellCheck = trimBlanks(value) != "0";
        } else if (sameKey(key, "timeStamps") && !seenStamps) {
            s.timeStamps = trimBlanks(value) == "1";
            seenStamps = true;
        }
    }
    return s;
}

std::string formatPrefs(const Settings& s) {
    std::string out = "[General]\r\n";
    out += "profile = " + s.profile + "\r\n";
    // Plug-in names come from file names, which may hold anything: one that
    // could not be read back as itself is not written.
    out += "activePlugins = " + joinPluginList(pluginList(s.activePlugins)) + "\r\n";
    if (s.server) out += "server = " + *s.server + "\r\n";
    if (s.pasteServer) out += "pasteServer = " + *s.pasteServer + "\r\n";
    if (s.tls) out += "tls = " + *s.tls + "\r\n";
    if (s.faultedPlugin && usablePluginName(*s.faultedPlugin))
        out += "faultedPlugin = " + *s.faultedPlugin + "\r\n";
    if (s.rejoinRooms) out += "rejoinRooms = " + *s.rejoinRooms + "\r\n";
    if (s.openRooms) out += "openRooms = " + *s.openRooms + "\r\n";
    if (s.closeToTray) out += "closeToTray = " + *s.closeToTray + "\r\n";
    if (s.spellCheck) out += std::string("spellCheck = ") + (*s.spellCheck ? "1" : "0") + "\r\n";
    // Written only when on, so a file of a user who never chose it stays as it was.
    if (s.timeStamps) out += "timeStamps = 1\r\n";
    return out;
}

std::string joinPluginList(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        if (!usablePluginName(name)) continue;
        if (!text.empty()) text += ',';
        text += name;
    }
    return text;
}

std::vector<std::string> pluginList(std::string_view text) {
    std::vector<std::string> names;
    while (true) {
        const auto comma = text.find(',');
        const std::string_view name = text.substr(0, comma);
        if (name.empty()) break;
        names.emplace_back(name);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return names;
}

void loadSettings() {
    const std::optional<std::string> content = platform::readWholeFile(kPrefsFile);
    if (!content) return;
    const Settings s = parsePrefs(*content);
    setText(&ClientState::profileName, s.profile);
    keptServer = s.server;
    keptPaste = s.pasteServer;
    keptTls = s.tls.has_value();
    session().setTls(s.tls == "1");
    if (s.server) setChatServer(trimBlanks(*s.server));
    session().setPasteServer(s.pasteServer ? std::string(trimBlanks(*s.pasteServer))
                                           : std::string());
    keptOut = s.faultedPlugin.value_or(std::string());
    takeProgramOptions(s);
    keptSpellCheck = s.spellCheck.has_value();
    platform::setSpellingWanted(s.spellCheck.value_or(true));
    displayOptions().timeStamps = s.timeStamps;
    for (const std::string& name : pluginList(s.activePlugins))
        if (name != keptOut)
            loadPlugin(std::string(kPluginFolder) + "/" + name);  // one that fails is left out
}

std::string prefsKeepingOut(const std::string& name) {
    Settings s = parsePrefs(platform::readWholeFile(kPrefsFile).value_or(std::string()));
    std::vector<std::string> names = pluginList(s.activePlugins);
    std::erase(names, name);
    s.activePlugins = joinPluginList(names);
    s.faultedPlugin = name;
    return formatPrefs(s);
}

void reportPluginKeptOut() {
    if (!keptOut.empty()) statusMessage(cp1252::fillPlaceholder(kKeptOut, keptOut));
}

bool saveSettings() {
    Settings s;
    s.profile = text(clientState.profileName);
    std::vector<std::string> names;
    for (Agent* agent : AgentList)
        names.push_back(agentGetName(agent));
    s.activePlugins = joinPluginList(names);
    s.server = keptServer;
    s.pasteServer = keptPaste;
    putProgramOptions(s);
    // Written once the user has turned it on; a plain setup stays as it was.
    if (session().tls() || keptTls) s.tls = session().tls() ? "1" : "0";
    if (keptSpellCheck || !platform::spellingWanted()) s.spellCheck = platform::spellingWanted();
    s.timeStamps = displayOptions().timeStamps;
    return platform::writeFileAtomically(kPrefsFile, formatPrefs(s));
}

}  // namespace kavel
