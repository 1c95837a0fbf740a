// The main window's tray icon and hot folder.
#include <QEvent>
#include <QListWidget>
#include <QTimer>

#include "app/QuillmarkDlg.h"
#include "app/gui_hooks.h"
#include "platform/platform.h"
#include "settings/WorkflowDlg.h"

namespace qm::gui {

namespace {
constexpr int kPreservedCheck = 1055;
}

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
  // The files are taken out of the hot folder, so each is printed once.
  const bool preserved = workflowDlg_->Init().dfPreserveCF;
  if (preserved) workflowDlg_->SetCheck(kPreservedCheck, false);
  PrintHotFolder(item);
  if (preserved) workflowDlg_->SetCheck(kPreservedCheck, true);
}

void CQuillmarkDlg::PrintHotFolder(const std::string& item) {
  if (!commands_.print) return;
  const std::filesystem::path folder = CustomFilesDir() / item;
  const std::string batchItem = BatchItemName(item);
  const std::filesystem::path batch = CustomFilesDir() / batchItem;
  ReturnFromBatch(batch, folder);  // left over from a tick that did not end

  const std::vector<std::string> all = ListFolder(folder, "*.*", EntryKind::Files);
  const std::vector<std::string> settled = watch_.Settled(folder);
  if (settled.empty() && !all.empty()) {
    OnUpdateList();  // nothing has settled yet: what a Print of no file would do
    return;
  }
  // Some files may still be changing: then the settled ones are printed from
  // a batch folder and the others are left for a later tick.
  const bool whole = settled.size() == all.size();
  if (!whole) MoveFiles(folder, batch, settled);
  const std::string printed = whole ? item : batchItem;
  FileFailure failure;
  const bool ok =
      RunJob([this, &printed, &failure](JobContext& ctx) { return commands_.print(ctx, printed, &failure); });
  // A file that failed is set aside where the operator finds it, so that it
  // is neither lost nor printed again at every tick.
  if (!ok && !failure.file.empty()) {
    const std::filesystem::path from = whole ? folder : batch;
    const std::filesystem::path kept = SetAsideFailed(from, failure.file, item);
    Warn(failure.file + " was not printed (" + failure.cause + ") and " +
         (kept.empty() ? "stays in " + from.string() : "was moved to " + kept.string()));
  }
  if (!whole) ReturnFromBatch(batch, folder);  // what the Print command did not reach
}

void CQuillmarkDlg::ReturnFromBatch(const std::filesystem::path& batch, const std::filesystem::path& folder) {
  for (const std::string& renamed : ReturnBatch(batch, folder)) {
    Warn("a newer file took the name in the hot folder: " + renamed);
  }
}

}  // namespace qm::gui
