// The about window and its animation. With a seeded random source the test
// runs the algorithm beside the program and compares whole frames pixel by
// pixel: background, every particle's outline in its colour, the credit
// lines in their fading colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "common/misc.h"
#include "support/services.h"
#include "ui/GUI_About.h"
#include "ui/windows/about_window.h"
#include "window_fixture.h"

namespace kavel::test {
namespace {

using namespace aboutwin;

constexpr float W = ImageWidth;
constexpr float H = ImageHeight;

// The animation as written down, kept apart from the program's own code.
class Oracle {
  public:
    explicit Oracle(uint32_t seed) : random_(seed) {}

    void start() {
        particles_.assign(101, {});
        for (AboutParticle& p : particles_) {
            p.x = static_cast<float>(random_.between(0, 170));
            p.y = static_cast<float>(random_.between(0, 280));
            p.speed = speed();
            p.phase = static_cast<float>(random_.between(0, 360));
        }
        scroll_ = 280;
    }

    // One frame: the expected pixels (text left out) and where text may be.
    struct Frame {
        std::vector<int32_t> pixels = std::vector<int32_t>(ImageWidth * ImageHeight);
        struct Line {
            int x, y, width;
            int32_t colour;
        };
        std::vector<Line> lines;
        int32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * 170 + x)]; }
    };

    Frame frame() {
        Frame f;
        std::fill(f.pixels.begin(), f.pixels.end(), rgb(1, 75, 175));
        for (AboutParticle& p : particles_) {
            p.y += p.speed;
            p.x -= p.speed;
            p.phase += 0.005f;
            if (p.y > H + 3) {
                p.y = 0;
                p.speed = speed();
            }
            const float drawn = p.x + 5.0f * std::sin(p.phase);
            if (p.x < -5) {
                p.x = W + 2;
                p.speed = speed();
            }
            const int c = static_cast<int>(200.0f - p.speed * 2500.0f);
            ellipse(f, static_cast<int>(drawn), static_cast<int>(p.y), rgb(255, c, c));
        }
        const std::vector<std::string> credits = creditLines();
        const int top = static_cast<int>(scroll_);
        for (int j = 0; j < 33; ++j) {
            const int y = top + 20 * j;
            if (y + 15 <= 0 || y >= 275 || credits[j].empty()) continue;
            const float k = 1 - static_cast<float>(y + 15) / (H + 15);
            const int32_t colour = rgb(static_cast<int>(150 + 105 * k),
                                       static_cast<int>(200 + 55 * k), static_cast<int>(255 * k));
            const int width = gd::textWidth(credits[j]);
            f.lines.push_back({85 - width / 2, y, width, colour});
        }
        scroll_ -= 0.05f;
        if (scroll_ < -660) scroll_ = H;
        return f;
    }

    std::vector<AboutParticle>& particles() { return particles_; }
    float& scroll() { return scroll_; }

  private:
    float speed() { return static_cast<float>(random_.between(0, 4) + 1) / 100.0f; }

    // The outline pixels of an ellipse with radii 3 and 2, listed by hand.
    static void ellipse(Frame& f, int cx, int cy, int32_t colour) {
        static const int offsets[][2] = {{0, 2}, {0, -2}, {1, 2},  {1, -2},  {-1, 2}, {-1, -2},
                                         {2, 1}, {2, -1}, {-2, 1}, {-2, -1}, {3, 0},  {-3, 0},
                                         {3, 1}, {3, -1}, {-3, 1}, {-3, -1}};
        for (const auto& o : offsets) {
            const int x = cx + o[0];
            const int y = cy + o[1];
            if (x >= 0 && y >= 0 && x < 170 && y < 280)
                f.pixels[static_cast<std::size_t>(y * 170 + x)] = colour;
        }
    }

    AboutRandom random_;
    std::vector<AboutParticle> particles_;
    float scroll_ = 0;
};

class AboutWindow : public WindowTest {
  protected:
    void openAndStart(uint32_t seed) {
        kavel::test::setService(&kavel::platform::Services::seed, [seed] { return seed; });
        menu(mainwin::item::About);
        ASSERT_TRUE(gd::windowExists(Window));
        ASSERT_TRUE(hasFlag(flag::AboutRunning));
    }

