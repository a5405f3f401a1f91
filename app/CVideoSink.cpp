#include "CVideoSink.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

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

}  // namespace

CVideoSink::CVideoSink(const std::string& out, const std::string& kind)
    : out(out), kind(kind), tmpBase(out + ".chipdisk-" + std::to_string(getpid())), wavPath(tmpBase + ".wav"),
      videoPath(tmpBase + ".video.mkv") {}

CVideoSink::~CVideoSink() { endEncoder(); }

int CVideoSink::open(int frameWidth, int frameHeight, int fps) {
    width = frameWidth;
    height = frameHeight;
    rgb.resize(static_cast<std::size_t>(width) * height * 3);
    if (!wav.open(wavPath)) return fail("cannot write '" + wavPath + "'", 2);
    std::vector<std::string> args = {"ffmpeg",    "-hide_banner",
                                     "-loglevel", "error",
                                     "-nostdin",  "-y",
                                     "-f",        "rawvideo",
                                     "-pix_fmt",  "rgb24",
                                     "-s",        std::to_string(width) + "x" + std::to_string(height),
                                     "-r",        std::to_string(fps),
                                     "-i",        "pipe:0"};
    const VideoCodec codec = codecFor(kind);
    args.insert(args.end(), codec.video.begin(), codec.video.end());
    args.insert(args.end(), {"-f", "matroska", videoPath});
    encoder = startFfmpeg(args, &pipeFd);
    if (encoder < 0) {
        std::remove(wavPath.c_str());
        return fail("cannot start ffmpeg", 1);
    }
    return 0;
}

bool CVideoSink::addSound(const float* stereo, int frames) { return wav.append(stereo, frames); }

bool CVideoSink::addFrame(long, const uint8_t* rgba) {
    // outside the star is black in a video
    for (std::size_t i = 0; i < rgb.size() / 3; ++i) {
        const uint8_t* p = &rgba[i * 4];
        const bool shown = p[3] != 0;
        rgb[i * 3] = shown ? p[0] : 0;
        rgb[i * 3 + 1] = shown ? p[1] : 0;
        rgb[i * 3 + 2] = shown ? p[2] : 0;
    }
    return writeAll(pipeFd, rgb.data(), rgb.size());
}

int CVideoSink::finish(bool written, long frames, uint64_t samples) {
    bool ok = wav.finish(samples) && written;
    ok = endEncoder() && ok && frames > 0 && mux();
    std::remove(videoPath.c_str());
    std::remove(wavPath.c_str());
    return ok ? 0 : fail("ffmpeg could not make '" + out + "'", 1);
}

// Closing the pipe ends the stream; true when the encoder then exits cleanly.
bool CVideoSink::endEncoder() {
    if (pipeFd >= 0) close(pipeFd);
    pipeFd = -1;
    const bool encoded = encoder > 0 && waitOk(encoder);
    encoder = -1;
    return encoded;
}

bool CVideoSink::mux() {
    const std::string partial = tmpBase + "." + kind;
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                     "-i",     videoPath,      "-i",        wavPath, "-map",     "0:v",
                                     "-map",   "1:a",          "-c:v",      "copy"};
    const VideoCodec codec = codecFor(kind);
    args.insert(args.end(), codec.audio.begin(), codec.audio.end());
    if (kind == "mp4") args.insert(args.end(), {"-movflags", "+faststart"});
    args.insert(args.end(), {"-f", codec.format, partial});
    const pid_t muxer = startFfmpeg(args, nullptr);
    const bool ok = muxer > 0 && waitOk(muxer) && std::rename(partial.c_str(), out.c_str()) == 0;
    if (!ok) std::remove(partial.c_str());
    return ok;
}
