#pragma once
// The records every part of the client shares: the state record handed to
// plug-ins, the run-time flags, the interface texts and the three lists.

#include <kavel/plugin.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/texts.h"

namespace kavel {

struct Object;
struct ChatRoom;
struct Agent;

// The host's state record has exactly the layout plug-ins see; plug-ins are
// given its address.
using ClientState = KavelClientState;
extern ClientState clientState;

// Text fields of ClientState are NUL-terminated heap copies owned by the
// host. Read them with text(clientState.nick), replace them with
// setText(&ClientState::nick, value). (The record is packed, so its fields
// cannot be bound to references.) A replaced text stays readable, for
// plug-in threads that may still hold it, until releaseRetiredTexts().
using TextField = const char* ClientState::*;
std::string_view text(const char* field);
void setText(TextField field, std::string_view value);
// Frees every text no field refers to any more; only when no plug-in code
// can run any longer.
void releaseRetiredTexts();

// Bits of ClientState::options.
namespace opt {
inline constexpr uint16_t Sound = KAVEL_OPT_SOUND;
inline constexpr uint16_t Flash = KAVEL_OPT_FLASH;
inline constexpr uint16_t OnlyOwn = KAVEL_OPT_ONLY_OWN;
inline constexpr uint16_t OnTop = KAVEL_OPT_ON_TOP;
inline constexpr uint16_t Separate = KAVEL_OPT_SEPARATE;
inline constexpr uint16_t MarkUrls = KAVEL_OPT_MARK_URLS;
inline constexpr uint16_t TextSmilies = KAVEL_OPT_TEXT_SMILIES;
inline constexpr uint16_t NoPing = KAVEL_OPT_NO_PING;
inline constexpr uint16_t ColourMode = KAVEL_OPT_COLOUR_MODE;
inline constexpr uint16_t ColourFirst = 0x0100;
inline constexpr uint16_t ContrastFirst = 0x0200;
inline constexpr uint16_t IgnoreColours = 0x0300;
inline constexpr uint16_t PluginCommandRequest = KAVEL_PLUGIN_COMMAND_REQUEST;
inline constexpr uint16_t NoProfileDefault = 0x0221;
}  // namespace opt

// Plug-ins set PluginCommandRequest from their own threads, so every access
// to the options word is atomic.
uint16_t options();
void setOptions(uint16_t value);
void setOptionBits(uint16_t bits);
void clearOptionBits(uint16_t bits);
// Clears bits and tells whether any of them was set, in one step, so that a
// plug-in setting a bit at the same moment is never lost.
bool takeOptionBits(uint16_t bits);
inline bool hasOption(uint16_t bit) {
    return (options() & bit) != 0;
}

// Run-time flags.
namespace flag {
inline constexpr uint16_t NoNetwork = 0x0001;
inline constexpr uint16_t NoSound = 0x0004;
inline constexpr uint16_t Connected = 0x0010;
inline constexpr uint16_t LoggedIn = 0x0020;
inline constexpr uint16_t MenuDirty = 0x0040;
inline constexpr uint16_t ProfileUploadPending = 0x0080;
inline constexpr uint16_t Guest = 0x0200;
inline constexpr uint16_t RegisterPending = 0x0400;
inline constexpr uint16_t OwnInfoPending = 0x0800;
inline constexpr uint16_t AboutRunning = 0x1000;
inline constexpr uint16_t PingOutstanding = 0x2000;
inline constexpr uint16_t DirectPending = 0x4000;
inline constexpr uint16_t ShieldsUp = 0x8000;
}  // namespace flag

extern uint16_t AppFlags;
inline bool hasFlag(uint16_t bit) {
    return (AppFlags & bit) != 0;
}
// The connect item reads "Trennen" exactly while LoggedIn is set, so every
// change of that bit asks for the menu to be rebuilt.
inline void changeFlags(uint16_t next) {
    if ((AppFlags ^ next) & flag::LoggedIn) next = static_cast<uint16_t>(next | flag::MenuDirty);
    AppFlags = next;
}
inline void setFlag(uint16_t bit) {
    changeFlags(static_cast<uint16_t>(AppFlags | bit));
}
inline void clearFlag(uint16_t bit) {
    changeFlags(static_cast<uint16_t>(AppFlags & ~bit));
}

// A room the server offers (ROOMLIST).
struct AvailableRoom {
    std::string name;
    int32_t userCount = 0;
    bool hasPassword = false;
    int32_t menuId = 0;
};

extern std::vector<AvailableRoom> AvailableRooms;  // server order
extern std::vector<ChatRoom*> joinedRooms;         // joining order; owns nothing
extern std::vector<Agent*> AgentList;              // load order; owns the agents

// The interface texts, loaded once at start-up.
extern std::array<std::string, kUiTextCount> UiTexts;
void loadUiTexts();
const std::string& ui(Txt index);
// `ui(index)` with every "$" replaced by value.
std::string ui(Txt index, std::string_view value);
// This program's own texts, beyond the fixed table.
const char* ui(Own index);
std::string ui(Own index, std::string_view value);
// The 33 lines the about window scrolls, read from behind the last text.
std::vector<std::string> creditLines();

// The hook every interface text passes through when the table is loaded;
// the identity on this platform.
std::string convertText(std::string_view text);

}  // namespace kavel
