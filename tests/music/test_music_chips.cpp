// The chip formats through their decoders: the made test files of tools/gen_chiptunes.py
// (a PSID, an NSF and a GBS of two subsongs each, a VGM of one), each a steady tone; and VGMs
// made here.
#include "CDecoder.h"
#include "Gzipped.h"
#include "SoundLib.h"
#include "TempDir.h"
#include "XmWriter.h"

#include <gtest/gtest.h>
#include <sidplayfp/SidTune.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

std::vector<char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string chip(const char* name) { return std::string(CHIP_FILES) + "/" + name; }

std::unique_ptr<CDecoder> openChip(const std::string& path, int subsong) {
    const std::vector<char> bytes = readFile(path);
    const auto* head = reinterpret_cast<const unsigned char*>(bytes.data());
    std::string why;
    auto dec = CDecoder::open(CDecoder::identify(head, bytes.size(), bytes.size()), bytes, subsong, path, why);
    EXPECT_TRUE(dec) << path << ": " << why;
    return dec;
}

// frames read until the end or `most`, the RMS of each whole second, and the tone's
// pitch (the strongest from 100 to 1500 Hz, after the first tenth of a second)
struct Heard {
    int frames = 0;
    double hz = 0;
    std::vector<double> rmsBySecond;
};

Heard listen(CDecoder& dec, int most) {
    Heard h;
    std::vector<float> buf(2 * 441);
    std::vector<float> left;
    for (int got; h.frames < most && (got = dec.read(buf.data(), 441)) > 0; h.frames += got)
        for (int i = 0; i < got; i++) left.push_back(buf[2 * i]);
    double sum = 0;
    for (std::size_t i = 0; i < left.size(); i++) {
        sum += double(left[i]) * left[i];
        if ((i + 1) % 44100 == 0) {
            h.rmsBySecond.push_back(std::sqrt(sum / 44100));
            sum = 0;
        }
    }
    // the strongest of the candidate pitches, by Goertzel's recurrence
    double strongest = 0;
    const std::size_t from = std::min<std::size_t>(4410, left.size());
    for (double hz = 100; hz <= 1500; hz += 2) {
        const double k = 2 * std::cos(2 * M_PI * hz / 44100);
        double s1 = 0;
        double s2 = 0;
        for (std::size_t i = from; i < left.size(); i++) {
            const double s0 = left[i] + k * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
        if (power > strongest) {
            strongest = power;
            h.hz = hz;
        }
    }
    return h;
}

// `value` little-endian in the four bytes from `at`
template <typename Byte>
void put32(std::vector<Byte>& v, std::size_t at, std::size_t value) {
    for (int i = 0; i < 4; i++) v[at + i] = static_cast<Byte>(value >> 8 * i);
}

// A VGM for the PSG: `silent` seconds of nothing, a 440 Hz tone held through `frames`
// waits of one 60 Hz frame each, then a second of nothing again.
std::vector<char> toneAfterSilence(int silent, int frames) {
    std::vector<unsigned char> v(0x40, 0);
    std::memcpy(v.data(), "Vgm ", 4);
    put32(v, 0x08, 0x150);
    put32(v, 0x0C, 3579545);
    put32(v, 0x18, (silent + 1) * 44100 + frames * 735);
    put32(v, 0x34, 0x40 - 0x34);
    // three channels silenced, then the tone's period (254) and the loudest volume on the first
    for (int volume : {0x9F, 0xBF, 0xDF, 0xFF}) v.insert(v.end(), {0x50, static_cast<unsigned char>(volume)});
    for (int second = 0; second < silent; second++) v.insert(v.end(), {0x61, 0x44, 0xAC});
    v.insert(v.end(), {0x50, 0x8E, 0x50, 0x0F, 0x50, 0x90});
    v.insert(v.end(), static_cast<std::size_t>(frames), 0x62);
    v.insert(v.end(), {0x50, 0x9F, 0x61, 0x44, 0xAC, 0x66});
    put32(v, 0x04, v.size() - 4);
    return {v.begin(), v.end()};
}

}  // namespace

