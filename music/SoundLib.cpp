#include "SoundLib.h"

#include "CDecoder.h"
#include "CGmeDecoder.h"
#include "CHeardClock.h"
#include "CLevelGain.h"
#include "CPulseLatency.h"
#include "CSidDecoder.h"
#include "CSpectrumAnalyser.h"
#include "PlainPath.h"
#include "SteadyClock.h"

#include <SDL.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// A handle stays valid for the whole run, but only songs that may still sound keep
// their decoder; the others are decoded again from their file when played.
struct FMUSIC_MODULE {
    std::string path;
    int subsong = 0;
    std::unique_ptr<CDecoder> dec;
};

struct FSOUND_DSPUNIT {
    bool active = false;
};

namespace {

// when the frame now being drawn reaches the screen; 0 until the window says
std::atomic<int64_t> showAtNs{0};

const int RATE = 44100;
const int BUFFER_FRAMES = 512;
const int RING_SIZE = 32768;  // mono samples, power of two, well above window + latency + ahead
// Rendered ahead of the output once the window asks for spectra by time: the frame
// on screen may need audio the device will only ask for later.
const int AHEAD_FRAMES = 4096;
const int FIFO_FRAMES = AHEAD_FRAMES + 8192;  // above any buffer SDL asks for
const int HOP = CLevelGain::HOP;
const int GAIN_LOG = 2 * RING_SIZE / HOP;  // every hop the spectrum's window can still end in

// The groups' gains once a hop has been heard; `hop` tells which hop a slot holds.
struct HopGains {
    std::atomic<uint64_t> hop{0};
    std::atomic<float> gain[CLevelGain::GROUPS];
};

struct Output {
    SDL_AudioDeviceID dev = 0;
    bool offline = false;  // no device: rendered only when the recorder asks
    int freq = RATE;
    int latencyFrames = BUFFER_FRAMES;

    // under the device lock: the GUI thread chooses, the callback moves on to `next`
    // at the end of a pass, or stops when there is none
    FMUSIC_MODULE* current = nullptr;
    bool playing = false;
    bool paused = false;            // playing but held: silence out, the song does not move
    FMUSIC_MODULE* next = nullptr;  // decoded and at its start; null: stop at the end
    unsigned songEnds = 0;          // ends of a pass reached, counted by the callback

    // what reached the output, as mono; the callback is the only writer
    std::atomic<float> ring[RING_SIZE];
    std::atomic<uint64_t> written{0};

    // The song's loudness, heard by whoever renders (the callback, or the recorder
    // offline) one hop at a time. Each hop's gains are logged before the frames that
    // end it count as written; `hops` is the newest logged.
    CLevelGain levelGain;
    CSpectrumAnalyser hopAnalyser;
    HopGains gainLog[GAIN_LOG];
    std::atomic<uint64_t> hops{0};

    // when each buffer was rendered; written by the callback, read under the lock
    CHeardClock heard{RATE};

    // rendered ahead, interleaved stereo, oldest first; under the lock. A held song
    // keeps it, another song or a stop drops it.
    int ahead = 0;  // frames to keep rendered beyond the output; 0: none
    int pending = 0;
    std::vector<float> fifo;

