#ifndef CHIPDISK_CF3D_H
#define CHIPDISK_CF3D_H

#include <GL/gl.h>
#include <GL/glu.h>

#include "CZoomSum.h"

class CPNGLoader;

// The one graphics context object: frame clock, fixed GL state, 2D overlay mode,
// textures, sprites, background sphere, bitmap font and glow.
class CF3D {
public:
    CF3D();   // issues no GL call
    ~CF3D();  // frees the quadric and the loader; textures stay with the GL context
    CF3D(const CF3D&) = delete;
    CF3D& operator=(const CF3D&) = delete;

    // context and projection
    void initGL(int width, int height);
    void resizeWindow(int width, int height);
    void openMode2D();
    void closeMode2D();

    // frame clock
    void setTicks(int ms);
    int getTicks();
    void calcDt();
    float getDt();
    int getLastFrame();
    int getWidth();
    int getHeight();

    // textures
    GLuint loadTexture(const char* path);
    // A linear-filtered texture of tightly packed rows, bottom row first; left bound.
    GLuint textureFromPixels(int width, int height, int components, GLenum format, const GLubyte* pixels);
    GLuint emptyTexture(int width, int height);

    // primitives
    void draw2DSprite(int x, int y, int w, int h, GLuint texture);
    void drawBG(GLuint texture);

    // bitmap font
    void init2DFont(const char* path, int firstChar, int cellWidth, int cellHeight, int unused1, int unused2,
                    int textureSize);
    void drawChar(char c, int x, int y, float angle);
    void drawStr(const char* s, int x, int y);

    // glow post-process
    void initGlow();
    void renderGlow(int passes, float step, float r, float g, float b);

private:
    int viewWidth;
    int viewHeight;
    GLuint fontTexture;
    int fontFirstChar;
    int fontCellWidth;
    int fontCellHeight;
    int fontTextureSize;
    int charSpacing;
    float frameDelta;
    int lastFrameTicks;
    int tickCount;
    GLUquadric* bgQuadric;
    float bgAngleX;
    float bgAngleY;
    GLuint glowTexture;
    CZoomSum glowCopies;
    CPNGLoader* pngLoader;
};

#endif
