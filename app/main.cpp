// quillmark: the desktop program.
//   quillmark [--app-dir DIR] [--screenshot DIR]
// An --app-dir or QUILLMARK_APPDIR that names no folder ends it with status 2.
#include <QApplication>

#include <cstdio>
#include <string>

#include "app/screenshot.h"
#include "app/QuillmarkDlg.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillmark"));
  QApplication::setDesktopFileName(QStringLiteral("quillmark"));
  QString screenshotDir;
  const QStringList args = QApplication::arguments();
  for (qsizetype i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == QLatin1String("--app-dir")) qm::SetAppDirOverride(args[i + 1].toStdString());
    if (args[i] == QLatin1String("--screenshot")) screenshotDir = args[i + 1];
  }
  // A mistyped AppDir is never created: the start-up would fill it.
  if (const std::string problem = qm::AppDirProblem(); !problem.empty()) {
    std::fprintf(stderr, "quillmark: %s\n", problem.c_str());
    return 2;
  }
  // The window ends the program itself after "Want to Quit ?".
  QApplication::setQuitOnLastWindowClosed(false);
  qm::gui::CQuillmarkDlg window(qm::AppDir(), qm::gui::DefaultEngineCommands());
  if (!screenshotDir.isEmpty()) return qm::gui::TakeScreenshots(window, screenshotDir) ? 0 : 1;
  window.StartUp();  // its messages come before the window shows
  window.show();
  return QApplication::exec();
}
