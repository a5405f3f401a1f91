#include "FakeSound.h"

#include "SoundLib.h"

#include <algorithm>
#include <cstdint>

FakeSound& fakeSound() {
    static FakeSound fake;
    return fake;
}

int FakeSound::count(const std::string& prefix) const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](auto& c) { return c.rfind(prefix, 0) == 0; }));
}

void FakeSound::endSong() {
    ends++;
    playingHandle = queuedHandle;
    queuedHandle = 0;
}

namespace {
float spectrum[512];
FSOUND_DSPUNIT* const unit = reinterpret_cast<FSOUND_DSPUNIT*>(std::uintptr_t(0xD5));
FMUSIC_MODULE* handle(int n) { return reinterpret_cast<FMUSIC_MODULE*>(std::uintptr_t(n)); }
int number(FMUSIC_MODULE* mod) { return static_cast<int>(reinterpret_cast<std::uintptr_t>(mod)); }
std::string id(FMUSIC_MODULE* mod) { return " #" + std::to_string(number(mod)); }
bool isPlaying(FMUSIC_MODULE* mod) { return mod && fakeSound().playingHandle == number(mod); }
bool isSong(const char* path) { return path && std::string(path).find("broken") == std::string::npos; }
signed char record(const std::string& call, bool result) {
    fakeSound().calls.push_back(call);
    return result;
}
}  // namespace

float* fakeSpectrum() { return spectrum; }
void setFakeSpectrum(float level) { std::fill(spectrum, spectrum + 512, level); }
signed char FSOUND_Init(int, int, unsigned int) { return record("init", true); }

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
    std::vector<std::string>& paths = fakeSound().paths;
    if (isSong(name)) paths.push_back(name);
    FMUSIC_MODULE* mod = isSong(name) ? handle(int(paths.size())) : nullptr;
    record(std::string("load ") + name + id(mod), true);
    return mod;
}

// subsong 0 loads as the file; another is named with its number
FMUSIC_MODULE* soundLayerLoadSubsong(const char* name, int subsong) {
    return FMUSIC_LoadSong(subsong == 0 ? name : (std::string(name) + ":" + std::to_string(subsong)).c_str());
}

signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod) {
    fakeSound().queuedHandle = 0;
    if (mod) fakeSound().playingHandle = number(mod);
    fakeSound().paused = false;  // a new song starts, a held one resumes
    return record("play" + id(mod), mod);
}

signed char FMUSIC_StopSong(FMUSIC_MODULE* mod) {
    if (isPlaying(mod)) {
        fakeSound().playingHandle = 0;
        fakeSound().queuedHandle = 0;
    }
    return record("stop" + id(mod), mod);
}

signed char FMUSIC_SetPaused(FMUSIC_MODULE* mod, signed char pause) {
    if (isPlaying(mod)) fakeSound().paused = pause != 0;
    return record("pause" + id(mod) + " " + std::to_string(pause), isPlaying(mod));
}

signed char FMUSIC_GetPaused(FMUSIC_MODULE* mod) { return isPlaying(mod) && fakeSound().paused; }
signed char FMUSIC_IsPlaying(FMUSIC_MODULE* mod) { return isPlaying(mod); }
int FMUSIC_GetTime(FMUSIC_MODULE*) { return 0; }
FSOUND_DSPUNIT* FSOUND_DSP_GetFFTUnit() { return unit; }
float* FSOUND_DSP_GetSpectrum() { return spectrum; }
signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* u, signed char on) {
    return record(u == unit ? "active " + std::to_string(on) : "active ?", true);
}
// any thread, as the layer's own
std::vector<int> soundLayerSubsongs(const char* path, bool* needsRoms) {
    if (needsRoms) *needsRoms = false;
    return isSong(path) ? std::vector<int>{0} : std::vector<int>();
}
bool soundLayerCanSeek(FMUSIC_MODULE* mod) { return mod != nullptr; }
void soundLayerLoopSongs(bool forever) { record(std::string("loop ") + (forever ? "1" : "0"), true); }

signed char soundLayerQueueNext(FMUSIC_MODULE* next) {
    fakeSound().queuedHandle = number(next);
    return record("queue" + id(next), true);
}

FMUSIC_MODULE* soundLayerSounding(unsigned* ends) {
    if (ends) *ends = fakeSound().ends;
    return handle(fakeSound().playingHandle);
}

signed char FMUSIC_SetTime(FMUSIC_MODULE* mod, int ms) {
    return record("seek" + id(mod) + " " + std::to_string(ms), isPlaying(mod));
}

bool soundLayerSongTags(FMUSIC_MODULE* mod, std::string& title, std::string& artist) {
    title = mod ? "title of " + fakeSound().paths[number(mod) - 1] : "";
    artist = "";
    return mod != nullptr;
}

double soundLayerSongSeconds(FMUSIC_MODULE* mod) { return mod ? 90.0 : 0.0; }
