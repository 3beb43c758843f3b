// The chat room object: its window, the send path, user actions, absence
// and leaving. Built on the class system; every method is a numbered slot.
#include "ui/CLASS_ChatRoom.h"

#include <algorithm>
#include <array>
#include <new>
#include <unordered_set>
#include <utility>

#include "common/cp1252.h"
#include "common/data.h"
#include "common/misc.h"
#include "common/ports.h"
#include "common/reset.h"
#include "desktop/desktop.h"
#include "desktop/richtext.h"
#include "desktop/spell.h"
#include "net/NET_Methods.h"
#include "net/wire.h"
#include "objects/agent_chain.h"
#include "ui/CLASS_ChatRoom_Paster.h"
#include "ui/CLASS_ChatRoom_ids.h"
#include "ui/CLASS_ChatRoom_record.h"
#include "ui/GUI_Methods.h"
#include "ui/GUI_Methods_Display.h"
#include "ui/GUI_Tray.h"
#include "ui/chat_room_input.h"
#include "ui/room_desktop.h"
#include "ui/spelling_words.h"
#include "ui/view_export.h"

namespace kavel {

namespace pf = platform;

namespace {

ChatRoom* self(Object* o) {
    return reinterpret_cast<ChatRoom*>(o);
}

// --- slots ---

void addUser(Object* o, const std::string& name) {
    pf::addItem(self(o)->userList, name);
    self(o)->users.push_back(name);
}

void clearUsers(Object* o) {
    pf::clearItems(self(o)->userList);
    self(o)->users.clear();
    if (hasOption(opt::Sound)) ports().playSound(sound::UserList);
}

void addUrl(Object* o, const std::string& url) {
    pf::addItem(self(o)->urlList, url);
    self(o)->urlSet.insert(url);
}

void clearUrls(Object* o) {
    pf::clearItems(self(o)->urlList);
    self(o)->urlSet.clear();
}

class RoomTarget : public PrintTarget {
  public:
    RoomTarget(ChatRoom* room, ChatView& view) : room_(room), view_(view) {}
    ChatView& view() override { return view_; }
    bool hasUrl(const std::string& url) override { return room_->urlSet.count(url) != 0; }
    void addUrl(const std::string& url) override {
        callSlot<void, const std::string&>(&room_->header, room_slot::AddUrl, url);
    }
    void flash() override { noticeNewMessage(room_->window, room_->view, room_->name); }
    void playMessageSound() override { ports().playSound(sound::Message); }
    void mentioned() override { noteMention(room_->window); }

