// The sound layer end to end through SDL's disk and dummy drivers. SDL's audio
// state is process-wide, so every test here must run in a process of its own:
// ctest does that (one test per process); a direct run executes only the first.
#include "SoundLib.h"
#include "TempDir.h"
#include "XmWriter.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const int BUFFER_BYTES = 512 * 2 * sizeof(float);
const int SINE_BAND = 6;  // C-4, 261.6 Hz

bool claimProcess() {
    static bool used = false;
    bool first = !used;
    used = true;
    return first;
}

#define ONE_SCENARIO_PER_PROCESS() \
    if (!claimProcess()) GTEST_SKIP() << "needs a process of its own (run through ctest)"

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

long fileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::vector<float> readFloats(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> out(bytes.size() / sizeof(float));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
    return out;
}

double rms(const std::vector<float>& s, long from, long to) {
    double sum = 0;
    for (long i = from; i < to; i++) sum += double(s[i]) * s[i];
    return to > from ? std::sqrt(sum / (to - from)) : 0.0;
}

// index (in floats) of the last non-zero sample at or after `from`, or -1
long lastSound(const std::vector<float>& s, long from) {
    for (long i = static_cast<long>(s.size()) - 1; i >= from; i--)
        if (s[i] != 0.0f) return i;
    return -1;
}

float maxLevel() {
    const float* levels = FSOUND_DSP_GetSpectrum();
    float m = 0;
    for (int i = 0; i < 512; i++) m = std::max(m, levels[i]);
    return m;
}

// waits until `band` stands out as the spectrum's strongest, up to 3 s; the test
// tone reaches about 0.18 of a full-scale sine after the mixer's headroom, which
// the analyser's scale lifts to about 0.54
bool spectrumShows(int band) {
    for (int i = 0; i < 300; i++) {
        const float* levels = FSOUND_DSP_GetSpectrum();
        if (levels[band] > 0.1f && std::max_element(levels, levels + 512) == levels + band) return true;
        sleepMs(10);
    }
    return false;
}

}  // namespace

TEST(Layer, DiskDriverPlayStopPlay) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    const std::string out = tmp / "out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    writeFile(tmp / "sine.xm", makeSineXm());

    // the spectrum is valid, and silent, before anything plays
    float* first = FSOUND_DSP_GetSpectrum();
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "disk");
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    EXPECT_EQ(maxLevel(), 0.0f);
    EXPECT_EQ(FSOUND_DSP_GetSpectrum(), first);

    FMUSIC_MODULE* song = FMUSIC_LoadSong((tmp / "sine.xm").c_str());
    ASSERT_NE(song, nullptr);
    const long startAt = fileSize(out);
    ASSERT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_TRUE(spectrumShows(SINE_BAND));
    sleepMs(300);

    FMUSIC_StopSong(song);
    const long stopAt = fileSize(out);
    sleepMs(300);
    EXPECT_EQ(maxLevel(), 0.0f) << "spectrum after stop";

    const long replayAt = fileSize(out);
    FMUSIC_PlaySong(song);
    EXPECT_TRUE(spectrumShows(SINE_BAND)) << "spectrum after play again";
    sleepMs(200);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 0);
    EXPECT_EQ(maxLevel(), 0.0f) << "spectrum of an inactive unit";

    auto s = readFloats(out);
    ASSERT_GT(static_cast<long>(s.size()), replayAt / 4);
    const long playF = startAt / 4, stopF = stopAt / 4, replayF = replayAt / 4;
    EXPECT_GT(rms(s, playF, stopF), 0.1) << "loud while playing";
    // the disk driver writes through stdio, whose buffer may hold one more block
    const long silentFrom = stopF + 2 * BUFFER_BYTES / 4;
    ASSERT_GT(replayF, silentFrom + 10 * BUFFER_BYTES / 4) << "stop long enough to judge";
    EXPECT_LT(lastSound(std::vector<float>(s.begin(), s.begin() + replayF), silentFrom), 0)
        << "sound more than one buffer after stop";
    EXPECT_GT(rms(s, replayF, static_cast<long>(s.size())), 0.1) << "loud after play again";
}

