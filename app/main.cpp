#include "main.h"

#include <GL/glu.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <wx/display.h>
#include <wx/log.h>
#include <wx/sizer.h>

#include "CCommandLine.h"
#include "CDataRoot.h"
#include "CRecorder.h"
#include "CSettings.h"
#include "HotSpots.h"
#include "PlainPath.h"
#include "SoundLib.h"
#include "SteadyClock.h"
#include "SwapInterval.h"

namespace {
// The songs the command line asked for; empty: the songs folder.
std::vector<std::string> commandSongs;

// What is remembered between runs; the repeat mode and shuffle of this run, which the
// command line may have chosen for it alone: only a change made while running is kept.
std::unique_ptr<CSettings> settings;
RepeatMode runRepeat = RepeatMode::Song;
bool runShuffled = false;
bool saveFailed = false;  // said once

void saveSettings() {
    const std::string problem = settings->save();
    if (!problem.empty() && !saveFailed) std::fprintf(stderr, "chipdisk: %s\n", problem.c_str());
    saveFailed = !problem.empty();
}

// After a key or the bus changed the repeat mode or shuffle.
void rememberPlayModes() {
    if (!songCtrl) return;
    if (songCtrl->getRepeat() != runRepeat) {
        runRepeat = songCtrl->getRepeat();
        settings->setRepeat(runRepeat);
    }
    if (songCtrl->getShuffle() != runShuffled) {
        runShuffled = songCtrl->getShuffle();
        settings->setShuffle(runShuffled);
    }
    saveSettings();
}

// The frame clock: started with the frame, read once per frame by Render. A
// monotonic clock, so setting the system clock neither jumps nor stalls the show.
std::chrono::steady_clock::time_point frameClockStart = std::chrono::steady_clock::now();

int frameClockMs() {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - frameClockStart)
            .count());
}
}  // namespace

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

wxBEGIN_EVENT_TABLE(AppFrame, wxFrame) EVT_LEFT_DCLICK(AppFrame::OnDoubleClick) EVT_LEFT_DOWN(AppFrame::OnLeftDown)
    EVT_LEFT_UP(AppFrame::OnLeftUp) EVT_MOTION(AppFrame::OnMouseMove) EVT_RIGHT_UP(AppFrame::OnExit)
        EVT_IDLE(AppFrame::OnIdle) EVT_PAINT(AppFrame::OnPaint) EVT_WINDOW_CREATE(AppFrame::OnWindowCreate)
            EVT_KEY_DOWN(AppFrame::OnKeyDown) EVT_MOUSE_CAPTURE_LOST(AppFrame::OnCaptureLost) wxEND_EVENT_TABLE()

                AppFrame::AppFrame()
    : wxFrame(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(300, 300),
              wxSIMPLE_BORDER | wxSTAY_ON_TOP | wxFRAME_SHAPED, wxFrameNameStr),
      canvas(nullptr), shaped(false) {
    {
        // a missing picture leaves the frame plain; wx would say so in a modal box
        wxLogNull quiet;
        shapeBitmap = wxBitmap(CDataRoot::resolve("data/gfx/star.png"), wxBITMAP_TYPE_PNG);
    }
    if (shapeBitmap.IsOk()) SetSize(wxSize(shapeBitmap.GetWidth(), shapeBitmap.GetHeight()));
    SetToolTip("velmo chipdisk");

    wxGridSizer* sizer = new wxGridSizer(1, 1, 0, 0);
    SetSizer(sizer, true);
    canvas = new GLCanvas(this, wxID_ANY, wxPoint(0, 0), wxSize(395, 260), 0);
    sizer->Add(canvas, 0, wxALL | wxALIGN_CENTRE, 35);
    sizer->Fit(this);
    sizer->SetSizeHints(this);

    frameClockStart = std::chrono::steady_clock::now();

    // the remembered place, unless that screen is gone
    if (settings->hasWindowPosition()) {
        const wxPoint remembered(settings->windowX(), settings->windowY());
        if (wxDisplay::GetFromPoint(remembered) != wxNOT_FOUND) Move(remembered);
    }

    CMprisService::Hooks hooks;
    hooks.raise = [this] {
        Iconize(false);
        Show(true);
        Raise();
    };
    hooks.quit = [] {
        closeWin = true;
        wxWakeUpIdle();
    };
    hooks.playModeChanged = rememberPlayModes;
    mpris = std::make_unique<CMprisService>(hooks);
}

void AppFrame::SetWindowShape() {
    if (!shapeBitmap.IsOk()) return;  // no star picture: the frame stays a plain rectangle
    wxRegion region(shapeBitmap, wxColour(255, 0, 255), 0);
    shaped = SetShape(region);
}

