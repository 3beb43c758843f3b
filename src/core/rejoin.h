#pragma once
// Rooms joined again at the next login: the list kept in prefs.ini and the
// main-loop step that joins them.

#include <string>
#include <string_view>
#include <vector>

namespace kavel {

struct AvailableRoom;

// prefs.ini keeps the names separated by commas. Room names come from the
// server, so every byte that could end a name, the value or the line ("%",
// ",", "=", blanks, control bytes) is written as "%" and two hex digits.
std::string encodeRoomList(const std::vector<std::string>& names);
// The other way round; an empty or malformed entry is left out.
std::vector<std::string> decodeRoomList(std::string_view text);

// The rooms open now become the ones to join at the next login: when the
// user closes the connection, and at the end of the program unless there
// is neither a session nor an open room to take them from (then the list
// from before stands).
void rememberOpenRooms();
void rememberRoomsAtEnd();
const std::vector<std::string>& roomsToRejoin();
void setRoomsToRejoin(std::vector<std::string> names);

// Main-loop step: once logged in and the server's room list that the login
// asked for is in, joins the remembered rooms in their order, once, when
// the option is on.
void rejoinStep();

// Joins a room of the server's list, asking for the password of a
// protected one as the menu does. False when the user cancelled.
bool joinListedRoom(const AvailableRoom& room);

}  // namespace kavel
