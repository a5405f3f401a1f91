#include "CRecorder.h"

#include "CDirector.h"
#include "CF3D.h"
#include "CFrameFolderSink.h"
#include "CHeadlessGL.h"
#include "CPNGLoader.h"
#include "CSongCtrl.h"
#include "CVideoSink.h"
#include "SoundLib.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const int RATE = 44100;
const int VIEW_W = 395, VIEW_H = 260;    // what the window shows of the 396-wide drawing
const int FRAME_W = 465, FRAME_H = 330;  // the star picture
const int VIEW_AT = 35;                  // the view's offset inside the star
const int LOOKAHEAD = 512;               // half the analysis window

volatile sig_atomic_t stopRequested = 0;

void onStop(int) { stopRequested = 1; }

int fail(const std::string& why, int status) { return CRecordingSink::fail(why, status); }

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The star picture as RGBA, top row first; its magenta outside is transparent.
std::vector<uint8_t> starPicture() {
    std::vector<uint8_t> rgba(static_cast<std::size_t>(FRAME_W) * FRAME_H * 4, 0);
    CPNGLoader loader;
    gl_texture_t* pic = loader.ReadPNGFromFile("data/gfx/star.png");
    if (!pic) return rgba;
    const int n = pic->components;
    for (int y = 0; y < std::min<int>(FRAME_H, pic->imageHeight); ++y) {
        const GLubyte* row = pic->pixels + static_cast<std::size_t>(pic->imageHeight - 1 - y) * pic->imageWidth * n;
        for (int x = 0; x < std::min<int>(FRAME_W, pic->imageWidth); ++x) {
            const GLubyte* p = row + x * n;
            uint8_t r = p[0], g = n >= 3 ? p[1] : p[0], b = n >= 3 ? p[2] : p[0];
            uint8_t a = n == 4 ? p[3] : n == 2 ? p[1] : 255;
            if (r == 255 && g == 0 && b == 255) r = g = b = a = 0;
            uint8_t* q = &rgba[(static_cast<std::size_t>(y) * FRAME_W + x) * 4];
            q[0] = r;
            q[1] = g;
            q[2] = b;
            q[3] = a;
        }
    }
    std::free(pic->pixels);
    std::free(pic);
    return rgba;
}

