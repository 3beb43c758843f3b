// Sample data made at start-up rather than shipped: every sound is a few
// oscillators with envelopes, written in the exact format each one has.
#include "core/sound_synthesis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace kavel {

namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr SoundFormat kFormats[5] = {
    {8, 2, 12000, 178678, false},  // start-up
    {16, 1, 22050, 4046, true},    // new message
    {16, 1, 22050, 12926, true},   // user list cleared
    {8, 1, 16000, 70221, false},   // shock
    {8, 1, 8000, 19071, false},    // wake-up
};

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(tag[i]));
}
void putBytes(std::vector<uint8_t>& out, const uint8_t* bytes, std::size_t n) {
    const std::size_t at = out.size();
    out.resize(at + n);
    if (n) std::memcpy(out.data() + at, bytes, n);
}

double envelope(double t, double attack, double length) {
    if (t < 0 || t > length) return 0;
    const double a = attack > 0 ? std::min(1.0, t / attack) : 1.0;
    return a * std::exp(-3.0 * t / length) * std::min(1.0, (length - t) / 0.02);
}

// Start-up: a slow major arpeggio that rings out, left and right apart.
void startup(double t, double& left, double& right) {
    static constexpr double notes[] = {261.63, 329.63, 392.00, 523.25, 659.25, 783.99};
    left = right = 0;
    for (int i = 0; i < 6; ++i) {
        const double start = i * 0.45;
        const double e = envelope(t - start, 0.04, 6.0 - start * 0.5);
        if (e == 0) continue;
        const double s =
            e * (std::sin(2 * kPi * notes[i] * t) + 0.3 * std::sin(4 * kPi * notes[i] * t));
        const double pan = i / 5.0;
        left += s * (1 - 0.6 * pan);
        right += s * (0.4 + 0.6 * pan);
    }
    const double fade = std::min(1.0, std::max(0.0, (7.4 - t) / 1.0));
    left *= 0.22 * fade;
    right *= 0.22 * fade;
}

double message(double t) {
    const double f = t < 0.045 ? 880 : 1318.5;
    return 0.5 * std::sin(2 * kPi * f * t) * envelope(std::fmod(t, 0.045), 0.002, 0.045);
}

double userList(double t) {
    const double f = t < 0.14 ? 660 : 440;
    return 0.45 * std::sin(2 * kPi * f * t) * envelope(std::fmod(t, 0.145), 0.004, 0.145);
}

double shock(double t) {
    // A falling, buzzing sweep with a tremolo: hard to miss.
    const double phase = 2 * kPi * (1400 / 0.45 * (1 - std::exp(-t * 0.45)) + 90 * t);
    const double saw = std::fmod(phase / (2 * kPi), 1.0) * 2 - 1;
    const double tremolo = 0.6 + 0.4 * std::sin(2 * kPi * 9 * t);
    return 0.5 * saw * tremolo * std::min(1.0, (4.39 - t) / 0.3);
}

double wakeUp(double t) {
    // An alarm clock: short double beeps.
    const double cycle = std::fmod(t, 0.4);
    const bool on = cycle < 0.08 || (cycle >= 0.12 && cycle < 0.2);
    if (!on) return 0;
    return 0.5 * (std::sin(2 * kPi * 1000 * t) > 0 ? 1 : -1) * 0.6;
}

uint8_t u8(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(128 + v * 127), 0L, 255L));
}
int16_t s16(double v) {
    return static_cast<int16_t>(std::clamp(std::lround(v * 32767), -32768L, 32767L));
}

}  // namespace

const SoundFormat& soundFormat(int n) {
    return kFormats[n];
}

std::vector<uint8_t> synthesiseSound(int n) {
    const SoundFormat& f = kFormats[n];
    const int blockAlign = f.channels * f.bits / 8;
    std::vector<uint8_t> data;
    data.reserve(f.dataBytes + 1);
    const uint32_t frames = f.dataBytes / static_cast<uint32_t>(blockAlign);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / f.rate;
        switch (n) {
            case 0: {
                double l, r;
                startup(t, l, r);
                data.push_back(u8(l));
                data.push_back(u8(r));
                break;
            }
            case 1:
                put16(data, static_cast<uint16_t>(s16(message(t))));
                break;
            case 2:
                put16(data, static_cast<uint16_t>(s16(userList(t))));
                break;
            case 3:
                data.push_back(u8(shock(t)));
                break;
            default:
                data.push_back(u8(wakeUp(t)));
                break;
        }
    }
    while (data.size() < f.dataBytes)
        data.push_back(f.bits == 8 ? 128 : 0);

    std::vector<uint8_t> info;
    if (f.infoChunk) {
        std::string comment = n == 1 ? "KAVEL Nachricht" : "KAVEL Benutzerliste";
        comment.push_back('\0');
        if (comment.size() % 2) comment.push_back('\0');
        putTag(info, "LIST");
        put32(info, static_cast<uint32_t>(4 + 8 + comment.size()));
        putTag(info, "INFO");
        putTag(info, "ICMT");
        put32(info, static_cast<uint32_t>(comment.size()));
        putBytes(info, reinterpret_cast<const uint8_t*>(comment.data()), comment.size());
    }

    const uint32_t pad = f.dataBytes % 2;
    std::vector<uint8_t> out;
    putTag(out, "RIFF");
    put32(out, static_cast<uint32_t>(4 + 24 + 8 + f.dataBytes + pad + info.size()));
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, static_cast<uint32_t>(f.channels));
    put32(out, static_cast<uint32_t>(f.rate));
    put32(out, static_cast<uint32_t>(f.rate * blockAlign));
    put16(out, static_cast<uint32_t>(blockAlign));
    put16(out, static_cast<uint32_t>(f.bits));
    putTag(out, "data");
    put32(out, f.dataBytes);
    out.reserve(out.size() + data.size() + pad + info.size());
    putBytes(out, data.data(), data.size());
    if (pad) out.push_back(0);
    putBytes(out, info.data(), info.size());
    return out;
}

}  // namespace kavel
