// quillmark: the desktop program.
//   quillmark [--app-dir DIR] [--screenshot DIR] [--verbose]
// An --app-dir or QUILLMARK_APPDIR that names no folder ends it with status 2.
#include <QApplication>

#include <cstdio>
#include <string>

#include "app/screenshot.h"
#include "app/QuillmarkDlg.h"
#include "platform/platform.h"
#include "platform/temporaries.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillmark"));
  QApplication::setDesktopFileName(QStringLiteral("quillmark"));
  QString screenshotDir;
  bool verbose = false;
  // The arguments as bytes: a folder name that is no UTF-8 stays itself.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--verbose") verbose = true;  // log lines (hot-folder ticks, jobs) on standard error
    if (i + 1 == argc) break;
    if (arg == "--app-dir") qm::SetAppDirOverride(argv[i + 1]);
    if (arg == "--screenshot") screenshotDir = qm::gui::Text(argv[i + 1]);
  }
  // A mistyped AppDir is never created: the start-up would fill it.
  if (const std::string problem = qm::AppDirProblem(); !problem.empty()) {
    std::fprintf(stderr, "quillmark: %s\n", problem.c_str());
    return 2;
  }
  // The window ends the program itself after "Want to Quit ?".
  QApplication::setQuitOnLastWindowClosed(false);
  qm::gui::CQuillmarkDlg window(qm::AppDir(), qm::gui::DefaultEngineCommands());
  window.SetVerbose(verbose);
  if (!screenshotDir.isEmpty()) return qm::gui::TakeScreenshots(window, screenshotDir) ? 0 : 1;
  window.StartUp();  // its messages come before the window shows
  window.show();
  qm::RemoveTemporariesOnSignals();
  const int status = QApplication::exec();
  qm::RemoveRegisteredTemporaries();  // a job's files that are not complete
  return status;
}