    Output() {
        for (auto& s : ring) s.store(0.0f, std::memory_order_relaxed);
        for (auto& slot : gainLog)
            for (auto& g : slot.gain) g.store(1.0f, std::memory_order_relaxed);
    }
};

// None of these is ever destroyed: the audio thread may still run while the process exits.
Output& output() {
    static Output* o = new Output;
    return *o;
}

std::vector<std::unique_ptr<FMUSIC_MODULE>>& songs() {
    static auto* list = new std::vector<std::unique_ptr<FMUSIC_MODULE>>;
    return *list;
}

FSOUND_DSPUNIT fftUnit;

bool ready(const Output& o) { return o.dev || o.offline; }

void lock(const Output& o) {
    if (o.dev) SDL_LockAudioDevice(o.dev);
}

void unlock(const Output& o) {
    if (o.dev) SDL_UnlockAudioDevice(o.dev);
}

// Up to `frames` of what plays: at the end of one pass the next song goes on in the
// same buffer, sample for sample, or the playing stops.
int decode(Output& o, float* buf, int frames) {
    int done = 0;
    while (done < frames && o.playing && !o.paused && o.current) {
        const int got = o.current->dec->read(buf + 2 * done, frames - done);
        done += got;
        if (got > 0) continue;
        o.songEnds++;
        if (o.next && o.next == o.current && !o.current->dec->seek(0.0)) o.next = nullptr;
        o.current = o.next;
        o.playing = o.next != nullptr;
        o.next = nullptr;
    }
    return done;
}

// Hands out the oldest rendered frames, topping the store up to `ahead` beyond them.
int mixAhead(Output& o, float* buf, int frames) {
    const int want = std::min(frames + o.ahead, FIFO_FRAMES);
    while (o.pending < want) {
        const int got = decode(o, o.fifo.data() + 2 * o.pending, want - o.pending);
        if (got == 0) break;
        o.pending += got;
    }
    // a held song's store waits for it
    if (o.paused) return 0;
    const int out = std::min(frames, o.pending);
    std::copy(o.fifo.begin(), o.fifo.begin() + 2 * out, buf);
    std::copy(o.fifo.begin() + 2 * out, o.fifo.begin() + 2 * o.pending, o.fifo.begin());
    o.pending -= out;
    return out;
}

// Every hop that ends within [.., end): a hop of song, whose last frame came before
// songEnd, moves the references on; one of silence from a held or stopped song
// leaves them as they were.
void hearHops(Output& o, uint64_t end, uint64_t songEnd) {
    float samples[CSpectrumAnalyser::WINDOW];
    float levels[CSpectrumAnalyser::BANDS];
    for (uint64_t hop = o.hops.load(std::memory_order_relaxed) + 1; hop * HOP <= end; hop++) {
        const int64_t hopEnd = static_cast<int64_t>(hop * HOP);
        if (hop * HOP <= songEnd) {
            for (int i = 0; i < CSpectrumAnalyser::WINDOW; i++) {
                const int64_t at = hopEnd - CSpectrumAnalyser::WINDOW + i;
                samples[i] = at < 0 ? 0.0f : o.ring[at & (RING_SIZE - 1)].load(std::memory_order_relaxed);
            }
            o.hopAnalyser.measure(samples, levels);
            o.levelGain.hear(levels);
        }
        const CLevelGain::Gains gains = o.levelGain.gains();
        HopGains& slot = o.gainLog[hop % GAIN_LOG];
        for (int g = 0; g < CLevelGain::GROUPS; g++) slot.gain[g].store(gains[g], std::memory_order_relaxed);
        slot.hop.store(hop, std::memory_order_relaxed);
        o.hops.store(hop, std::memory_order_release);
    }
}

// The gains heard up to the hop an analysis window ending at `end` lies in, or the
// newest when that hop is still to come.
CLevelGain::Gains gainsAt(const Output& o, int64_t end) {
    const uint64_t newest = o.hops.load(std::memory_order_acquire);
    uint64_t hop = end < 0 ? 0 : std::min(static_cast<uint64_t>(end) / HOP, newest);
    if (o.gainLog[hop % GAIN_LOG].hop.load(std::memory_order_relaxed) != hop) hop = newest;
    CLevelGain::Gains gains;
    for (int g = 0; g < CLevelGain::GROUPS; g++)
        gains[g] = o.gainLog[hop % GAIN_LOG].gain[g].load(std::memory_order_relaxed);
    return gains;
}

void mix(Output& o, float* buf, int frames) {
    const int done = o.ahead ? mixAhead(o, buf, frames) : decode(o, buf, frames);
    std::fill(buf + 2 * done, buf + 2 * frames, 0.0f);

    const uint64_t w = o.written.load(std::memory_order_relaxed);
    for (int i = 0; i < frames; i++)
        o.ring[(w + i) & (RING_SIZE - 1)].store((buf[2 * i] + buf[2 * i + 1]) * 0.5f, std::memory_order_relaxed);
    // what comes next goes after it, for the spectrum to look ahead
    for (int i = 0; i < o.pending; i++)
        o.ring[(w + frames + i) & (RING_SIZE - 1)].store((o.fifo[2 * i] + o.fifo[2 * i + 1]) * 0.5f,
                                                         std::memory_order_relaxed);
    hearHops(o, w + frames, w + done);
    o.written.store(w + frames, std::memory_order_release);
    if (!o.offline) o.heard.rendered(steadyClockNs(), w + frames);
}

void SDLCALL render(void* userdata, Uint8* stream, int len) {
    mix(*static_cast<Output*>(userdata), reinterpret_cast<float*>(stream), len / static_cast<int>(2 * sizeof(float)));
}

bool openDevice(Output& o) {
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = RATE;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = BUFFER_FRAMES;
    want.callback = render;
    want.userdata = &o;
    SDL_AudioSpec got;
    o.dev = SDL_OpenAudioDevice(nullptr, 0, &want, &got, 0);
    if (!o.dev) return false;
    o.freq = got.freq;
    o.latencyFrames = got.samples;
    o.heard = CHeardClock(got.freq);
    return true;
}

// ALSA reports a machine without a sound card on stderr, line by line, while SDL
// probes its drivers; the fallback below already says what matters in one line.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

void silenceAlsa() {
    void* alsa = dlopen("libasound.so.2", RTLD_NOW);  // the copy SDL will use; kept open
    if (!alsa) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    auto setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler) setHandler(quietAlsa);
}

}  // namespace