  private:
    ChatRoom* room_;
    ChatView& view_;
};

void print(Object* o, const std::string& text) {
    ChatRoom* room = self(o);
    ChatView* view = pf::chatViewOf(room->view);
    if (!view) return;  // a room without a window shows nothing
    if (const auto speaker = speakerOf(text)) room->speakers.spoke(*speaker);
    RenderState state{room->style, room->colour, room->background};
    RoomTarget target(room, *view);
    printMessage(target, state, text);
    room->style = state.style;
    room->colour = state.colour;
}

void setTitleSuffix(Object* o, const std::string& text) {
    ChatRoom* room = self(o);
    pf::setWindowTitle(room->window, room->name + " > " + text);
}

std::string getTitleSuffix(Object* o) {
    ChatRoom* room = self(o);
    const std::string title = pf::windowTitle(room->window);
    return title.substr(std::min(title.size(), room->name.size() + 3));
}

std::string getName(Object* o) {
    return self(o)->name;
}

void setMenuId(Object* o, int32_t id) {
    self(o)->menuId = id;
}

int32_t getMenuId(Object* o) {
    return self(o)->menuId;
}

int32_t saveLog(Object* o, std::FILE* file, int32_t format) {
    ChatView* view = pf::chatViewOf(self(o)->view);
    return view && file && saveViewContents(*view, file, format) ? 1 : 0;
}

int32_t handleEvent(Object* o, const pf::Event* event);

bool isUser(const ChatRoom* room, std::string_view word) {
    return std::any_of(room->users.begin(), room->users.end(), [word](const std::string& name) {
        return name.size() == word.size() &&
               std::equal(name.begin(), name.end(), word.begin(),
                          [](char a, char b) { return cp1252::lower(a) == cp1252::lower(b); });
    });
}

// The facade has one window list for everyone; there is no current window
// to switch to, so activating a room has nothing to do.
void activate(Object*) {}

// Ends the C++ members' lives, then frees the record.
void release(ChatRoom* room) {
    using std::string;
    room->name.~string();
    for (auto& h : room->history)
        h.~string();
    room->urlSet.~unordered_set();
    room->users.~vector();
    room->speakers.~RecentSpeakers();
    room->completer.~NameCompleter();
    kavel::destroy(&room->header);
}

void closeRoomWindow(ChatRoom* room) {
    // The line may outlive the window by a moment (deleted later), and a
    // word added to the list rechecks every line: this one must no longer
    // ask the room.
    pf::checkSpelling(room->input, {});
    pf::closeWindow(room->window);
}

// Between runs the rooms go without a word to the server: their windows
// close and their records are freed.
const bool registered = registerReset([] {
    for (ChatRoom* room : std::exchange(joinedRooms, {})) {
        closeRoomWindow(room);
        release(room);
    }
});

void destroyRoom(Object* o) {
    ChatRoom* room = self(o);
    closeRoomWindow(room);
    if (clientState.focusedInput == static_cast<uint32_t>(room->input) && room->input > 0)
        clientState.focusedInput = 0;
    std::erase(joinedRooms, room);
    session().send(wire::leave(room->name));
    statusMessage(ui(Txt::RoomLeft, room->name));
    release(room);
}

// --- the window ---

void buildRoomMenu(ChatRoom* room) {
    room->roomMenu =
        pf::beginPopupMenu(room->window, room->roomMenu > 0 ? room->roomMenu : pf::kAnyId);
    pf::openSubMenu(ui(Txt::SaveLog));
    pf::menuItem(roomid::LogTxt, ui(Txt::LogTxt));
    pf::menuItem(roomid::LogRtf, ui(Txt::LogRtf));
    pf::closeSubMenu();
    pf::openSubMenu(ui(Txt::Absence));
    if (!room->absent) {
        pf::menuItem(roomid::AwayShort, ui(Txt::AwayShort));
        pf::menuItem(roomid::AwayFood, ui(Txt::AwayFood));
        pf::menuItem(roomid::AwayPhone, ui(Txt::AwayPhone));
        pf::menuItem(roomid::AwayOther, ui(Txt::AwayOther));
    } else {
        pf::menuItem(roomid::Back, ui(Txt::AwayBack));
    }
    pf::closeSubMenu();
    pf::menuItem(roomid::UploadCode, ui(Txt::UploadCode));
    pf::endMenu();
}

void layout(ChatRoom* room, int w, int h) {
    pf::resizeControl(room->splitter, -1, -1, w - 20, h - 40);
    const int inputWidth = 480 * w / 600;
    pf::resizeControl(room->input, -1, h - 25, inputWidth, -1);
    pf::resizeControl(room->clearButton, inputWidth + 20, h - 25, w - inputWidth - 30, -1);
}

void buildWindow(ChatRoom* room) {
    using namespace pf;
    const unsigned flags = kSizeGadget | kMinMaxGadgets | kSystemMenu | kScreenCentred | kInvisible;
    const int owner = hasOption(opt::Separate) ? -1 : roomid::OwnerWindow;
    room->window = openWindow(kAnyId, 0, 0, 600, 300, room->name, flags, owner);
    if (room->window < 0) return;
    const int w = room->window;
    if (hasOption(opt::OnTop)) pf::stayOnTop(w);

    room->view = chatLogControl(w, kAnyId, 10, 10, 490, 250);
    room->background = clientState.backgroundColour;
    if (ChatView* view = chatViewOf(room->view)) view->setBackground(room->background);
    room->userList = listBox(w, kAnyId, 510, 10, 80, 125);
    room->urlList = listBox(w, kAnyId, 510, 135, 80, 125);
    expectLongList(room->urlList);
    expectLongList(room->userList);
    room->input = inputLine(w, kAnyId, 10, 270, 480, 20);
    room->clearButton = button(w, kAnyId, 500, 270, 90, 20, ui(Txt::ClearList));
    room->lists = splitter(w, kAnyId, 510, 10, 80, 250, room->userList, room->urlList, false, 125);
    room->splitter = splitter(w, kAnyId, 10, 10, 580, 250, room->view, room->lists, true, 490);
    setAccessibleName(room->view, "Chat");
    setAccessibleName(room->userList, "Benutzer");
    setAccessibleName(room->urlList, "Links");
    setAccessibleName(room->input, "Eingabe");
    addRoomFindBar(room->view);
    checkSpelling(room->input, [room](std::string_view line) {
        return wordsToCheck(line, [room](std::string_view word) { return isUser(room, word); });
    });

    room->roomMenu = kAnyId;
    buildRoomMenu(room);
    room->userMenu = beginPopupMenu(w);
    menuItem(roomid::UserProfile, ui(Txt::UserProfile));
    menuItem(roomid::WakeUp, ui(Txt::WakeUser));
    menuItem(roomid::Shock, ui(Txt::ShockUser));
    menuItem(roomid::Private, ui(Txt::OpenPrivate));
    endMenu();

    layout(room, 600, 300);
    addKeyboardShortcut(w, Key::Return, roomid::Send);
    addKeyboardShortcut(w, Key::ShiftReturn, roomid::Send);
    addKeyboardShortcut(w, Key::Up, roomid::HistoryUp);
    addKeyboardShortcut(w, Key::Down, roomid::HistoryDown);
    showWindow(w);
}

// --- input, history, actions ---

void sendInput(ChatRoom* room) {
    const std::string typed = pf::controlText(room->input);
    room->history[static_cast<std::size_t>(room->historyIndex)] = typed;
    room->historyIndex = (room->historyIndex + 1) % roomid::HistorySize;
    const std::string line = runProcessTOut(typed);
    if (line.compare(0, 4, "/cmd") == 0) {
        const std::string converted = convertInput(line);
        session().send(converted.size() > 5 ? converted.substr(5) : std::string());
        pf::setControlText(room->input, "");
    } else if (!typed.empty()) {
        session().send(
            wire::chat(room->name, colourToHex(clientState.textColour), convertInput(line)));
        pf::setControlText(room->input, "");
    }
}

// Tab and Shift+Tab: the word before the caret completed from the users
// of the room, the own name left out.
void completeName(ChatRoom* room, bool backwards) {
    const std::string nick(text(clientState.nick));
    std::vector<std::string> others;
    for (const std::string& name : room->users)
        if (name != nick) others.push_back(name);
    const LineEdit line{pf::controlText(room->input),
                        static_cast<std::size_t>(std::max(0, pf::textCaret(room->input)))};
    const auto done = room->completer.press(line, others, room->speakers.names(), backwards);
    if (!done) return;
    pf::setControlText(room->input, done->text);
    pf::setTextCaret(room->input, static_cast<int>(done->caret));
}

void historyUp(ChatRoom* room) {
    auto& i = room->historyIndex;
    i = (i + roomid::HistorySize - 1) % roomid::HistorySize;
    if (room->history[static_cast<std::size_t>(i)].empty()) i = (i + 1) % roomid::HistorySize;
    pf::setControlText(room->input, room->history[static_cast<std::size_t>(i)]);
}

void historyDown(ChatRoom* room) {
    auto& i = room->historyIndex;
    if (!room->history[static_cast<std::size_t>(i)].empty()) i = (i + 1) % roomid::HistorySize;
    pf::setControlText(room->input, room->history[static_cast<std::size_t>(i)]);
}

void toggleAbsence(ChatRoom* room) {
    room->absent = room->absent ? 0 : 1;
    buildRoomMenu(room);
}

void goAway(ChatRoom* room, const std::string& reason) {
    toggleAbsence(room);
    session().send(wire::away(text(clientState.nick), reason));
}

void absence(ChatRoom* room, int id) {
    const std::string nick(text(clientState.nick));
    switch (id) {
        case roomid::AwayShort:
            goAway(room, ui(Txt::ReasonBrb));
            break;
        case roomid::AwayFood:
            goAway(room, ui(Txt::ReasonFood));
            break;
        case roomid::AwayPhone:
            goAway(room, ui(Txt::ReasonPhone));
            break;
        case roomid::AwayOther: {
            const std::string answer = pf::inputText(ui(Txt::WhyTitle), ui(Txt::WhyPrompt), "");
            if (!answer.empty()) goAway(room, absenceReason(answer, nick));
            break;
        }
        case roomid::Back: {
            toggleAbsence(room);
            if (const auto back = nameWithoutAbsence(nick)) {
                setText(&ClientState::nick, *back);
                session().send(wire::rename(*back));
            }
            break;
        }
    }
}

void userAction(ChatRoom* room, int id) {
    const std::string selected = pf::itemText(room->userList, pf::selectedItem(room->userList));
    const std::string nick(text(clientState.nick));
    switch (id) {
        case roomid::UserProfile:
            session().send(wire::info(selected));
            break;
        case roomid::WakeUp:
            session().send(wire::direct(selected, "WAKEUP", nick));
            break;
        case roomid::Shock:
            session().send(wire::direct(selected, "SHOCK", nick));
            break;
        case roomid::Private: {
            const std::string privateRoom =
                privateRoomName(ui(Txt::PrivateRoomTemplate), selected, nick);
            session().send(wire::privateChat(selected, nick, privateRoom));
            break;
        }
    }
}

int32_t handleEvent(Object* o, const pf::Event* event) {
    ChatRoom* room = self(o);
    if (room->window < 0 || event->window != room->window)
        return pasterHandleEvent(room, *event) ? 1 : 0;
    switch (event->kind) {
        case pf::EventKind::CloseRequest:
            callSlot<void>(o, room_slot::Destroy);
            return 1;  // the room is gone now
        case pf::EventKind::Resized:
            layout(room, pf::windowWidth(room->window), pf::windowHeight(room->window));
            break;
        case pf::EventKind::RightButton:
            pf::displayPopupMenu(room->roomMenu);
            break;
        case pf::EventKind::Control:
            if (event->id == room->clearButton && event->type == pf::EventType::Click) {
                callSlot<void>(o, room_slot::ClearUrls);
            } else if (event->id == room->input && (event->type == pf::EventType::TabForward ||
                                                    event->type == pf::EventType::TabBack)) {
                completeName(room, event->type == pf::EventType::TabBack);
            } else if (event->id == room->input && event->type == pf::EventType::FocusIn) {
                clientState.focusedInput = static_cast<uint32_t>(room->input);
            } else if (event->id == room->input && event->type == pf::EventType::FocusOut) {
                if (clientState.focusedInput == static_cast<uint32_t>(room->input))
                    clientState.focusedInput = 0;
            } else if (event->id == room->urlList && event->type == pf::EventType::DoubleClick) {
                const int selected = pf::selectedItem(room->urlList);
                if (selected >= 0) pf::openUrl(pf::itemText(room->urlList, selected));
            } else if (event->id == room->userList && event->type == pf::EventType::LeftClick) {
                pf::displayPopupMenu(room->userMenu);
            }
            break;
        case pf::EventKind::Menu:
            switch (event->id) {
                case roomid::LogTxt:
                    exportLog(room, 0);
                    break;
                case roomid::LogRtf:
                    exportLog(room, 1);
                    break;
                case roomid::UploadCode:
                    if (room->pasteWindow < 0) openCodePaster(room);
                    break;
                case roomid::Back:
                case roomid::AwayShort:
                case roomid::AwayFood:
                case roomid::AwayOther:
                case roomid::AwayPhone:
                    absence(room, event->id);
                    break;
                case roomid::UserProfile:
                case roomid::WakeUp:
                case roomid::Shock:
                case roomid::Private:
                    userAction(room, event->id);
                    break;
                case roomid::Send:
                    sendInput(room);
                    break;
                case roomid::HistoryUp:
                    historyUp(room);
                    break;
                case roomid::HistoryDown:
                    historyDown(room);
                    break;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    return 1;
}

}  // namespace

ChatRoom* newChatRoom(const std::string& name) {
    registerClass(sizeof(ChatRoom), "ChatRoom");
    using namespace room_slot;
    addMethods<Count>(
        inSlot<AddUser>(&addUser), inSlot<ClearUsers>(&clearUsers), inSlot<AddUrl>(&addUrl),
        inSlot<ClearUrls>(&clearUrls), inSlot<Print>(&print),
        inSlot<SetTitleSuffix>(&setTitleSuffix), inSlot<GetTitleSuffix>(&getTitleSuffix),
        inSlot<GetName>(&getName), inSlot<SetMenuId>(&setMenuId), inSlot<GetMenuId>(&getMenuId),
        inSlot<SaveLog>(&saveLog), inSlot<HandleEvent>(&handleEvent), inSlot<Activate>(&activate));
    overrideMethod(asMethod(&kavel::destroy), asMethod(&destroyRoom));
    auto* room = reinterpret_cast<ChatRoom*>(createObject());
    if (!room) return nullptr;
    new (&room->name) std::string(name);
    for (auto& h : room->history)
        new (&h) std::string();
    new (&room->urlSet) std::unordered_set<std::string>();
    new (&room->users) std::vector<std::string>();
    new (&room->speakers) RecentSpeakers();
    new (&room->completer) NameCompleter();
    room->window = -1;
    buildWindow(room);
    if (!pf::windowExists(room->window)) {
        release(room);
        return nullptr;
    }
    joinedRooms.push_back(room);
    room->listIndex = static_cast<int32_t>(joinedRooms.size()) - 1;
    room->pasteWindow = -1;
    return room;
}

void roomDestroy(ChatRoom* room) {
    callSlot<void>(&room->header, room_slot::Destroy);
}
void roomAddUser(ChatRoom* room, const std::string& name) {
    callSlot<void, const std::string&>(&room->header, room_slot::AddUser, name);
}
void roomClearUsers(ChatRoom* room) {
    callSlot<void>(&room->header, room_slot::ClearUsers);
}
void roomPrint(ChatRoom* room, const std::string& text) {
    callSlot<void, const std::string&>(&room->header, room_slot::Print, text);
}
std::string roomGetName(ChatRoom* room) {
    return callSlot<std::string>(&room->header, room_slot::GetName);
}
void roomSetMenuId(ChatRoom* room, int32_t id) {
    callSlot<void, int32_t>(&room->header, room_slot::SetMenuId, id);
}
int32_t roomGetMenuId(ChatRoom* room) {
    return callSlot<int32_t>(&room->header, room_slot::GetMenuId);
}
bool roomHandleEvent(ChatRoom* room, const platform::Event& event) {
    return callSlot<int32_t, const pf::Event*>(&room->header, room_slot::HandleEvent, &event) != 0;
}
int roomInputControl(ChatRoom* room) {
    return room->input;
}

}  // namespace kavel
