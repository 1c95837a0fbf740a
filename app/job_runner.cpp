#include "app/job_runner.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QWindow>

#include <string>
#include <thread>

namespace qm::gui {

namespace {

// The host the worker sees: every call is carried to the GUI thread.
class ThreadHost : public JobHost {
 public:
  ThreadHost(QObject* context, JobHost& gui) : context_(context), gui_(gui) {}

  void ShowMessage(std::string_view text, std::string_view cause) override {
    std::string t(text), c(cause);
    QMetaObject::invokeMethod(context_, [this, &t, &c] { gui_.ShowMessage(t, c); },
                              Qt::BlockingQueuedConnection);
  }
  void Warn(std::string_view text) override {
    QMetaObject::invokeMethod(context_, [this, t = std::string(text)] { gui_.Warn(t); },
                              Qt::QueuedConnection);
  }
  void SetStatus(StatusLine line, std::string_view text) override {
    QMetaObject::invokeMethod(context_, [this, line, t = std::string(text)] { gui_.SetStatus(line, t); },
                              Qt::QueuedConnection);
  }
  void SetProgress(ProgressBar bar, int position) override {
    QMetaObject::invokeMethod(context_, [this, bar, position] { gui_.SetProgress(bar, position); },
                              Qt::QueuedConnection);
  }
  void RefreshLists() override {
    QMetaObject::invokeMethod(context_, [this] { gui_.RefreshLists(); },
                              Qt::BlockingQueuedConnection);
  }
  void Log(std::string_view line) override {
    QMetaObject::invokeMethod(context_, [this, l = std::string(line)] { gui_.Log(l); },
                              Qt::QueuedConnection);
  }

 private:
  QObject* context_;
  JobHost& gui_;
};

bool IsInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Drop:
    case QEvent::Close:
      return true;
    default:
      return false;
  }
}

}  // namespace

JobRunner::JobRunner(JobHost& gui, QObject* parent) : QObject(parent), gui_(gui) {}

void JobRunner::SetWindows(std::vector<QWidget*> windows) {
  windows_.clear();
  for (QWidget* w : windows) windows_.emplace_back(w);
}

bool JobRunner::Run(const std::function<bool(JobHost&)>& job) {
  running_ = true;
  QCoreApplication::instance()->installEventFilter(this);
  ThreadHost host(this, gui_);
  bool result = false;
  QEventLoop loop;
  std::thread worker([&] {
    try {
      result = job(host);
    } catch (...) {
      result = false;  // the engine reports its own failures; nothing may escape the thread
    }
    // Queued behind every status update the job made.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  QCoreApplication::instance()->removeEventFilter(this);
  running_ = false;
  return result;
}

bool JobRunner::eventFilter(QObject* watched, QEvent* event) {
  if (!running_ || !IsInput(event->type())) return false;
  QWidget* target = nullptr;
  if (auto* w = qobject_cast<QWidget*>(watched)) {
    target = w->window();
  } else if (auto* win = qobject_cast<QWindow*>(watched)) {
    for (const QPointer<QWidget>& w : windows_) {
      if (w && w->windowHandle() == win) target = w;
    }
  }
  for (const QPointer<QWidget>& w : windows_) {
    if (w && w == target) {
      event->ignore();  // a dropped close event must not count as accepted
      return true;
    }
  }
  return false;
}

}  // namespace qm::gui