signed char FSOUND_Init(int, int, unsigned int) {
    Output& o = output();
    if (ready(o)) return 1;
    // SDL would otherwise swallow SIGINT and SIGTERM (it turns them into quit
    // events nobody reads here), and the program could no longer be stopped.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // mixers show the stream under the program's name
    SDL_SetHint(SDL_HINT_APP_NAME, "chipdisk");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "chipdisk");
    silenceAlsa();
    bool ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 && openDevice(o);
    if (!ok) {
        // no card or no server: SDL's dummy driver keeps the clock and the spectrum running
        std::string why = SDL_GetError();
        if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 && openDevice(o);
        std::fprintf(stderr, "chipdisk: no sound device (%s), playing silently\n", why.c_str());
    }
    if (!ok) return 0;
    const std::string driver = SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "";
    if (driver == "pulseaudio" || driver == "pipewire") CPulseLatency::start(&o.written, &showAtNs);
    SDL_PauseAudioDevice(o.dev, 0);
    return 1;
}

namespace {

// Whether songs decoded from now on start again at their end; the GUI thread's copy.
bool loopingSongs = true;

// Larger files are not songs; a big module is a few megabytes.
const std::uint64_t MAX_SONG_BYTES = 64ull << 20;

// Opens a song file and reads its header; None for what is no song: not a regular
// file, empty, too big, or a header no decoder takes. A film or a disk image in a
// folder of songs costs one small read.
CDecoder::Kind openSong(const std::string& path, std::ifstream& in, std::vector<char>& head, std::size_t& size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 ||
        static_cast<std::uint64_t>(st.st_size) > MAX_SONG_BYTES)
        return CDecoder::Kind::None;
    in.open(path, std::ios::binary);
    if (!in) return CDecoder::Kind::None;
    size = static_cast<std::size_t>(st.st_size);
    head.resize(std::min(size, CDecoder::headBytes()));
    if (!in.read(head.data(), static_cast<std::streamsize>(head.size()))) return CDecoder::Kind::None;
    return CDecoder::identify(reinterpret_cast<const unsigned char*>(head.data()), head.size(), size);
}

// The whole file of a song, or nothing for what is no song.
// The rest of a file opened by openSong after its header.
void readRest(std::ifstream& in, std::vector<char>& bytes, std::size_t size) {
    const std::size_t head = bytes.size();
    bytes.resize(size);
    in.read(bytes.data() + head, static_cast<std::streamsize>(size - head));
    bytes.resize(head + static_cast<std::size_t>(in.gcount()));  // a file that shrank meanwhile
}

CDecoder::Kind readSong(const std::string& path, std::vector<char>& bytes) {
    std::ifstream in;
    std::size_t size = 0;
    const CDecoder::Kind kind = openSong(path, in, bytes, size);
    if (kind != CDecoder::Kind::None) readRest(in, bytes, size);
    return kind;
}

