#include "EffectsSupport.h"

#include <png.h>
#include <sys/stat.h>

#include <cstdio>

void Picture::set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
    p[0] = r; p[1] = g; p[2] = b; p[3] = a;
}

void Picture::fill(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) set(x, y, r, g, b, a);
}

bool Picture::save(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(&rgba[static_cast<size_t>(y) * width * 4]));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

void writeTestPictures() {
    mkdir("data", 0755);
    mkdir("data/gfx", 0755);
    Picture darken(396, 260);
    darken.fill(0, 230, 395, 259, 0, 0, 0, 128);
    ASSERT_TRUE(darken.save("data/gfx/overlay_darken.png"));
    Picture overlay(396, 260);
    overlay.fill(20, 0, 21, 259, 255, 255, 255, 255);
    ASSERT_TRUE(overlay.save("data/gfx/overlay.png"));
    Picture top(396, 260);
    top.fill(0, 0, 9, 9, 255, 0, 0, 255);
    ASSERT_TRUE(top.save("data/gfx/test2.png"));
    Picture font(256, 256);
    font.fill(0, 0, 255, 255, 255, 255, 255, 255);
    font.fill(0, 32, 15, 47, 0, 0, 0, 0);  // code 32: row 2, column 0
    ASSERT_TRUE(font.save("data/gfx/font_test2.png"));
}

std::vector<FbPrim> captureFeedback(const std::function<void()>& draw) {
    std::vector<GLfloat> buf(1 << 21);
    glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_3D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    EXPECT_GE(n, 0) << "feedback buffer overflow";

    std::vector<FbPrim> prims;
    auto vertex = [&](GLint& i) {
        FbVertex v{buf[i], buf[i + 1], buf[i + 2], buf[i + 3], buf[i + 4],
                   buf[i + 5], buf[i + 6], buf[i + 7], buf[i + 8]};
        i += 11;  // x y z, r g b a, s t r q
        return v;
    };
    for (GLint i = 0; i < n;) {
        const GLenum token = static_cast<GLenum>(buf[i++]);
        FbPrim p{token, {}};
        switch (token) {
            case GL_POINT_TOKEN:
            case GL_BITMAP_TOKEN:
            case GL_DRAW_PIXEL_TOKEN:
            case GL_COPY_PIXEL_TOKEN:
                p.v.push_back(vertex(i));
                break;
            case GL_LINE_TOKEN:
            case GL_LINE_RESET_TOKEN:
                p.v.push_back(vertex(i));
                p.v.push_back(vertex(i));
                break;
            case GL_POLYGON_TOKEN: {
                const int count = static_cast<int>(buf[i++]);
                for (int k = 0; k < count; ++k) p.v.push_back(vertex(i));
                break;
            }
            case GL_PASS_THROUGH_TOKEN:
                ++i;
                continue;
            default:
                ADD_FAILURE() << "unknown feedback token " << token;
                return prims;
        }
        prims.push_back(std::move(p));
    }
    return prims;
}

void EffectsGl::SetUp() {
    gl = std::make_unique<OffscreenGL>(396, 260);
    ASSERT_TRUE(gl->ok()) << gl->error();
    f3d = std::make_unique<CF3D>();
    f3d->initGL(396, 260);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void EffectsGl::frame(int ticks) {
    f3d->setTicks(ticks);
    f3d->calcDt();
}

void EffectsGl::saveFrame(const std::string& name) const {
    const std::string dir = EFFECTS_FRAME_DIR;
    mkdir(dir.substr(0, dir.rfind('/')).c_str(), 0755);
    mkdir(dir.c_str(), 0755);
    EXPECT_TRUE(gl->savePNG(dir + "/" + name + ".png"));
}

std::vector<float> EffectsGl::matrix(GLenum which) {
    std::vector<float> m(16);
    glGetFloatv(which, m.data());
    return m;
}
