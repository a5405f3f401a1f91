#ifndef CHIPDISK_CEFFECTSCENE_H
#define CHIPDISK_CEFFECTSCENE_H

#include <GL/gl.h>

class CF3D;
class CTunnel;
class CSpect;
class CMD2Model;

// The full-frame drawing of the four effects, each finished with its glow or
// blur. The window draws through it, and so do the offscreen frame tests and the
// benchmark, so all three show exactly the same frame.
class CEffectScene {
public:
    CEffectScene(CF3D* f3d, CTunnel* tunnel, CSpect* spect, CMD2Model* model, GLuint bgTexture);

    // effect 0..3; modelAngle is the ball's roll in degrees (effect 3 only).
    void draw(int effect, float modelAngle);

private:
    CF3D* f3d;
    CTunnel* tunnel;
    CSpect* spect;
    CMD2Model* model;
    GLuint bgTexture;
};

#endif
