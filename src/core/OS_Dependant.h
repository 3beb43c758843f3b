#pragma once
// Desktop services of the core: the five embedded sounds and how they are
// played, window attention and stacking, opening URLs.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ports.h"

namespace kavel {

// Opens sound output and loads the five sounds. Without an output device
// sets NoSound and reports it in the status log. Returns false then.
bool initSounds();
// Releases the loaded sounds (tests, shutdown).
void unloadSounds();
// Restarts sound n from its beginning; different sounds may overlap.
void playSound(int n);

// The complete RIFF WAVE file of embedded sound n (0..4).
const std::vector<uint8_t>& soundFile(int n);

// Makes window w flash until it is focused, unless it is the foreground window.
void flashWindow(int window);
// Keeps window w above all others from now on.
void keepOnTop(int window);
// Hands a URL or file name to the desktop's default handler.
void openWithDesktop(std::string_view target);

}  // namespace kavel