    // Compares the image with the expected frame: exact outside the text,
    // and inside a line's box each pixel is the line's colour or what lies
    // below it. Returns how many pixels of text were found per line; the
    // leftmost of them goes to leftmost, so that the centring shows.
    std::vector<int> compare(const Oracle::Frame& f) {
        std::vector<int> textPixels(f.lines.size());
        leftmost.assign(f.lines.size(), ImageWidth);
        for (int y = 0; y < ImageHeight; ++y) {
            for (int x = 0; x < ImageWidth; ++x) {
                const int32_t got = gd::imagePixel(Image, x, y);
                const int32_t below = f.at(x, y);
                bool ok = got == below;
                for (std::size_t i = 0; i < f.lines.size() && !ok; ++i) {
                    const auto& l = f.lines[i];
                    if (got == l.colour && x >= l.x - 1 && x <= l.x + l.width + 1 && y >= l.y &&
                        y < l.y + 20) {
                        ok = true;
                        ++textPixels[i];
                        leftmost[i] = std::min(leftmost[i], x);
                    }
                }
                EXPECT_TRUE(ok) << "pixel " << x << "," << y << ": " << std::hex << got
                                << " instead of " << below;
                if (!ok) return textPixels;
            }
        }
        return textPixels;
    }
    std::vector<int> leftmost;
};

TEST_F(AboutWindow, WindowPictureAndButton) {
    openAndStart(1);
    EXPECT_EQ(gd::windowTitle(Window),
              "\xDC"
              "ber diese Software");
    EXPECT_EQ(gd::windowWidth(Window), 210);
    EXPECT_EQ(gd::windowHeight(Window), 354);
    EXPECT_EQ(gd::windowFrame(Window)->parentWidget(), gd::windowFrame(mainwin::Window));
    const std::tuple<int, int, int, int, int> places[] = {{Picture, 20, 20, 170, 280},
                                                          {Back, 60, 320, 90, 20}};
    for (auto [id, x, y, w, h] : places) {
        EXPECT_EQ(gd::controlX(id), x);
        EXPECT_EQ(gd::controlY(id), y);
        EXPECT_EQ(gd::controlWidth(id), w);
        EXPECT_EQ(gd::controlHeight(id), h);
        EXPECT_FALSE(gd::accessibleName(id).empty());
    }
    EXPECT_EQ(gd::controlText(Back),
              "Zur\xFC"
              "ck");
    EXPECT_EQ(gd::imageWidth(Image), 170);
    EXPECT_EQ(gd::imageHeight(Image), 280);
}

TEST_F(AboutWindow, TheStartDrawsEveryParticleFromTheSeededSource) {
    openAndStart(4711);
    Oracle oracle(4711);
    oracle.start();
    const AboutAnimation& a = aboutAnimation();
    ASSERT_EQ(a.particles.size(), 101u);
    EXPECT_EQ(a.scroll, 280.0f);
    for (std::size_t i = 0; i < 101; ++i) {
        EXPECT_EQ(a.particles[i].x, oracle.particles()[i].x) << i;
        EXPECT_EQ(a.particles[i].y, oracle.particles()[i].y) << i;
        EXPECT_EQ(a.particles[i].speed, oracle.particles()[i].speed) << i;
        EXPECT_EQ(a.particles[i].phase, oracle.particles()[i].phase) << i;
        EXPECT_GE(a.particles[i].x, 0);
        EXPECT_LE(a.particles[i].x, 170);
        EXPECT_GE(a.particles[i].speed, 0.01f);
        EXPECT_LE(a.particles[i].speed, 0.05f);
    }
}

