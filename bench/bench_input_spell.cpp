// Typing into a room's input line: a 200-character German line with a few
// misspelt words, key by key as the window system delivers them, each key
// followed by a repaint of the line. The same line is typed with spell
// checking on and off in the same run, rounds alternating; the first round
// with it on starts with nothing remembered, so every finished word goes
// to Hunspell. Prints the time per keystroke (mean, median, 99th
// percentile, maximum) and the ratio of on to off. Goal: under 2 ms a key.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/data.h"
#include "core/wiring.h"
#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/spell.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"

namespace {

using Clock = std::chrono::steady_clock;

// 200 characters: umlauts, a link, a smiley, names and three misspelt words.
const std::string kLine =
    "hallo bert, hast du gestern die Nachrihcten gesehen? Das Wetter wird morgen "
    "sch\xF6n und warm :) ich wollte noch www.example.org/wetter zeigen, aber "
    "der Lnik ging nciht. Gr\xFC\xDF"
    "e an emma und fritz, bis bald!";

struct Stats {
    double mean = 0, median = 0, p99 = 0, max = 0;
};

Stats stats(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    Stats s;
    for (double m : ms)
        s.mean += m;
    s.mean /= static_cast<double>(ms.size());
    s.median = ms[ms.size() / 2];
    s.p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    s.max = ms.back();
    return s;
}

// Types the line into an empty field; the time of each key, in ms.
std::vector<double> typeLine(QLineEdit* line) {
    std::vector<double> out;
    line->clear();
    const QString text = kavel::platform::toQString(kLine);
    for (const QChar c : text) {
        const auto start = Clock::now();
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(line, &press);
        QApplication::sendEvent(line, &release);
        line->repaint();
        out.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return out;
}

void print(const char* what, const Stats& s) {
    std::printf("%-28s mean %.3f ms  median %.3f ms  p99 %.3f ms  max %.3f ms\n", what, s.mean,
                s.median, s.p99, s.max);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    kavel::wirePorts();
    kavel::openMainWindow();
    kavel::setText(&kavel::ClientState::nick, "anna");
    const auto load = Clock::now();
    kavel::ChatRoom* room = kavel::newChatRoom("lobby");
    const double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - load).count();
    if (!room) return 1;
    for (int i = 0; i < 50; ++i)
        kavel::roomAddUser(room, "user" + std::to_string(i));
    for (const char* name : {"bert", "emma", "fritz"})
        kavel::roomAddUser(room, name);
    auto* line =
        static_cast<QLineEdit*>(kavel::platform::controlWidget(kavel::roomInputControl(room)));
    line->setFocus();
    if (!kavel::platform::spellingAvailable())
        std::printf("spell checking unavailable: %s\n",
                    kavel::platform::spellingUnavailableReason().c_str());
    std::printf("%zu characters a line; room with its dictionary opened in %.1f ms\n", kLine.size(),
                loadMs);

    kavel::platform::setSpellingWanted(true);
    const Stats cold = stats(typeLine(line));
    const std::size_t marks = kavel::platform::misspeltWords(kavel::roomInputControl(room)).size();
    std::vector<double> on, off;
    constexpr int kRounds = 10;
    for (int round = 0; round < kRounds; ++round) {
        kavel::platform::setSpellingWanted(false);
        const std::vector<double> a = typeLine(line);
        off.insert(off.end(), a.begin(), a.end());
        kavel::platform::setSpellingWanted(true);
        const std::vector<double> b = typeLine(line);
        on.insert(on.end(), b.begin(), b.end());
    }
    const Stats sOn = stats(on), sOff = stats(off);
    print("spelling on, first round", cold);
    print("spelling on", sOn);
    print("spelling off", sOff);
    std::printf("words marked at the end of the line: %zu\n", marks);
    const auto suggest = Clock::now();
    const std::size_t offered = kavel::platform::spellingSuggestions("Nachrihcten").size();
    std::printf("suggestions for one word (context menu): %zu in %.1f ms\n", offered,
                std::chrono::duration<double, std::milli>(Clock::now() - suggest).count());
    std::printf("per key on/off: mean %.2fx, median %.2fx; goal: under 2 ms a key (%s)\n",
                sOn.mean / sOff.mean, sOn.median / sOff.median,
                std::max(cold.p99, sOn.p99) < 2.0 ? "met" : "NOT met");
    return 0;
}
