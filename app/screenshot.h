// --screenshot DIR: runs the start-up sequence, shows the main window (with
// the first PRN file of the Prn List in the preview pane) and the Setting and
// Workflow dialogs and saves a picture of each into DIR
// (main-window.png, setting-dialog.png, workflow-dialog.png). Messages are
// printed instead of shown.
#pragma once

#include <QString>

namespace qm::gui {
class CQuillmarkDlg;
bool TakeScreenshots(CQuillmarkDlg& window, const QString& dir);
}  // namespace qm::gui
