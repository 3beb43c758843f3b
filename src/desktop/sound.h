#pragma once
// Playing uncompressed PCM WAVE data held in memory.

#include <cstdint>
#include <vector>

#include "system/services.h"

namespace kavel::platform {

// Sounds go where services().sound says; loaded sounds are released when
// that changes.

// False when the system offers no sound output at all.
bool soundOutputAvailable();
// Takes a complete RIFF WAVE file (PCM, 8 or 16 bit); returns a handle, or
// -1 when the data is not such a file or no output could be opened. Handles
// count from 0 in the order of loading, until the sounds are released.
int loadSound(std::vector<uint8_t> wave);
// Stops the sound if it still plays, rewinds it and plays it once. Other
// sounds keep playing.
void restartSound(int handle);
void releaseSounds();

}  // namespace kavel::platform
