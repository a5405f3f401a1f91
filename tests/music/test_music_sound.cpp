// The sound layer. SDL's audio state is global: each Layer test needs a process of its own.
#include "CSpectrumAnalyser.h"
#include "SoundLib.h"
#include "TempDir.h"
#include "XmWriter.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <utility>

namespace fs = std::filesystem;

namespace {

const int N = CSpectrumAnalyser::WINDOW;

std::vector<float> analyse(std::vector<float> in) {
    CSpectrumAnalyser().analyse(in.data(), in.data());  // the levels fill the first half
    return {in.begin(), in.begin() + N / 2};
}

int peak(const float* levels) { return static_cast<int>(std::max_element(levels, levels + N / 2) - levels); }
float loudest() { return FSOUND_DSP_GetSpectrum()[peak(FSOUND_DSP_GetSpectrum())]; }

double rms(const std::vector<float>& s, std::size_t from = 0, int step = 1) {
    double sum = 0;
    for (std::size_t i = from; i < s.size(); i += step) sum += double(s[i]) * s[i];
    return std::sqrt(sum * step / static_cast<double>(s.size() - from));
}

bool startWithSpectrum() {
    return FSOUND_Init(44100, 32, 0) == 1 && FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1) == 1;
}

std::vector<float> render(int frames) {
    std::vector<float> out(2 * frames, 1.0f);
    soundLayerRender(out.data(), frames);
    return out;
}

// exits normally only if the signal was swallowed
void raiseAndWait(int sig) {
    std::raise(sig);
    SDL_Delay(500);
    std::exit(0);
}

bool scenarioRan = false;  // a direct run gets only the first Layer test
#define ONE_SCENARIO_PER_PROCESS() \
    if (std::exchange(scenarioRan, true)) GTEST_SKIP() << "needs a process of its own"

}  // namespace

