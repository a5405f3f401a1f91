// A toolkit drag source for the drop scenario: a small window that, when pressed, drags the
// files named on its command line as a file list, prints whether they were taken, and ends.
#include <cstdio>

#include <wx/dnd.h>
#include <wx/wx.h>

class DragApp : public wxApp {
    bool OnInit() override {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "drag source", wxPoint(820, 600), wxSize(120, 120));
        auto* panel = new wxPanel(frame);
        panel->Bind(wxEVT_LEFT_DOWN, [this, frame, panel](wxMouseEvent&) {  // the toolkit drags only from a press
            wxFileDataObject data;
            for (int i = 1; i < argc; ++i) data.AddFile(argv[i]);
            wxDropSource source(data, panel);
            std::printf("%s\n", source.DoDragDrop(wxDrag_CopyOnly) == wxDragCopy ? "taken" : "refused");
            std::fflush(stdout);
            frame->Close(true);
        });
        return frame->Show();
    }
};

wxIMPLEMENT_APP(DragApp);
