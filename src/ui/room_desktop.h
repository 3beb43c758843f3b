#pragma once
// What a room window offers beyond its controls: the desktop notice of a new
// message and the find bar over its chat view.

#include <string>

namespace kavel {

// A message arrived in a room whose window is not the active one: the
// window asks for attention and the desktop shows a notification with the
// room's name and the message; clicking it brings the room to the front.
void noticeNewMessage(int window, int view, const std::string& roomName);

// Ctrl+F in the room's window opens a find bar over its chat view.
void addRoomFindBar(int view);

}  // namespace kavel
