#pragma once
// The about window (window 5) and its animation: 101 drifting outlines and
// the credit lines scrolling up over them, one frame per idle pass of the
// main loop. GUI.h opens the window.

#include <cstdint>
#include <vector>

#include "desktop/gadgets.h"

namespace kavel {

inline constexpr int AboutParticleCount = 101;
inline constexpr int32_t AboutBackground = 1 | 75 << 8 | 175 << 16;
inline constexpr float AboutScrollStep = 0.05f;
inline constexpr float AboutScrollEnd = -660.0f;
inline constexpr int AboutLineHeight = 20;

struct AboutParticle {
    float x = 0;
    float y = 0;
    float speed = 0;
    float phase = 0;  // radians
};

struct AboutAnimation {
    std::vector<AboutParticle> particles;
    float scroll = 0;
    uint32_t lastFrame = 0;  // tick count of the last frame drawn
};

// The animation's random source: a small generator that tests can seed and
// run beside the animation to know every draw it makes.
class AboutRandom {
  public:
    explicit AboutRandom(uint32_t seed) : state_(seed) {}
    // A whole number from lo to hi, both included.
    int between(int lo, int hi);

  private:
    uint32_t state_;
};

// The offsets of the pixels of a particle's outline (an ellipse with radii
// 3 across and 2 down) from its centre.
const std::vector<platform::Point>& aboutOutline();

// Starts the animation: every particle at a random place with a random
// speed and phase, the credits just below the picture.
void startAboutAnimation();
// Draws one frame on image 12 and shows it in the window. Ends the
// animation when the window is gone.
void aboutFrame();
// Milliseconds until the next frame is due, 0 when it is. Every step of the
// animation is a fixed distance, so frames drawn as fast as a processor
// can (thousands a second) would race the credits past unread and keep a
// core busy; a frame every AboutFrameMs moves them at a reading pace.
inline constexpr uint32_t AboutFrameMs = 5;
uint32_t aboutFrameWait();
// The state of the running animation (tests look at it and move it on).
AboutAnimation& aboutAnimation();

// "Zurück" and the close box close the window and end the animation; the
// close request is consumed.
void aboutWindowHandler(platform::Event& event);

}  // namespace kavel