class Progress {
public:
    Progress(long total) : total(total), shown(isatty(2)), start(Clock::now()), last(start) {}
    void frameDone(long done) {
        if (!shown) return;
        const auto now = Clock::now();
        if (done < total && now - last < std::chrono::milliseconds(250)) return;
        last = now;
        const double secs = std::chrono::duration<double>(now - start).count();
        const double rate = secs > 0 ? done / secs : 0.0;
        const long left = rate > 0 ? std::lround((total - done) / rate) : 0;
        std::fprintf(stderr, "\rrecording: frame %ld of %ld, %.1f frames/s, %ld s left   ", done, total, rate, left);
        if (done == total) std::fputc('\n', stderr);
    }
    void stop() {
        if (shown) std::fputc('\n', stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    long total;
    bool shown;
    Clock::time_point start, last;
};

// Where the files go: OUT itself, or the folder OUT is in; a missing OUT folder is
// made only once the song is known to play.
struct Destination {
    std::string folder;
    bool exists = false;
};

// Everything that can be told wrong before any drawing starts. Returns 0 or the exit status.
int checkArguments(const command_t& cmd, const std::string& kind, Destination* to) {
    if (!kind.empty() && !onPath("ffmpeg"))
        return fail("ffmpeg is not on the PATH, so no " + kind +
                        " can be made; record PNG frames and a WAV instead: chipdisk --record FOLDER",
                    2);
    struct stat st;
    if (!cmd.song.empty() &&
        (stat(cmd.song.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(cmd.song.c_str(), R_OK) != 0))
        return fail("cannot read the song '" + cmd.song + "'", 2);
    to->folder = kind.empty() ? cmd.out : folderOf(cmd.out);
    to->exists = stat(to->folder.c_str(), &st) == 0;
    const std::string writable = to->exists ? to->folder : folderOf(to->folder);
    if ((to->exists && !S_ISDIR(st.st_mode)) || access(writable.c_str(), W_OK | X_OK) != 0)
        return fail("cannot write to '" + to->folder + "'", 2);
    // told here, in the recorder's words, before the song list would count it as no song
    if (!cmd.song.empty() && !soundLayerIsSong(cmd.song.c_str()))
        return fail("'" + cmd.song + "' is not a song the chipdisk can play", 2);
    return 0;
}

// Waits for the song, however long the file takes to read, and starts the subsong and
// effect asked for. Returns 0 or the exit status.
int startSong(CDirector& director, const command_t& cmd) {
    while (songCtrl->isCollecting()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        songCtrl->update();
    }
    if (!cmd.song.empty() && !songCtrl->getModule())
        return fail("'" + cmd.song + "' is not a song the chipdisk can play", 2);
    if (cmd.subsong > 0) {
        const std::vector<song_slot_t>& slots = songCtrl->getSongs();
        int slot = 2;
        while (slot < static_cast<int>(slots.size()) && slots[slot].subsong != cmd.subsong - 1) slot++;
        if (slot == static_cast<int>(slots.size()))
            return fail("'" + cmd.song + "' has no subsong " + std::to_string(cmd.subsong), 2);
        songCtrl->playSong(slot);
    }
    if (!cmd.song.empty()) songCtrl->showCurrentSong();  // the window would show the intro's name
    if (cmd.effect >= 0) director.holdEffect(cmd.effect);
    return 0;
}

long frameCount(const command_t& cmd) {
    double seconds = cmd.seconds;
    if (seconds <= 0) {
        seconds = std::min(600.0, soundLayerSongSeconds(songCtrl->getModule()));
        if (seconds <= 0) seconds = 60;  // no song: a minute of the silent effects
    }
    return std::max(1L, std::lround(seconds * cmd.fps));
}

// The view drawn into its place in the star picture.
void composeIntoStar(const std::vector<CHeadlessGL::RGBA>& view, std::vector<uint8_t>& frame) {
    for (int y = 0; y < VIEW_H; ++y)
        for (int x = 0; x < VIEW_W; ++x) {
            const CHeadlessGL::RGBA& p = view[static_cast<std::size_t>(y) * 396 + x];
            uint8_t* q = &frame[(static_cast<std::size_t>(y + VIEW_AT) * FRAME_W + x + VIEW_AT) * 4];
            q[0] = p.r;
            q[1] = p.g;
            q[2] = p.b;
            q[3] = 255;
        }
}

// Each pixel of the star frame as a scale x scale block.
void magnify(const std::vector<uint8_t>& frame, int scale, std::vector<uint8_t>& scaled) {
    const int outW = FRAME_W * scale;
    const int outH = FRAME_H * scale;
    for (int y = 0; y < outH; ++y)
        for (int x = 0; x < outW; ++x)
            std::memcpy(&scaled[(static_cast<std::size_t>(y) * outW + x) * 4],
                        &frame[(static_cast<std::size_t>(y / scale) * FRAME_W + x / scale) * 4], 4);
}

// SIGINT and SIGTERM end the recording after the frame being made, keeping what is
// written; a closed encoder pipe is a failed write, not a death. Restored on the way out.
class StopSignals {
public:
    StopSignals() {
        struct sigaction stop = {};
        stop.sa_handler = onStop;
        sigaction(SIGINT, &stop, &oldInt);
        sigaction(SIGTERM, &stop, &oldTerm);
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &oldPipe);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
        sigaction(SIGPIPE, &oldPipe, nullptr);
    }

private:
    struct sigaction oldInt = {}, oldTerm = {}, oldPipe = {};
};

}  // namespace

int CRecorder::run(const command_t& cmd) {
    const std::string kind = CCommandLine::videoKind(cmd.out);
    Destination to;
    if (const int status = checkArguments(cmd, kind, &to)) return status;

    soundLayerUseNoDevice();
    CHeadlessGL gl(396, 260);
    if (!gl.ok()) return fail("no OpenGL without a window here (" + gl.error() + ")", 1);
    CDirector director(cmd.song.empty() ? std::vector<std::string>{} : std::vector<std::string>{cmd.song});
    director.InitGL();
    if (const int status = startSong(director, cmd)) return status;
    if (!to.exists && mkdir(to.folder.c_str(), 0777) != 0)
        return fail("cannot create the folder '" + to.folder + "': " + std::strerror(errno), 2);

    const long frames = frameCount(cmd);
    const int outW = FRAME_W * cmd.scale;
    const int outH = FRAME_H * cmd.scale;
    std::unique_ptr<CRecordingSink> sink;
    if (kind.empty())
        sink.reset(new CFrameFolderSink(to.folder));
    else
        sink.reset(new CVideoSink(cmd.out, kind));
    if (const int status = sink->open(outW, outH, cmd.fps)) return status;
    const StopSignals signals;

    std::vector<float> chunk;
    uint64_t rendered = 0;
    auto sampleAt = [&](long frame) { return static_cast<uint64_t>(frame) * RATE / cmd.fps; };
    auto soundUntil = [&](uint64_t sample) {
        bool ok = true;
        while (ok && rendered < sample) {
            const int n = static_cast<int>(std::min<uint64_t>(sample - rendered, 4096));
            chunk.resize(static_cast<std::size_t>(n) * 2);
            soundLayerRender(chunk.data(), n);
            ok = sink->addSound(chunk.data(), n);
            rendered += static_cast<uint64_t>(n);
        }
        return ok;
    };

    const std::vector<uint8_t> star = starPicture();
    std::vector<uint8_t> frame(star.size());
    std::vector<uint8_t> scaled(static_cast<std::size_t>(outW) * outH * 4);
    bool ok = true;
    Progress progress(frames);
    long done = 0;
    for (long k = 0; k < frames && ok && !stopRequested; ++k) {
        // decode so that the last 1024 samples are centred on this frame's moment
        ok = soundUntil(sampleAt(k) + LOOKAHEAD);
        director.Render(static_cast<int>(k * 1000 / cmd.fps));
        frame = star;
        composeIntoStar(gl.readFrame(), frame);
        if (cmd.scale > 1) magnify(frame, cmd.scale, scaled);
        ok = ok && sink->addFrame(k, cmd.scale > 1 ? scaled.data() : frame.data());
        if (ok) done = k + 1;
        progress.frameDone(done);
    }
    if (stopRequested) progress.stop();
    // the audio that belongs to the frames written, no more
    ok = ok && soundUntil(sampleAt(done));
    if (const int status = sink->finish(ok, done, sampleAt(done))) return status;
    return stopRequested ? 130 : 0;
}
