#pragma once
// The chat room record, shared by the files of the CLASS_ChatRoom unit
// (the room itself and its code paster and log export). Nothing else
// includes it: the rest of the program goes through the room's slots.

#include <array>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "objects/CLASS_Object.h"
#include "ui/CLASS_ChatRoom_ids.h"
#include "ui/name_completion.h"

namespace kavel {

struct ChatRoom {
    Object header;
    int32_t view;
    int32_t userList;
    int32_t urlList;
    int32_t input;
    int32_t clearButton;
    int32_t splitter;
    int32_t roomMenu;
    int32_t userMenu;
    int32_t pasteName;
    int32_t pasteDuration;
    int32_t pasteCode;
    int32_t pasteSubmit;
    int32_t pasteCancel;
    int32_t window;
    int32_t pasteWindow;
    std::string name;
    int32_t listIndex;
    int32_t menuId;
    int32_t style;
    int32_t colour;
    int32_t background;
    std::array<std::string, roomid::HistorySize> history;
    int32_t historyIndex;
    uint8_t absent;
    int32_t lists;  // the inner splitter between user and URL list
    // The texts of urlList, so that a long chat full of links does not ask
    // the list control about every entry for every new link.
    std::unordered_set<std::string> urlSet;
    // The names of userList, for Tab and for the spell checker, which ask
    // on every key; who spoke last; where Tab is in its round of names.
    std::vector<std::string> users;
    RecentSpeakers speakers;
    NameCompleter completer;
};

}  // namespace kavel
