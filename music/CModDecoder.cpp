#include "CModDecoder.h"

#include <libopenmpt/libopenmpt.hpp>

#include <ostream>
#include <streambuf>

namespace {

// Swallows libopenmpt's log. Never changes stream state, so the loader on the GUI
// thread and the renderer on the audio thread may both write to it.
class QuietBuf : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::ostream& quietLog() {
    static QuietBuf* buf = new QuietBuf;  // never destroyed: the audio thread may outlive exit
    static std::ostream* log = new std::ostream(buf);
    return *log;
}

}  // namespace

std::size_t CModDecoder::headBytes() { return openmpt::probe_file_header_get_recommended_size(); }

bool CModDecoder::takes(const unsigned char* head, std::size_t n, std::uint64_t size) {
    return openmpt::probe_file_header(openmpt::probe_file_header_flags_default2, head, n, size) !=
           openmpt::probe_file_header_result_failure;
}

std::unique_ptr<CDecoder> CModDecoder::open(const std::vector<char>& bytes, std::string& why) {
    try {
        return std::unique_ptr<CDecoder>(new CModDecoder(std::make_unique<openmpt::module>(bytes, quietLog())));
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
        why = "not a module";
    }
    return nullptr;
}

CModDecoder::CModDecoder(std::unique_ptr<openmpt::module> mpt) : mpt(std::move(mpt)) {
    this->mpt->set_repeat_count(-1);
}

CModDecoder::~CModDecoder() = default;

int CModDecoder::render(float* stereo, int frames) {
    try {
        return static_cast<int>(mpt->read_interleaved_stereo(RATE, static_cast<std::size_t>(frames), stereo));
    } catch (...) {
        return 0;  // a song that cannot go on has ended
    }
}

double CModDecoder::position() const {
    try {
        return mpt->get_position_seconds();
    } catch (...) {
        return 0.0;
    }
}

bool CModDecoder::seekTo(double seconds) {
    try {
        mpt->set_position_seconds(seconds);
        return true;
    } catch (...) {
        return false;
    }
}

void CModDecoder::loopFor(bool forever) { mpt->set_repeat_count(forever ? -1 : 0); }

double CModDecoder::namedLength() const {
    try {
        return mpt->get_duration_seconds();
    } catch (...) {
        return 0.0;
    }
}

void CModDecoder::tags(std::string& title, std::string& artist) const {
    try {
        title = mpt->get_metadata("title");
        artist = mpt->get_metadata("artist");
    } catch (...) {
        title.clear();
        artist.clear();
    }
}
