#include "CGmeDecoder.h"

#include <gme/gme.h>
#include <zlib.h>

#include <cstring>

namespace {

const std::size_t MAX_INFLATED = 64u << 20;  // no VGM comes near; a gzip bomb would

std::uint32_t le32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// libgme plays the PSG and the YM2612 of a VGM (its YM2413 is silent): a file for
// other chips only is no song here.
bool vgmChipPlayed(const unsigned char* head, std::size_t n) {
    if (n < 0x30) return false;
    const std::uint32_t version = le32(head + 0x08);
    const bool psg = le32(head + 0x0C) != 0;
    const bool ym2612 = version >= 0x110 && le32(head + 0x2C) != 0;
    return psg || ym2612;
}

// Whether a VGM's offsets (its end, its commands, its loop and its tag) lie within it
// and its chips' clocks are those of chips: libgme 0.6.3 follows them unchecked.
bool vgmWithin(const unsigned char* v, std::size_t size) {
    if (size < 0x40) return false;
    const std::uint64_t end = std::uint64_t(le32(v + 0x04)) + 0x04;
    const std::uint32_t version = le32(v + 0x08);
    const std::uint64_t data = version >= 0x150 && le32(v + 0x34) ? 0x34 + std::uint64_t(le32(v + 0x34)) : 0x40;
    const std::uint64_t gd3 = le32(v + 0x14) ? 0x14 + std::uint64_t(le32(v + 0x14)) : end;
    const std::uint64_t loop = le32(v + 0x1C) ? 0x1C + std::uint64_t(le32(v + 0x1C)) : data;
    // A clock (its top bits are flags) well beyond any real chip's overflows libgme's
    // buffers: a PSG's from about 10 MHz (real ones run at 3.5-4.2 MHz, a YM2612 at 7.7).
    const std::uint32_t psgMost = 6000000;
    const std::uint32_t fmMost = 10000000;
    const bool clocks = (le32(v + 0x0C) & 0x3FFFFFFF) <= psgMost && (le32(v + 0x10) & 0x3FFFFFFF) <= psgMost &&
                        (version < 0x110 || (le32(v + 0x2C) & 0x3FFFFFFF) <= fmMost);
    return clocks && end <= size && data >= 0x40 && data < gd3 && gd3 <= end && loop >= data && loop < gd3;
}

// Whether a VGM's commands, framed as libgme 0.6.3 frames them (from 0x40, whatever the
// header says, with its own lengths for the commands it does not know), reach an end
// command inside the file, write only to chips that have a clock, and keep every PCM
// block inside the file and every PCM seek inside the blocks: libgme checks none of it.
bool vgmCommandsWhole(const unsigned char* v, std::size_t size) {
    // a chip written to that has no clock is one libgme never set up
    const std::uint32_t version = le32(v + 0x08);
    const bool psg = le32(v + 0x0C) != 0;
    const bool ym2413 = le32(v + 0x10) != 0;
    const bool ym2612 = le32(v + (version >= 0x110 ? 0x2C : 0x10)) != 0;
    std::size_t at = 0x40;
    std::uint64_t pcm = 0;  // bytes of PCM data so far
    while (at < size) {
        const unsigned c = v[at];
        std::size_t length;
        if (c == 0x66) return true;
        const bool ym2612Write = c == 0x52 || c == 0x53 || (c & 0xF0) == 0x80;
        if ((c == 0x50 && !psg) || (c == 0x51 && !ym2413) || (ym2612Write && !ym2612)) return false;
        if (c == 0x67) {
            if (at + 7 > size) return false;
            const std::uint32_t block = le32(v + at + 3);
            if (block > size - at - 7) return false;
            pcm += block;
            length = 7 + block;
        } else if (c == 0xE0) {
            if (at + 5 > size || le32(v + at + 1) >= pcm) return false;
            length = 5;
        } else if (c >= 0x80 && c <= 0x8F) {
            if (pcm == 0) return false;
            length = 1;
        } else if (c == 0x61) {
            length = 3;
        } else if (c == 0x4F || c == 0x50) {
            length = 2;
        } else if (c >= 0x51 && c <= 0x53) {
            length = 3;
        } else {
            switch (c >> 4) {
                case 0x3:
                case 0x4:
                    length = 2;
                    break;
                case 0x5:
                case 0xA:
                case 0xB:
                    length = 3;
                    break;
                case 0xC:
                case 0xD:
                    length = 4;
                    break;
                case 0xE:
                case 0xF:
                    length = 5;
                    break;
                default:
                    length = 1;  // the waits, and what libgme does not know
            }
        }
        at += length;
    }
    return false;  // no end command
}

// Whether a GBS loads its code into the cartridge's ROM and starts it there: libgme
// 0.6.3 runs any address it is given and crashes on one past the ROM.
bool gbsWithin(const unsigned char* g, std::size_t size) {
    if (size < 0x70) return false;
    const unsigned load = g[6] | g[7] << 8;
    const unsigned init = g[8] | g[9] << 8;
    const unsigned play = g[10] | g[11] << 8;
    return load >= 0x400 && load < 0x8000 && init >= load && init < 0x8000 && play >= load && play < 0x8000;
}

// The first track the file names as its own start, 0 based.
int defaultTrack(const std::vector<char>& bytes, int tracks) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    int first = 0;
    if (bytes.size() > 7 && std::memcmp(b, "NESM\x1a", 5) == 0) first = b[7] - 1;
    if (bytes.size() > 5 && std::memcmp(b, "GBS", 3) == 0) first = b[5] - 1;
    return first >= 0 && first < tracks ? first : 0;
}

}  // namespace

