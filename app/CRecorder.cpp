#include "CRecorder.h"

#include "CDirector.h"
#include "CF3D.h"
#include "CHeadlessGL.h"
#include "CPNGLoader.h"
#include "CPNGWriter.h"
#include "CSongCtrl.h"
#include "SoundLib.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
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

int fail(const std::string& why, int status) {
    std::fprintf(stderr, "chipdisk: %s\n", why.c_str());
    return status;
}

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

// 16-bit stereo PCM; the sizes in the header are written when the length is known.
class WavFile {
public:
    bool open(const std::string& p) {
        path = p;
        file = std::fopen(path.c_str(), "wb");
        if (!file) return false;
        uint8_t header[44] = {};
        return std::fwrite(header, 1, sizeof header, file) == sizeof header;
    }
    bool append(const float* stereo, int frames) {
        std::vector<int16_t> pcm(static_cast<std::size_t>(frames) * 2);
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            const float v = std::max(-1.0f, std::min(1.0f, stereo[i]));
            pcm[i] = static_cast<int16_t>(std::lrint(v * 32767.0f));
        }
        written += static_cast<uint64_t>(frames);
        return std::fwrite(pcm.data(), sizeof(int16_t), pcm.size(), file) == pcm.size();
    }
    // Keeps the first 'frames' sample frames (the rest was only rendered ahead).
    bool finish(uint64_t frames) {
        frames = std::min(frames, written);
        const uint32_t data = static_cast<uint32_t>(frames * 4);
        uint8_t h[44];
        std::memcpy(h, "RIFF", 4);
        put32(h + 4, 36 + data);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        put32(h + 16, 16);
        put16(h + 20, 1);  // PCM
        put16(h + 22, 2);  // stereo
        put32(h + 24, RATE);
        put32(h + 28, RATE * 4);  // bytes a second
        put16(h + 32, 4);         // bytes a sample frame
        put16(h + 34, 16);
        std::memcpy(h + 36, "data", 4);
        put32(h + 40, data);
        bool ok = std::fflush(file) == 0 && ftruncate(fileno(file), 44 + data) == 0 &&
                  std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(h, 1, 44, file) == 44;
        ok = std::fclose(file) == 0 && ok;
        file = nullptr;
        return ok;
    }
    ~WavFile() {
        if (file) std::fclose(file);
    }

private:
    static void put16(uint8_t* p, uint32_t v) {
        p[0] = v & 0xff;
        p[1] = (v >> 8) & 0xff;
    }
    static void put32(uint8_t* p, uint32_t v) {
        put16(p, v & 0xffff);
        put16(p + 2, v >> 16);
    }
    std::string path;
    FILE* file = nullptr;
    uint64_t written = 0;
};

