#ifndef CHIPDISK_MAIN_H
#define CHIPDISK_MAIN_H

#include <wx/wx.h>
#include <wx/glcanvas.h>

#include <GL/gl.h>

#include <cstdint>
#include <memory>

#include "CDirector.h"
#include "CMprisService.h"

class MyApp : public wxApp {
public:
    MyApp();
    bool OnInit() override;
};

class GLCanvas : public wxGLCanvas {
public:
    GLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style);

    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnEraseBackground(wxEraseEvent& event);
    void OnIdle(wxIdleEvent& event);
    void OnEnterWindow(wxMouseEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnMouseMove(wxMouseEvent& event);
    void OnDropFiles(wxDropFilesEvent& event);

    void InitGL();
    void Render();
    void toggleEffect();
    void drawControls();

private:
    void magnify();
    // From the start of a paint to its swap, as the recent paints took (median).
    int64_t expectedPaintNs() const;

    wxGLContext* context;
    int64_t paintNs[15] = {};  // the latest paints' durations, oldest overwritten
    int paints = 0;
    GLuint magnifyTexture = 0;
    bool initialized;
    CDirector director;  // everything drawn in the view, and what clicks and keys do

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
    void OnCaptureLost(wxMouseCaptureLostEvent& event);

private:
    void closeFrame();

    GLCanvas* canvas;
    wxBitmap shapeBitmap;
    wxPoint dragOffset;
    bool shaped;
    std::unique_ptr<CMprisService> mpris;  // the desktop's media controls

    wxDECLARE_EVENT_TABLE();
};

#endif
