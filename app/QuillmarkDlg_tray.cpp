// The main window's tray icon and hot folder.
#include <QEvent>
#include <QListWidget>
#include <QTimer>

#include "app/QuillmarkDlg.h"
#include "app/gui_hooks.h"
#include "platform/job_lock.h"
#include "platform/platform.h"

namespace qm::gui {

void CQuillmarkDlg::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
    OnMinimize();
  }
}

void CQuillmarkDlg::OnMinimize() {
  // Without a system tray the window stays minimised on the task bar, so it
  // can always be brought back.
  if (!TrayAvailable()) return;
  tray_->setToolTip(QString::fromLatin1(kTrayTipMinimized));
  tray_->show();  // one icon, however often the window is minimised
  // Hidden after the state change has been handled.
  QTimer::singleShot(0, this, [this] {
    if (windowState() & Qt::WindowMinimized) hide();
  });
}

void CQuillmarkDlg::OnTrayActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason != QSystemTrayIcon::DoubleClick) return;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  showNormal();
  raise();
  activateWindow();
}

void CQuillmarkDlg::OnActive() {
  if (SelectedRow(imageList_) < 0) return ShowMessage(kChooseToActivate);
  hotTimer_.start(kHotFolderPeriodMs);  // pressing again restarts the period
}

bool CQuillmarkDlg::Busy() const { return jobs_.Running() || printBoxes_ > 0; }

void CQuillmarkDlg::OnTimer() {
  // A tick that comes while a job runs or a box of a tick or of the Print
  // command waits is skipped; the timer keeps running and the next tick
  // tries again. Other windows (a Setting dialog's "Saved!") hold nothing.
  if (Busy()) return;
  const PrintCommandScope scope(printCommands_);
  const std::string item = SelectedImage();
  if (item.empty()) return ShowMessage(kFailTickNoSelection);
  if (!IsHotFolderName(item)) {
    hotTimer_.stop();
    return ShowMessage(kNameNeedsHotfolder);
  }
  if (!commands_.print) return;
  tick_.Tick(item);
}

bool CQuillmarkDlg::RunTickJob(const std::function<bool(JobContext&)>& job) {
  // Nobody may be there to answer a box: the tick's messages go to the
  // notice line.
  unattended_ = true;
  const bool ok = RunJob(job);
  unattended_ = false;
  return ok;
}

void CQuillmarkDlg::RecoverBatches() {
  // Only where a RipIn exists: the start-up creates no folders.
  std::error_code ec;
  if (!std::filesystem::is_directory(appDir_ / "RipIn" / "CustomFiles", ec)) return;
  const JobLock lock;  // taken, it returns them; held, a job runs and a tick may be at work
  ReportReturned(lock, tickNotices_);
}

}  // namespace qm::gui
