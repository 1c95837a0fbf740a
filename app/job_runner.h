// Runs one job on a worker thread while the GUI thread keeps painting.
//
// While a job runs, input to the program's own windows (the main window and
// the Setting, Workflow and About dialogs) is dropped, so no setting changes
// under a running job; the windows still repaint, so the status lines and
// progress bars move. The job's calls on the window are carried to the GUI
// thread: status and progress in order, messages and list refreshes waiting
// for the GUI thread, so every message box opens there.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

#include "platform/job_host.h"

namespace qm::gui {

class JobRunner : public QObject {
  Q_OBJECT
 public:
  // `gui` is the window's own host, used on the GUI thread only.
  explicit JobRunner(JobHost& gui, QObject* parent = nullptr);

  // The windows whose input is held off during a job.
  void SetWindows(std::vector<QWidget*> windows);
  bool Running() const { return running_; }

  // Runs `job` on a worker thread and returns its result once it has ended
  // and every status update it made has reached the window.
  bool Run(const std::function<bool(JobHost&)>& job);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  JobHost& gui_;
  std::vector<QPointer<QWidget>> windows_;
  bool running_ = false;
};

}  // namespace qm::gui
