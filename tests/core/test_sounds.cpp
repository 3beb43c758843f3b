// The five embedded sounds and the rules for playing them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/data.h"
#include "core/OS_Dependant.h"
#include "desktop/gadgets.h"
#include "desktop/sound.h"
#include "support/latin1.h"
#include "support/services.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

namespace kavel::testing {
namespace {

uint32_t le(const std::vector<uint8_t>& d, std::size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | d[at + static_cast<std::size_t>(i)];
    return v;
}
std::string tag(const std::vector<uint8_t>& d, std::size_t at) {
    return std::string(d.begin() + static_cast<long>(at), d.begin() + static_cast<long>(at) + 4);
}

struct Expected {
    int bits, channels, rate;
    uint32_t dataBytes;
    bool info;
};

TEST(Sounds, EachFileHasItsFormatAndDataLength) {
    const Expected table[] = {{8, 2, 12000, 178678, false},
                              {16, 1, 22050, 4046, true},
                              {16, 1, 22050, 12926, true},
                              {8, 1, 16000, 70221, false},
                              {8, 1, 8000, 19071, false}};
    for (int n = 0; n < 5; ++n) {
        SCOPED_TRACE(n);
        const auto& f = soundFile(n);
        const Expected& e = table[n];
        ASSERT_GT(f.size(), 44u);
        EXPECT_EQ(tag(f, 0), "RIFF");
        EXPECT_EQ(le(f, 4, 4), f.size() - 8);
        EXPECT_EQ(tag(f, 8), "WAVE");
        EXPECT_EQ(tag(f, 12), "fmt ");
        EXPECT_EQ(le(f, 16, 4), 16u);
        EXPECT_EQ(le(f, 20, 2), 1u);  // PCM
        EXPECT_EQ(int(le(f, 22, 2)), e.channels);
        EXPECT_EQ(int(le(f, 24, 4)), e.rate);
        EXPECT_EQ(le(f, 28, 4), uint32_t(e.rate * e.channels * e.bits / 8));
        EXPECT_EQ(int(le(f, 32, 2)), e.channels * e.bits / 8);
        EXPECT_EQ(int(le(f, 34, 2)), e.bits);
        EXPECT_EQ(tag(f, 36), "data");
        EXPECT_EQ(le(f, 40, 4), e.dataBytes);
        const std::size_t after = 44 + e.dataBytes + (e.dataBytes & 1);
        if (e.info) {
            ASSERT_GT(f.size(), after + 12);
            EXPECT_EQ(tag(f, after), "LIST");
            EXPECT_EQ(tag(f, after + 8), "INFO");
            EXPECT_EQ(f.size(), after + 8 + le(f, after + 4, 4));
        } else {
            EXPECT_EQ(f.size(), after);
        }
    }
}

// The samples must not be silence, and the start-up sound differs left/right.
TEST(Sounds, SamplesAreAudibleAndDistinct) {
    for (int n = 0; n < 5; ++n) {
        const auto& f = soundFile(n);
        const int bits = int(le(f, 34, 2));
        double energy = 0;
        const uint32_t bytes = le(f, 40, 4);
        for (std::size_t i = 44; i + 1 < 44 + bytes; i += bits / 8) {
            const double v =
                bits == 8 ? (f[i] - 128) / 128.0 : static_cast<int16_t>(le(f, i, 2)) / 32768.0;
            energy += v * v;
        }
        EXPECT_GT(std::sqrt(energy / (bytes / (bits / 8))), 0.05) << n;
    }
    const auto& s = soundFile(0);
    int differ = 0;
    for (std::size_t i = 44 + 2 * 6000; i < 44 + 2 * 7000; i += 2)
        differ += s[i] != s[i + 1];
    EXPECT_GT(differ, 100);
    EXPECT_NE(soundFile(1), soundFile(2));
}

class SoundRules : public ::testing::Test {
  protected:
    void SetUp() override {
        loadUiTexts();
        openMainWindow();
        platform::clearItems(mainwin::StatusList);
    }
    void TearDown() override {
        unloadSounds();
        platform::closeWindow(mainwin::Window);
    }
    std::vector<std::string> status() {
        std::vector<std::string> out;
        for (int i = 0; i < platform::itemCount(mainwin::StatusList); ++i) {
            const std::string l = platform::itemText(mainwin::StatusList, i);
            out.push_back(utf8(l.substr(l.find("] ") + 2)));
        }
        return out;
    }
};

TEST_F(SoundRules, MissingSoundIsReportedPerRequestButNotWithoutOutput) {
    playSound(sound::Message);
    playSound(sound::Message);
    EXPECT_THAT(status(),
                ::testing::ElementsAre("Sound ist nicht bereit.", "Sound ist nicht bereit."));
    platform::clearItems(mainwin::StatusList);
    setFlag(flag::NoSound);
    playSound(sound::Shock);
    EXPECT_TRUE(status().empty());
}

TEST_F(SoundRules, StartWithoutOutputSetsNoSound) {
    kavel::test::setService(&kavel::platform::Services::sound, platform::SoundBackEnd::None);
    EXPECT_FALSE(initSounds());
    EXPECT_TRUE(hasFlag(flag::NoSound));
    EXPECT_THAT(status(),
                ::testing::ElementsAre("Sound wird vom verwendeten System nicht unterstützt."));
}

TEST_F(SoundRules, ARepeatedSoundStartsOverAndOthersOverlap) {
    static std::vector<std::pair<int, bool>> starts;  // handle, cut off
    starts.clear();
    kavel::test::setService(&kavel::platform::Services::sound, platform::SoundBackEnd::Recorder);
    kavel::test::setService(&kavel::platform::Services::soundStarted,
                            [](int handle, bool cutOff) { starts.emplace_back(handle, cutOff); });
    ASSERT_TRUE(initSounds());  // loads the sounds in their order: handle n is sound n
    playSound(sound::Message);
    playSound(sound::Shock);
    playSound(sound::Message);
    EXPECT_THAT(starts, ::testing::ElementsAre(std::pair(sound::Message, false),
                                               std::pair(sound::Shock, false),
                                               std::pair(sound::Message, true)));
}

TEST(SoundData, NonWaveDataIsRefused) {
    EXPECT_EQ(platform::loadSound({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}), -1);
}

}  // namespace
}  // namespace kavel::testing
