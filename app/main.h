#ifndef CHIPDISK_MAIN_H
#define CHIPDISK_MAIN_H

#include <wx/wx.h>
#include <wx/glcanvas.h>

#include <GL/gl.h>

#include "CEffectCycle.h"
#include "CEffectScene.h"

class CF3D;
class CHud;
class CTunnel;
class CSpect;
class CMD2Model;
class CSongCtrl;

extern CSongCtrl* songCtrl;
extern bool closeWin;
extern bool iconizeWin;

class MyApp : public wxApp {
public:
    MyApp();
    bool OnInit() override;
};

class GLCanvas : public wxGLCanvas {
public:
    GLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
             long style);

    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnEraseBackground(wxEraseEvent& event);
    void OnIdle(wxIdleEvent& event);
    void OnEnterWindow(wxMouseEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnMouseMove(wxMouseEvent& event);

    void InitGL();
    void Render();
    void toggleEffect();
    void drawControls();

private:
    wxGLContext* context;
    bool initialized;
    CF3D* f3d;
    CTunnel* tunnel;
    CHud* hud;
    CSpect* spect;
    CMD2Model* model;
    CEffectCycle cycle;  // effect, fade and model roll
    wxPoint mousePos;
    GLuint bgTexture;
    GLuint iconTextures[5];
    CEffectScene* scene;  // the effects' full-frame drawing

    wxDECLARE_EVENT_TABLE();
};

class AppFrame : public wxFrame {
public:
    AppFrame();

    void SetWindowShape();

    void OnDoubleClick(wxMouseEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnMouseMove(wxMouseEvent& event);
    void OnExit(wxMouseEvent& event);
    void OnIdle(wxIdleEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnWindowCreate(wxWindowCreateEvent& event);
    void OnKeyDown(wxKeyEvent& event);

private:
    GLCanvas* canvas;
    wxBitmap shapeBitmap;
    wxPoint dragOffset;
    bool shaped;

    wxDECLARE_EVENT_TABLE();
};

#endif
