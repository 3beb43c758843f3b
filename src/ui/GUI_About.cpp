#include "ui/GUI_About.h"

#include <cmath>
#include <ctime>
#include <string>

#include "common/data.h"
#include "common/misc.h"
#include "common/reset.h"
#include "system/clock.h"
#include "system/services.h"
#include "ui/GUI.h"
#include "ui/windows/about_window.h"
#include "ui/windows/handlers.h"
#include "ui/windows/main_window.h"

namespace kavel {

namespace pf = platform;
using namespace aboutwin;

namespace {

constexpr float W = ImageWidth;
constexpr float H = ImageHeight;

AboutAnimation animation;
AboutRandom source(0);
std::vector<pf::Point> points;  // one particle's outline, reused every frame

const bool registered = registerReset([] { animation = AboutAnimation{}; });

float newSpeed() {
    return static_cast<float>(source.between(0, 4) + 1) / 100.0f;
}

std::vector<pf::Point> makeOutline() {
    // The midpoint rule: for every column and every row of the ellipse the
    // nearest pixel of the curve, so the outline has no gaps.
    constexpr double rx = 3;
    constexpr double ry = 2;
    std::vector<pf::Point> out;
    auto add = [&out](int x, int y) {
        for (const pf::Point& p : out)
            if (p.x == x && p.y == y) return;
        out.push_back({x, y});
    };
    for (int x = -3; x <= 3; ++x) {
        const int y = static_cast<int>(std::lround(ry * std::sqrt(1 - x * x / (rx * rx))));
        add(x, y);
        add(x, -y);
    }
    for (int y = -2; y <= 2; ++y) {
        const int x = static_cast<int>(std::lround(rx * std::sqrt(1 - y * y / (ry * ry))));
        add(x, y);
        add(-x, y);
    }
    return out;
}

void stepAndDraw(AboutParticle& p) {
    p.y += p.speed;
    p.x -= p.speed;
    p.phase += 0.005f;
    if (p.y > H + 3) {
        p.y = 0;
        p.speed = newSpeed();
    }
    const float drawnX = p.x + 5.0f * std::sin(p.phase);
    if (p.x < -5) {
        p.x = W + 2;
        p.speed = newSpeed();
    }
    const int cx = static_cast<int>(drawnX);
    const int cy = static_cast<int>(p.y);
    const int c = static_cast<int>(200.0f - p.speed * 2500.0f);
    const std::vector<pf::Point>& outline = aboutOutline();
    points.resize(outline.size());
    for (std::size_t i = 0; i < outline.size(); ++i)
        points[i] = {cx + outline[i].x, cy + outline[i].y};
    pf::drawPoints(Image, points, rgb(255, c, c));
}

// The credits fade from white at the top to yellow-green at the bottom.
void drawCredits() {
    const std::vector<std::string> lines = creditLines();
    const int top = static_cast<int>(animation.scroll);
    for (std::size_t j = 0; j < lines.size(); ++j) {
        const int y = top + AboutLineHeight * static_cast<int>(j);
        if (!(y + 15 > 0 && y < ImageHeight - 5)) continue;
        const float f = static_cast<float>(y + 15) / (H + 15);
        const int r = static_cast<int>(150 + 105 * (1 - f));
        const int g = static_cast<int>(200 + 55 * (1 - f));
        const int b = static_cast<int>(255 * (1 - f));
        const int x = ImageWidth / 2 - pf::textWidth(lines[j]) / 2;
        pf::drawText(Image, x, y, lines[j], rgb(r, g, b));
    }
}

}  // namespace

int AboutRandom::between(int lo, int hi) {
    // A linear congruential generator; the high bits are the good ones.
    state_ = state_ * 1664525u + 1013904223u;
    const uint32_t span = static_cast<uint32_t>(hi - lo) + 1;
    return lo + static_cast<int>((state_ >> 8) % span);
}

const std::vector<pf::Point>& aboutOutline() {
    static const std::vector<pf::Point> outline = makeOutline();
    return outline;
}

AboutAnimation& aboutAnimation() {
    return animation;
}

void openAboutWindow() {
    const int w = pf::openWindow(
        Window, 0, 0, Width, Height, Title,
        pf::kSystemMenu | pf::kScreenCentred | pf::kInvisible | pf::kCompactFont, mainwin::Window);
    if (w < 0) return;
    pf::imageControl(w, Picture, 20, 20, ImageWidth, ImageHeight, true);
    pf::setAccessibleName(Picture, creditLines().front());
    pf::button(w, Back, 60, 320, 90, 20, ui(Txt::AboutBack));
    pf::createImage(Image, ImageWidth, ImageHeight);
    pf::fillImage(Image, AboutBackground);
    pf::showImage(Picture, Image);
    pf::showWindow(w);
}

void startAboutAnimation() {
    source = AboutRandom(pf::randomSeed());
    animation.particles.assign(AboutParticleCount, {});
    for (AboutParticle& p : animation.particles) {
        p.x = static_cast<float>(source.between(0, ImageWidth));
        p.y = static_cast<float>(source.between(0, ImageHeight));
        p.speed = newSpeed();
        p.phase = static_cast<float>(source.between(0, 360));
    }
    animation.scroll = H;
    animation.lastFrame = pf::tickCount() - AboutFrameMs;  // the first frame is due at once
}

uint32_t aboutFrameWait() {
    const int32_t since = pf::ticksSince(animation.lastFrame, pf::tickCount());
    return since >= static_cast<int32_t>(AboutFrameMs) || since < 0
               ? 0
               : AboutFrameMs - static_cast<uint32_t>(since);
}

void aboutFrame() {
    // Without its window the animation would keep the loop from sleeping.
    if (!pf::windowExists(Window) || !pf::imageExists(Image)) {
        clearFlag(flag::AboutRunning);
        return;
    }
    animation.lastFrame = pf::tickCount();
    pf::fillImage(Image, AboutBackground);
    for (AboutParticle& p : animation.particles)
        stepAndDraw(p);
    drawCredits();
    animation.scroll -= AboutScrollStep;
    if (animation.scroll < AboutScrollEnd) animation.scroll = H;
    pf::showImage(Picture, Image);
}

void aboutWindowHandler(pf::Event& event) {
    const bool close = event.kind == pf::EventKind::CloseRequest ||
                       (event.kind == pf::EventKind::Control && event.id == Back &&
                        event.type == pf::EventType::Click);
    if (!close) return;
    pf::closeWindow(Window);
    clearFlag(flag::AboutRunning);
    animation = AboutAnimation{};
    pf::freeImage(Image);
    if (event.kind == pf::EventKind::CloseRequest) event = {};
}

namespace {
const bool handlerRegistered = registerWindow(aboutwin::Window, &aboutWindowHandler);
}  // namespace

}  // namespace kavel
