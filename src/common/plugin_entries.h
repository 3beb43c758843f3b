#pragma once
// The five entry points a plug-in may export, in the host's one order: the
// order in which an export name's patterns are tried, of an agent's entry
// fields and setters, and of the crash report's lines. Adding an entry
// point starts here (and in the SDK header <kavel/plugin.h>).

#include <cstddef>
#include <iterator>
#include <string_view>

namespace kavel {

struct PluginEntry {
    std::string_view exportName;  // as the SDK declares it
    std::string_view pattern;     // what the upper-cased export name contains
    std::string_view reportName;  // the crash report's "Unterstützt <name>"
};

inline constexpr PluginEntry kPluginEntries[] = {
    {"ProcessTOut", "PROCESSTOUT", "TransmittedIn"},
    {"ProcessRIn", "PROCESSRIN", "ReceivedIn"},
    {"ProcessTCmd", "PROCESSTCMD", "TransmittedCmd"},
    {"ProcessRCmd", "PROCESSRCMD", "ReceivedCmd"},
    {"Setup", "SETUP", "Setup"},
};
inline constexpr std::size_t kPluginEntryCount = std::size(kPluginEntries);

}  // namespace kavel