void AppFrame::OnWindowCreate(wxWindowCreateEvent& event) {
    // the canvas's creation travels up here too
    if (event.GetWindow() == this) SetWindowShape();
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
    if (!HasCapture()) return;
    ReleaseMouse();
    // a drag has ended
    const wxPoint at = GetPosition();
    if (!settings->hasWindowPosition() || settings->windowX() != at.x || settings->windowY() != at.y) {
        settings->setWindowPosition(at.x, at.y);
        saveSettings();
    }
}

void AppFrame::OnMouseMove(wxMouseEvent& event) {
    wxPoint pos = event.GetPosition();
    if (event.Dragging() && event.LeftIsDown()) {
        wxPoint screen = ClientToScreen(pos);
        Move(wxPoint(screen.x - dragOffset.x, screen.y - dragOffset.y), wxSIZE_USE_EXISTING);
    }
}

void AppFrame::OnCaptureLost(wxMouseCaptureLostEvent&) {
    // another window took the mouse mid-drag: the drag simply ends
}

void AppFrame::closeFrame() {
    if (HasCapture()) ReleaseMouse();  // a window may not go with the mouse still captured
    const wxPoint at = GetPosition();
    settings->setWindowPosition(at.x, at.y);
    saveSettings();
    Close(false);
}

void AppFrame::OnExit(wxMouseEvent&) {
    closeFrame();
    wxWakeUpIdle();  // lets the loop finish the close without further input
}

void AppFrame::OnIdle(wxIdleEvent& event) {
    mpris->poll();  // once per frame: the canvas asks for the next one at each idle
    if (iconizeWin) {
        Iconize(true);
        iconizeWin = false;
    }
    if (closeWin) {
        closeFrame();
        wxWakeUpIdle();
    }
    event.Skip();
}

void AppFrame::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (shapeBitmap.IsOk()) dc.DrawBitmap(shapeBitmap, 0, 0, true);
}

void AppFrame::OnKeyDown(wxKeyEvent& event) { (void)event.GetKeyCode(); }

// ---------------------------------------------------------------- GLCanvas

wxBEGIN_EVENT_TABLE(GLCanvas, wxGLCanvas) EVT_SIZE(GLCanvas::OnSize) EVT_PAINT(GLCanvas::OnPaint)
    EVT_ERASE_BACKGROUND(GLCanvas::OnEraseBackground) EVT_IDLE(GLCanvas::OnIdle)
        EVT_ENTER_WINDOW(GLCanvas::OnEnterWindow) EVT_KEY_DOWN(GLCanvas::OnKeyDown) EVT_LEFT_DOWN(GLCanvas::OnLeftDown)
            EVT_MOTION(GLCanvas::OnMouseMove) EVT_DROP_FILES(GLCanvas::OnDropFiles) wxEND_EVENT_TABLE()

                namespace {
    wxGLAttributes canvasAttributes() {
        // swapped every frame and depth-tested
        wxGLAttributes attrs;
        attrs.PlatformDefaults().RGBA().DoubleBuffer().Depth(16).EndList();
        return attrs;
    }
}  // namespace

GLCanvas::GLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style)
    : wxGLCanvas(parent, canvasAttributes(), id, pos, size, style, "GLCanvas"), context(nullptr), initialized(false),
      director(commandSongs) {
    // Immediate mode throughout, so a compatibility context. It is made
    // current only once the window is on screen.
    DragAcceptFiles(true);  // songs, folders or playlists dropped here become the song list
    director.startWith(runRepeat, runShuffled);
    director.playModeChanged = rememberPlayModes;
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
    if (!context || !IsShownOnScreen()) return;  // nothing to set up without a current context
    SetCurrent(*context);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(w) / (h ? h : 1), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
}

void GLCanvas::OnPaint(wxPaintEvent& event) {
    wxPaintDC dc(this);
    if (!context) return;
    SetCurrent(*context);
    if (!initialized) {
        requestSwapInterval();
        InitGL();
        initialized = true;
    }
    // the rings should move with what is heard when the frame is on screen
    static const bool plainSpectrum = plainPath("avsync");
    const int64_t begunNs = steadyClockNs();
    if (!plainSpectrum) soundLayerShowAt(begunNs + expectedPaintNs());
    Render();
    magnify();
    glFlush();
    SwapBuffers();
    paintNs[paints++ % 15] = steadyClockNs() - begunNs;
    // a paint alone does not bring the next idle event on GTK3
    wxWakeUpIdle();
    event.Skip();
}

