#include "main.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#include <wx/log.h>
#include <wx/sizer.h>
#include <wx/stopwatch.h>

#include "CF3D.h"
#include "CHud.h"
#include "CMD2Model.h"
#include "CSongCtrl.h"
#include "CSpect.h"
#include "CTunnel.h"
#include "HotSpots.h"

CSongCtrl* songCtrl = nullptr;
bool closeWin = false;
bool iconizeWin = false;

namespace {
// The frame clock: started with the frame, read once per frame by Render.
wxStopWatch frameClock;
}

// ---------------------------------------------------------------- MyApp

MyApp::MyApp() {
    // Shapes, keep-above, Move and the GLX canvas exist only on X11; under a
    // Wayland session go through XWayland unless the user chose otherwise.
    setenv("GDK_BACKEND", "x11", 0);
}

bool MyApp::OnInit() {
    wxInitAllImageHandlers();
    AppFrame* frame = new AppFrame();
    frame->Show(true);
    SetTopWindow(frame);
    return true;
}

// ---------------------------------------------------------------- AppFrame

wxBEGIN_EVENT_TABLE(AppFrame, wxFrame)
    EVT_LEFT_DCLICK(AppFrame::OnDoubleClick)
    EVT_LEFT_DOWN(AppFrame::OnLeftDown)
    EVT_LEFT_UP(AppFrame::OnLeftUp)
    EVT_MOTION(AppFrame::OnMouseMove)
    EVT_RIGHT_UP(AppFrame::OnExit)
    EVT_IDLE(AppFrame::OnIdle)
    EVT_PAINT(AppFrame::OnPaint)
    EVT_WINDOW_CREATE(AppFrame::OnWindowCreate)
    EVT_KEY_DOWN(AppFrame::OnKeyDown)
wxEND_EVENT_TABLE()

AppFrame::AppFrame()
    : wxFrame(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(300, 300),
              wxSIMPLE_BORDER | wxSTAY_ON_TOP | wxFRAME_SHAPED, wxFrameNameStr),
      canvas(nullptr), shaped(false) {
    {
        // a missing picture leaves the frame plain; wx would say so in a modal box
        wxLogNull quiet;
        shapeBitmap = wxBitmap("data/gfx/star.png", wxBITMAP_TYPE_PNG);
    }
    if (shapeBitmap.IsOk())
        SetSize(wxSize(shapeBitmap.GetWidth(), shapeBitmap.GetHeight()));
    SetToolTip("velmo chipdisk");

    wxGridSizer* sizer = new wxGridSizer(1, 1, 0, 0);
    SetSizer(sizer, true);
    canvas = new GLCanvas(this, wxID_ANY, wxPoint(0, 0), wxSize(395, 260), 0);
    sizer->Add(canvas, 0, wxALL | wxALIGN_CENTRE, 35);
    sizer->Fit(this);
    sizer->SetSizeHints(this);

    frameClock.Start();
}

void AppFrame::SetWindowShape() {
    wxRegion region(shapeBitmap, wxColour(255, 0, 255), 0);
    shaped = SetShape(region);
}

void AppFrame::OnWindowCreate(wxWindowCreateEvent& event) {
    // the canvas's creation travels up here too
    if (event.GetWindow() == this)
        SetWindowShape();
    event.Skip();
}

void AppFrame::OnDoubleClick(wxMouseEvent&) {
    if (shaped) {
        // an empty region leaves the old shape in place on GTK3
        SetShape(wxRegion(wxRect(GetSize())));
        shaped = false;
    } else {
        SetWindowShape();
    }
}

void AppFrame::OnLeftDown(wxMouseEvent& event) {
    CaptureMouse();
    wxPoint screen = ClientToScreen(event.GetPosition());
    wxPoint origin = GetPosition();
    dragOffset.x = screen.x - origin.x;
    dragOffset.y = screen.y - origin.y;
}

void AppFrame::OnLeftUp(wxMouseEvent&) {
    if (HasCapture())
        ReleaseMouse();
}

void AppFrame::OnMouseMove(wxMouseEvent& event) {
    wxPoint pos = event.GetPosition();
    if (event.Dragging() && event.LeftIsDown()) {
        wxPoint screen = ClientToScreen(pos);
        Move(wxPoint(screen.x - dragOffset.x, screen.y - dragOffset.y), wxSIZE_USE_EXISTING);
    }
}

void AppFrame::OnExit(wxMouseEvent&) {
    Close(false);
    wxWakeUpIdle();  // lets the loop finish the close without further input
}

void AppFrame::OnIdle(wxIdleEvent& event) {
    if (iconizeWin) {
        Iconize(true);
        iconizeWin = false;
    }
    if (closeWin) {
        Close(false);
        wxWakeUpIdle();
    }
    event.Skip();
}

void AppFrame::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    dc.DrawBitmap(shapeBitmap, 0, 0, true);
}

void AppFrame::OnKeyDown(wxKeyEvent& event) {
    (void)event.GetKeyCode();
}

// ---------------------------------------------------------------- GLCanvas

wxBEGIN_EVENT_TABLE(GLCanvas, wxGLCanvas)
    EVT_SIZE(GLCanvas::OnSize)
    EVT_PAINT(GLCanvas::OnPaint)
    EVT_ERASE_BACKGROUND(GLCanvas::OnEraseBackground)
    EVT_IDLE(GLCanvas::OnIdle)
    EVT_ENTER_WINDOW(GLCanvas::OnEnterWindow)
    EVT_KEY_DOWN(GLCanvas::OnKeyDown)
    EVT_LEFT_DOWN(GLCanvas::OnLeftDown)
    EVT_MOTION(GLCanvas::OnMouseMove)
