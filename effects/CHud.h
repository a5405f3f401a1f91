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

    // Position and opacity of character i at the current scroll position, as the
    // scroller draws it; false when the character is left of the window.
    bool glyphAt(int i, float& x, float& alpha) const;

private:
    void fullViewQuad(float right);
    GLuint loadBaseTexture();

    CF3D* f3d;
    GLuint overlayTexture;
    GLuint topTexture;
    GLuint darkenTexture;
    GLuint baseTexture;  // the two above as one, drawn once a frame in their place; 0: draw both
    char scrollText[1024];
    float scrollPos;
};

#endif
