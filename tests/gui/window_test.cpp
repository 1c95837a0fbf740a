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
#include "app/gui_hooks.h"
#include "settings/SettingDlg.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

class WindowTest : public GuiTest {};

TEST_F(WindowTest, QuitAnsweredNoKeepsTheWindowAndTheTimer) {
  MakeItem("MyHotFolder");
  auto& w = StartWindow();
  w.show();
  SelectImage("MyHotFolder");
  w.OnActive();
  answers = {false, false, false};
  Ctl<QPushButton>(&w, 2)->click();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&w, &escape);
  w.close();
  EXPECT_EQ(questions, (Strings{"Want to Quit ?", "Want to Quit ?", "Want to Quit ?"}));
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.HotFolderTimer().isActive());
}

TEST_F(WindowTest, QuitAnsweredYesClosesTheWindow) {
  auto& w = StartWindow();
  w.show();
  answers = {true};
  w.close();
  EXPECT_EQ(questions, Strings{"Want to Quit ?"});
  EXPECT_FALSE(w.isVisible());
}

TEST_F(WindowTest, MinimizeHidesToOneTrayIconAndDoubleClickShows) {
  gui::TestHooks().trayAvailable = [] { return true; };
  auto& w = StartWindow();
  w.show();
  for (int round = 0; round < 2; ++round) {
    w.setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.TrayIcon()->toolTip(), "Quillmark\nDouble Click to Show Window !");
    w.OnTrayActivated(QSystemTrayIcon::Trigger);  // a single click does nothing
    EXPECT_FALSE(w.isVisible());
    w.OnTrayActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.windowState() & Qt::WindowMinimized);
  }
  EXPECT_EQ(w.findChildren<QSystemTrayIcon*>().size(), 1);
}

TEST_F(WindowTest, WithoutATrayMinimizeKeepsTheWindow) {
  auto& w = StartWindow();
  w.show();
  w.setWindowState(Qt::WindowMinimized);
  QApplication::processEvents();
  EXPECT_FALSE(w.isHidden());
  EXPECT_EQ(w.TrayIcon()->toolTip(), "Quillmark");
}

TEST_F(WindowTest, DoubleClickInAboutTogglesSettingAndWorkflow) {
  auto& w = StartWindow();
  auto* setting = Ctl<QPushButton>(&w, 1000);
  auto* workflow = Ctl<QPushButton>(&w, 1001);
  EXPECT_TRUE(setting->isHidden());
  EXPECT_TRUE(workflow->isHidden());
  Ctl<QPushButton>(&w, 1058)->click();
  EXPECT_TRUE(w.AboutDlg()->isVisible());
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.AboutDlg(), &dbl);
  EXPECT_FALSE(setting->isHidden());
  EXPECT_FALSE(workflow->isHidden());
  setting->click();
  EXPECT_TRUE(w.SettingDlg()->isVisible());
  QApplication::sendEvent(w.AboutDlg(), &dbl);
  EXPECT_TRUE(setting->isHidden());
  EXPECT_TRUE(workflow->isHidden());
}

// The icons and the About picture come from the GUI library's resources.
TEST_F(WindowTest, IconsAndTheAboutPictureAreLoaded) {
  auto& w = MakeWindow();
  EXPECT_FALSE(w.windowIcon().pixmap(32).isNull());
  EXPECT_FALSE(w.TrayIcon()->icon().pixmap(32).isNull());
  EXPECT_FALSE(Ctl<QLabel>(w.AboutDlg(), 140)->pixmap().isNull());
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
        seen.push_back(Ctl<QProgressBar>(window.get(), 1041)->value());
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
    ctx.host.SetProgress(ProgressBar::Separation, 0);
    return false;
  };
  auto& w = StartWindow(c);
  w.show();
  Ctl<QLineEdit>(w.SettingDlg(), 1032)->setText("esc");  // applied only by a close that got through
  SelectImage("photo");
  w.OnPrint();
  EXPECT_EQ(seen, (std::vector<int>{5, 10, 65}));
  EXPECT_FALSE(quitAsked);
  EXPECT_EQ(messages, Strings{"Fail to Print !"});
  EXPECT_EQ(Ctl<QLabel>(&w, 1044)->text(), "None");
  EXPECT_FALSE(w.JobRunning());
  EXPECT_EQ(w.Setting().Suffix, "prn");  // the close did not apply the Setting dialog
}

}  // namespace
}  // namespace qm::test
