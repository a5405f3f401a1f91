#ifndef CHIPDISK_CSIDDECODER_H
#define CHIPDISK_CSIDDECODER_H

#include "CDecoder.h"

class SidTune;
class sidplayfp;
class ReSIDfpBuilder;

// C64 tunes (PSID and RSID) through libsidplayfp's reSIDfp emulation, mono on both
// channels. A tune cannot seek, only start again. Its length comes from a song-length
// database when one is found: $XDG_DATA_HOME/chipdisk/Songlengths.md5, or
// Songlengths.md5 or DOCUMENTS/Songlengths.md5 in the tune's folder or one above.
// ROM images named kernal, basic and chargen in $XDG_DATA_HOME/chipdisk/sid-roms/
// are used when present; a tune that needs BASIC does not play without it.
class CSidDecoder : public CDecoder {
public:
    static bool takes(const unsigned char* head, std::size_t n);
    static std::unique_ptr<CDecoder> open(const std::vector<char>& bytes, int subsong, const std::string& path,
                                          std::string& why);
    // from the tune's header alone: the emulation is not started
    static std::vector<int> subsongsOf(const std::vector<char>& bytes, std::string& why);
    ~CSidDecoder() override;

    static const char* const NEEDS_ROMS;  // the reason given for a tune that needs BASIC

    double position() const override;
    bool canSeek() const override { return false; }
    std::vector<int> subsongs() const override;
    int subsong() const override { return song; }
    void tags(std::string& title, std::string& artist) const override;

protected:
    int render(float* stereo, int frames) override;
    bool seekTo(double seconds) override;
    double namedLength() const override { return lengthSeconds; }

private:
    CSidDecoder();
    bool start(std::string& why);
    std::unique_ptr<SidTune> tune;
    std::unique_ptr<ReSIDfpBuilder> chip;
    std::unique_ptr<sidplayfp> engine;
    std::vector<std::uint8_t> kernal, basic, chargen;
    int song = 0;  // 0 based
    int count = 1;
    int first = 0;  // the tune's default
    double lengthSeconds = 0;
    std::string title, artist;
    std::vector<short> samples;
};

#endif
