#pragma once
// Playing uncompressed PCM WAVE data held in memory.

#include <cstdint>
#include <vector>

namespace kavel::platform {

// Where sounds go. Device: the system's default output. Recorder: an output
// that plays nothing and only records each start (a sound counts as playing
// for its length), so the play rules can be checked on machines without a
// sound card. None: a system without any output.
enum class SoundBackEnd { Device, Recorder, None };
void setSoundBackEnd(SoundBackEnd backEnd);

// False when the system offers no sound output at all.
bool soundOutputAvailable();
// Takes a complete RIFF WAVE file (PCM, 8 or 16 bit); returns a handle, or
// -1 when the data is not such a file or no output could be opened.
int loadSound(std::vector<uint8_t> wave);
// Stops the sound if it still plays, rewinds it and plays it once. Other
// sounds keep playing.
void restartSound(int handle);
void releaseSounds();
// How often the sound was started, and how often a start cut it off (tests).
int soundStarts(int handle);
int soundCutOffs(int handle);

}  // namespace kavel::platform
