#include "FakeSound.h"

#include "SoundLib.h"

#include <cstdint>

FakeSound& fakeSound() {
    static FakeSound fake;
    return fake;
}

int FakeSound::count(const std::string& prefix) const {
    int n = 0;
    for (const auto& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0) n++;
    return n;
}

namespace {

std::string id(FMUSIC_MODULE* mod) {
    return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(mod));
}

float spectrum[512];
FSOUND_DSPUNIT* const unit = reinterpret_cast<FSOUND_DSPUNIT*>(std::uintptr_t(0xD5));

}  // namespace

float* fakeSpectrum() { return spectrum; }

void setFakeSpectrum(float level) {
    for (float& l : spectrum) l = level;
}

signed char FSOUND_Init(int, int, unsigned int) {
    fakeSound().calls.push_back("init");
    return 1;
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
    FakeSound& f = fakeSound();
    FMUSIC_MODULE* mod = nullptr;
    if (std::string(name).find("broken") == std::string::npos)
        mod = reinterpret_cast<FMUSIC_MODULE*>(std::uintptr_t(++f.loads));
    f.paths.push_back(name);
    f.calls.push_back(std::string("load ") + name + " " + id(mod));
    return mod;
}

namespace {
bool isPlaying(FMUSIC_MODULE* mod) {
    return mod && fakeSound().playingHandle == static_cast<int>(reinterpret_cast<std::uintptr_t>(mod));
}
}  // namespace

signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod) {
    fakeSound().calls.push_back("play " + id(mod));
    if (mod) fakeSound().playingHandle = static_cast<int>(reinterpret_cast<std::uintptr_t>(mod));
    fakeSound().paused = false;  // a new song starts, a held one resumes
    return mod != nullptr;
}

signed char FMUSIC_StopSong(FMUSIC_MODULE* mod) {
    fakeSound().calls.push_back("stop " + id(mod));
    if (isPlaying(mod)) fakeSound().playingHandle = 0;
    return mod != nullptr;
}

signed char FMUSIC_SetPaused(FMUSIC_MODULE* mod, signed char pause) {
    fakeSound().calls.push_back("pause " + id(mod) + " " + std::to_string(pause));
    if (!isPlaying(mod)) return 0;
    fakeSound().paused = pause != 0;
    return 1;
}

signed char FMUSIC_GetPaused(FMUSIC_MODULE* mod) {
    return isPlaying(mod) && fakeSound().paused;
}

signed char FMUSIC_IsPlaying(FMUSIC_MODULE* mod) {
    return isPlaying(mod);
}

int FMUSIC_GetTime(FMUSIC_MODULE*) {
    return 0;
}

FSOUND_DSPUNIT* FSOUND_DSP_GetFFTUnit() {
    return unit;
}

signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* u, signed char active) {
    fakeSound().calls.push_back(u == unit ? "active " + std::to_string(active) : "active ?");
    return 1;
}

float* FSOUND_DSP_GetSpectrum() {
    return spectrum;
}
