#include "pages.h"

#include <algorithm>
#include <cstdio>

#include "http.h"

namespace quarnd::pages {

namespace {

// Umlauts are written as entities, so the pages are plain ASCII whatever
// charset they are declared in.
std::string head(std::string_view title, bool scripts) {
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"windows-1252\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>";
    out += title;
    out += "</title>\n<link rel=\"stylesheet\" href=\"/style.css\">\n";
    if (scripts) {
        // In this order, after the page is parsed: paste.js needs hljs.
        out +=
            "<script src=\"/hljs/highlight.min.js\" defer></script>\n"
            "<script src=\"/paste.js\" defer></script>\n";
    }
    out += "</head>\n<body>\n<main>\n";
    return out;
}

const char* const kFoot = "</main>\n</body>\n</html>\n";
const char* const kNewPaste = "<a href=\"/\">Neuen Code eintragen</a>";

struct StatusText {
    int code;
    const char* heading;
    const char* text;
};

const StatusText kStatusTexts[] = {
    {400, "Ung&uuml;ltige Anfrage", "Die Anfrage war unvollst&auml;ndig oder fehlerhaft."},
    {404, "Nicht gefunden",
     "Unter dieser Adresse gibt es nichts. Ist der Link vollst&auml;ndig? Ein Code, der vor mehr "
     "als einem Tag abgelaufen ist, ist hier nicht mehr bekannt."},
    {405, "Nicht erlaubt", "Diese Adresse nimmt diese Art von Anfrage nicht an."},
    {408, "Zeit &uuml;berschritten",
     "Die Anfrage kam nicht rechtzeitig vollst&auml;ndig an. Bitte noch einmal versuchen."},
    {410, "Abgelaufen",
     "Dieser Code war nur f&uuml;r eine begrenzte Zeit sichtbar und ist abgelaufen. Sein "
     "Inhalt ist gel&ouml;scht."},
    {413, "Zu gro&szlig;",
     "Der Code ist zu gro&szlig;: angenommen wird h&ouml;chstens 1 MiB (1&#160;048&#160;576 "
     "Bytes) f&uuml;r Titel und Code zusammen."},
    {429, "Zu viele Eintr&auml;ge",
     "Von dieser Adresse kamen in kurzer Zeit zu viele Eintr&auml;ge. Bitte einen Moment "
     "warten und dann noch einmal versuchen."},
    {500, "Nicht gespeichert",
     "Der Code konnte wegen eines Fehlers auf dem Server nicht gespeichert werden. Bitte "
     "sp&auml;ter noch einmal versuchen."},
    {503, "Ausgelastet", "Der Server ist gerade ausgelastet. Bitte gleich noch einmal versuchen."},
    {507, "Speicher voll",
     "Der Speicher f&uuml;r Eintr&auml;ge ist voll. Bitte sp&auml;ter noch einmal versuchen, "
     "wenn &auml;ltere Eintr&auml;ge abgelaufen sind."},
};

bool isLineBreak(char c) {
    return c == '\n' || c == '\r';
}

}  // namespace

std::size_t lineCount(std::string_view text) {
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++breaks;
    }
    const bool openLast = !text.empty() && !isLineBreak(text.back());
    return std::max<std::size_t>(1, breaks + (openLast ? 1 : 0));
}

std::string safeFileName(std::string_view title) {
    std::string out;
    for (char c : title.substr(0, 60)) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_';
        out.push_back(keep ? c : '_');
    }
    return out.empty() ? "paste" : out;
}

std::string paste(const PastePage& page) {
    const std::int64_t left = std::max<std::int64_t>(0, page.secondsLeft);
    char remaining[64];
    std::snprintf(remaining, sizeof remaining, "%lld:%02lld:%02lld",
                  static_cast<long long>(left / 3600), static_cast<long long>(left / 60 % 60),
                  static_cast<long long>(left % 60));
    const std::string title = htmlEscape(page.title);
    const std::size_t lines = lineCount(page.code);
    std::string numbers;
    numbers.reserve(lines * 7);
    for (std::size_t n = 1; n <= lines; ++n) {
        if (n > 1) numbers.push_back('\n');
        numbers += std::to_string(n);
    }

    std::string out = head(title, page.highlight);
    out += "<h1>" + title + "</h1>\n<p class=\"info\">Noch sichtbar: " + remaining +
           " <a href=\"/main.php?code=" + htmlEscape(page.id) + "&amp;raw=1\">Rohtext</a> " +
           kNewPaste + "</p>\n";
    // The numbers are a column of their own: selecting and copying the code
    // leaves them behind, and highlighting rewrites only the code element.
    out += "<div class=\"code\">\n<pre class=\"nr\" aria-hidden=\"true\">" + numbers +
           "</pre>\n<pre class=\"src\"><code id=\"code\">";
    out += htmlEscape(page.code);
    out += "</code></pre>\n</div>\n";
    out += kFoot;
    return out;
}

std::string form() {
    std::string out = head("Code eintragen", false);
    // The fields in the order the client sends them; accept-charset makes
    // the browser send Windows-1252 bytes as the client does.
    out +=
        "<h1>Code eintragen</h1>\n"
        "<form method=\"post\" action=\"/main.php\" accept-charset=\"windows-1252\">\n"
        "<p><label for=\"titel\">Titel</label>\n"
        "<input type=\"text\" id=\"titel\" name=\"titel\" maxlength=\"200\" required></p>\n"
        "<p><label for=\"dauer\">Dauer</label>\n"
        "<select id=\"dauer\" name=\"dauer\">\n"
        "<option value=\"120\">2 Minuten</option>\n"
        "<option value=\"600\">10 Minuten</option>\n"
        "<option value=\"1800\">30 Minuten</option>\n"
        "<option value=\"3600\" selected>1 Stunde</option>\n"
        "<option value=\"43200\">12 Stunden</option>\n"
        "<option value=\"86400\">24 Stunden</option>\n"
        "</select></p>\n"
        "<input type=\"hidden\" name=\"site\" value=\"script_paste_tempcode\">\n"
        "<p><label for=\"code\">Code</label>\n"
        "<textarea id=\"code\" name=\"code\" rows=\"18\" cols=\"80\" spellcheck=\"false\" "
        "required></textarea></p>\n"
        "<p><button type=\"submit\">Eintragen!</button></p>\n"
        "<p class=\"info\">Jeder, der den Link kennt, kann den Code sehen, bis die Dauer "
        "abgelaufen ist.</p>\n"
        "</form>\n";
    out += kFoot;
    return out;
}

std::string status(int code, std::string_view why) {
    const StatusText* entry = nullptr;
    for (const StatusText& t : kStatusTexts) {
        if (t.code == code) entry = &t;
    }
    const std::string heading = entry ? entry->heading : "Fehler";
    std::string out = head(heading, false);
    out += "<h1>" + heading + "</h1>\n<p>";
    if (!why.empty()) {
        out += why;
    } else if (entry) {
        out += entry->text;
    } else {
        out += "Die Anfrage konnte nicht bearbeitet werden (Status " + std::to_string(code) + ").";
    }
    out += "</p>\n<p>";
    out += kNewPaste;
    out += "</p>\n";
    out += kFoot;
    return out;
}

}  // namespace quarnd::pages
