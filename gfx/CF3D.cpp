#include "CF3D.h"

#include "CPNGLoader.h"
#include "CZoomSum.h"

#include <cstdlib>
#include <string>
#include <vector>

CF3D::CF3D()
    : viewWidth(0), viewHeight(0), fontTexture(0), fontFirstChar(0), fontCellWidth(0), fontCellHeight(0),
      fontTextureSize(0), charSpacing(0), frameDelta(0.0f), lastFrameTicks(0), tickCount(0), bgQuadric(gluNewQuadric()),
      bgAngleX(0.0f), bgAngleY(0.0f), glowTexture(0), pngLoader(new CPNGLoader()) {}

CF3D::~CF3D() {
    gluDeleteQuadric(bgQuadric);
    delete pngLoader;
}

// ---------------------------------------------------------------- context

void CF3D::initGL(int width, int height) {
    viewWidth = width;
    viewHeight = height;
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    resizeWindow(width, height);
}

void CF3D::resizeWindow(int width, int height) {
    if (height == 0) height = 1;
    const float aspect = static_cast<float>(static_cast<double>(width) / height);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(25.0, aspect, 0.1, 900.0);
    glMatrixMode(GL_MODELVIEW);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glLoadIdentity();
}

void CF3D::openMode2D() {
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, viewWidth, viewHeight, 0.0, 0.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void CF3D::closeMode2D() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------- frame clock

void CF3D::setTicks(int ms) { tickCount = ms; }
int CF3D::getTicks() { return tickCount; }

void CF3D::calcDt() {
    const float now = static_cast<float>(getTicks());
    frameDelta = (now - static_cast<float>(lastFrameTicks)) * 0.1f;
    lastFrameTicks = getTicks();
}

float CF3D::getDt() { return frameDelta; }
int CF3D::getLastFrame() { return lastFrameTicks; }
int CF3D::getWidth() { return viewWidth; }
int CF3D::getHeight() { return viewHeight; }

// ---------------------------------------------------------------- textures

GLuint CF3D::loadTexture(const char* path) {
    gl_texture_t* tex = pngLoader->ReadPNGFromFile(path);
    if (!tex) return 0;
    if (!tex->pixels) {
        std::free(tex);
        return 0;
    }
    const GLuint name = textureFromPixels(tex->imageWidth, tex->imageHeight, tex->components, tex->format, tex->pixels);
    std::free(tex->pixels);
    std::free(tex);
    return name;
}

GLuint CF3D::textureFromPixels(int width, int height, int components, GLenum format, const GLubyte* pixels) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Rows are packed without padding, so widths like 3 RGB pixels need byte alignment.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, components, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    return name;
}

GLuint CF3D::emptyTexture(int width, int height) {
    std::vector<GLubyte> zeros(
        static_cast<size_t>(width > 0 ? width : 0) * static_cast<size_t>(height > 0 ? height : 0) * 4, 0);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 zeros.empty() ? nullptr : zeros.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return name;
}

// ---------------------------------------------------------------- primitives

void CF3D::draw2DSprite(int x, int y, int w, int h, GLuint texture) {
    glEnable(GL_TEXTURE_2D);
    openMode2D();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (texture) {  // a picture that failed to load does not show
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f);
        glVertex2i(x, y + h);
        glTexCoord2f(1.0f, 0.0f);
        glVertex2i(x + w, y + h);
        glTexCoord2f(1.0f, 1.0f);
        glVertex2i(x + w, y);
        glTexCoord2f(0.0f, 1.0f);
        glVertex2i(x, y);
        glEnd();
    }
    closeMode2D();
    glDisable(GL_TEXTURE_2D);
}

void CF3D::drawBG(GLuint texture) {
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -6.0f);
    glPushMatrix();
    bgAngleX += getDt();
    bgAngleY += getDt() * 0.5f;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    gluQuadricTexture(bgQuadric, GL_TRUE);
    glTranslatef(0.0f, 0.0f, -50.0f);
    glRotatef(bgAngleX, 1.0f, 0.0f, 0.0f);
    glRotatef(bgAngleY, 0.0f, 1.0f, 0.0f);
    if (texture) gluSphere(bgQuadric, 60.3, 32, 32);  // no picture: no sphere, the frame stays black
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();
}

// ---------------------------------------------------------------- bitmap font

void CF3D::init2DFont(const char* path, int firstChar, int cellWidth, int cellHeight, int /*unused1*/, int /*unused2*/,
                      int textureSize) {
    fontTexture = loadTexture(path);
    fontFirstChar = firstChar;
    fontCellWidth = cellWidth;
    fontCellHeight = cellHeight;
    fontTextureSize = textureSize;
    charSpacing = 10;
}

void CF3D::drawChar(char c, int x, int y, float angle) {
    openMode2D();
    glTranslatef(static_cast<float>(x), static_cast<float>(y), 0.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, fontTexture);
    glEnable(GL_BLEND);

    // Codes above 127 count as negative, landing left of the picture where the texture wraps.
    const int n = static_cast<int>(static_cast<signed char>(c)) - fontFirstChar;
    const int row = n / 16;
    const int column = n - row * 16;
    const float u = static_cast<float>(column * fontCellWidth);
    // v is the cell's top edge, counted from the picture's bottom row.
    const float v = static_cast<float>(fontTextureSize - row * fontCellHeight);
    const float size = static_cast<float>(fontTextureSize);
    const float cw = static_cast<float>(fontCellWidth);
    const float ch = static_cast<float>(fontCellHeight);

    glRotatef(angle, 0.0f, 0.0f, 1.0f);
    if (fontTexture) {  // without a font picture there is no text, rather than white blocks
        glBegin(GL_QUADS);
        glTexCoord2f(u / size, v / size);
        glVertex2f(0.0f, 0.0f);
        glTexCoord2f(u / size, (v - ch) / size);
        glVertex2f(0.0f, ch);
        glTexCoord2f((u + cw) / size, (v - ch) / size);
        glVertex2f(cw, ch);
        glTexCoord2f((u + cw) / size, v / size);
        glVertex2f(cw, 0.0f);
        glEnd();
    }

    // Drop the glyph's placement so callers find the plain 2D modelview afterwards.
    glLoadIdentity();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    closeMode2D();
}

void CF3D::drawStr(const char* s, int x, int y) {
    for (int i = 0; s[i] != '\0'; ++i) drawChar(s[i], x + i * charSpacing, y, 0.0f);
}

// ---------------------------------------------------------------- glow

void CF3D::initGlow() { glowTexture = emptyTexture(128, 128); }

void CF3D::renderGlow(int passes, float step, float r, float g, float b) {
    glBindTexture(GL_TEXTURE_2D, glowTexture);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, 64, 0, 256, 256, 0);

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, glowTexture);

    const float weight = 0.5f;
    const float weightStep = passes > 0 ? 0.5f / static_cast<float>(passes) : 0.0f;
    const float w = static_cast<float>(getWidth());
    const float h = static_cast<float>(getHeight());

    openMode2D();
    glowCopies.drawRamp(glowTexture, passes, step, weight, weightStep, r, g, b, w, h);
    closeMode2D();

    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, 0);
}
