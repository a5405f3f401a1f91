#include "CEffectScene.h"

#include "CF3D.h"
#include "CMD2Model.h"
#include "CSpect.h"
#include "CTunnel.h"

#include <GL/glu.h>

#include <cmath>

CEffectScene::CEffectScene(CF3D* f3d, CTunnel* tunnel, CSpect* spect, CMD2Model* model,
                           GLuint bgTexture)
    : f3d(f3d), tunnel(tunnel), spect(spect), model(model), bgTexture(bgTexture) {}

void CEffectScene::draw(int effect, float modelAngle) {
    const double t = f3d->getTicks();
    switch (effect) {
    case 0:
        tunnel->draw();
        f3d->renderGlow(25, 0.009f, static_cast<float>(0.25 * std::sin(t / 2000) + 0.75),
                        static_cast<float>(std::sin(t / 500)),
                        static_cast<float>(std::sin(t / 1000)));
        break;
    case 1:
        f3d->drawBG(bgTexture);
        spect->draw();
        f3d->renderGlow(15, 0.009f, 0.809f, 0.82f, 0.46f);
        break;
    case 2:
        f3d->drawBG(bgTexture);
        spect->renderToText();
        spect->drawTest();
        spect->drawBlur(25, 0.05f);
        break;
    case 3:
        f3d->drawBG(bgTexture);
        glLoadIdentity();
        gluLookAt(4 * std::sin(t / 400), 4 * std::sin(t / 4000), 4 * std::sin(t / 200),
                  0, 0, 0,
                  0, std::sin(t / 1000), 0);
        glRotatef(modelAngle, 0.0f, 0.0f, 1.0f);
        model->Render(0.0f, 0.0f, static_cast<float>(0.45 * std::sin(t / 2000) - 0.75), 0, 0,
                      1.0f);
        f3d->renderGlow(4, 0.05f, 1.0f, 1.0f, 1.0f);
        break;
    }
}
