// The main window's tray icon and hot folder.
#include <QEvent>
#include <QListWidget>
#include <QTimer>

#include "app/QuillmarkDlg.h"
#include "app/gui_hooks.h"
#include "platform/job_lock.h"
#include "platform/platform.h"
#include "app/WorkflowDlg.h"

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
  PrintHotFolder(item);
}

void CQuillmarkDlg::PrintHotFolder(const std::string& item) {
  if (!commands_.print) return;
  const std::filesystem::path folder = CustomFilesDir() / item;
  const std::string batchItem = BatchItemName(item);
  const std::filesystem::path batch = CustomFilesDir() / batchItem;
  // Looked at also when the tick goes no further, so the files' stillness
  // is counted at every tick.
  const std::vector<std::string> settled = watch_.Settled(folder);
  // The tick touches the folder only while it holds the job lock. Another
  // job holding it (quillmark-cli on the same AppDir) is no failure: the
  // tick is skipped without a box and the next one tries again.
  JobLock lock;
  if (!lock.Held()) {
    Log("hot folder " + item + ": tick skipped, " + lock.Refusal());
    return;
  }
  ReportReturned(lock);  // files a killed tick left in a batch folder
  for (const std::string& link : SymbolicLinks(folder)) {
    const std::filesystem::path kept = SetAsideLink(folder, link, item);
    Warn(link + " was not printed (a symbolic link) and " +
         (kept.empty() ? "stays in " + folder.string() : "was moved to " + kept.string()));
  }
  if (settled.empty()) {
    // An empty hot folder runs the Print command, which finds nothing and
    // refreshes the lists; files that have not settled wait.
    if (ListFolder(folder, "*.*", EntryKind::Files).empty()) {
      RunTickPrint(item, nullptr);
    } else {
      OnUpdateList();
    }
    return;
  }
  // The settled files are printed from the batch folder; a file dropped
  // meanwhile under one of their names is a new file in the hot folder.
  MoveFiles(folder, batch, settled);
  FileFailure failure;
  const bool ok = RunTickPrint(batchItem, &failure);
  // A file that failed is set aside where the operator finds it, so that it
  // is neither lost nor printed again at every tick.
  if (!ok && !failure.file.empty()) {
    const std::filesystem::path kept = SetAsideFailed(batch, failure.file, item);
    Warn(failure.file + " was not printed (" + failure.cause + ") and " +
         (kept.empty() ? "stays in " + folder.string() : "was moved to " + kept.string()));
  }
  // What the Print command did not reach.
  for (const std::string& renamed : ReturnBatch(batch, folder).renamed) {
    Warn("a newer file took the name in the hot folder " + item + ": " + renamed);
  }
}

bool CQuillmarkDlg::RunTickPrint(const std::string& printed, FileFailure* failure) {
  // Nobody may be there to answer a box: the tick's messages go to the
  // notice line, and the tick holds the job lock for its command. The files
  // are moved out of the hot folder, never copied, whatever "Preserved"
  // says, so each is printed once.
  InitiationSettings moveFiles = workflowDlg_->Init();
  moveFiles.dfPreserveCF = false;
  unattended_ = true;
  const bool ok = RunJob(
      [this, &printed, failure](JobContext& ctx) {
        ctx.lockHeld = true;
        return commands_.print(ctx, printed, failure);
      },
      &moveFiles);
  unattended_ = false;
  return ok;
}

void CQuillmarkDlg::RecoverBatches() {
  // Only where a RipIn exists: the start-up creates no folders.
  std::error_code ec;
  if (!std::filesystem::is_directory(appDir_ / "RipIn" / "CustomFiles", ec)) return;
  const JobLock lock;  // taken, it returns them; held, a job runs and a tick may be at work
  ReportReturned(lock);
}

void CQuillmarkDlg::ReportReturned(const JobLock& lock) {
  for (const std::string& file : lock.Returned()) Log("back in its hot folder from a tick that did not end: " + file);
  for (const std::string& renamed : lock.Renamed()) Warn("a newer file took the name in the hot folder: " + renamed);
}

}  // namespace qm::gui
