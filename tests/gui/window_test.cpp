// Quitting, the tray icon, the About box and input during a job.
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>

#include "app/AboutVEXDlg.h"
#include "app/SettingDlg.h"
#include "app/WorkflowDlg.h"
#include "app/gui_hooks.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
using W = gui::CQuillmarkDlg;

class WindowTest : public GuiTest {};

// The hidden Cancel button, Escape and the title bar's close all ask; No
// keeps the window and its hot folder, Yes closes it.
TEST_F(WindowTest, QuitAsksFirst) {
  MakeItem("MyHotFolder");
  auto& w = StartWindow();
  w.show();
  SelectImage("MyHotFolder");
  w.OnActive();
  answers = {false, false, false, true};
  Ctl<QPushButton>(&w, W::kCancel)->click();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&w, &escape);
  w.close();
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.HotFolderTimer().isActive());
  w.close();
  EXPECT_EQ(questions, Strings(4, "Want to Quit ?"));
  EXPECT_FALSE(w.isVisible());
}

// Minimised with a system tray, the window hides behind one icon that a
// double-click (not a click) brings back; without one (GNOME) it stays on the
// task bar.
TEST_F(WindowTest, MinimizeHidesToOneTrayIcon) {
  gui::TestHooks().trayAvailable = [] { return true; };
  auto& w = StartWindow();
  w.show();
  for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::DoubleClick}) {
    const bool hidden = !w.isVisible();
    if (!hidden) w.setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.TrayIcon()->toolTip(), "Quillmark\nDouble Click to Show Window !");
    w.OnTrayActivated(reason);
    EXPECT_EQ(w.isVisible(), reason == QSystemTrayIcon::DoubleClick);
  }
  EXPECT_EQ(w.findChildren<QSystemTrayIcon*>().size(), 1);
}

TEST_F(WindowTest, WithoutATrayMinimizeKeepsTheWindow) {
  auto& w = StartWindow();
  w.show();
  w.setWindowState(Qt::WindowMinimized);
  QApplication::processEvents();
  EXPECT_FALSE(w.isHidden());
}

TEST_F(WindowTest, DoubleClickInAboutTogglesSettingAndWorkflow) {
  auto& w = StartWindow();
  auto* setting = Ctl<QPushButton>(&w, W::kSetting);
  auto* workflow = Ctl<QPushButton>(&w, W::kWorkflow);
  Ctl<QPushButton>(&w, W::kAbout)->click();
  EXPECT_TRUE(w.AboutDlg()->isVisible());
  EXPECT_FALSE(Ctl<QLabel>(w.AboutDlg(), gui::CAboutVEXDlg::kPicture)->pixmap().isNull());
  EXPECT_FALSE(w.windowIcon().pixmap(32).isNull());
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(w.AboutDlg(), &dbl);
  EXPECT_FALSE(setting->isHidden() || workflow->isHidden());
  setting->click();
  EXPECT_TRUE(w.SettingDlg()->isVisible());
  workflow->click();
  EXPECT_TRUE(w.WorkflowDlg()->isVisible());
  QApplication::sendEvent(w.AboutDlg(), &dbl);
  EXPECT_TRUE(setting->isHidden() && workflow->isHidden());
}

// While a job runs, the windows take no input but do take its status.
TEST_F(WindowTest, AJobHoldsOffInputAndMovesTheProgress) {
  MakeItem("photo", {"photo.pdf"});
  gui::EngineCommands c = gui::DefaultEngineCommands();
  std::vector<int> seen;
  bool quitAsked = false;
  c.print = [&](JobContext& ctx, const std::string&, FileFailure*) {
    ctx.host.SetStatus(StatusLine::Separation, "/in/photo.pdf");
    for (int p : {5, 10, 65}) {
      ctx.host.SetProgress(ProgressBar::Separation, p);
      QMetaObject::invokeMethod(window.get(), [&] {
        seen.push_back(Ctl<QProgressBar>(window.get(), W::kSeparationProgress)->value());
      }, Qt::BlockingQueuedConnection);
    }
    // Input meant for the windows is dropped while the job runs.
    QMetaObject::invokeMethod(window.get(), [&] {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(window.get(), &escape);
      QCloseEvent close;
      QApplication::sendEvent(window->SettingDlg(), &close);
      quitAsked = !questions.empty();
    }, Qt::BlockingQueuedConnection);
    ctx.host.ShowMessage("Fail to Print !");
    ctx.host.SetStatus(StatusLine::Separation, "None");
    return false;
  };
  auto& w = StartWindow(c);
  w.show();
  Ctl<QLineEdit>(w.SettingDlg(), gui::CSettingDlg::kSuffix)->setText("esc");  // applied only by a close that got through
  SelectImage("photo");
  w.OnPrint();
  EXPECT_EQ(seen, (std::vector<int>{5, 10, 65}));
  EXPECT_FALSE(quitAsked);
  EXPECT_EQ(messages, Strings{"Fail to Print !"});
  EXPECT_EQ(Ctl<QLabel>(&w, W::kSeparationStatus)->text(), "None");
  EXPECT_FALSE(w.JobRunning());
  EXPECT_EQ(w.Setting().Suffix, "prn");
}

}  // namespace
}  // namespace qm::test
