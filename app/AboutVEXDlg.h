// CAboutVEXDlg: a picture and a short notice. A double-click anywhere in it
// shows or hides the main window's Setting and Workflow buttons.
#pragma once

#include <QDialog>

#include <functional>

namespace qm::gui {

class CAboutVEXDlg : public QDialog {
  Q_OBJECT
 public:
  enum Id : int { kDialog = 141, kPicture = 140 };  // object names

  explicit CAboutVEXDlg(std::function<void()> toggleHiddenButtons, QWidget* parent = nullptr);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  std::function<void()> toggle_;
};

}  // namespace qm::gui
