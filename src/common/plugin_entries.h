#pragma once
// The entry points a plug-in may export, in the host's one order: the order
// in which an export name's patterns are tried, of an agent's entry fields,
// call slots and setter slots, and of the crash report's lines. Everything
// per entry point is generated from the one list below, so adding an entry
// point is a row here, its type in the SDK header <kavel/plugin.h> (named
// Kavel<name>), and the place in the program that runs it. An entry point
// other than a text filter also tells the agent how it is called
// (CLASS_Agents.cpp, kCall).

#include <cstddef>
#include <iterator>
#include <string_view>

// X(name as the SDK declares it, what the upper-cased export name contains,
//   the crash report's "Unterstützt <name>")
#define KAVEL_PLUGIN_ENTRIES(X)                     \
    X(ProcessTOut, "PROCESSTOUT", "TransmittedIn")  \
    X(ProcessRIn, "PROCESSRIN", "ReceivedIn")       \
    X(ProcessTCmd, "PROCESSTCMD", "TransmittedCmd") \
    X(ProcessRCmd, "PROCESSRCMD", "ReceivedCmd")    \
    X(Setup, "SETUP", "Setup")

namespace kavel {

struct PluginEntry {
    std::string_view exportName;
    std::string_view pattern;
    std::string_view reportName;
};

// The index of each entry point in kPluginEntries.
namespace plugin_entry {
// clang-format off
enum : int {
#define KAVEL_ENTRY_INDEX(name, pattern, report) name,
    KAVEL_PLUGIN_ENTRIES(KAVEL_ENTRY_INDEX)
#undef KAVEL_ENTRY_INDEX
    Count
};
// clang-format on
}  // namespace plugin_entry

inline constexpr PluginEntry kPluginEntries[] = {
#define KAVEL_ENTRY_ROW(name, pattern, report) {#name, pattern, report},
    KAVEL_PLUGIN_ENTRIES(KAVEL_ENTRY_ROW)
#undef KAVEL_ENTRY_ROW
};
inline constexpr std::size_t kPluginEntryCount = std::size(kPluginEntries);
static_assert(kPluginEntryCount == plugin_entry::Count);

namespace detail {
// A pattern is its export name upper-cased (a plug-in author reads the
// names, the host matches the patterns), and every entry point has a name
// in the crash report.
constexpr bool entriesWellFormed() {
    for (const PluginEntry& e : kPluginEntries) {
        if (e.pattern.size() != e.exportName.size() || e.reportName.empty()) return false;
        for (std::size_t i = 0; i < e.pattern.size(); ++i) {
            const char c = e.exportName[i];
            if (e.pattern[i] != (c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c)) return false;
        }
    }
    return true;
}
}  // namespace detail
static_assert(detail::entriesWellFormed());

}  // namespace kavel
