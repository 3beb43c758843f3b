// One frame of the about animation, as the main loop draws it on an idle
// pass (frame plus one pass of Qt's events, which repaints the picture),
// against the plain Qt way of drawing the same frame: QPainter ellipses and
// text on a QImage put on a QLabel. Also whether a frame late in the
// animation costs what an early one does.
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/data.h"
#include "common/reset.h"
#include "core/wiring.h"
#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "system/services.h"
#include "ui/GUI.h"
#include "ui/GUI_About.h"
#include "ui/windows/about_window.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrames = 4000;

double msPerFrame(Clock::time_point start, int frames) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / frames;
}

// The same picture drawn the way a Qt program would: a painter per frame.
double plainQtFrames(int frames) {
    QLabel label;
    label.setFixedSize(170, 280);
    label.show();
    QImage image(170, 280, QImage::Format_RGB32);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(12);
    font.setStyleStrategy(QFont::NoAntialias);
    std::vector<QString> lines;
    for (const std::string& l : kavel::creditLines())
        lines.push_back(kavel::platform::toQString(l));
    std::vector<QPointF> particles;
    for (int i = 0; i < 101; ++i)
        particles.emplace_back(i * 17 % 170, i * 29 % 280);
    float scroll = 100;
    for (int warm = 0; warm < 100; ++warm)
        QCoreApplication::processEvents();
    const auto start = Clock::now();
    for (int f = 0; f < frames; ++f) {
        image.fill(QColor(1, 75, 175));
        QPainter p(&image);
        for (QPointF& pt : particles) {
            pt += QPointF(-0.03, 0.03);
            p.setPen(QColor(255, 150, 150));
            p.drawEllipse(QPoint(static_cast<int>(pt.x() + 5 * std::sin(f * 0.005)),
                                 static_cast<int>(pt.y())),
                          3, 2);
        }
        p.setFont(font);
        const int top = static_cast<int>(scroll);
        for (int j = 0; j < 33; ++j) {
            const int y = top + 20 * j;
            if (y + 15 <= 0 || y >= 275) continue;
            p.setPen(QColor(200, 230, 100));
            p.drawText(85 - p.fontMetrics().horizontalAdvance(lines[j]) / 2,
                       y + p.fontMetrics().ascent(), lines[j]);
        }
        p.end();
        label.setPixmap(QPixmap::fromImage(image));
        QCoreApplication::processEvents();
        scroll -= 0.05f;
    }
    return msPerFrame(start, frames);
}

// The program's frames, one main-loop pass of events after each.
double aboutFrames(int frames) {
    const auto start = Clock::now();
    for (int f = 0; f < frames; ++f) {
        kavel::aboutFrame();
        kavel::platform::pollEvent();
    }
    return msPerFrame(start, frames);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    kavel::wirePorts();
    kavel::resetAll();
    kavel::openMainWindow();
    kavel::platform::replaceServices({.seed = [] { return 1998u; }});
    kavel::openAboutWindow();
    kavel::startAboutAnimation();
    // Credits on screen from the first frame, as in the middle of the show.
    kavel::aboutAnimation().scroll = 100;
    aboutFrames(100);

    const double plain = plainQtFrames(kFrames);
    const double early = aboutFrames(kFrames);
    kavel::aboutAnimation().scroll = -300;  // late: the last credit lines
    const double late = aboutFrames(kFrames);

    std::printf("about frame (frame + one pass of events): %.3f ms  (target: under 2 ms)\n", early);
    std::printf("plain QPainter frame on a QLabel:         %.3f ms\n", plain);
    std::printf("ratio about / plain Qt:                   %.2f\n", early / plain);
    std::printf("late frames / early frames:               %.2f\n", late / early);
    kavel::platform::endDesktop();
    return 0;
}
