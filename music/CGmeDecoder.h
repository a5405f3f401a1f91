#ifndef CHIPDISK_CGMEDECODER_H
#define CHIPDISK_CGMEDECODER_H

#include "CDecoder.h"

struct Music_Emu;

// The music of game consoles and home computers through libgme: NSF, NSFE, SPC,
// GBS, VGM (and gzipped VGZ), AY, KSS, HES, SAP and GYM. libgme never ends a song
// here; seeking back plays the song again from its start up to the place.
class CGmeDecoder : public CDecoder {
public:
    static constexpr std::size_t HEAD_BYTES = 0x40;  // a VGM's chip clocks lie within
    static bool takes(const unsigned char* head, std::size_t n);
    // a VGM (or VGZ) only for chips that libgme does not play
    static bool forOtherChips(const unsigned char* head, std::size_t n);
    static std::unique_ptr<CDecoder> open(const std::vector<char>& bytes, int subsong, std::string& why);
    static std::vector<int> subsongsOf(const std::vector<char>& bytes, std::string& why);
    ~CGmeDecoder() override;

    double position() const override;
    std::vector<int> subsongs() const override;
    int subsong() const override { return track; }
    void tags(std::string& title, std::string& artist) const override;

    // The inflated start (up to `limit` bytes) of gzipped data; empty when it is not gzip.
    // `ended`, when given, says whether the whole stream inflated within the limit.
    static std::vector<char> gunzip(const unsigned char* data, std::size_t n, std::size_t limit, bool* ended = nullptr);

protected:
    int render(float* stereo, int frames) override;
    bool seekTo(double seconds) override;
    double namedLength() const override { return lengthSeconds; }

private:
    CGmeDecoder(Music_Emu* emu, int track, int firstTrack);
    Music_Emu* emu;
    int track;
    int firstTrack;  // the file's default
    double lengthSeconds = 0;
    std::string title, artist;
    std::vector<short> samples;
};

#endif
