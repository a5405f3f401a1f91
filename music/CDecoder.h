#ifndef CHIPDISK_CDECODER_H
#define CHIPDISK_CDECODER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One song of one file, decoded to 44100 Hz stereo: tracker modules through
// libopenmpt, the music of game consoles and home computers through libgme, C64
// tunes through libsidplayfp. Which one is chosen by the file's first bytes, never
// by its name. A file may hold several subsongs; each decoder plays one of them.
//
// Songs that do not end by themselves (everything but the modules) end here: at
// their length, fading out over the last FADE_SECONDS, unless they loop for ever.
// Not thread-safe: the sound layer holds its lock around every call but open().
class CDecoder {
public:
    enum class Kind { None, Module, Console, Sid };

    static const int RATE = 44100;
    static constexpr double FADE_SECONDS = 4.0;
    static constexpr double DEFAULT_SECONDS = 180.0;  // for songs that name no length
    // enough of the file's start for identify()
    static std::size_t headBytes();

    virtual ~CDecoder() = default;

    // The decoder that takes a file of `size` bytes starting with `head` (its first
    // headBytes(), or all of a shorter file); None for anything else, including a VGM
    // for a chip that none plays.
    static Kind identify(const unsigned char* head, std::size_t n, std::uint64_t size);

    // Decodes `bytes`, the whole file, as `kind`: subsong `subsong` (0 based), or the
    // file's own first one for -1. Null, with `why` set, when it cannot.
    static std::unique_ptr<CDecoder> open(Kind kind, const std::vector<char>& bytes, int subsong,
                                          const std::string& path, std::string& why);

    // Up to `frames` interleaved stereo frames; fewer only at the end of one pass
    // (then 0 until it is rewound).
    int read(float* stereo, int frames);

    // Whether the song plays on for ever or makes way at its end; a module starts
    // its pass again, the others play past their length.
    void setLooping(bool forever);
    bool looping() const { return loops; }

    // The subsongs of a file of `kind` in the order they are listed, the file's default
    // first, without making it ready to play; empty, with `why` set, when it cannot play.
    static std::vector<int> subsongsOf(Kind kind, const std::vector<char>& bytes, std::string& why);

    // From the song's start, in seconds.
    virtual double position() const = 0;
    // false where the decoder cannot go there (only the start, for a C64 tune)
    bool seek(double seconds);
    virtual bool canSeek() const { return true; }
    // One pass in seconds: the module's own, or the length its file or a database
    // names, or DEFAULT_SECONDS.
    double length() const;

    // The subsongs of the file in the order they are listed: the file's default first.
    virtual std::vector<int> subsongs() const = 0;
    virtual int subsong() const = 0;
    // UTF-8; empty when the file names none
    virtual void tags(std::string& title, std::string& artist) const = 0;

    // Text from a file header: as it is when it is valid UTF-8, else read as Latin-1.
    static std::string toUtf8(const std::string& text);

protected:
    static std::vector<int> listed(int count, int first);
    virtual int render(float* stereo, int frames) = 0;
    virtual bool seekTo(double seconds) = 0;
    virtual void loopFor(bool /*forever*/) {}
    virtual bool endsByItself() const { return false; }
    // seconds of one pass as the file or a database names it; 0: unknown
    virtual double namedLength() const = 0;

    std::uint64_t played = 0;  // frames since the start, for the songs that end here

private:
    bool loops = true;
};

#endif
