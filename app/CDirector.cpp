#include "CDirector.h"

#include "CF3D.h"
#include "CHud.h"
#include "CMD2Model.h"
#include "CSongCtrl.h"
#include "CSpect.h"
#include "CTunnel.h"

#include <GL/glu.h>

#include <cmath>
#include <utility>

CSongCtrl* songCtrl = nullptr;
bool closeWin = false;
bool iconizeWin = false;

CDirector::CDirector(std::vector<std::string> files) : songFiles(std::move(files)) {}

CDirector::~CDirector() {
    if (songCtrl == songs.get()) songCtrl = nullptr;
}

void CDirector::InitGL() {
    f3d = std::make_unique<CF3D>();
    hud = std::make_unique<CHud>(f3d.get());
    tunnel = std::make_unique<CTunnel>(f3d.get());
    spect = std::make_unique<CSpect>(f3d.get());
    f3d->init2DFont("data/gfx/font_test2.png", 0, 16, 16, 16, 16, 256);
    f3d->initGlow();
    songs = std::make_unique<CSongCtrl>(f3d.get(), songFiles);
    songCtrl = songs.get();
    if (startRepeat != RepeatMode::Song) songs->setRepeat(startRepeat);
    if (startShuffled) songs->setShuffle(true);
    model = std::make_unique<CMD2Model>();
    model->LoadModel("data/3d/boll3.md2");
    model->SetFrame(0);
    bgTexture = f3d->loadTexture("data/gfx/bg.png");
    iconTextures[0] = f3d->loadTexture("data/gfx/ico_prev.png");
    iconTextures[1] = f3d->loadTexture("data/gfx/ico_play.png");
    iconTextures[2] = f3d->loadTexture("data/gfx/ico_stop.png");
    iconTextures[3] = f3d->loadTexture("data/gfx/ico_next.png");
    iconTextures[4] = f3d->loadTexture("data/gfx/ico_close.png");
    // one pixel wider than the canvas
    f3d->initGL(396, 260);
}

void CDirector::Render(int ms) {
    songs->update();
    beginFrame(ms);
    drawEffect();
    toggleEffect();
    drawHud();
}

void CDirector::beginFrame(int ms) {
    f3d->setTicks(ms);
    f3d->calcDt();

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glLoadIdentity();

    cycle.beginFrame(f3d->getTicks(), f3d->getDt());
}

void CDirector::drawEffect() {
    const double t = f3d->getTicks();
    switch (cycle.effect) {
        case 0:
            tunnel->draw();
            if (sceneDrawn) sceneDrawn();
            f3d->renderGlow(25, 0.009f, static_cast<float>(0.25 * std::sin(t / 2000) + 0.75),
                            static_cast<float>(std::sin(t / 500)), static_cast<float>(std::sin(t / 1000)));
            break;
        case 1:
            f3d->drawBG(bgTexture);
            spect->draw();
            if (sceneDrawn) sceneDrawn();
            f3d->renderGlow(15, 0.009f, 0.809f, 0.82f, 0.46f);
            break;
        case 2:
            f3d->drawBG(bgTexture);
            spect->renderToText();
            spect->drawTest();
            if (sceneDrawn) sceneDrawn();
            spect->drawBlur(25, 0.05f);
            break;
        case 3:
            f3d->drawBG(bgTexture);
            glLoadIdentity();
            gluLookAt(4 * std::sin(t / 400), 4 * std::sin(t / 4000), 4 * std::sin(t / 200), 0, 0, 0, 0,
                      std::sin(t / 1000), 0);
            glRotatef(cycle.modelAngle, 0.0f, 0.0f, 1.0f);
            model->Render(0.0f, 0.0f, static_cast<float>(0.45 * std::sin(t / 2000) - 0.75), 0, 0, 1.0f);
            if (sceneDrawn) sceneDrawn();
            f3d->renderGlow(4, 0.05f, 1.0f, 1.0f, 1.0f);
            break;
    }
}

void CDirector::toggleEffect() {
    if (!cycle.stepFade(f3d->getDt())) return;
    const float w = static_cast<float>(f3d->getWidth());
    const float h = static_cast<float>(f3d->getHeight());
    f3d->openMode2D();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.0f, 0.0f, 0.0f, cycle.fadeAlpha);
    glBegin(GL_QUADS);
    glVertex2f(0.0f, h);
    glVertex2f(w, h);
    glVertex2f(w, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glEnd();
    f3d->closeMode2D();
}

void CDirector::drawHud() {
    hud->drawBase();
    hud->drawScroller();
    songs->drawSongMenu();
    hud->drawOverlay();
    drawControls();
}

void CDirector::drawControls() {
    const Highlight h = highlightAt(mouseX, mouseY);
    if (h.icon >= 0) f3d->draw2DSprite(h.x, h.y, h.width, h.height, iconTextures[h.icon]);
}

void CDirector::setMouse(int x, int y) {
    mouseX = x;
    mouseY = y;
}

HotSpot CDirector::click(int x, int y) {
    const HotSpot spot = hotSpotAt(x, y);
    CSongCtrl* s = songs.get();
    switch (spot) {
        case HotSpot::Prev:
            if (s) s->playPrev();
            break;
        case HotSpot::Play:
            if (s) s->play();
            break;
        case HotSpot::Stop:
            if (s) s->stop();
            break;
        case HotSpot::Next:
            if (s) s->playNext();
            break;
        case HotSpot::Close:
            closeWin = true;
            break;
        case HotSpot::Iconize:
            iconizeWin = true;
            break;
        case HotSpot::None:
            break;
    }
    return spot;
}

void CDirector::key(KeyAction action) {
    if (!initialized()) return;  // nothing to steer before the first frame
    switch (action) {
        case KeyAction::PrevSong:
            songs->playPrev();
            break;
        case KeyAction::NextSong:
            songs->playNext();
            break;
        case KeyAction::NextEffect:
            cycle.startChange(f3d->getTicks());
            break;
        case KeyAction::PlayPause:
            songs->playPause();
            break;
        case KeyAction::CycleRepeat: {
            const RepeatMode next[] = {RepeatMode::List, RepeatMode::None, RepeatMode::Song};
            songs->setRepeat(next[static_cast<int>(songs->getRepeat())]);
            songs->showNotice(std::string("repeat ") + repeatModeName(songs->getRepeat()));
            if (playModeChanged) playModeChanged();
            break;
        }
        case KeyAction::ToggleShuffle:
            songs->setShuffle(!songs->getShuffle());
            songs->showNotice(songs->getShuffle() ? "shuffle on" : "shuffle off");
            if (playModeChanged) playModeChanged();
            break;
        case KeyAction::None:
            break;
    }
}

void CDirector::useSongs(std::vector<std::string> files) {
    if (songs && !files.empty()) songs->replaceSongs(std::move(files));
}

void CDirector::startWith(RepeatMode repeat, bool shuffle) {
    startRepeat = repeat;
    startShuffled = shuffle;
}

void CDirector::holdEffect(int effect) {
    cycle.effect = effect;
    cycle.autoChange = false;
}
