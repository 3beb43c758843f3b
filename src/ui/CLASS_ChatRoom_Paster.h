#pragma once
// The two room-menu functions that leave the room: the code paster, which
// puts a snippet on the paste service and announces its link in the room,
// and the log export, which writes the room's view to a dated file.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "desktop/gadgets.h"

namespace kavel {

struct ChatRoom;

// Room menu "Temporären Code Uploaden": opens the room's paster window
// unless it has one open already.
void openCodePaster(ChatRoom* room);
// Events of the room's paster window; false for every other window.
bool pasterHandleEvent(ChatRoom* room, const platform::Event& event);
// Room menu "Nach TXT streamen" (format 0) and "Nach RTF streamen" (1).
void exportLog(ChatRoom* room, int format);

// --- the rules behind them ---

inline constexpr const char* kPasterTitle = "Code Paster - Pelmar powered";
inline constexpr int kPasteDurationCount = 6;
// The entries of the duration list: "2 Minuten" ... "24 Stunden".
std::string pasteDurationEntry(int index);
// The seconds the service is told for entry index ("120" ... "86400").
std::optional<std::string> pasteDurationSeconds(int index);
// Form encoding: letters and digits stay, a blank becomes "+", CR and LF
// stay, every other byte becomes "%" and two upper-case hex digits.
std::string formEncode(std::string_view text);
std::string pasteBody(std::string_view name, std::string_view seconds, std::string_view code);
// The link without its first query parameter: main.php?sid=42&code=17
// becomes main.php?code=17. A link without "?" or without "&" after it is
// kept as it is.
std::string withoutFirstParameter(std::string_view link);

// A room name as part of a file name: "/", "\", control bytes, a leading
// dot and the dots of ".." become "_", and it is cut to a length every
// file system takes. Room names come from the server.
std::string safeFileName(std::string_view roomName);
// "logs/" + room + "_" + day_month_year__hour_minute_second + ".txt"/".rtf",
// at the given local time or now.
std::string logFilePath(std::string_view roomName, int format, const std::tm* when = nullptr);

}  // namespace kavel
