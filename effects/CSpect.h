#ifndef CHIPDISK_CSPECT_H
#define CHIPDISK_CSPECT_H

#include <GL/gl.h>

class CF3D;

class CSpect {
public:
    explicit CSpect(CF3D* f3d);

    void draw();
    void drawTest();
    void renderToText();
    void drawBlur(int passes, float step);

    const float* getPrevSpectrum() const { return prevSpectrum; }
    GLuint getBlurTexture() const { return blurTexture; }

private:
    float* spectrum;
    float prevSpectrum[512];
    CF3D* f3d;
    GLuint blurTexture;
};

#endif
