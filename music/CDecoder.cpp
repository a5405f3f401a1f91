#include "CDecoder.h"

#include "CGmeDecoder.h"
#include "CModDecoder.h"
#include "CSidDecoder.h"

#include <glib.h>

#include <algorithm>
#include <cstring>

std::size_t CDecoder::headBytes() { return std::max<std::size_t>(CModDecoder::headBytes(), CGmeDecoder::HEAD_BYTES); }

CDecoder::Kind CDecoder::identify(const unsigned char* head, std::size_t n, std::uint64_t size) {
    if (CSidDecoder::takes(head, n)) return Kind::Sid;
    if (CGmeDecoder::takes(head, n)) return Kind::Console;
    if (CModDecoder::takes(head, n, size)) return Kind::Module;
    return Kind::None;
}

std::unique_ptr<CDecoder> CDecoder::open(Kind kind, const std::vector<char>& bytes, int subsong,
                                         const std::string& path, std::string& why) {
    switch (kind) {
        case Kind::Module:
            return CModDecoder::open(bytes, why);
        case Kind::Console:
            return CGmeDecoder::open(bytes, subsong, why);
        case Kind::Sid:
            return CSidDecoder::open(bytes, subsong, path, why);
        case Kind::None:
            break;
    }
    why = "not a song";
    return nullptr;
}

std::vector<int> CDecoder::subsongsOf(Kind kind, const std::vector<char>& bytes, std::string& why) {
    switch (kind) {
        case Kind::Module:
            return {0};
        case Kind::Console:
            return CGmeDecoder::subsongsOf(bytes, why);
        case Kind::Sid:
            return CSidDecoder::subsongsOf(bytes, why);
        case Kind::None:
            break;
    }
    why = "not a song";
    return {};
}

// Every listing puts the default first, then the others in order.
std::vector<int> CDecoder::listed(int count, int first) {
    std::vector<int> order{first};
    for (int s = 0; s < count; s++)
        if (s != first) order.push_back(s);
    return order;
}

int CDecoder::read(float* stereo, int frames) {
    if (loops || endsByItself()) {
        const int got = render(stereo, frames);
        played += static_cast<std::uint64_t>(got);
        return got;
    }
    const auto end = static_cast<std::uint64_t>(length() * RATE);
    if (played >= end) return 0;
    const int got = render(stereo, static_cast<int>(std::min<std::uint64_t>(frames, end - played)));
    // one ramp for every decoder, down to nothing at the song's end
    const double fadeFrames = FADE_SECONDS * RATE;
    for (int i = 0; i < got; i++) {
        const double left = static_cast<double>(end - played - static_cast<std::uint64_t>(i));
        if (left >= fadeFrames) continue;
        const float gain = static_cast<float>(left / fadeFrames);
        stereo[2 * i] *= gain;
        stereo[2 * i + 1] *= gain;
    }
    played += static_cast<std::uint64_t>(got);
    return got;
}

void CDecoder::setLooping(bool forever) {
    loops = forever;
    loopFor(forever);
}

bool CDecoder::seek(double seconds) {
    if (seconds < 0 || !seekTo(seconds)) return false;
    played = static_cast<std::uint64_t>(seconds * RATE);
    return true;
}

double CDecoder::length() const {
    const double named = namedLength();
    return named > 0 ? named : DEFAULT_SECONDS;
}

std::string CDecoder::toUtf8(const std::string& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    gchar* converted =
        g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8", "ISO-8859-1", nullptr, nullptr, nullptr);
    std::string out = converted ? converted : "";
    g_free(converted);
    return out;
}
