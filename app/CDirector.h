#ifndef CHIPDISK_CDIRECTOR_H
#define CHIPDISK_CDIRECTOR_H

#include <GL/gl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CEffectCycle.h"
#include "CSongCtrl.h"
#include "HotSpots.h"

class CF3D;
class CHud;
class CTunnel;
class CSpect;
class CMD2Model;
class CSongCtrl;

// Raised by clicks on the close and iconize spots; the window acts on them at
// its next idle event and lowers iconizeWin again.
extern CSongCtrl* songCtrl;  // null until a director's InitGL
extern bool closeWin;
extern bool iconizeWin;

// Builds every drawing object once and composes each frame: the effect, the fade
// that hides a change of effect, the HUD layers and the highlights. It knows no
// window: the window, the recorder, the benchmark and the tests all draw through
// it with a frame clock of their own.
class CDirector {
public:
    // songFiles: the song list in this order instead of the songs folder (empty:
    // the folder). Issues no GL call.
    explicit CDirector(std::vector<std::string> songFiles = {});
    ~CDirector();
    CDirector(const CDirector&) = delete;
    CDirector& operator=(const CDirector&) = delete;

    // Needs a current GL context. Builds the toolkit, the HUD, the effects, the
    // font, the glow, the song controller (the first song starts here), the ball
    // and the pictures, then leaves the toolkit's fixed state for a 396 x 260 view.
    void InitGL();

    // One whole frame at ms, the frame clock in whole milliseconds (it never goes
    // back). Draws into the current context's 396 x 260 view; leaves blending on
    // with (source alpha, one minus source alpha), as the next frame expects.
    void Render(int ms);

    // Render's steps, for callers that look at the effect layer on its own.
    void beginFrame(int ms);  // clock, clear, automatic change
    void drawEffect();        // the current effect with its glow or blur
    void toggleEffect();      // fade step and fade quad
    void drawHud();           // HUD base, scroller, song line, top picture, highlights
    void drawControls();      // the highlight of the spot under the mouse

    // Mouse position in view pixels (origin top left), for the highlights.
    void setMouse(int x, int y);
    // A left click at a view pixel: plays, stops and steps songs, or raises
    // closeWin / iconizeWin. Before InitGL only the window flags are raised.
    HotSpot click(int x, int y);
    // Up, Down, Right, Space, R and S; ignored before InitGL. R and S show the new
    // mode on the song line and call playModeChanged.
    void key(KeyAction action);
    // Files or one folder dropped onto the window: the new song list, its first song
    // playing. Ignored before InitGL.
    void useSongs(std::vector<std::string> files);
    // Shows effect 0..3 from now on, with no automatic change.
    void holdEffect(int effect);
    // The repeat mode and shuffle the songs start with; before InitGL.
    void startWith(RepeatMode repeat, bool shuffle);

    // Called in every frame once the effect's scene is drawn and before its glow or
    // blur replaces it, with the scene's colour and depth buffers intact: for
    // measuring what a scene looks like. Empty: nothing is called.
    std::function<void()> sceneDrawn;
    // Called when a key changed the repeat mode or shuffle, for remembering it.
    std::function<void()> playModeChanged;

    const CEffectCycle& effectCycle() const { return cycle; }
    CF3D* toolkit() const { return f3d.get(); }
    bool initialized() const { return f3d != nullptr; }

private:
    std::vector<std::string> songFiles;
    RepeatMode startRepeat = RepeatMode::Song;
    bool startShuffled = false;
    std::unique_ptr<CF3D> f3d;
    std::unique_ptr<CHud> hud;
    std::unique_ptr<CTunnel> tunnel;
    std::unique_ptr<CSpect> spect;
    std::unique_ptr<CSongCtrl> songs;
    std::unique_ptr<CMD2Model> model;
    CEffectCycle cycle;  // effect, fade and the ball's roll
    int mouseX = -1, mouseY = -1;
    GLuint bgTexture = 0;
    GLuint iconTextures[5] = {};  // prev, play, stop, next, close
};

#endif
