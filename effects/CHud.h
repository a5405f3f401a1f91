#ifndef CHIPDISK_CHUD_H
#define CHIPDISK_CHUD_H

#include <GL/gl.h>

class CF3D;

class CHud {
public:
    explicit CHud(CF3D* f3d);

    void drawBase();
    void drawScroller();
    void drawOverlay();

    float getScrollPos() const { return scrollPos; }
    void setScrollPos(float pos) { scrollPos = pos; }
    const char* getScrollText() const { return scrollText; }

private:
    CF3D* f3d;
    GLuint overlayTexture;
    GLuint topTexture;
    GLuint darkenTexture;
    char scrollText[1024];
    float scrollPos;
};

#endif