// libgme neither skips a song's silent start nor ends it on silence; a VGZ that inflates
// to more than one buffer of 64 KiB plays whole.
TEST(Chips, ConsoleSongsPlayTheirSilenceAndLongVgz) {
    TempDir tmp;
    writeFile(tmp / "quiet.vgm", toneAfterSilence(2, 60));
    writeFile(tmp / "long.vgz", gzipped(toneAfterSilence(0, 100000)));
    auto quiet = openChip(tmp / "quiet.vgm", 0);
    ASSERT_TRUE(quiet);
    const Heard heard = listen(*quiet, 4 * 44100);
    EXPECT_EQ(heard.frames, 4 * 44100) << "the silence at the end ends nothing";
    EXPECT_LT(std::max(heard.rmsBySecond.at(0), heard.rmsBySecond.at(1)), 0.01) << "the silent start is played";
    EXPECT_GT(heard.rmsBySecond.at(2), 0.02);
    auto vgz = openChip(tmp / "long.vgz", 0);
    ASSERT_TRUE(vgz);
    EXPECT_NEAR(vgz->length(), 100000 / 60.0, 1.0);
    EXPECT_NEAR(listen(*vgz, 44100).hz, 440, 9);
}

TEST(Chips, SubsongsTitlesAndTones) {
    const struct {
        const char* file;
        std::vector<int> subsongs;  // as listed, the file's default first
        std::vector<double> hz;     // of each listed subsong
        const char* title;
        bool canSeek;
    } cases[] = {
        {"two.sid", {1, 0}, {880, 440}, "Two Tunes", false},
        {"tone.nsf", {0, 1}, {440, 660}, "Tone", true},
        {"tone.gbs", {1, 0}, {660, 440}, "Tone", true},
        {"tone.vgm", {0}, {440}, "Tone", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(soundLayerSubsongs(chip(c.file).c_str()), c.subsongs) << c.file;
        for (std::size_t i = 0; i < c.subsongs.size(); i++) {
            auto dec = openChip(chip(c.file), c.subsongs[i]);
            ASSERT_TRUE(dec);
            const Heard heard = listen(*dec, 44100);
            EXPECT_NEAR(heard.hz, c.hz[i], c.hz[i] * 0.02) << c.file << " subsong " << c.subsongs[i];
            EXPECT_GT(heard.rmsBySecond.at(0), 0.02) << c.file;
            std::string title, artist;
            dec->tags(title, artist);
            EXPECT_EQ(title, c.title) << c.file;
            EXPECT_EQ(artist, "chipdisk tests") << c.file;
            EXPECT_EQ(dec->canSeek(), c.canSeek) << c.file;
        }
        EXPECT_EQ(openChip(chip(c.file), -1)->subsong(), c.subsongs[0]) << c.file << ": the default";
    }
}

// A song that names its length ends there, fading over its last four seconds; one that
// names none plays three minutes; on repeat each plays on.
TEST(Chips, LengthsAndTheEndFade) {
    auto vgm = openChip(chip("tone.vgm"), 0);
    ASSERT_TRUE(vgm);
    EXPECT_DOUBLE_EQ(vgm->length(), 5.0);
    vgm->setLooping(false);
    const Heard once = listen(*vgm, 10 * 44100);
    EXPECT_EQ(once.frames, 5 * 44100);
    const std::vector<double>& rms = once.rmsBySecond;
    EXPECT_NEAR(rms[2] / rms[0], 5.0 / 8, 0.03) << "the second second of four fades to 2.5/4";
    EXPECT_NEAR(rms[4] / rms[0], 1.0 / 8, 0.03);
    ASSERT_TRUE(vgm->seek(1.0));
    EXPECT_EQ(listen(*vgm, 10 * 44100).frames, 4 * 44100) << "the end stays where it was";

    EXPECT_DOUBLE_EQ(openChip(chip("two.sid"), 0)->length(), CDecoder::DEFAULT_SECONDS);

    // a song-length database in a folder above the tune names both subsongs' lengths
    TempDir tmp;
    std::filesystem::create_directories(tmp / "C64/Demos");
    std::filesystem::copy(chip("two.sid"), tmp / "C64/Demos/two.sid");
    const std::vector<char> bytes = readFile(chip("two.sid"));
    SidTune tune(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    char md5[SidTune::MD5_LENGTH + 1];
    std::ofstream(tmp / "C64/Songlengths.md5") << "[Database]\n" << tune.createMD5New(md5) << "=0:02 0:03.5\n";
    auto sid = openChip(tmp / "C64/Demos/two.sid", 0);
    EXPECT_DOUBLE_EQ(sid->length(), 2.0);
    EXPECT_DOUBLE_EQ(openChip(tmp / "C64/Demos/two.sid", 1)->length(), 3.5);
    EXPECT_EQ(listen(*sid, 3 * 44100).frames, 3 * 44100) << "on repeat";
    EXPECT_FALSE(sid->seek(1.0));
    EXPECT_TRUE(sid->seek(0.0));
    sid->setLooping(false);
    EXPECT_EQ(listen(*sid, 3 * 44100).frames, 2 * 44100);
}

// libgme reads a VGM's commands unchecked: a stream it could run out of the file with is
// turned away before it sees it.
TEST(Chips, VgmCommandsAreCheckedBeforeLibgme) {
    const std::vector<unsigned char> block = {0x67, 0x66, 0x00, 4, 0, 0, 0, 1, 2, 3, 4};
    auto with = [](std::vector<unsigned char> prefix, uint32_t ym2612Clock = 7670453, bool ended = true) {
        std::vector<char> vgm = toneAfterSilence(0, 10);
        put32(vgm, 0x2C, ym2612Clock);
        if (!ended) vgm.pop_back();
        vgm.insert(vgm.begin() + 0x40, prefix.begin(), prefix.end());
        put32(vgm, 0x04, vgm.size() - 4);
        return vgm;
    };
    std::vector<unsigned char> seekInside = block;
    seekInside.insert(seekInside.end(), {0xE0, 3, 0, 0, 0, 0x80, 0x90, 0x42, 0x00});
    std::vector<unsigned char> seekPast = block;
    seekPast.insert(seekPast.end(), {0xE0, 4, 0, 0, 0});
    const std::pair<std::vector<char>, bool> cases[] = {
        {with(seekInside), true},                       // a PCM block, a seek inside it, commands libgme does not know
        {with(seekPast), false},                        // a seek past the PCM
        {with({0x81}), false},                          // PCM played before any block
        {with({0x42, 0x00, 0xE0, 9, 0, 0, 0}), false},  // an operand libgme takes for a PCM seek
        {with({0x67, 0x66, 0x00, 0xFF, 0xFF, 0, 0}), false},  // a block longer than the file
        {with({}, 7670453, false), false},                    // no end command
        {with({0x52, 0x28, 0xF0}, 0), false},                 // a YM2612 write without its clock
        {with({0x52, 0x28, 0xF0}), true},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto dec = CDecoder::open(CDecoder::Kind::Console, c.first, 0, "", why);
        EXPECT_EQ(dec != nullptr, c.second) << "case " << &c - cases << ": " << why;
    }
}

// A truncated file of each format is no song and says so in one line, as does a VGM for
// chips not played here; a tune that needs BASIC is left out as one that needs system ROMs.
TEST(Chips, BrokenFilesAndMissingRoms) {
    TempDir tmp;
    setenv("XDG_DATA_HOME", tmp.path().c_str(), 1);
    for (const char* file : {"two.sid", "tone.nsf", "tone.vgm"}) {
        std::vector<char> bytes = readFile(chip(file));
        bytes.resize(0x30);
        writeFile(tmp / file, bytes);
        bool needsRoms = true;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(soundLayerSubsongs((tmp / file).c_str(), &needsRoms).empty()) << file;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find(file), std::string::npos) << said;
        EXPECT_FALSE(needsRoms) << file;
    }
    std::vector<char> otherChip = readFile(chip("tone.vgm"));
    std::fill(otherChip.begin() + 0x0C, otherChip.begin() + 0x10, 0);  // no PSG: the tone is for no chip here
    writeFile(tmp / "other.vgm", otherChip);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(soundLayerSubsongs((tmp / "other.vgm").c_str()).empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "chipdisk: " + tmp / "other.vgm" + ": chip not supported\n");
    std::vector<char> rsid = readFile(chip("two.sid"));
    std::memcpy(rsid.data(), "RSID", 4);
    rsid[0x0A] = rsid[0x0B] = rsid[0x0C] = rsid[0x0D] = 0;  // init and play by the tune itself
    rsid[0x77] |= 0x02;                                     // needs the C64's BASIC
    writeFile(tmp / "basic.sid", rsid);
    bool needsRoms = false;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(soundLayerSubsongs((tmp / "basic.sid").c_str(), &needsRoms).empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "counted, not said";
    EXPECT_TRUE(needsRoms);
    std::filesystem::create_directories(tmp / "chipdisk/sid-roms");
    writeFile(tmp / "chipdisk/sid-roms/basic", std::vector<char>(8192, '\x60'));
    EXPECT_EQ(soundLayerSubsongs((tmp / "basic.sid").c_str(), &needsRoms), (std::vector<int>{1, 0}));
    unsetenv("XDG_DATA_HOME");
}