std::vector<char> CGmeDecoder::gunzip(const unsigned char* data, std::size_t n, std::size_t limit, bool* ended) {
    if (ended) *ended = false;
    std::vector<char> out;
    if (n < 2 || data[0] != 0x1F || data[1] != 0x8B) return out;
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return out;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(n);
    int status = Z_OK;
    while (status == Z_OK && out.size() < limit) {
        const std::size_t at = out.size();
        out.resize(std::min(limit, at + 65536));
        z.next_out = reinterpret_cast<Bytef*>(out.data() + at);
        z.avail_out = static_cast<uInt>(out.size() - at);
        status = inflate(&z, Z_NO_FLUSH);
        out.resize(out.size() - z.avail_out);
        if (status == Z_BUF_ERROR && z.avail_in == 0) break;  // the head given ends here
    }
    inflateEnd(&z);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) out.clear();
    if (ended) *ended = status == Z_STREAM_END;
    return out;
}

bool CGmeDecoder::takes(const unsigned char* head, std::size_t n) {
    if (n >= 2 && head[0] == 0x1F && head[1] == 0x8B) {
        // gzip is a VGM's only if it inflates to one
        const std::vector<char> inflated = gunzip(head, n, HEAD_BYTES);
        const auto* v = reinterpret_cast<const unsigned char*>(inflated.data());
        return inflated.size() >= 4 && std::memcmp(v, "Vgm ", 4) == 0 && vgmChipPlayed(v, inflated.size());
    }
    if (n < 4) return false;
    const std::string type = gme_identify_header(head);
    if (type.empty()) return false;
    if (type == "VGM") return vgmChipPlayed(head, n);
    return true;
}

bool CGmeDecoder::forOtherChips(const unsigned char* head, std::size_t n) {
    const std::vector<char> inflated = gunzip(head, n, HEAD_BYTES);
    const auto* v = inflated.empty() ? head : reinterpret_cast<const unsigned char*>(inflated.data());
    const std::size_t size = inflated.empty() ? n : inflated.size();
    return size >= 0x30 && std::memcmp(v, "Vgm ", 4) == 0 && !vgmChipPlayed(v, size);
}

