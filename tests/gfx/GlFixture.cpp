#include "GlFixture.h"

#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

bool writePng(const std::string& path, const PngPicture& pic) {
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(fp);
        return false;
    }
    png_init_io(png, fp);
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);  // the loader's limits are under test
    png_set_IHDR(png, info, pic.width, static_cast<int>(pic.rows.size()), pic.bitDepth, pic.colorType,
                 pic.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < pic.palette.size(); i += 3)
        palette.push_back({pic.palette[i], pic.palette[i + 1], pic.palette[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_color_16 grey{};
    grey.gray = pic.trnsGrey;
    if (pic.hasTrns)
        png_set_tRNS(png, info, pic.trnsAlpha.data(), static_cast<int>(pic.trnsAlpha.size()), &grey);
    png_write_info(png, info);
    const int passes = pic.interlaced ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass)
        for (const auto& row : pic.rows) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(fp) == 0;
}

bool writePicture(const std::string& path, int w, int h, std::vector<Rect> rects) {
    PngPicture pic;
    pic.width = w;
    pic.rows.assign(h, std::vector<uint8_t>(static_cast<size_t>(w) * 4, 0));
    for (const Rect& r : rects)
        for (int y = r.y0; y <= r.y1; ++y)
            for (int x = r.x0; x <= r.x1; ++x)
                for (int c = 0; c < 4; ++c) pic.rows[y][x * 4 + c] = (&r.r)[c];
    return writePng(path, pic);
}

std::vector<FbPrim> captureFeedback(const std::function<void()>& draw) {
    std::vector<GLfloat> buf(1 << 21);
    glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_3D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    EXPECT_GE(n, 0) << "feedback buffer overflow";
    std::vector<FbPrim> prims;
    for (GLint i = 0; i < n;) {
        const GLenum token = static_cast<GLenum>(buf[i++]);
        int count = 1;
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) count = 2;
        if (token == GL_POLYGON_TOKEN) count = static_cast<int>(buf[i++]);
        if (token == GL_PASS_THROUGH_TOKEN) { ++i; continue; }
        FbPrim p{token, {}};
        for (int k = 0; k < count; ++k, i += 11)  // x y z, r g b a, s t r q
            p.v.push_back({buf[i], buf[i + 1], buf[i + 2], buf[i + 3], buf[i + 4], buf[i + 5],
                           buf[i + 6], buf[i + 7], buf[i + 8]});
        prims.push_back(std::move(p));
    }
    return prims;
}

void GlFixture::SetUp() {
    // a folder of its own, so tests run side by side never read each other's pictures
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    home = cwd;
    const std::string dir = std::string("out-") + info->test_suite_name() + "." + info->name();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/data/gfx");
    std::filesystem::create_directories(dir + "/data/3d");
    ASSERT_EQ(0, chdir(dir.c_str()));
    gl = std::make_unique<OffscreenGL>(396, 260);
    ASSERT_TRUE(gl->ok()) << gl->error();
    f3d = std::make_unique<CF3D>();
    f3d->initGL(396, 260);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void GlFixture::TearDown() {
    if (std::getenv("CHIPDISK_SAVE_FRAMES") && gl) gl->savePNG("last.png");
    ASSERT_EQ(0, chdir(home.c_str()));
}

bool GlFixture::allBlack() const {
    for (const auto& p : gl->readFrame())
        if (!black(p)) return false;
    return true;
}

GLuint GlFixture::texture(const std::string& name, int w, int h, std::vector<Rect> rects) {
    if (!writePicture(name, w, h, std::move(rects))) return 0;
    return f3d->loadTexture(name.c_str());
}

::testing::AssertionResult colourIs(const OffscreenGL::RGBA& p, int r, int g, int b, int tol) {
    if (std::abs(p.r - r) <= tol && std::abs(p.g - g) <= tol && std::abs(p.b - b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << int(p.r) << ", " << int(p.g) << ", "
                                         << int(p.b) << "), expected (" << r << ", " << g << ", "
                                         << b << ")";
}
