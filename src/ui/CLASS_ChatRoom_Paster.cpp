// The code paster window of a room and the export of the room's log.
#include "ui/CLASS_ChatRoom_Paster.h"

#include <array>
#include <cstdio>

#include "common/cp1252.h"
#include "common/data.h"
#include "common/datemask.h"
#include "common/misc.h"
#include "net/NET_Methods.h"
#include "system/files.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/CLASS_ChatRoom_record.h"
#include "ui/GUI_Methods.h"

namespace kavel {

namespace pf = platform;

namespace {

struct Duration {
    int number;
    Txt unit;
    const char* seconds;
};
constexpr std::array<Duration, kPasteDurationCount> kDurations{{
    {2, Txt::Minutes, "120"},
    {10, Txt::Minutes, "600"},
    {30, Txt::Minutes, "1800"},
    {1, Txt::Hour, "3600"},
    {12, Txt::Hours, "43200"},
    {24, Txt::Hours, "86400"},
}};

// Longest room part of a log file name; with the date and ending the name
// stays well below the 255 bytes file systems allow.
constexpr std::size_t kMaxRoomPart = 200;

// Status line of ours when the service gave no link; "$" is the server.
constexpr const char* kPasteFailed =
    "Fehler: Code konnte nicht hochgeladen werden - kein Link vom Paste-Server $ erhalten";

bool isAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The editor hands over its lines joined by LF; the program's texts end
// lines with CR LF.
std::string withCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

// A line break typed into the name would end the CHAT line early and send
// the rest as a command of its own.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

void closePaster(ChatRoom* room) {
    pf::closeWindow(room->pasteWindow);
    room->pasteWindow = -1;
}

void submitPaste(ChatRoom* room) {
    const std::string name = pf::controlText(room->pasteName);
    const std::optional<std::string> seconds =
        pasteDurationSeconds(pf::selectedItem(room->pasteDuration));
    const std::string code = withCrLf(pf::controlText(room->pasteCode));
    if (name.empty() || !seconds || code.empty()) return;

    const std::string& server = session().pasteServer();
    const std::string link =
        session().postForm(server, "main.php", pasteBody(name, *seconds, code));
    if (link.empty()) {
        // The window stays open: the code is still there for another try.
        statusMessage(cp1252::fillPlaceholder(kPasteFailed, server.empty() ? "localhost" : server));
        return;
    }
    session().send("CHAT " + room->name + " \x0b" + "C" + colourToHex(clientState.textColour) +
                   "Code " + oneLine(name) + " -> " + withoutFirstParameter(link));
    closePaster(room);
}

}  // namespace

std::string pasteDurationEntry(int index) {
    if (index < 0 || index >= kPasteDurationCount) return {};
    const Duration& d = kDurations[static_cast<std::size_t>(index)];
    return std::to_string(d.number) + " " + ui(d.unit);
}

std::optional<std::string> pasteDurationSeconds(int index) {
    if (index < 0 || index >= kPasteDurationCount) return std::nullopt;
    return std::string(kDurations[static_cast<std::size_t>(index)].seconds);
}

std::string formEncode(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (isAlnum(c) || c == '\r' || c == '\n') {
            out.push_back(c);
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(hex[u >> 4]);
            out.push_back(hex[u & 15]);
        }
    }
    return out;
}

std::string pasteBody(std::string_view name, std::string_view seconds, std::string_view code) {
    std::string body = "titel=" + formEncode(name) + "&dauer=";
    body.append(seconds);
    body += "&site=script_paste_tempcode&code=" + formEncode(code);
    return body;
}

std::string withoutFirstParameter(std::string_view link) {
    const auto query = link.find('?');
    if (query == std::string_view::npos) return std::string(link);
    const auto amp = link.find('&', query + 1);
    if (amp == std::string_view::npos) return std::string(link);
    std::string out(link.substr(0, query + 1));
    out.append(link.substr(amp + 1));
    return out;
}