TEST_F(AboutWindow, TwoFramesPixelByPixel) {
    openAndStart(99);
    Oracle oracle(99);
    oracle.start();
    // Credits on screen, the first line cut at the top; one particle about
    // to fall off the bottom and one off the left edge, so both wraps draw
    // a new speed in this frame.
    for (auto* s : {&aboutAnimation().scroll, &oracle.scroll()})
        *s = -10.3f;
    for (auto* ps : {&aboutAnimation().particles, &oracle.particles()}) {
        (*ps)[0].y = 283.99f;
        (*ps)[1].x = -4.995f;
    }

    const int32_t before = gd::imagePixel(Image, 0, 0);
    EXPECT_EQ(before, rgb(1, 75, 175));  // a fresh window shows the background
    Oracle::Frame first = oracle.frame();
    aboutFrame();
    const std::vector<int> text1 = compare(first);
    ASSERT_FALSE(first.lines.empty());
    for (std::size_t i = 0; i < text1.size(); ++i) {
        EXPECT_GT(text1[i], 5) << "credit line " << i << " not drawn";
        // Centred: the first glyph starts where the line does (give or take
        // its bearing).
        EXPECT_GE(leftmost[i], first.lines[i].x) << "credit line " << i;
        EXPECT_LE(leftmost[i], first.lines[i].x + 2) << "credit line " << i;
    }
    EXPECT_EQ(aboutAnimation().particles[0].y, 0.0f);
    EXPECT_EQ(aboutAnimation().particles[1].x, 172.0f);
    // The picture control shows the frame.
    for (auto [x, y] : {std::pair{0, 0}, {85, 140}, {169, 279}})
        EXPECT_EQ(gd::shownPixel(Picture, x, y), gd::imagePixel(Image, x, y));

    std::vector<int32_t> frame1;
    for (int y = 0; y < ImageHeight; ++y)
        for (int x = 0; x < ImageWidth; ++x)
            frame1.push_back(gd::imagePixel(Image, x, y));

    Oracle::Frame second = oracle.frame();
    aboutFrame();
    compare(second);
    EXPECT_FLOAT_EQ(aboutAnimation().scroll, -10.3f - 0.05f - 0.05f);
    int changed = 0;
    for (int y = 0; y < ImageHeight; ++y)
        for (int x = 0; x < ImageWidth; ++x)
            changed += frame1[static_cast<std::size_t>(y * 170 + x)] != gd::imagePixel(Image, x, y);
    EXPECT_GT(changed, 0);  // the particles moved
}

TEST_F(AboutWindow, TheCreditsWrapBelowMinus660) {
    openAndStart(5);
    aboutAnimation().scroll = -659.95f;
    aboutFrame();
    EXPECT_EQ(aboutAnimation().scroll, -660.0f);  // only below -660 wraps
    aboutFrame();
    EXPECT_EQ(aboutAnimation().scroll, 280.0f);
}

TEST_F(AboutWindow, IdlePassesDrawAFrameEveryFiveMilliseconds) {
    uint32_t now = 50000;
    kavel::test::setService(&kavel::platform::Services::ticks, [&now] { return now; });
    openAndStart(5);
    const float scroll = aboutAnimation().scroll;
    slept.clear();
    mainLoopPass();  // the first frame is due at once
    EXPECT_TRUE(slept.empty());
    EXPECT_FLOAT_EQ(aboutAnimation().scroll, scroll - 0.05f);

    now += 2;
    mainLoopPass();  // not due yet: wait for the rest, no longer
    EXPECT_EQ(slept, (std::vector<uint32_t>{3}));
    EXPECT_FLOAT_EQ(aboutAnimation().scroll, scroll - 0.05f);

    now += 3;
    slept.clear();
    mainLoopPass();
    EXPECT_TRUE(slept.empty());
    EXPECT_FLOAT_EQ(aboutAnimation().scroll, scroll - 0.1f);
}

TEST_F(AboutWindow, BackAndTheCloseBoxEndTheAnimation) {
    openAndStart(5);
    click(Back);
    EXPECT_FALSE(gd::windowExists(Window));
    EXPECT_FALSE(hasFlag(flag::AboutRunning));
    EXPECT_TRUE(aboutAnimation().particles.empty());

    openAndStart(5);
    gd::postEvent({gd::EventKind::CloseRequest, Window, 0, gd::EventType::None});
    EXPECT_TRUE(mainLoopPass());
    EXPECT_FALSE(gd::windowExists(Window));
    EXPECT_FALSE(hasFlag(flag::AboutRunning));
    slept.clear();
    mainLoopPass();
    EXPECT_EQ(slept.size(), 1u);  // idle again
}

TEST_F(AboutWindow, AWindowClosedBehindItsBackStopsTheAnimation) {
    openAndStart(5);
    gd::closeWindow(mainwin::Window);  // takes the owned about window along
    aboutFrame();
    EXPECT_FALSE(hasFlag(flag::AboutRunning));
}

}  // namespace
}  // namespace kavel::test
