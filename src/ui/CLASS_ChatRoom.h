#pragma once
// Chat room objects: one per joined room, with its window.

#include <cstdint>
#include <cstdio>
#include <string>

#include "desktop/gadgets.h"
#include "objects/CLASS_Object.h"

namespace kavel {

// The record is the unit's own (CLASS_ChatRoom_record.h, shared by the
// room and its code paster and log export).
struct ChatRoom;

namespace room_slot {
enum : int {
    Destroy = 5,
    AddUser = 6,
    ClearUsers,
    AddUrl,
    ClearUrls,
    Print,
    SetTitleSuffix,
    GetTitleSuffix,
    GetName,
    SetMenuId,
    GetMenuId,
    SaveLog,
    HandleEvent,
    Activate,
    Count,  // the room's table size
};
}  // namespace room_slot

// Creates the room object and its window and adds it to joinedRooms; null
// (and nothing left behind) when the window cannot be built.
ChatRoom* newChatRoom(const std::string& name);

// Typed calls of the room's slots; each goes through the room's own method
// table.
void roomDestroy(ChatRoom* room);
void roomAddUser(ChatRoom* room, const std::string& name);
void roomClearUsers(ChatRoom* room);
void roomPrint(ChatRoom* room, const std::string& text);
std::string roomGetName(ChatRoom* room);
void roomSetMenuId(ChatRoom* room, int32_t id);
int32_t roomGetMenuId(ChatRoom* room);
bool roomHandleEvent(ChatRoom* room, const platform::Event& event);

// Not a slot, read from the record directly: the room's input field (its
// control number), for the focus hand-over.
int roomInputControl(ChatRoom* room);

}  // namespace kavel
