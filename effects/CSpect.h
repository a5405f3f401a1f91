#ifndef CHIPDISK_CSPECT_H
#define CHIPDISK_CSPECT_H

#include "CSmoothLines.h"
#include "CZoomSum.h"

#include <GL/gl.h>

#include <vector>

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
    CSmoothLines smoothLines;
    CZoomSum blurCopies;
    std::vector<float> ringPoints;
};

#endif
