// How each effect looks with real music: re-draws the effects through the director
// with the levels bench/look_spectra recorded for every song, frame by frame, and
// measures the effect's own layer (before the fade quad and the HUD; no change of
// effect happens, so there are no fade frames). Per song and effect, each figure is
// the 90th percentile over frames:
//   clipped   share of view pixels with any channel >= 250
//   flat      on the frame box-filtered 4x down: share of pixels brighter than 0.15
//             whose 5 x 5 neighbourhood varies by less than 3 levels (a wash of tint)
//   lit       share of pixels brighter than 0.1
//   spread    95th minus 5th percentile of brightness
//   ball      (effect 3) the ball's share of the view, from the depth buffer before
//             the glow, and the share of its silhouette that clips
//   response  (effects 1, 2) the mean over frames of the mean absolute difference (in
//             levels) to a second director drawn with the song's per-band median
//             levels, and its Spearman correlation with the mean level of bands 0-99
// Brightness is Rec. 601 luma in 0..1. The sound layer is the fake one: the levels
// come from the files. Run from the project root:
//   build/bench/look_measure LEVELS_DIR [--fps N] [--effects 0123] [--save DIR] [--skip S]
//                            [--versus OTHER] [song...]
// (song: a name as in LEVELS_DIR/<name>.levels; default every file there; --fps
// must be the one the levels were recorded at; --save writes every 25th effect
// layer measured as DIR/<song>-<effect>-<frame>.png, to look at; --skip leaves the
// first S seconds out of every figure, though they are drawn; --versus draws every
// frame a third time with OTHER's levels of the same moment and adds the mean and
// 99th percentile of the absolute difference per channel, in levels 0..255, over
// all measured frames' pixels).
#include "CDirector.h"
#include "CHeadlessGL.h"
#include "CPNGWriter.h"
#include "FakeSound.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int W = 395, H = 260, GLW = 396;  // the view, and the drawing one pixel wider
const int BANDS = 512;

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    const std::size_t k = static_cast<std::size_t>(p * (v.size() - 1) + 0.5);
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

std::vector<double> ranks(const std::vector<double>& v) {
    std::vector<std::size_t> order(v.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return v[a] < v[b]; });
    std::vector<double> r(v.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
        for (std::size_t k = i; k <= j; ++k) r[order[k]] = (i + j) / 2.0;  // ties share a rank
        i = j + 1;
    }
    return r;
}

double spearman(const std::vector<double>& a, const std::vector<double>& b) {
    const std::vector<double> ra = ranks(a), rb = ranks(b);
    const double n = static_cast<double>(ra.size());
    const double ma = std::accumulate(ra.begin(), ra.end(), 0.0) / n;
    const double mb = std::accumulate(rb.begin(), rb.end(), 0.0) / n;
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < ra.size(); ++i) {
        sab += (ra[i] - ma) * (rb[i] - mb);
        saa += (ra[i] - ma) * (ra[i] - ma);
        sbb += (rb[i] - mb) * (rb[i] - mb);
    }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

double luma(const CHeadlessGL::RGBA& p) { return (0.299 * p.r + 0.587 * p.g + 0.114 * p.b) / 255.0; }

struct FrameLook {
    double clipped, flat, lit, spread;
};

FrameLook look(const std::vector<CHeadlessGL::RGBA>& f) {
    FrameLook m{};
    std::vector<double> y(static_cast<std::size_t>(W) * H);
    int clipped = 0, lit = 0;
    for (int r = 0; r < H; ++r)
        for (int x = 0; x < W; ++x) {
            const CHeadlessGL::RGBA& p = f[static_cast<std::size_t>(r) * GLW + x];
            const double l = luma(p);
            y[static_cast<std::size_t>(r) * W + x] = l;
            clipped += p.r >= 250 || p.g >= 250 || p.b >= 250;
            lit += l > 0.1;
        }
    m.clipped = clipped / double(W * H);
    m.lit = lit / double(W * H);
    m.spread = percentile(y, 0.95) - percentile(y, 0.05);
    // 4x box filter, then the range of each 5 x 5 neighbourhood in levels
    const int w = W / 4, h = H / 4;
    std::vector<double> small(static_cast<std::size_t>(w) * h);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            double s = 0;
            for (int dy = 0; dy < 4; ++dy)
                for (int dx = 0; dx < 4; ++dx) s += y[static_cast<std::size_t>(r * 4 + dy) * W + x * 4 + dx];
            small[static_cast<std::size_t>(r) * w + x] = s / 16 * 255;
        }
    int flat = 0;
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const double c = small[static_cast<std::size_t>(r) * w + x];
            if (c <= 0.15 * 255) continue;
            double lo = c, hi = c;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const int yy = std::min(h - 1, std::max(0, r + dy));
                    const int xx = std::min(w - 1, std::max(0, x + dx));
                    const double v = small[static_cast<std::size_t>(yy) * w + xx];
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            flat += hi - lo < 3;
        }
    m.flat = flat / double(w * h);
    return m;
}