TEST(Layer, PlayAfterStopStartsFromTheBeginning) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (tmp / "out.raw").c_str(), 1);
    // half a pattern (0.96 s) of silence, then a tone that rings on
    writeFile(tmp / "late.xm", makeSineXm(49, 8));
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    FMUSIC_MODULE* song = FMUSIC_LoadSong((tmp / "late.xm").c_str());
    ASSERT_NE(song, nullptr);

    FMUSIC_PlaySong(song);
    sleepMs(300);
    EXPECT_EQ(maxLevel(), 0.0f) << "lead-in";
    EXPECT_TRUE(spectrumShows(SINE_BAND));
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    sleepMs(200);
    EXPECT_GT(maxLevel(), 0.1f) << "play while playing must not restart";
    FMUSIC_StopSong(song);
    sleepMs(100);
    FMUSIC_PlaySong(song);
    sleepMs(300);
    EXPECT_EQ(maxLevel(), 0.0f) << "the lead-in again after play";
    EXPECT_TRUE(spectrumShows(SINE_BAND));
}

TEST(Layer, SwitchingSongsFollowsTheNewOne) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (tmp / "out.raw").c_str(), 1);
    writeFile(tmp / "low.xm", makeSineXm(49));
    writeFile(tmp / "high.xm", makeSineXm(61));  // an octave up
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    FMUSIC_MODULE* low = FMUSIC_LoadSong((tmp / "low.xm").c_str());
    FMUSIC_MODULE* high = FMUSIC_LoadSong((tmp / "high.xm").c_str());
    FMUSIC_PlaySong(low);
    EXPECT_TRUE(spectrumShows(SINE_BAND));
    FMUSIC_StopSong(low);
    FMUSIC_PlaySong(high);
    EXPECT_TRUE(spectrumShows(2 * SINE_BAND));
    EXPECT_LT(FSOUND_DSP_GetSpectrum()[SINE_BAND], 0.05f);
    // stopping a song that is not the one sounding leaves the sound alone
    FMUSIC_StopSong(low);
    sleepMs(100);
    EXPECT_GT(FSOUND_DSP_GetSpectrum()[2 * SINE_BAND], 0.1f);
}

// Stepping through songs loads each afresh: the silent ones must not keep their
// decoded modules, and an old handle must still play when asked to.
TEST(Layer, SteppingThroughSongsKeepsFewDecodedAndOldHandlesStillPlay) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (tmp / "out.raw").c_str(), 1);
    writeFile(tmp / "low.xm", makeSineXm(49));
    writeFile(tmp / "high.xm", makeSineXm(61));
    writeFile(tmp / "gone.xm", makeSineXm(61));
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);

    FMUSIC_MODULE* first = FMUSIC_LoadSong((tmp / "low.xm").c_str());
    FMUSIC_MODULE* current = first;
    FMUSIC_PlaySong(current);
    for (int step = 0; step < 60; step++) {
        FMUSIC_StopSong(current);
        current = FMUSIC_LoadSong((tmp / (step % 2 ? "low.xm" : "high.xm")).c_str());
        ASSERT_NE(current, nullptr);
        FMUSIC_PlaySong(current);
        ASSERT_LE(soundLayerDecodedSongs(), 2) << "after step " << step;
    }
    FMUSIC_StopSong(current);
    ASSERT_EQ(FMUSIC_PlaySong(first), 1);
    EXPECT_TRUE(spectrumShows(SINE_BAND)) << "the first handle plays again";

    FMUSIC_MODULE* gone = FMUSIC_LoadSong((tmp / "gone.xm").c_str());
    ASSERT_NE(gone, nullptr);
    FMUSIC_StopSong(first);
    FMUSIC_PlaySong(current);  // leaves 'gone' silent, so it gives its module up
    std::remove((tmp / "gone.xm").c_str());
    FMUSIC_StopSong(current);
    EXPECT_EQ(FMUSIC_PlaySong(gone), 0) << "a song whose file went away stays silent";
    sleepMs(300);
    EXPECT_EQ(maxLevel(), 0.0f);
}