// Subsong -1: the file's default. A file that its decoder turns away after all is
// said once each time, on standard error, and skipped like a missing one.
std::unique_ptr<CDecoder> decode(const std::string& path, int subsong) {
    std::vector<char> bytes;
    const CDecoder::Kind kind = readSong(path, bytes);
    if (kind == CDecoder::Kind::None) return nullptr;
    std::string why;
    std::unique_ptr<CDecoder> dec = CDecoder::open(kind, bytes, subsong, path, why);
    if (!dec) {
        std::fprintf(stderr, "chipdisk: %s: %s\n", path.c_str(), why.c_str());
        return nullptr;
    }
    dec->setLooping(loopingSongs);
    return dec;
}

// Every step through the songs loads one afresh; without this each step would keep
// a decoded module (close to a megabyte) for the rest of the run.
void releaseSilentSongs(const FMUSIC_MODULE* keep) {
    const Output& o = output();
    for (auto& song : songs())
        if (song.get() != keep && song.get() != o.next && !(song.get() == o.current && o.playing)) song->dec.reset();
}

}  // namespace

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) { return soundLayerLoadSubsong(name, -1); }

FMUSIC_MODULE* soundLayerLoadSubsong(const char* name, int subsong) {
    if (!name) return nullptr;
    std::unique_ptr<CDecoder> dec = decode(name, subsong);
    if (!dec) return nullptr;
    // One handle a song: a run that steps through its songs for hours holds no more
    // handles than it has songs.
    auto& list = songs();
    const int which = dec->subsong();
    auto known = std::find_if(list.begin(), list.end(),
                              [&](const auto& song) { return song->path == name && song->subsong == which; });
    if (known == list.end()) {
        list.push_back(std::make_unique<FMUSIC_MODULE>());
        list.back()->path = name;
        list.back()->subsong = which;
        known = std::prev(list.end());
    }
    FMUSIC_MODULE* handle = known->get();
    Output& o = output();
    // the file loaded afresh replaces the decoder, under the lock should it be sounding
    lock(o);
    handle->dec.swap(dec);
    if (handle == o.current) o.pending = 0;
    releaseSilentSongs(handle);
    unlock(o);
    return handle;
}

std::vector<int> soundLayerSubsongs(const char* path, bool* needsRoms) {
    if (needsRoms) *needsRoms = false;
    std::ifstream in;
    std::vector<char> bytes;
    std::size_t size = 0;
    const CDecoder::Kind kind = path ? openSong(path, in, bytes, size) : CDecoder::Kind::None;
    if (kind == CDecoder::Kind::None) {
        const auto* head = reinterpret_cast<const unsigned char*>(bytes.data());
        if (CGmeDecoder::forOtherChips(head, bytes.size()))
            std::fprintf(stderr, "chipdisk: %s: chip not supported\n", path);
        return {};
    }
    if (kind == CDecoder::Kind::Module) return {0};  // one song, and the header said so
    readRest(in, bytes, size);
    std::string why;
    const std::vector<int> subsongs = CDecoder::subsongsOf(kind, bytes, why);
    if (!subsongs.empty()) return subsongs;
    const bool roms = why == CSidDecoder::NEEDS_ROMS;
    if (needsRoms) *needsRoms = roms;
    // what looked like a song and is none is said once, not hidden
    if (!roms) std::fprintf(stderr, "chipdisk: %s: %s\n", path, why.c_str());
    return {};
}

bool soundLayerIsSong(const char* path) {
    std::ifstream in;
    std::vector<char> head;
    std::size_t size = 0;
    return path && openSong(path, in, head, size) != CDecoder::Kind::None;
}

int soundLayerDecodedSongs() {
    int count = 0;
    for (const auto& song : songs()) count += song->dec ? 1 : 0;
    return count;
}