TEST(Spectrum, LevelsOfSinesClampedToZeroOne) {
    // a full-scale sine reads 1 on its band and Hann leaks half into each neighbour; half a
    // band off, the scalloping loss leaves 8 / (3 pi) on both; NaN reads 0
    const struct {
        double cycles, amplitude;
        int band;
        float level, next, rest;
    } cases[] = {{5, 1.0 / 3, 5, 1, 0.5f, 1e-3f},
                 {100.5, 1.0 / 3, 100, 0.849f, 0.849f, 0.02f},
                 {5, 3, 5, 1, 1, 1},
                 {0, NAN, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        std::vector<float> in(N);
        for (int n = 0; n < N; n++)
            in[n] = static_cast<float>(c.amplitude * std::sin(2 * M_PI * c.cycles * n / N + 0.3));
        const auto levels = analyse(in);
        EXPECT_NEAR(levels[c.band], c.level, 0.01f) << c.cycles;
        EXPECT_NEAR(levels[c.band + 1], c.next, 0.01f) << c.cycles;
        for (int j = 0; j < N / 2; j++)
            EXPECT_LE(std::abs(j - c.cycles) > 3 ? levels[j] : 0, c.rest) << c.cycles << " band " << j;
    }
}

// Songs are known by their content; a file that is too big or foreign is turned
// away from its header, without reading it all.
TEST(Load, SongsAreKnownByTheirHeader) {
    auto bytesRead = [] {  // by this process so far, from the kernel's count
        std::ifstream io("/proc/self/io");
        std::string key, value;
        while (io >> key >> value && key != "rchar:") {}
        return std::stoll(value);
    };
    TempDir tmp;
    writeFile(tmp / "song.xm", makeSineXm());
    writeFile(tmp / "huge.xm", makeSineXm());
    writeFile(tmp / "film.xm", std::vector<char>(6000, 't'));
    fs::resize_file(tmp / "huge.xm", 2ull << 30);   // sparse: no disk used
    fs::resize_file(tmp / "film.xm", 10ull << 20);  // 10 MB that is not a module
    for (const char* name : {"song.xm", "huge.xm", "film.xm"}) {
        const long long before = bytesRead();
        EXPECT_EQ(FMUSIC_LoadSong((tmp / name).c_str()) != nullptr, name == std::string("song.xm")) << name;
        EXPECT_LT(bytesRead() - before, 64 * 1024) << name;
    }
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
}

// Rendered with no device: a held song sends silence and its spectrum falls to zero,
// then goes on sample for sample; a stop clears the hold and the next play starts over.
// The spectrum follows the song that sounds and hears both channels alike; stepping
// through songs keeps few decoded and no more handles than files, and an old handle
// plays unless its file went away.
TEST(Layer, PlaybackWithNoDevice) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    for (int note : {49, 61}) writeFile(tmp / std::to_string(note), makeSineXm(note));
    writeFile(tmp / "late", makeSineXm(49, 8));  // 0.96 s lead-in, then the tone
    writeFile(tmp / "left", makeSineXm(49, 0, 32, 32));
    soundLayerUseNoDevice();
    ASSERT_TRUE(startWithSpectrum());
    FMUSIC_MODULE* song = FMUSIC_LoadSong((tmp / "late").c_str());
    FMUSIC_PlaySong(song);
    const auto lead = render(33075), tone = render(33075);  // 0.75 s each
    ASSERT_EQ(rms(lead), 0.0);
    ASSERT_GT(rms(tone, 2 * 11025), 0.1);
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_GT(rms(render(4410)), 0.1) << "play while playing must not start over";
    FMUSIC_StopSong(song);
    FMUSIC_PlaySong(song);
    EXPECT_EQ(render(33075), lead);
    EXPECT_EQ(FMUSIC_SetPaused(song, 1), 1);
    EXPECT_EQ(FMUSIC_GetPaused(song), 1);
    const int at = FMUSIC_GetTime(song);
    EXPECT_NEAR(at, 750, 25);
    EXPECT_EQ(rms(render(22050)), 0.0);
    EXPECT_EQ(loudest(), 0.0f);
    EXPECT_EQ(FMUSIC_GetTime(song), at);
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_EQ(FMUSIC_GetPaused(song), 0);
    EXPECT_EQ(render(33075), tone);
    FMUSIC_SetPaused(song, 1);
    FMUSIC_StopSong(song);
    EXPECT_EQ(FMUSIC_IsPlaying(song), 0);
    EXPECT_EQ(FMUSIC_SetPaused(song, 0), 0) << "a stopped song has nothing to resume";
    FMUSIC_PlaySong(song);
    EXPECT_EQ(FMUSIC_GetPaused(song), 0);
    EXPECT_EQ(FMUSIC_GetTime(song), 0);

    FMUSIC_MODULE* low = FMUSIC_LoadSong((tmp / "49").c_str());
    for (int step = 0; step < 20; step++) {
        FMUSIC_StopSong(song);
        song = FMUSIC_LoadSong((tmp / (step % 2 ? "61" : "49")).c_str());
        FMUSIC_PlaySong(song);
    }
    EXPECT_LE(soundLayerDecodedSongs(), 2);
    EXPECT_EQ(FMUSIC_LoadSong((tmp / "49").c_str()), low) << "one handle a file, however often it loads";
    FMUSIC_StopSong(low);  // not the one sounding: changes nothing
    render(8192);
    EXPECT_EQ(peak(FSOUND_DSP_GetSpectrum()), 12);
    ASSERT_EQ(FMUSIC_PlaySong(low), 1);
    render(8192);
    EXPECT_EQ(peak(FSOUND_DSP_GetSpectrum()), 6);
    FMUSIC_PlaySong(FMUSIC_LoadSong((tmp / "left").c_str()));
    const auto out = render(N);
    ASSERT_GT(rms(out, 0, 2), 1.5 * rms(out, 1, 2)) << "panned left";
    std::vector<float> mono(N);
    for (int i = 0; i < N; i++) mono[i] = (out[2 * i] + out[2 * i + 1]) / 2;
    setenv("CHIPDISK_PLAIN", "levels", 1);  // the fixed scale of the analyser alone
    EXPECT_EQ(std::vector<float>(FSOUND_DSP_GetSpectrum(), FSOUND_DSP_GetSpectrum() + N / 2), analyse(mono));
    unsetenv("CHIPDISK_PLAIN");
    FMUSIC_MODULE* gone = FMUSIC_LoadSong((tmp / "61").c_str());
    FMUSIC_PlaySong(low);  // leaves 'gone' silent, so it gives its module up
    fs::remove(tmp / "61");
    EXPECT_EQ(FMUSIC_PlaySong(gone), 0);
}

