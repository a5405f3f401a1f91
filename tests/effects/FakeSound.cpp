// A silent sound layer whose spectrum is whatever the test puts there.
#include "FakeSound.h"
#include "SoundLib.h"

namespace {
float levels[512];
int dspUnit;  // only its address is handed out
int songHandle;
}  // namespace

float* fakeSpectrum() { return levels; }

void setFakeSpectrum(float level) {
    for (float& l : levels) l = level;
}

signed char FSOUND_Init(int, int, unsigned int) { return 1; }
FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
    return name ? reinterpret_cast<FMUSIC_MODULE*>(&songHandle) : nullptr;
}
signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod) { return mod ? 1 : 0; }
signed char FMUSIC_StopSong(FMUSIC_MODULE* mod) { return mod ? 1 : 0; }
FSOUND_DSPUNIT* FSOUND_DSP_GetFFTUnit() { return reinterpret_cast<FSOUND_DSPUNIT*>(&dspUnit); }
signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT*, signed char) { return 1; }
float* FSOUND_DSP_GetSpectrum() { return levels; }