std::unique_ptr<CDecoder> CGmeDecoder::open(const std::vector<char>& bytes, int subsong, std::string& why) {
    const auto* raw = reinterpret_cast<const unsigned char*>(bytes.data());
    const bool gzipped = bytes.size() >= 2 && raw[0] == 0x1F && raw[1] == 0x8B;
    bool whole = false;
    std::vector<char> inflated = gzipped ? gunzip(raw, bytes.size(), MAX_INFLATED, &whole) : std::vector<char>();
    // libgme takes gzip for a VGM itself, and broken gzip brings it down: only what
    // inflates whole is handed on
    if (gzipped && (!whole || !takes(reinterpret_cast<const unsigned char*>(inflated.data()),
                                     std::min(inflated.size(), HEAD_BYTES)))) {
        why = "not a whole VGM inside gzip";
        return nullptr;
    }
    const std::vector<char>& data = gzipped ? inflated : bytes;
    const auto* d = reinterpret_cast<const unsigned char*>(data.data());
    if (data.size() >= 4 && std::memcmp(d, "Vgm ", 4) == 0 &&
        !(vgmWithin(d, data.size()) && vgmCommandsWhole(d, data.size()))) {
        why = "a VGM whose offsets or commands are broken";
        return nullptr;
    }
    if (data.size() >= 3 && std::memcmp(d, "GBS", 3) == 0 && !gbsWithin(d, data.size())) {
        why = "a GBS whose code lies outside the cartridge";
        return nullptr;
    }
    Music_Emu* emu = nullptr;
    if (gme_err_t err = gme_open_data(data.data(), static_cast<long>(data.size()), &emu, RATE)) {
        why = err;
        return nullptr;
    }
    const int tracks = gme_track_count(emu);
    const int first = defaultTrack(data, tracks);
    const int track = subsong < 0 ? first : subsong;
    std::unique_ptr<CGmeDecoder> dec(new CGmeDecoder(emu, track, first));
    if (track >= tracks) {
        why = "no subsong " + std::to_string(track + 1);
        return nullptr;
    }
    // the song ends where the chipdisk says, never on a stretch of silence
    gme_set_autoload_playback_limit(emu, 0);
    gme_ignore_silence(emu, 1);
    gme_info_t* info = nullptr;
    if (!gme_track_info(emu, &info, track)) {
        dec->lengthSeconds = info->length > 0 ? info->length / 1000.0 : 0.0;
        dec->title = toUtf8(*info->song ? info->song : info->game);
        dec->artist = toUtf8(info->author);
        gme_free_info(info);
    }
    if (gme_err_t err = gme_start_track(emu, track)) {
        why = err;
        return nullptr;
    }
    return dec;
}

CGmeDecoder::CGmeDecoder(Music_Emu* emu, int track, int firstTrack) : emu(emu), track(track), firstTrack(firstTrack) {}

CGmeDecoder::~CGmeDecoder() { gme_delete(emu); }

int CGmeDecoder::render(float* stereo, int frames) {
    samples.resize(2 * static_cast<std::size_t>(frames));
    if (gme_play(emu, 2 * frames, samples.data())) return 0;  // a decoder error ends the song
    for (int i = 0; i < 2 * frames; i++) stereo[i] = samples[i] / 32768.0f;
    return frames;
}

bool CGmeDecoder::seekTo(double seconds) { return !gme_seek(emu, static_cast<int>(seconds * 1000)); }

double CGmeDecoder::position() const { return gme_tell(emu) / 1000.0; }

std::vector<int> CGmeDecoder::subsongs() const { return listed(gme_track_count(emu), firstTrack); }

std::vector<int> CGmeDecoder::subsongsOf(const std::vector<char>& bytes, std::string& why) {
    const std::unique_ptr<CDecoder> dec = open(bytes, -1, why);
    return dec ? dec->subsongs() : std::vector<int>();
}

void CGmeDecoder::tags(std::string& t, std::string& a) const {
    t = title;
    a = artist;
}