// At the end of one pass the queued song takes over in the same buffer, sample for
// sample; with none queued the playing stops; a song on repeat starts again.
TEST(Layer, ASongsEndMakesWayForTheQueuedOne) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    writeFile(tmp / "low", makeSineXm(49));
    writeFile(tmp / "high", makeSineXm(61));
    soundLayerUseNoDevice();
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    soundLayerLoopSongs(false);
    FMUSIC_MODULE* low = FMUSIC_LoadSong((tmp / "low").c_str());
    FMUSIC_MODULE* high = FMUSIC_LoadSong((tmp / "high").c_str());
    FMUSIC_PlaySong(low);
    const std::vector<float> lowAlone = render(3 * 44100);
    const auto lastSound = std::find_if(lowAlone.rbegin(), lowAlone.rend(), [](float v) { return v != 0.0f; });
    const std::size_t heard = static_cast<std::size_t>(lowAlone.rend() - lastSound);  // samples, both channels
    unsigned ends = 0;
    EXPECT_EQ(soundLayerSounding(&ends), nullptr);
    EXPECT_EQ(ends, 1u);
    FMUSIC_PlaySong(high);
    const std::vector<float> highAlone = render(44100);
    // the queued song's first samples follow the last of the one before within 50 ms
    auto follows = [&](const std::vector<float>& out, const std::vector<float>& next) {
        std::size_t at = heard;
        while (at + next.size() <= out.size() && !std::equal(next.begin(), next.end(), out.begin() + at)) at += 2;
        return std::equal(lowAlone.begin(), lowAlone.begin() + heard, out.begin()) && at - heard < 2 * 2205;
    };

    FMUSIC_PlaySong(low);
    ASSERT_EQ(soundLayerQueueNext(high), 1);
    EXPECT_TRUE(follows(render(3 * 44100), highAlone));
    EXPECT_EQ(soundLayerSounding(&ends), high);
    EXPECT_EQ(ends, 2u);

    FMUSIC_PlaySong(low);
    ASSERT_EQ(soundLayerQueueNext(low), 1) << "a list of one song follows itself";
    EXPECT_TRUE(follows(render(4 * 44100), std::vector<float>(lowAlone.begin(), lowAlone.begin() + 44100)));
    EXPECT_EQ(soundLayerSounding(&ends), low);
    EXPECT_EQ(ends, 3u);

    soundLayerLoopSongs(true);
    FMUSIC_PlaySong(high);
    const std::vector<float> looped = render(3 * 44100);
    EXPECT_GT(rms(looped, heard), 0.1) << "on repeat the song goes on";
    EXPECT_EQ(soundLayerSounding(&ends), high);
    EXPECT_EQ(ends, 3u);
}

// The same song an eighth as loud (-18 dB) shows the same levels once settled, and keeps
// them through a pause. The tone, C-3 in band 3, lies in the lowest group of bands.
TEST(Layer, LevelsFollowTheSongsLoudness) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    std::vector<char> quiet = makeSineXm(37);
    const char noteAtFullVolume[] = {37, 1, 0x50};
    *(std::search(quiet.begin(), quiet.end(), noteAtFullVolume, noteAtFullVolume + 3) + 2) = 0x10 + 8;
    writeFile(tmp / "loud", makeSineXm(37));
    writeFile(tmp / "quiet", quiet);
    soundLayerUseNoDevice();
    ASSERT_TRUE(startWithSpectrum());
    auto levelsAfter = [](double seconds) {
        render(static_cast<int>(seconds * 44100));
        return std::vector<float>(FSOUND_DSP_GetSpectrum(), FSOUND_DSP_GetSpectrum() + N / 2);
    };
    auto near = [](const std::vector<float>& a, const std::vector<float>& b, float within) {
        for (int band = 0; band < N / 2; band++)
            if (std::abs(a[band] - b[band]) > within) return false;
        return true;
    };
    FMUSIC_PlaySong(FMUSIC_LoadSong((tmp / "loud").c_str()));
    const std::vector<float> loud = levelsAfter(3);
    ASSERT_GT(loud[peak(loud.data())], 0.3f);
    ASSERT_LT(loud[peak(loud.data())], 0.9f) << "below the clamp, to compare";
    FMUSIC_MODULE* song = FMUSIC_LoadSong((tmp / "quiet").c_str());
    FMUSIC_PlaySong(song);
    EXPECT_NEAR(levelsAfter(0.1)[peak(loud.data())], loud[peak(loud.data())] / 8, 0.02f) << "no flash, no jump";
    const std::vector<float> settled = levelsAfter(2.5);
    EXPECT_TRUE(near(settled, loud, 0.03f)) << "settled in 2.6 s";
    FMUSIC_SetPaused(song, 1);
    render(5 * 44100);
    FMUSIC_SetPaused(song, 0);
    EXPECT_TRUE(near(levelsAfter(0.05), settled, 0.01f)) << "a pause keeps the gain";
}

// A device that does not open (the disk driver's file is a folder): the layer falls back to
// the dummy driver, says so once, the spectrum moves in real time, and signals still end it.
TEST(Layer, UnusableDeviceFallsBackToDummy) {
    ONE_SCENARIO_PER_PROCESS();
    TempDir tmp;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", tmp.path().c_str(), 1);
    writeFile(tmp / "sine.xm", makeSineXm());
    testing::internal::CaptureStderr();
    ASSERT_TRUE(startWithSpectrum());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "dummy");
    EXPECT_TRUE(err.rfind("chipdisk: no sound device", 0) == 0 && std::count(err.begin(), err.end(), '\n') == 1) << err;
    FMUSIC_MODULE* song = FMUSIC_LoadSong((tmp / "sine.xm").c_str());
    FMUSIC_PlaySong(song);
    int waited = 0;
    while (waited++ < 300 && (peak(FSOUND_DSP_GetSpectrum()) != 6 || loudest() < 0.1f)) SDL_Delay(10);
    EXPECT_LT(waited, 300) << "the tone never showed";
    FMUSIC_StopSong(song);
    SDL_Delay(200);
    EXPECT_EQ(loudest(), 0.0f);
    for (int sig : {SIGTERM, SIGINT}) EXPECT_EXIT(raiseAndWait(sig), testing::KilledBySignal(sig), "");
}
