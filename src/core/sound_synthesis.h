#pragma once
// The five sounds of the client, synthesised as complete RIFF WAVE files.

#include <cstdint>
#include <vector>

namespace kavel {

struct SoundFormat {
    int bits;
    int channels;
    int rate;
    uint32_t dataBytes;
    bool infoChunk;  // a LIST/INFO text chunk after the samples
};

const SoundFormat& soundFormat(int n);
std::vector<uint8_t> synthesiseSound(int n);

}  // namespace kavel