std::vector<float> readLevels(const std::string& dir, const std::string& song) {
    std::vector<float> levels;
    if (FILE* f = std::fopen((dir + "/" + song + ".levels").c_str(), "rb")) {
        float buf[BANDS];
        while (std::fread(buf, sizeof(float), BANDS, f) == BANDS) levels.insert(levels.end(), buf, buf + BANDS);
        std::fclose(f);
    }
    return levels;
}

std::unique_ptr<CDirector> makeDirector(int effect, std::vector<uint8_t>* ball) {
    auto d = std::make_unique<CDirector>(std::vector<std::string>{"data/songs/kirrowane-intro.xm"});
    d->InitGL();
    d->holdEffect(effect);
    if (ball)
        d->sceneDrawn = [ball] {
            std::vector<float> depth(static_cast<std::size_t>(GLW) * H);
            glReadPixels(0, 0, GLW, H, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
            ball->assign(static_cast<std::size_t>(W) * H, 0);
            for (int r = 0; r < H; ++r)
                for (int x = 0; x < W; ++x)  // nearer than the background sphere, 50 units away
                    (*ball)[static_cast<std::size_t>(H - 1 - r) * W + x] =
                        depth[static_cast<std::size_t>(r) * GLW + x] < 0.995f;
        };
    return d;
}

std::vector<CHeadlessGL::RGBA> drawFrame(CDirector& d, const CHeadlessGL& gl, int ms) {
    d.beginFrame(ms);
    d.drawEffect();
    std::vector<CHeadlessGL::RGBA> f = gl.readFrame();
    // the rest of the frame too: the next effect frame starts from the state it leaves
    d.toggleEffect();
    d.drawHud();
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: look_measure LEVELS_DIR [--fps N] [--effects 0123] [--save DIR] [--skip S] "
                     "[--versus OTHER] [song...]\n");
        return 2;
    }
    const std::string dir = argv[1];
    int fps = 25;
    std::string effects = "0123", save, versus;
    double skip = 0;
    std::vector<std::string> songs;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--fps") && i + 1 < argc)
            fps = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--effects") && i + 1 < argc)
            effects = argv[++i];
        else if (!std::strcmp(argv[i], "--save") && i + 1 < argc)
            save = argv[++i];
        else if (!std::strcmp(argv[i], "--skip") && i + 1 < argc)
            skip = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--versus") && i + 1 < argc)
            versus = argv[++i];
        else
            songs.push_back(argv[i]);
    }
    if (songs.empty()) {
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".levels") songs.push_back(e.path().stem().string());
        std::sort(songs.begin(), songs.end());
    }
    CHeadlessGL gl(GLW, H);
    if (!gl.ok()) {
        std::fprintf(stderr, "no GL: %s\n", gl.error().c_str());
        return 1;
    }
    std::printf(
        "| song | effect | frames | clipped | flat | lit | spread | ball | ball clipped | response | "
        "correlation |%s\n",
        versus.empty() ? "" : " vs mean | vs p99 |");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|%s\n", versus.empty() ? "" : "---|---|");
    const std::vector<float> other = versus.empty() ? std::vector<float>() : readLevels(dir, versus);
    for (const std::string& song : songs) {
        const std::vector<float> levels = readLevels(dir, song);
        const long frames = static_cast<long>(levels.size() / BANDS);
        if (frames == 0) {
            std::fprintf(stderr, "no levels for %s\n", song.c_str());
            return 1;
        }
        std::vector<float> median(BANDS);
        std::vector<double> loudness;  // of the measured frames
        for (int b = 0; b < BANDS; ++b) {
            std::vector<double> v(static_cast<std::size_t>(frames));
            for (long k = 0; k < frames; ++k)
                v[static_cast<std::size_t>(k)] = levels[static_cast<std::size_t>(k) * BANDS + b];
            median[b] = static_cast<float>(percentile(v, 0.5));
        }
        for (long k = static_cast<long>(skip * fps); k < frames; ++k) {
            const float* frame = &levels[static_cast<std::size_t>(k) * BANDS];
            loudness.push_back(std::accumulate(frame, frame + 100, 0.0) / 100);
        }

        for (const char ec : effects) {
            const int effect = ec - '0';
            std::vector<uint8_t> ball;
            std::unique_ptr<CDirector> real = makeDirector(effect, effect == 3 ? &ball : nullptr);
            const bool respond = effect == 1 || effect == 2;
            std::unique_ptr<CDirector> frozen = respond ? makeDirector(effect, nullptr) : nullptr;
            const long compared = std::min(frames, static_cast<long>(other.size() / BANDS));
            std::unique_ptr<CDirector> against = compared > 0 ? makeDirector(effect, nullptr) : nullptr;
            std::vector<double> clipped, flat, lit, spread, ballShare, ballClip, diff;
            std::vector<double> apart(256);  // pixel channels by their difference to OTHER's frame
            for (long k = 0; k < frames; ++k) {
                const int ms = static_cast<int>(k * 1000 / fps);
                std::memcpy(fakeSpectrum(), &levels[static_cast<std::size_t>(k) * BANDS], BANDS * sizeof(float));
                const std::vector<CHeadlessGL::RGBA> f = drawFrame(*real, gl, ms);
                const bool measured = k >= static_cast<long>(skip * fps);
                if (against && k < compared) {
                    std::memcpy(fakeSpectrum(), &other[static_cast<std::size_t>(k) * BANDS], BANDS * sizeof(float));
                    const std::vector<CHeadlessGL::RGBA> o = drawFrame(*against, gl, ms);
                    for (int r = 0; measured && r < H; ++r)
                        for (int x = 0; x < W; ++x) {
                            const CHeadlessGL::RGBA& a = f[static_cast<std::size_t>(r) * GLW + x];
                            const CHeadlessGL::RGBA& b = o[static_cast<std::size_t>(r) * GLW + x];
                            apart[std::abs(a.r - b.r)]++;
                            apart[std::abs(a.g - b.g)]++;
                            apart[std::abs(a.b - b.b)]++;
                        }
                }
                if (!measured) continue;
                const FrameLook m = look(f);
                if (!save.empty() && k % 25 == 0) {
                    std::vector<uint8_t> rgba(static_cast<std::size_t>(W) * H * 4);
                    for (int r = 0; r < H; ++r)
                        std::memcpy(&rgba[static_cast<std::size_t>(r) * W * 4], &f[static_cast<std::size_t>(r) * GLW],
                                    W * 4);
                    CPNGWriter::write(save + "/" + song + "-" + ec + "-" + std::to_string(k) + ".png", W, H,
                                      rgba.data(), true);
                }
                clipped.push_back(m.clipped);
                flat.push_back(m.flat);
                lit.push_back(m.lit);
                spread.push_back(m.spread);
                if (effect == 3) {
                    int n = 0, clip = 0;
                    for (int r = 0; r < H; ++r)
                        for (int x = 0; x < W; ++x)
                            if (ball[static_cast<std::size_t>(r) * W + x]) {
                                const CHeadlessGL::RGBA& p = f[static_cast<std::size_t>(r) * GLW + x];
                                ++n;
                                clip += p.r >= 250 || p.g >= 250 || p.b >= 250;
                            }
                    ballShare.push_back(n / double(W * H));
                    ballClip.push_back(n ? clip / double(n) : 0);
                }
                if (respond) {
                    std::memcpy(fakeSpectrum(), median.data(), BANDS * sizeof(float));
                    const std::vector<CHeadlessGL::RGBA> g = drawFrame(*frozen, gl, ms);
                    double s = 0;
                    for (int r = 0; r < H; ++r)
                        for (int x = 0; x < W; ++x) {
                            const CHeadlessGL::RGBA& a = f[static_cast<std::size_t>(r) * GLW + x];
                            const CHeadlessGL::RGBA& b = g[static_cast<std::size_t>(r) * GLW + x];
                            s += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
                        }
                    diff.push_back(s / (3.0 * W * H));
                }
            }
            char ballCols[64] = "- | -", resp[64] = "- | -";
            if (effect == 3)
                std::snprintf(ballCols, sizeof ballCols, "%.1f%% | %.1f%%", 100 * percentile(ballShare, 0.9),
                              100 * percentile(ballClip, 0.9));
            if (respond)
                std::snprintf(resp, sizeof resp, "%.2f | %.2f",
                              std::accumulate(diff.begin(), diff.end(), 0.0) / diff.size(), spearman(diff, loudness));
            char apartCols[64] = "";
            if (against) {
                const double all = std::accumulate(apart.begin(), apart.end(), 0.0);
                double mean = 0, below = 0;
                int p99 = 0;
                for (int d = 0; d < 256; ++d) mean += d * apart[d] / all;
                while (p99 < 255 && (below += apart[p99]) < 0.99 * all) ++p99;
                std::snprintf(apartCols, sizeof apartCols, " %.2f | %d |", mean, p99);
            }
            std::printf("| %s | %d | %zu | %.1f%% | %.1f%% | %.1f%% | %.2f | %s | %s |%s\n", song.c_str(), effect,
                        clipped.size(), 100 * percentile(clipped, 0.9), 100 * percentile(flat, 0.9),
                        100 * percentile(lit, 0.9), percentile(spread, 0.9), ballCols, resp, apartCols);
            std::fflush(stdout);
        }
    }
    return 0;
}