wxEND_EVENT_TABLE()

namespace {
wxGLAttributes canvasAttributes() {
    // swapped every frame and depth-tested
    wxGLAttributes attrs;
    attrs.PlatformDefaults().RGBA().DoubleBuffer().Depth(16).EndList();
    return attrs;
}
}  // namespace

GLCanvas::GLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                   long style)
    : wxGLCanvas(parent, canvasAttributes(), id, pos, size, style, "GLCanvas"),
      context(nullptr), initialized(false), f3d(nullptr), tunnel(nullptr), hud(nullptr),
      spect(nullptr), model(nullptr), mousePos(0, 0), bgTexture(0), iconTextures{}, scene(nullptr) {
    // Immediate mode throughout, so a compatibility context. It is made
    // current only once the window is on screen.
    context = new wxGLContext(this);
    if (!context->IsOK()) {
        delete context;
        context = nullptr;
    }
}

void GLCanvas::OnSize(wxSizeEvent& event) {
    event.Skip();
    int w, h;
    GetClientSize(&w, &h);
    if (!context || !IsShownOnScreen())
        return;  // nothing to set up without a current context
    SetCurrent(*context);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(w) / (h ? h : 1), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
}

void GLCanvas::OnPaint(wxPaintEvent& event) {
    wxPaintDC dc(this);
    if (!context)
        return;
    SetCurrent(*context);
    if (!initialized) {
        InitGL();
        initialized = true;
    }
    Render();
    glFlush();
    SwapBuffers();
    // a paint alone does not bring the next idle event on GTK3
    wxWakeUpIdle();
    event.Skip();
}

void GLCanvas::OnEraseBackground(wxEraseEvent&) {
    // never cleared by the toolkit: every frame covers the whole view
}

void GLCanvas::OnIdle(wxIdleEvent&) {
    Refresh(true);
}

void GLCanvas::OnEnterWindow(wxMouseEvent& event) {
    SetFocus();
    event.Skip();
}

void GLCanvas::OnKeyDown(wxKeyEvent& event) {
    if (!initialized)
        return;  // nothing to steer before the first frame
    switch (keyActionFor(event.GetKeyCode())) {
    case KeyAction::PrevSong: songCtrl->playPrev(); break;
    case KeyAction::NextSong: songCtrl->playNext(); break;
    case KeyAction::NextEffect: cycle.startChange(f3d->getTicks()); break;
    case KeyAction::None: break;
    }
}

void GLCanvas::OnLeftDown(wxMouseEvent& event) {
    wxPoint p = event.GetPosition();
    switch (hotSpotAt(p.x, p.y)) {
    case HotSpot::Prev: if (songCtrl) songCtrl->playPrev(); break;
    case HotSpot::Play: if (songCtrl) songCtrl->play(); break;
    case HotSpot::Stop: if (songCtrl) songCtrl->stop(); break;
    case HotSpot::Next: if (songCtrl) songCtrl->playNext(); break;
    case HotSpot::Close: closeWin = true; break;
    case HotSpot::Iconize: iconizeWin = true; break;
    case HotSpot::None: break;
    }
}

void GLCanvas::OnMouseMove(wxMouseEvent& event) {
    mousePos = event.GetPosition();
}

void GLCanvas::drawControls() {
    Highlight h = highlightAt(mousePos.x, mousePos.y);
    if (h.icon >= 0)
        f3d->draw2DSprite(h.x, h.y, h.width, h.height, iconTextures[h.icon]);
}

// ---------------------------------------------------------------- director

void GLCanvas::InitGL() {
    SetCurrent(*context);
    f3d = new CF3D;
    hud = new CHud(f3d);
    tunnel = new CTunnel(f3d);
    spect = new CSpect(f3d);
    f3d->init2DFont("data/gfx/font_test2.png", 0, 16, 16, 16, 16, 256);
    f3d->initGlow();
    songCtrl = new CSongCtrl(f3d);
    model = new CMD2Model;
    model->LoadModel("data/3d/boll3.md2");
    model->SetFrame(0);
    bgTexture = f3d->loadTexture("data/gfx/bg.png");
    iconTextures[0] = f3d->loadTexture("data/gfx/ico_prev.png");
    iconTextures[1] = f3d->loadTexture("data/gfx/ico_play.png");
    iconTextures[2] = f3d->loadTexture("data/gfx/ico_stop.png");
    iconTextures[3] = f3d->loadTexture("data/gfx/ico_next.png");
    iconTextures[4] = f3d->loadTexture("data/gfx/ico_close.png");
    scene = new CEffectScene(f3d, tunnel, spect, model, bgTexture);
    // one pixel wider than the canvas
    f3d->initGL(396, 260);
}

void GLCanvas::Render() {
    f3d->setTicks(static_cast<int>(frameClock.Time()));
    f3d->calcDt();

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glLoadIdentity();

    cycle.beginFrame(f3d->getTicks(), f3d->getDt());

    scene->draw(cycle.effect, cycle.modelAngle);

    toggleEffect();

    hud->drawBase();
    hud->drawScroller();
    songCtrl->drawSongMenu();
    hud->drawOverlay();
    drawControls();
}

void GLCanvas::toggleEffect() {
    if (!cycle.stepFade(f3d->getDt()))
        return;
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

wxIMPLEMENT_APP(MyApp);