// Rendered offline: a held song sends silence and its spectrum falls to zero, then
// goes on sample for sample from where it was held; a stop clears the hold.
TEST(Layer, PauseHoldsTheSongWhereItIs) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    writeFile(tmp / "late.xm", makeSineXm(49, 8));  // 0.96 s lead-in, then the tone
    soundLayerUseNoDevice();
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    FMUSIC_MODULE* song = FMUSIC_LoadSong((tmp / "late.xm").c_str());
    ASSERT_NE(song, nullptr);
    const int frames = 66150, heldAt = 33075;  // 1.5 s, held at 0.75 s
    std::vector<float> straight(2 * frames), held(2 * frames), gap(2 * 22050, 1.0f);

    FMUSIC_PlaySong(song);
    soundLayerRender(straight.data(), frames);
    ASSERT_GT(rms(straight, 2 * 44100, 2 * frames), 0.1) << "the tone after the lead-in";
    FMUSIC_StopSong(song);

    FMUSIC_PlaySong(song);
    soundLayerRender(held.data(), heldAt);
    ASSERT_EQ(FMUSIC_SetPaused(song, 1), 1);
    EXPECT_EQ(FMUSIC_GetPaused(song), 1);
    const int at = FMUSIC_GetTime(song);
    EXPECT_NEAR(at, 750, 25);
    soundLayerRender(gap.data(), 22050);
    EXPECT_EQ(lastSound(gap, 0), -1) << "sound while held";
    EXPECT_EQ(maxLevel(), 0.0f);
    EXPECT_EQ(FMUSIC_GetTime(song), at);
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_EQ(FMUSIC_GetPaused(song), 0);
    soundLayerRender(held.data() + 2 * heldAt, frames - heldAt);
    EXPECT_EQ(held, straight);

    FMUSIC_SetPaused(song, 1);
    FMUSIC_StopSong(song);
    EXPECT_EQ(FMUSIC_IsPlaying(song), 0);
    EXPECT_EQ(FMUSIC_SetPaused(song, 0), 0) << "a stopped song has nothing to resume";
    FMUSIC_PlaySong(song);
    EXPECT_EQ(FMUSIC_GetPaused(song), 0);
    EXPECT_EQ(FMUSIC_GetTime(song), 0);
}

namespace {

// with no usable device the layer falls back to the dummy driver, says so once, and
// the spectrum keeps moving in real time
void expectSilentFallback() {
    TempDir tmp;
    writeFile(tmp / "sine.xm", makeSineXm());
    testing::internal::CaptureStderr();
    const int ok = FSOUND_Init(44100, 32, 0);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(ok, 1);
    EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "dummy");
    EXPECT_NE(err.find("no sound device"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    FMUSIC_MODULE* song = FMUSIC_LoadSong((tmp / "sine.xm").c_str());
    FMUSIC_PlaySong(song);
    EXPECT_TRUE(spectrumShows(SINE_BAND));
    FMUSIC_StopSong(song);
    sleepMs(200);
    EXPECT_EQ(maxLevel(), 0.0f);
}

}  // namespace

TEST(Layer, BogusDriverFallsBackToDummy) {
    ONE_SCENARIO_PER_PROCESS();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    expectSilentFallback();
}

TEST(Layer, MissingPulseServerFallsBackToDummy) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    writeFile(tmp / "client.conf", {'a', 'u', 't', 'o', 's', 'p', 'a', 'w', 'n', '=', 'n', 'o', '\n'});
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    setenv("PULSE_SERVER", ("unix:" + (tmp / "no-server")).c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (tmp / "client.conf").c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", tmp.path().c_str(), 1);
    expectSilentFallback();
}

// A terminal's Ctrl+C or a session's SIGTERM must still end the program once sound runs.
TEST(Layer, TerminationSignalsStillEndTheProcess) {
    ONE_SCENARIO_PER_PROCESS();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    for (int sig : {SIGTERM, SIGINT}) {
        EXPECT_EXIT(
            {
                FSOUND_Init(44100, 32, 0);
                std::raise(sig);
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                std::exit(0);
            },
            ::testing::KilledBySignal(sig), "");
    }
}