std::string safeFileName(std::string_view roomName) {
    std::string out(roomName.substr(0, kMaxRoomPart));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto u = static_cast<unsigned char>(out[i]);
        const bool dots = out[i] == '.' && (i == 0 || roomName[i - 1] == '.' ||
                                            (i + 1 < roomName.size() && roomName[i + 1] == '.'));
        if (out[i] == '/' || out[i] == '\\' || u < 0x20 || u == 0x7F || dots) out[i] = '_';
    }
    return out;
}

std::string logFilePath(std::string_view roomName, int format, const std::tm* when) {
    // Only the date part is a mask: a room called "%dd" keeps its name.
    const char* mask =
        format == 1 ? "%dd_%mm_%yy__%hh_%ii_%ss.rtf" : "%dd_%mm_%yy__%hh_%ii_%ss.txt";
    return "logs/" + safeFileName(roomName) + "_" +
           (when ? formatDateMask(mask, *when) : formatDateMask(mask));
}

void openCodePaster(ChatRoom* room) {
    using namespace pf;
    if (room->pasteWindow >= 0 && windowExists(room->pasteWindow)) return;
    const int w = openWindow(kAnyId, 0, 0, 489, 359, kPasterTitle, kSystemMenu | kParentCentred,
                             room->window);
    if (w < 0) return;
    room->pasteWindow = w;
    room->pasteName = textField(w, kAnyId, 30, 30, 190, 20, "");
    room->pasteDuration = comboBox(w, kAnyId, 260, 30, 190, 80);
    for (int i = 0; i < kPasteDurationCount; ++i)
        addItem(room->pasteDuration, pasteDurationEntry(i));
    setSelectedItem(room->pasteDuration, -1);
    const int nameLabel = label(w, kAnyId, 60, 10, 120, 20, ui(Txt::PasteNameLabel), true);
    const int durationLabel = label(w, kAnyId, 290, 10, 130, 20, ui(Txt::PasteDurationLabel), true);
    frame(w, kAnyId, 10, 70, 470, 250, ui(Txt::PasteCodeFrame));
    room->pasteCode = editor(w, kAnyId, 20, 90, 450, 220);
    room->pasteSubmit = button(w, kAnyId, 90, 330, 100, 20, ui(Txt::PasteSubmit));
    room->pasteCancel = button(w, kAnyId, 300, 330, 100, 20, ui(Txt::PasteCancel));
    // Screen readers name the fields after the labels above them.
    auto labelText = [](int id) {
        std::string t = controlText(id);
        if (!t.empty() && t.back() == ':') t.pop_back();
        return t;
    };
    setAccessibleName(room->pasteName, labelText(nameLabel));
    setAccessibleName(room->pasteDuration, labelText(durationLabel));
    setAccessibleName(room->pasteCode, "Code");
    setControlFocus(room->pasteName);
}

bool pasterHandleEvent(ChatRoom* room, const pf::Event& event) {
    if (room->pasteWindow <= 0 || event.window != room->pasteWindow) return false;
    if (event.kind == pf::EventKind::CloseRequest) {
        closePaster(room);
    } else if (event.kind == pf::EventKind::Control && event.type == pf::EventType::Click) {
        if (event.id == room->pasteSubmit)
            submitPaste(room);
        else if (event.id == room->pasteCancel)
            closePaster(room);
    }
    return true;
}

void exportLog(ChatRoom* room, int format) {
    pf::makeFolder("logs");
    const std::string path = logFilePath(room->name, format);
    // Written beside and renamed over: an export that fails half-way never
    // replaces an earlier log of the same second with half a file.
    const std::string part = path + ".part";
    bool ok = false;
    if (std::FILE* file = std::fopen(part.c_str(), "wb")) {
        ok = callSlot<int32_t, std::FILE*, int32_t>(&room->header, room_slot::SaveLog, file,
                                                    format) != 0;
        ok = std::fclose(file) == 0 && ok;
        ok = ok && std::rename(part.c_str(), path.c_str()) == 0;
        if (!ok) std::remove(part.c_str());
    }
    if (!ok) statusMessage(ui(format == 1 ? Txt::LogRtfFailed : Txt::LogTxtFailed));
}

}  // namespace kavel