// On a scaled desktop (GDK_SCALE=2) the canvas has scale x 395 x 260 pixels: the
// frame is drawn at its own size as always and then shown magnified, pixel for
// pixel, so it looks the same, only bigger, and lines up with the hot spots.
void GLCanvas::magnify() {
    const int scale = static_cast<int>(GetContentScaleFactor() + 0.5);
    if (scale <= 1) return;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    if (!magnifyTexture) {
        glGenTextures(1, &magnifyTexture);
        glBindTexture(GL_TEXTURE_2D, magnifyTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 512, 512, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    }
    glBindTexture(GL_TEXTURE_2D, magnifyTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, 396, 260);
    glViewport(0, 0, 396 * scale, 260 * scale);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float s = 396.0f / 512, t = 260.0f / 512;
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(s, 0);
    glVertex2f(1, 0);
    glTexCoord2f(s, t);
    glVertex2f(1, 1);
    glTexCoord2f(0, t);
    glVertex2f(0, 1);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

int64_t GLCanvas::expectedPaintNs() const {
    const int n = std::min(paints, 15);
    if (n == 0) return 0;
    int64_t sorted[15];
    std::copy(paintNs, paintNs + n, sorted);
    std::nth_element(sorted, sorted + n / 2, sorted + n);
    return sorted[n / 2];
}

void GLCanvas::OnEraseBackground(wxEraseEvent&) {
    // never cleared by the toolkit: every frame covers the whole view
}

void GLCanvas::OnIdle(wxIdleEvent&) { Refresh(true); }

void GLCanvas::OnEnterWindow(wxMouseEvent& event) {
    SetFocus();
    event.Skip();
}

void GLCanvas::OnKeyDown(wxKeyEvent& event) { director.key(keyActionFor(event.GetKeyCode())); }

void GLCanvas::OnLeftDown(wxMouseEvent& event) {
    const wxPoint p = event.GetPosition();
    director.click(p.x, p.y);
}

void GLCanvas::OnMouseMove(wxMouseEvent& event) {
    const wxPoint p = event.GetPosition();
    director.setMouse(p.x, p.y);
}

void GLCanvas::OnDropFiles(wxDropFilesEvent& event) {
    std::vector<std::string> files;
    for (int i = 0; i < event.GetNumberOfFiles(); ++i) files.push_back(event.GetFiles()[i].utf8_string());
    director.useSongs(files);
}

void GLCanvas::drawControls() { director.drawControls(); }

// ---------------------------------------------------------------- director

void GLCanvas::InitGL() {
    SetCurrent(*context);
    director.InitGL();
}

void GLCanvas::Render() { director.Render(frameClockMs()); }

void GLCanvas::toggleEffect() { director.toggleEffect(); }

// ---------------------------------------------------------------- entry

wxIMPLEMENT_APP_NO_MAIN(MyApp);

namespace {
void reportToolkitAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                         const wxString& msg) {
    std::fprintf(stderr, "chipdisk: toolkit assert: %s:%d in %s: %s %s\n", file.utf8_str().data(), line,
                 func.utf8_str().data(), cond.utf8_str().data(), msg.utf8_str().data());
}
}  // namespace

int main(int argc, char** argv) {
    // The software renderer allocates and frees blocks of hundreds of kilobytes every
    // frame; from the heap, without a fresh mapping and its page faults each time.
    if (!plainPath("malloc")) {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 512 << 20);
    }
    const command_t command = CCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    switch (command.mode) {
        case command_t::Help:
            std::fputs(CCommandLine::usage(), stdout);
            return 0;
        case command_t::Version:
            std::printf("chipdisk %s\n", CHIPDISK_VERSION);
            return 0;
        case command_t::Error:
            std::fprintf(stderr, "chipdisk: %s\n", command.error.c_str());
            return 2;
        case command_t::Record:
            // before any window toolkit starts: no display is needed
            return CRecorder::run(command);
        case command_t::Window:
            break;
    }
    const std::string problem = CCommandLine::checkSongs(command.songs);
    if (!problem.empty()) std::fprintf(stderr, "chipdisk: %s\n", problem.c_str());
    commandSongs = command.songs;
    settings = std::make_unique<CSettings>(CSettings::defaultPath());
    const std::string unread = settings->load();
    if (!unread.empty()) std::fprintf(stderr, "chipdisk: %s\n", unread.c_str());
    runRepeat = settings->repeat();
    runShuffled = settings->shuffle();
    CSettings::parseRepeat(command.repeat, runRepeat);  // an option holds for this run
    runShuffled = runShuffled || command.shuffle;
    // A toolkit assert says one line on standard error and never opens a dialog,
    // which would block the window; the window tests fail on such a line.
    wxSetAssertHandler(reportToolkitAssert);
    return wxEntry(argc, argv);
}
