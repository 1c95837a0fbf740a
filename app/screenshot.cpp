#include "app/screenshot.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QThread>

#include <cstdio>
#include <string>

#include "app/QuillmarkDlg.h"
#include "app/gui_hooks.h"
#include "app/message_map.h"
#include "app/SettingDlg.h"
#include "app/WorkflowDlg.h"

namespace qm::gui {

namespace {
void Settle() {
  for (int i = 0; i < 10; ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
}
}  // namespace

bool TakeScreenshots(CQuillmarkDlg& window, const QString& dir) {
  TestHooks().message = [](std::string_view text, std::string_view) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  };
  QDir().mkpath(dir);
  window.StartUp();
  window.ToggleHiddenButtons();  // as a double-click in the About box does
  window.resize(1000, 640);
  window.move(20, 20);
  window.show();
  Settle();
  // The first PRN file in the preview pane, as a click in the Prn List shows it.
  if (auto* prnList = Control<QListWidget>(&window, CQuillmarkDlg::kPrnList); prnList && prnList->count() > 0) {
    prnList->setCurrentRow(0);
    while (window.Preview()->Rendering()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  Settle();
  bool ok = window.grab().save(dir + QStringLiteral("/main-window.png"));
  window.OnSetting();
  window.SettingDlg()->move(600, 20);
  Settle();
  ok = window.SettingDlg()->grab().save(dir + QStringLiteral("/setting-dialog.png")) && ok;
  window.OnWorkflow();
  window.WorkflowDlg()->move(600, 60);
  Settle();
  ok = window.WorkflowDlg()->grab().save(dir + QStringLiteral("/workflow-dialog.png")) && ok;
  return ok;
}

}  // namespace qm::gui
