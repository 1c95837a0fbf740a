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

bool CQuillmarkDlg::Busy() const { return jobs_.Running() || ModalDepth() > 0; }

void CQuillmarkDlg::OnTimer() {
  // A tick that comes while a job or a message box is open is skipped; the
  // timer keeps running and the next tick tries again.
  if (Busy()) return;
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
  ReturnBatch(batch, folder);  // left over from a tick that did not end

  const std::vector<std::string> all = ListFolder(folder, "*.*", EntryKind::Files);
  const std::vector<std::string> settled = watch_.Settled(folder);
  if (settled.empty() && !all.empty()) {
    OnUpdateList();  // nothing has settled yet: what a Print of no file would do
    return;
  }
  if (settled.size() == all.size()) {
    RunJob([this, &item](JobContext& ctx) { return commands_.print(ctx, item); });
    return;
  }
  // Some files are still changing: print the settled ones from a batch
  // folder and leave the others for a later tick.
  MoveFiles(folder, batch, settled);
  RunJob([this, &batchItem](JobContext& ctx) { return commands_.print(ctx, batchItem); });
  ReturnBatch(batch, folder);  // what a failed Print left behind
}

}  // namespace qm::gui
