#pragma once
// Every command the client writes to the chat server, composed in one
// place. Each function returns the write without its final carriage
// return (Session::send adds it); a CR inside a write separates two commands.

#include <string>
#include <string_view>

namespace kavel::wire {

// Login with the client tag, then the room list and the own profile.
std::string login(std::string_view name, std::string_view password);
std::string roomList();
// Entering a room from the menu asks for the new room list too.
std::string join(std::string_view roomText);
std::string joinOnly(std::string_view room);
std::string leave(std::string_view room);
std::string leaveOnly(std::string_view room);
// A chat line: the text colour as a colour code in front of the text.
std::string chat(std::string_view room, std::string_view colourHex, std::string_view text);
std::string rename(std::string_view name);
// The absence name "[nick>reason]".
std::string away(std::string_view nick, std::string_view reason);
std::string info(std::string_view user);
// A direct action ("WAKEUP", "SHOCK", "PRIVATE") with its argument.
std::string direct(std::string_view user, std::string_view kind, std::string_view argument);
// The keep-alive probe: a direct action to oneself.
std::string ping(std::string_view nick);
// The invitation into a private room goes to both sides.
std::string privateChat(std::string_view user, std::string_view nick, std::string_view room);
// The public part of the profile of a registered user.
std::string profileUpload(std::string_view password, std::string_view nameColourHex,
                          std::string_view infoFields, std::string_view ownRemarks);

}  // namespace kavel::wire