// ffmpeg in a process group of its own, so that a Ctrl-C meant for the recorder
// does not cut the file short; the caller decides when it ends.
pid_t startFfmpeg(const std::vector<std::string>& args, int* stdinPipe) {
    int fds[2] = {-1, -1};
    if (stdinPipe && pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (stdinPipe) {
            dup2(fds[0], 0);
            close(fds[0]);
            close(fds[1]);
        } else {
            const int null = open("/dev/null", O_RDONLY);
            if (null >= 0) dup2(null, 0);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (stdinPipe) {
        close(fds[0]);
        if (pid < 0) {
            close(fds[1]);
            return -1;
        }
        *stdinPipe = fds[1];
    }
    if (pid > 0) setpgid(pid, pid);
    return pid;
}

bool waitOk(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool writeAll(int fd, const uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
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

struct VideoCodec {
    std::vector<std::string> video, audio;
    const char* format;
};

VideoCodec codecFor(const std::string& kind) {
    if (kind == "webm")
        return {{"-c:v", "libvpx-vp9", "-b:v", "0", "-crf", "32", "-deadline", "realtime", "-cpu-used", "8", "-row-mt",
                 "1"},
                {"-c:a", "libopus", "-b:a", "160k"},
                "webm"};
    // H.264 in 4:2:0 plays in browsers and on phones; 4:2:0 wants even sizes
    return {{"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p", "-vf",
             "pad=ceil(iw/2)*2:ceil(ih/2)*2"},
            {"-c:a", "aac", "-b:a", "192k"},
            kind == "mkv" ? "matroska" : "mp4"};
}

}  // namespace

int CRecorder::run(const command_t& cmd) {
    const std::string kind = CCommandLine::videoKind(cmd.out);
    if (!kind.empty() && !onPath("ffmpeg"))
        return fail("ffmpeg is not on the PATH, so no " + kind +
                        " can be made; record PNG frames and a "
                        "WAV instead: chipdisk --record FOLDER",
                    2);
    if (!cmd.song.empty()) {
        struct stat st;
        if (stat(cmd.song.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(cmd.song.c_str(), R_OK) != 0)
            return fail("cannot read the song '" + cmd.song + "'", 2);
    }
    // where the files go: OUT itself, or the folder OUT is in; a missing OUT folder
    // is made only once the song is known to play
    const std::string folder = kind.empty() ? cmd.out : folderOf(cmd.out);
    struct stat st;
    const bool exists = stat(folder.c_str(), &st) == 0;
    const std::string writable = exists ? folder : folderOf(folder);
    if ((exists && !S_ISDIR(st.st_mode)) || access(writable.c_str(), W_OK | X_OK) != 0)
        return fail("cannot write to '" + folder + "'", 2);

    // told here, in the recorder's words, before the song list would count it as no song
    if (!cmd.song.empty() && !soundLayerIsSong(cmd.song.c_str()))
        return fail("'" + cmd.song + "' is not a song the chipdisk can play", 2);
    soundLayerUseNoDevice();
    CHeadlessGL gl(396, 260);
    if (!gl.ok()) return fail("no OpenGL without a window here (" + gl.error() + ")", 1);
    CDirector director(cmd.song.empty() ? std::vector<std::string>{} : std::vector<std::string>{cmd.song});
    director.InitGL();
    // a recording waits for its song, however long the file takes to read
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
    if (!exists && mkdir(folder.c_str(), 0777) != 0)
        return fail("cannot create the folder '" + folder + "': " + std::strerror(errno), 2);

    double seconds = cmd.seconds;
    if (seconds <= 0) {
        seconds = std::min(600.0, soundLayerSongSeconds(songCtrl->getModule()));
        if (seconds <= 0) seconds = 60;  // no song: a minute of the silent effects
    }
    const long frames = std::max(1L, std::lround(seconds * cmd.fps));
    auto sampleAt = [&](long frame) { return static_cast<uint64_t>(frame) * RATE / cmd.fps; };

    const std::string tmpBase = cmd.out + ".chipdisk-" + std::to_string(getpid());
    const std::string wavPath = kind.empty() ? folder + "/audio.wav" : tmpBase + ".wav";
    const std::string videoPath = tmpBase + ".video.mkv";
    WavFile wav;
    if (!wav.open(wavPath)) return fail("cannot write '" + wavPath + "'", 2);

    VideoCodec codec = codecFor(kind);
    const int outW = FRAME_W * cmd.scale, outH = FRAME_H * cmd.scale;
    int pipeFd = -1;
    pid_t encoder = -1;
    if (!kind.empty()) {
        std::vector<std::string> args = {"ffmpeg",    "-hide_banner",
                                         "-loglevel", "error",
                                         "-nostdin",  "-y",
                                         "-f",        "rawvideo",
                                         "-pix_fmt",  "rgb24",
                                         "-s",        std::to_string(outW) + "x" + std::to_string(outH),
                                         "-r",        std::to_string(cmd.fps),
                                         "-i",        "pipe:0"};
        args.insert(args.end(), codec.video.begin(), codec.video.end());
        args.insert(args.end(), {"-f", "matroska", videoPath});
        encoder = startFfmpeg(args, &pipeFd);
        if (encoder < 0) {
            std::remove(wavPath.c_str());
            return fail("cannot start ffmpeg", 1);
        }
    }

    struct sigaction stop = {}, oldInt = {}, oldTerm = {}, oldPipe = {};
    stop.sa_handler = onStop;
    sigaction(SIGINT, &stop, &oldInt);
    sigaction(SIGTERM, &stop, &oldTerm);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &oldPipe);

    const std::vector<uint8_t> star = starPicture();
    std::vector<uint8_t> frame(star.size()), scaled(static_cast<std::size_t>(outW) * outH * 4);
    std::vector<uint8_t> rgb(static_cast<std::size_t>(outW) * outH * 3);
    std::vector<float> chunk;
    uint64_t rendered = 0;
    bool ok = true;
    Progress progress(frames);
    long done = 0;
    for (long k = 0; k < frames && ok && !stopRequested; ++k) {
        // decode so that the last 1024 samples are centred on this frame's moment
        const uint64_t want = sampleAt(k) + LOOKAHEAD;
        while (rendered < want && ok) {
            const int n = static_cast<int>(std::min<uint64_t>(want - rendered, 4096));
            chunk.resize(static_cast<std::size_t>(n) * 2);
            soundLayerRender(chunk.data(), n);
            ok = wav.append(chunk.data(), n);
            rendered += static_cast<uint64_t>(n);
        }
        director.Render(static_cast<int>(k * 1000 / cmd.fps));
        const std::vector<CHeadlessGL::RGBA> view = gl.readFrame();
        frame = star;
        for (int y = 0; y < VIEW_H; ++y)
            for (int x = 0; x < VIEW_W; ++x) {
                const CHeadlessGL::RGBA& p = view[static_cast<std::size_t>(y) * 396 + x];
                uint8_t* q = &frame[(static_cast<std::size_t>(y + VIEW_AT) * FRAME_W + x + VIEW_AT) * 4];
                q[0] = p.r;
                q[1] = p.g;
                q[2] = p.b;
                q[3] = 255;
            }
        const std::vector<uint8_t>* out = &frame;
        if (cmd.scale > 1) {
            for (int y = 0; y < outH; ++y)
                for (int x = 0; x < outW; ++x)
                    std::memcpy(&scaled[(static_cast<std::size_t>(y) * outW + x) * 4],
                                &frame[(static_cast<std::size_t>(y / cmd.scale) * FRAME_W + x / cmd.scale) * 4], 4);
            out = &scaled;
        }
        if (kind.empty()) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame-%06ld.png", k + 1);
            ok = ok && CPNGWriter::write(folder + name, outW, outH, out->data(), true);
        } else {
            // outside the star is black in a video
            for (std::size_t i = 0, n = static_cast<std::size_t>(outW) * outH; i < n; ++i) {
                const uint8_t* p = &(*out)[i * 4];
                const bool shown = p[3] != 0;
                rgb[i * 3] = shown ? p[0] : 0;
                rgb[i * 3 + 1] = shown ? p[1] : 0;
                rgb[i * 3 + 2] = shown ? p[2] : 0;
            }
            ok = ok && writeAll(pipeFd, rgb.data(), rgb.size());
        }
        if (ok) done = k + 1;
        progress.frameDone(done);
    }
    if (stopRequested) progress.stop();
    // the audio that belongs to the frames written, no more
    while (ok && rendered < sampleAt(done)) {
        const int n = static_cast<int>(std::min<uint64_t>(sampleAt(done) - rendered, 4096));
        chunk.resize(static_cast<std::size_t>(n) * 2);
        soundLayerRender(chunk.data(), n);
        ok = wav.append(chunk.data(), n);
        rendered += static_cast<uint64_t>(n);
    }
    ok = wav.finish(sampleAt(done)) && ok;

    if (!kind.empty()) {
        close(pipeFd);
        const bool encoded = waitOk(encoder);
        if (ok && encoded && done > 0) {
            const std::string partial = tmpBase + "." + kind;
            std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                             "-i",     videoPath,      "-i",        wavPath, "-map",     "0:v",
                                             "-map",   "1:a",          "-c:v",      "copy"};
            args.insert(args.end(), codec.audio.begin(), codec.audio.end());
            if (kind == "mp4") args.insert(args.end(), {"-movflags", "+faststart"});
            args.insert(args.end(), {"-f", codec.format, partial});
            const pid_t muxer = startFfmpeg(args, nullptr);
            ok = muxer > 0 && waitOk(muxer) && std::rename(partial.c_str(), cmd.out.c_str()) == 0;
            if (!ok) std::remove(partial.c_str());
        } else {
            ok = false;
        }
        std::remove(videoPath.c_str());
        std::remove(wavPath.c_str());
        if (!ok) {
            sigaction(SIGINT, &oldInt, nullptr);
            return fail("ffmpeg could not make '" + cmd.out + "'", 1);
        }
    }
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGPIPE, &oldPipe, nullptr);
    if (!ok) return fail("writing the recording to '" + cmd.out + "' failed", 1);
    return stopRequested ? 130 : 0;
}
