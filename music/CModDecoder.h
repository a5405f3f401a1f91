#ifndef CHIPDISK_CMODDECODER_H
#define CHIPDISK_CMODDECODER_H

#include "CDecoder.h"

namespace openmpt {
class module;
}

// Tracker modules through libopenmpt: one pass, or round again for ever.
class CModDecoder : public CDecoder {
public:
    static std::size_t headBytes();
    static bool takes(const unsigned char* head, std::size_t n, std::uint64_t size);
    static std::unique_ptr<CDecoder> open(const std::vector<char>& bytes, std::string& why);
    ~CModDecoder() override;

    double position() const override;
    std::vector<int> subsongs() const override { return {0}; }
    int subsong() const override { return 0; }
    void tags(std::string& title, std::string& artist) const override;

protected:
    int render(float* stereo, int frames) override;
    bool seekTo(double seconds) override;
    void loopFor(bool forever) override;
    bool endsByItself() const override { return true; }
    double namedLength() const override;

private:
    explicit CModDecoder(std::unique_ptr<openmpt::module> mpt);
    std::unique_ptr<openmpt::module> mpt;
};

#endif
