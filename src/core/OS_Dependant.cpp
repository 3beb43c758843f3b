#include "core/OS_Dependant.h"

#include <array>

#include "common/data.h"
#include "common/reset.h"
#include "core/sound_synthesis.h"
#include "desktop/desktop.h"
#include "desktop/sound.h"
#include "ui/GUI_Methods.h"

namespace kavel {

namespace {

std::array<int, sound::Count> handles = {-1, -1, -1, -1, -1};
const bool registered = registerReset([] { handles.fill(-1); });

}  // namespace

const std::vector<uint8_t>& soundFile(int n) {
    static const std::array<std::vector<uint8_t>, sound::Count> files = [] {
        std::array<std::vector<uint8_t>, sound::Count> f;
        for (int i = 0; i < sound::Count; ++i)
            f[static_cast<std::size_t>(i)] = synthesiseSound(i);
        return f;
    }();
    return files[static_cast<std::size_t>(n)];
}

bool initSounds() {
    unloadSounds();
    if (!platform::soundOutputAvailable()) {
        setFlag(flag::NoSound);
        statusMessage(ui(Txt::SoundUnsupported));
        return false;
    }
    for (int i = 0; i < sound::Count; ++i)
        handles[static_cast<std::size_t>(i)] = platform::loadSound(soundFile(i));
    return true;
}

void unloadSounds() {
    platform::releaseSounds();
    handles.fill(-1);
}

void playSound(int n) {
    if (hasFlag(flag::NoSound)) return;
    const int handle = n >= 0 && n < sound::Count ? handles[static_cast<std::size_t>(n)] : -1;
    if (handle < 0) {
        statusMessage(ui(Txt::SoundNotReady));
        return;
    }
    platform::restartSound(handle);
}

void flashWindow(int window) {
    platform::alertWindow(window);
}

void keepOnTop(int window) {
    platform::stayOnTop(window);
}

void openWithDesktop(std::string_view target) {
    platform::openUrl(target);
}

}  // namespace kavel