namespace {

// Holds the device lock for a scope: the callback may move current, playing and next.
class Locked {
public:
    explicit Locked(Output& o) : o(o) { lock(o); }
    ~Locked() { unlock(o); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    Output& o;
};

}  // namespace

// Every operation runs on the GUI thread; the callback renders only the current song
// while it plays, and the queued one once it takes over.
signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod) {
    Output& o = output();
    if (!mod || !ready(o)) return 0;
    {
        Locked held(o);
        if (o.current == mod && o.playing) {
            o.paused = false;
            return 1;
        }
        // not to be taken over by the callback while it is rewound below
        if (o.next == mod) o.next = nullptr;
    }
    if (!(mod->dec && mod->dec->seek(0.0)) && !(mod->dec = decode(mod->path, mod->subsong)))
        return 0;  // the file went away since it was loaded
    Locked held(o);
    o.current = mod;
    o.playing = true;
    o.paused = false;
    o.pending = 0;
    o.next = nullptr;
    releaseSilentSongs(mod);
    return 1;
}

signed char FMUSIC_StopSong(FMUSIC_MODULE* mod) {
    Output& o = output();
    if (!mod || !ready(o)) return 0;
    Locked held(o);
    if (o.current != mod || !o.playing) return 1;
    o.playing = false;
    o.paused = false;
    o.pending = 0;
    o.next = nullptr;
    return 1;
}

signed char FMUSIC_SetPaused(FMUSIC_MODULE* mod, signed char pause) {
    Output& o = output();
    if (!mod || !ready(o)) return 0;
    Locked held(o);
    if (o.current != mod || !o.playing) return 0;
    o.paused = pause != 0;
    return 1;
}

signed char FMUSIC_GetPaused(FMUSIC_MODULE* mod) {
    Output& o = output();
    Locked held(o);
    return mod && o.current == mod && o.playing && o.paused;
}

signed char FMUSIC_IsPlaying(FMUSIC_MODULE* mod) {
    Output& o = output();
    Locked held(o);
    return mod && o.current == mod && o.playing;
}

void soundLayerLoopSongs(bool forever) {
    Output& o = output();
    Locked held(o);
    loopingSongs = forever;
    for (auto& song : songs())
        if (song->dec) song->dec->setLooping(forever);
}

signed char soundLayerQueueNext(FMUSIC_MODULE* next) {
    Output& o = output();
    {
        Locked held(o);
        o.next = nullptr;
        // the song playing follows itself: the callback rewinds it at its end
        if (next && next == o.current && o.playing) {
            o.next = next;
            return 1;
        }
    }
    if (next && !(next->dec && next->dec->seek(0.0)) && !(next->dec = decode(next->path, next->subsong))) return 0;
    Locked held(o);
    o.next = next;
    return 1;
}

FMUSIC_MODULE* soundLayerSounding(unsigned* ends) {
    Output& o = output();
    Locked held(o);
    if (ends) *ends = o.songEnds;
    return o.playing ? o.current : nullptr;
}

int FMUSIC_GetTime(FMUSIC_MODULE* mod) {
    Output& o = output();
    Locked held(o);
    if (!mod || o.current != mod || !o.playing || !mod->dec) return 0;
    // the frames rendered ahead are not heard yet
    const double seconds = mod->dec->position() - static_cast<double>(o.pending) / o.freq;
    // just after a song took over, the store still holds the end of the one before
    return static_cast<int>(std::max(0.0, seconds) * 1000.0);
}

signed char FMUSIC_SetTime(FMUSIC_MODULE* mod, int ms) {
    Output& o = output();
    Locked held(o);
    if (!mod || o.current != mod || !o.playing || !mod->dec || !mod->dec->seek(ms / 1000.0)) return 0;
    o.pending = 0;  // what was rendered ahead is from before the seek
    return 1;
}

bool soundLayerSongTags(FMUSIC_MODULE* mod, std::string& title, std::string& artist) {
    if (!mod) return false;
    if (!mod->dec && !(mod->dec = decode(mod->path, mod->subsong))) return false;
    Locked held(output());  // the callback may be rendering it
    mod->dec->tags(title, artist);
    return true;
}

FSOUND_DSPUNIT* FSOUND_DSP_GetFFTUnit() { return &fftUnit; }

signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* unit, signed char active) {
    if (!unit) return 0;
    unit->active = active != 0;
    return 1;
}

