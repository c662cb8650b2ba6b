#pragma once
// The one document class behind every MDI window. It holds the id of the view
// that owns it, and when a frame closes it lets the frame's view finish its
// close handling once (a view whose closed flag is already set is left alone).
#include "ui/document_view.h"

class QWidget;
namespace ui {
class DocumentArea;
}

// What a view of an MDI window offers its document when the frame closes
// (declared low, so the window folders' views can implement it).
using DocumentView = ui::DocumentView;

class CVortanexDoc {
public:
    void SetViewId(int id) { m_viewId = id; }
    int GetViewId() const { return m_viewId; }

    // Called while `frame` closes: finds the DocumentView in the frame (the
    // frame itself or a child) and runs its close handling by class name.
    void PreCloseFrame(QWidget* frame);

private:
    int m_viewId = 0;
};

// Lets the document finish the close handling of every view whose window
// the frame's document area closes: a tab's close, the close command, and
// the windows still open at the exit.
void InstallDocumentClosing(ui::DocumentArea& documents);
