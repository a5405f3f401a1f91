#include "CEffectCycle.h"

void CEffectCycle::startChange(int ticks) {
    fading = true;
    fadeDir = 1;
    lastSwitch = ticks;
}

void CEffectCycle::beginFrame(int ticks, float dt) {
    if (autoChange && ticks - lastSwitch > changeEveryMs) startChange(ticks);
    if (effect == 3) modelAngle += dt;
}

bool CEffectCycle::stepFade(float dt) {
    if (!fading) return false;
    fadeAlpha = static_cast<float>(fadeAlpha + static_cast<double>(dt) * 0.005 * fadeDir);
    if (fadeAlpha > 1.0f) {
        effect = (effect + 1) % effectCount;
        fadeDir = -1;
        fadeAlpha = 1.0f;
    }
    if (fadeAlpha < 0.0f) {
        fading = false;
        fadeAlpha = 0.0f;
    }
    // the frame that ends the fade still draws its (clear) quad
    return true;
}
