// Each sound gets its own audio sink over its own buffer, so different
// sounds overlap and the same one restarts instead of queueing.
#include "desktop/sound.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <memory>

#include "common/reset.h"
#include "desktop/gadgets_qt.h"
#include "system/clock.h"

namespace kavel::platform {

namespace {

SoundBackEnd backEnd = SoundBackEnd::Device;

struct Loaded {
    uint32_t lengthMs = 0;
    bool started = false;    // Recorder: started at least once
    uint32_t startedAt = 0;  // Recorder: when it last started
    QByteArray samples;
    QAudioFormat format;
    std::unique_ptr<QBuffer> buffer;
    std::unique_ptr<QAudioSink> sink;
};

std::vector<std::unique_ptr<Loaded>>& sounds() {
    static std::vector<std::unique_ptr<Loaded>> s;
    return s;
}

uint32_t le(const std::vector<uint8_t>& d, std::size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | d[at + static_cast<std::size_t>(i)];
    return v;
}

// Finds fmt and data in the chunk list; false for anything but plain PCM.
bool parseWave(const std::vector<uint8_t>& d, QAudioFormat& format, QByteArray& samples) {
    if (d.size() < 12 || std::string(d.begin(), d.begin() + 4) != "RIFF" ||
        std::string(d.begin() + 8, d.begin() + 12) != "WAVE")
        return false;
    bool haveFormat = false;
    for (std::size_t at = 12; at + 8 <= d.size();) {
        const std::string tag(d.begin() + static_cast<long>(at),
                              d.begin() + static_cast<long>(at) + 4);
        const uint32_t size = le(d, at + 4, 4);
        const std::size_t body = at + 8;
        if (body + size > d.size()) return false;
        if (tag == "fmt " && size >= 16) {
            if (le(d, body, 2) != 1) return false;
            const int channels = static_cast<int>(le(d, body + 2, 2));
            const int rate = static_cast<int>(le(d, body + 4, 4));
            const int bits = static_cast<int>(le(d, body + 14, 2));
            if (bits != 8 && bits != 16) return false;
            format.setChannelCount(channels);
            format.setSampleRate(rate);
            format.setSampleFormat(bits == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
            if (channels <= 0 || rate <= 0) return false;
            haveFormat = true;
        } else if (tag == "data" && haveFormat) {
            samples = QByteArray(reinterpret_cast<const char*>(d.data() + body),
                                 static_cast<qsizetype>(size));
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

const bool registered = registerReset([] { releaseSounds(); });

// The back end the loaded sounds belong to; sounds of another are let go.
SoundBackEnd currentBackEnd() {
    if (services().sound != backEnd) {
        releaseSounds();
        backEnd = services().sound;
    }
    return backEnd;
}

}  // namespace

bool soundOutputAvailable() {
    assertGuiThread();
    if (currentBackEnd() != SoundBackEnd::Device) return backEnd == SoundBackEnd::Recorder;
    return !QMediaDevices::audioOutputs().isEmpty();
}

int loadSound(std::vector<uint8_t> wave) {
    assertGuiThread();
    auto s = std::make_unique<Loaded>();
    if (!parseWave(wave, s->format, s->samples)) return -1;
    s->lengthMs = static_cast<uint32_t>(
        s->format.durationForBytes(static_cast<qint32>(s->samples.size())) / 1000);
    if (currentBackEnd() == SoundBackEnd::None) return -1;
    if (backEnd == SoundBackEnd::Recorder) {
        sounds().push_back(std::move(s));
        return static_cast<int>(sounds().size()) - 1;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return -1;
    s->buffer = std::make_unique<QBuffer>(&s->samples);
    s->buffer->open(QIODevice::ReadOnly);
    s->sink = std::make_unique<QAudioSink>(device, s->format);
    sounds().push_back(std::move(s));
    return static_cast<int>(sounds().size()) - 1;
}

void restartSound(int handle) {
    assertGuiThread();
    if (handle < 0 || handle >= static_cast<int>(sounds().size())) return;
    Loaded& s = *sounds()[static_cast<std::size_t>(handle)];
    if (!s.sink) {
        const uint32_t now = tickCount();
        const bool cutOff =
            s.started && ticksSince(s.startedAt, now) < static_cast<int32_t>(s.lengthMs);
        s.started = true;
        s.startedAt = now;
        if (services().soundStarted) services().soundStarted(handle, cutOff);
        return;
    }
    s.sink->stop();
    s.buffer->seek(0);
    s.sink->start(s.buffer.get());
}

void releaseSounds() {
    for (auto& s : sounds())
        if (s->sink) s->sink->stop();
    sounds().clear();
}

}  // namespace kavel::platform