namespace {

// From a punctual render to hearing: the median of the sound server's recent
// answers; two buffers until it has answered (or with no server to ask).
int64_t outputLatencyNs(const Output& o) {
    static int64_t recent[9];
    static int count = 0, next = 0;
    static unsigned seen = 0;
    uint64_t written;
    int64_t heardNs, latency;
    unsigned seq;
    if (CPulseLatency::latest(written, heardNs, seq) && seq != seen && o.heard.latencyFor(written, heardNs, latency)) {
        seen = seq;
        recent[next] = latency;
        next = (next + 1) % 9;
        count = std::min(count + 1, 9);
    }
    if (count == 0) return 2 * 1000000000LL * o.latencyFrames / o.freq;
    int64_t sorted[9];
    std::copy(recent, recent + count, sorted);
    std::nth_element(sorted, sorted + count / 2, sorted + count);
    return sorted[count / 2];
}

}  // namespace

void soundLayerShowAt(long long steadyClockNs) {
    Output& o = output();
    if (showAtNs.exchange(steadyClockNs, std::memory_order_relaxed) == 0 && o.dev && !o.offline) {
        std::vector<float> store(2 * FIFO_FRAMES);
        lock(o);
        o.fifo.swap(store);
        o.ahead = AHEAD_FRAMES;
        unlock(o);
    }
}

float* FSOUND_DSP_GetSpectrum() {
    static float levels[CSpectrumAnalyser::BANDS] = {};
    static CSpectrumAnalyser* analyser = new CSpectrumAnalyser;
    Output& o = output();
    // a device lost mid-run stops calling back; show silence rather than a frozen picture
    const bool sounding = o.offline || (o.dev && SDL_GetAudioDeviceStatus(o.dev) == SDL_AUDIO_PLAYING);
    if (!sounding || !fftUnit.active) {
        std::fill(levels, levels + CSpectrumAnalyser::BANDS, 0.0f);
        return levels;
    }
    // a recording hears everything rendered so far at once; otherwise, with no
    // time asked for, the newest buffer is taken to be still on its way
    int64_t end = static_cast<int64_t>(o.written.load(std::memory_order_acquire)) - (o.offline ? 0 : o.latencyFrames);
    const int64_t show = showAtNs.load(std::memory_order_relaxed);
    if (!o.offline && show != 0) {
        lock(o);
        // a held song's store is not what comes next
        const uint64_t rendered =
            o.written.load(std::memory_order_acquire) + static_cast<uint64_t>(o.paused ? 0 : o.pending);
        double heard;
        // the callback's next buffer must not reach the window being read
        if (o.heard.heardAt(show, outputLatencyNs(o), heard))
            end = CHeardClock::windowEnd(heard, rendered, CSpectrumAnalyser::WINDOW,
                                         RING_SIZE - 2 * (o.latencyFrames + AHEAD_FRAMES));
        unlock(o);
    }
    float window[CSpectrumAnalyser::WINDOW];
    for (int i = 0; i < CSpectrumAnalyser::WINDOW; i++) {
        const int64_t at = end - CSpectrumAnalyser::WINDOW + i;
        window[i] = at < 0 ? 0.0f : o.ring[at & (RING_SIZE - 1)].load(std::memory_order_relaxed);
    }
    // the fixed scale the effects were first drawn with, to compare against
    if (plainPathByName("levels")) {
        analyser->analyse(window, levels);
    } else {
        analyser->measure(window, levels);
        CLevelGain::apply(gainsAt(o, end), levels);
    }
    return levels;
}

void soundLayerUseNoDevice() { output().offline = true; }

void soundLayerRender(float* stereo, int frames) {
    Output& o = output();
    if (!o.offline) return;
    // in slices, so that every hop is heard while its window is still in the ring
    for (int done = 0; done < frames; done += BUFFER_FRAMES)
        mix(o, stereo + 2 * done, std::min(BUFFER_FRAMES, frames - done));
}

double soundLayerSongSeconds(FMUSIC_MODULE* mod) {
    if (!mod) return 0.0;
    if (!mod->dec && !(mod->dec = decode(mod->path, mod->subsong))) return 0.0;
    Locked held(output());  // the callback may be rendering it
    return mod->dec->length();
}

bool soundLayerCanSeek(FMUSIC_MODULE* mod) {
    if (!mod) return false;
    if (!mod->dec && !(mod->dec = decode(mod->path, mod->subsong))) return false;
    return mod->dec->canSeek();
}
