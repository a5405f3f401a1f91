#ifndef CHIPDISK_CEFFECTCYCLE_H
#define CHIPDISK_CEFFECTCYCLE_H

// Which of the four effects is on show, the fade to black and back that hides
// every change, and the roll of the ball model. Times are frame-clock
// milliseconds, deltas the toolkit's tenths of them.
struct CEffectCycle {
    static const int effectCount = 4;
    static const int changeEveryMs = 40000;

    float modelAngle = 0.0f;
    int lastSwitch = 0;
    int effect = 0;
    bool fading = false;
    float fadeAlpha = 0.0f;
    int fadeDir = 0;
    bool autoChange = true;  // false holds the effect until a key asks for a change

    // Starts a fade to black; the effect changes when it is fully black.
    void startChange(int ticks);
    // Start of a frame: the automatic change and the model roll (effect 3 only).
    void beginFrame(int ticks, float dt);
    // One fade step; true while the black quad has to be drawn this frame.
    bool stepFade(float dt);
};

#endif
