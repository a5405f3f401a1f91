// A toolkit drag source for the drop scenario: a small window that, when pressed, drags the
// files named on its command line as a file list, prints whether they were taken, and ends.
#include <cstdio>

#include <wx/dnd.h>
#include <wx/wx.h>

class DragPanel : public wxPanel {
public:
    DragPanel(wxFrame* frame, const wxArrayString& files) : wxPanel(frame), files(files) {
        Bind(wxEVT_LEFT_DOWN, &DragPanel::OnDown, this);  // the toolkit drags only from a press
    }

private:
    void OnDown(wxMouseEvent&) {
        wxFileDataObject data;
        for (const wxString& f : files) data.AddFile(f);
        wxDropSource source(data, this);
        std::printf("%s\n", source.DoDragDrop(wxDrag_CopyOnly) == wxDragCopy ? "taken" : "refused");
        std::fflush(stdout);
        GetParent()->Close(true);
    }

    wxArrayString files;
};

class DragApp : public wxApp {
    bool OnInit() override {
        wxArrayString files;
        for (int i = 1; i < argc; ++i) files.Add(argv[i]);
        auto* frame = new wxFrame(nullptr, wxID_ANY, "drag source", wxPoint(820, 600), wxSize(120, 120));
        new DragPanel(frame, files);
        return frame->Show();
    }
};

wxIMPLEMENT_APP(DragApp);
