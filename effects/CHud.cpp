#include "CHud.h"

#include "Blend8.h"
#include "CF3D.h"
#include "CPNGLoader.h"
#include "PlainPath.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {
const char kScrollText[] =
    "                      Hi there! kirrowane on the keys..at last we finally release this "
    "chipdisk. first we would release this one at Vantrelholm this summer, but it was "
    "something that collided in our way back then. SO here it is. Hope you enjoy it. many "
    "scenehugs to all of you out there. And remember: the new cool thing to say right now "
    "is the word fresh! peace.";
static_assert(sizeof(kScrollText) - 1 == 363, "scroller text length");
}  // namespace

CHud::CHud(CF3D* f3d) : f3d(f3d) {
    overlayTexture = f3d->loadTexture("data/gfx/overlay.png");
    darkenTexture = f3d->loadTexture("data/gfx/overlay_darken.png");
    topTexture = f3d->loadTexture("data/gfx/test2.png");
    baseTexture = loadBaseTexture();
    scrollPos = 50.0f;
    std::memset(scrollText, 0, sizeof(scrollText));
    std::strcpy(scrollText, kScrollText);
}

// Pictures are stored bottom row first, so t = 0 goes to the bottom edge.
void CHud::fullViewQuad(float right) {
    const float h = static_cast<float>(f3d->getHeight());
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, h);
    glTexCoord2f(1, 0);
    glVertex2f(right, h);
    glTexCoord2f(1, 1);
    glVertex2f(right, 0);
    glTexCoord2f(0, 1);
    glVertex2f(0, 0);
    glEnd();
}

namespace {

struct PictureFree {
    void operator()(gl_texture_t* t) const {
        if (t) std::free(t->pixels);
        std::free(t);
    }
};
using Picture = std::unique_ptr<gl_texture_t, PictureFree>;

}  // namespace

// The darkening picture blended over the frame and the overlay added on top, as one
// picture: its colour is what the two add (each rounded as the blender rounds it), its
// alpha the darkening's, drawn with (ONE, ONE_MINUS_SRC_ALPHA). 0 when either picture
// is missing or they are not both RGBA of one size.
GLuint CHud::loadBaseTexture() {
    CPNGLoader loader;
    const Picture darken(loader.ReadPNGFromFile("data/gfx/overlay_darken.png"));
    const Picture overlay(loader.ReadPNGFromFile("data/gfx/overlay.png"));
    if (!darken || !overlay || !darken->pixels || !overlay->pixels || darken->components != 4 ||
        overlay->components != 4 || darken->imageWidth != overlay->imageWidth ||
        darken->imageHeight != overlay->imageHeight)
        return 0;
    const size_t count = static_cast<size_t>(darken->imageWidth) * static_cast<size_t>(darken->imageHeight);
    std::vector<GLubyte> base(count * 4);
    for (size_t i = 0; i < count; ++i) {
        const GLubyte* d = darken->pixels + i * 4;
        const GLubyte* o = overlay->pixels + i * 4;
        for (int c = 0; c < 3; ++c) {
            const unsigned sum = mul8(d[c], d[3]) + mul8(o[c], o[3]);
            base[i * 4 + c] = static_cast<GLubyte>(sum > 255 ? 255 : sum);
        }
        base[i * 4 + 3] = d[3];
    }
    return f3d->textureFromPixels(darken->imageWidth, darken->imageHeight, 4, GL_RGBA, base.data());
}

void CHud::drawBase() {
    const float w = static_cast<float>(f3d->getWidth());
    f3d->openMode2D();
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glColor3f(1, 1, 1);
    if (baseTexture && !plainPath("hud")) {
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glBindTexture(GL_TEXTURE_2D, baseTexture);
        fullViewQuad(w);
    } else {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glBindTexture(GL_TEXTURE_2D, darkenTexture);
        if (darkenTexture) fullViewQuad(w);  // a picture that failed to load does not show

        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glColor3f(1, 1, 1);
        glBindTexture(GL_TEXTURE_2D, overlayTexture);
        if (overlayTexture) fullViewQuad(w);
    }

    // The additive blend function stays: the scroller's glyphs are drawn with it.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    f3d->closeMode2D();
}

bool CHud::glyphAt(int i, float& x, float& alpha) const {
    x = scrollPos + 12.0f * static_cast<float>(i);
    if (x <= 130.0f) return false;
    if (x < 160.0f)
        alpha = (x - 130.0f) / 30.0f;
    else if (x > 340.0f)
        alpha = (362.0f - x) / 22.0f;  // negative past 362; GL clamps it to 0
    else
        alpha = 1.0f;
    return true;
}

void CHud::drawScroller() {
    scrollPos = static_cast<float>(scrollPos - 0.5 * f3d->getDt());
    if (scrollPos < -4200.0f) scrollPos = 80.0f;

    for (int i = 0; scrollText[i] != '\0'; ++i) {
        float x, alpha;
        if (!glyphAt(i, x, alpha)) continue;
        // past the right edge every later glyph is fully transparent: leave them out
        if (alpha <= 0.0f) break;
        glColor4f(1, 1, 1, alpha);
        f3d->drawChar(scrollText[i], static_cast<int>(x), 45, 0);
    }
}

void CHud::drawOverlay() {
    const float w = static_cast<float>(f3d->getWidth());
    f3d->openMode2D();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, topTexture);
    glColor3f(1, 1, 1);
    if (topTexture) fullViewQuad(w + 1);
    // Blending stays on: the next frame's spectrum rings are drawn with it.
    glDisable(GL_TEXTURE_2D);
    f3d->closeMode2D();
}
