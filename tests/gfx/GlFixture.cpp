#include "GlFixture.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

bool writePng(const std::string& path, const PngPicture& pic) {
    FILE* fp = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!fp || setjmp(png_jmpbuf(png))) return false;  // a test helper: leaks on failure are fine
    png_init_io(png, fp);
    png_set_IHDR(png, info, pic.width, static_cast<int>(pic.rows.size()), pic.bitDepth, pic.colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!pic.palette.empty())  // r, g, b bytes are png_color records
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(pic.palette.data()),
                     static_cast<int>(pic.palette.size() / 3));
    png_color_16 black{};  // the transparent grey
    if (pic.hasTrns) png_set_tRNS(png, info, pic.trnsAlpha.data(), static_cast<int>(pic.trnsAlpha.size()), &black);
    png_write_info(png, info);
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
        const int count = token == GL_POLYGON_TOKEN                                ? static_cast<int>(buf[i++])
                          : token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN ? 2
                                                                                   : 1;
        FbPrim p{token, {}};
        for (int k = 0; k < count; ++k) {
            FbVertex v;  // x y z, r g b a, s t of x y z, r g b a, s t r q
            std::memcpy(&v, &buf[i], sizeof v);
            p.v.push_back(v);
            i += 11;
        }
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
    for (const char* sub : {"/data/gfx", "/data/3d"}) std::filesystem::create_directories(dir + sub);
    ASSERT_EQ(0, chdir(dir.c_str()));
    gl = std::make_unique<OffscreenGL>(396, 260);
    ASSERT_TRUE(gl->ok()) << gl->error();
    f3d = std::make_unique<CF3D>();
    f3d->initGL(396, 260);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void GlFixture::TearDown() { ASSERT_EQ(0, chdir(home.c_str())); }

bool GlFixture::allBlack() const {
    const Frame f = gl->readFrame();
    return std::all_of(f.begin(), f.end(), black);
}

GLuint GlFixture::texture(const std::string& name, int w, int h, std::vector<Rect> rects) {
    return writePicture(name, w, h, std::move(rects)) ? f3d->loadTexture(name.c_str()) : 0;
}

::testing::AssertionResult colourIs(const OffscreenGL::RGBA& p, int r, int g, int b, int tol) {
    if (std::abs(p.r - r) <= tol && std::abs(p.g - g) <= tol && std::abs(p.b - b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << int(p.r) << ", " << int(p.g) << ", " << int(p.b)
                                         << "), expected (" << r << ", " << g << ", " << b << ")";
}
