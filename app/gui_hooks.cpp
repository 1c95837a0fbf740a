#include "app/gui_hooks.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QUrl>

#include <string>
#include <vector>

namespace qm::gui {

namespace {
QString FromBytes(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

Hooks& TestHooks() {
  static Hooks hooks;
  return hooks;
}

void ShowMessage(QWidget* parent, std::string_view text, std::string_view cause) {
  if (TestHooks().message) return TestHooks().message(text, cause);
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillmark"), FromBytes(text),
                  QMessageBox::Ok, parent);
  if (!cause.empty()) box.setDetailedText(FromBytes(cause));
  box.exec();
}

bool AskYesNo(QWidget* parent, std::string_view text) {
  if (TestHooks().question) return TestHooks().question(text);
  QMessageBox box(QMessageBox::Question, QStringLiteral("Quillmark"), FromBytes(text),
                  QMessageBox::Yes | QMessageBox::No, parent);
  return box.exec() == QMessageBox::Yes;
}

QStringList ChooseOpenFiles(QWidget* parent, const QString& filter) {
  if (TestHooks().openFiles) return TestHooks().openFiles(filter);
  return QFileDialog::getOpenFileNames(parent, QString(), QString(), filter);
}

QString ChooseSaveFile(QWidget* parent, const QString& filter) {
  if (TestHooks().saveFile) return TestHooks().saveFile(filter);
  // No default suffix: the ".cfg" rule of save as forms the name.
  return QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
}

QString ChooseFile(QWidget* parent) {
  if (TestHooks().browseFile) return TestHooks().browseFile();
  return QFileDialog::getOpenFileName(parent);
}

void OpenPath(const std::filesystem::path& path) {
  if (TestHooks().openPath) return TestHooks().openPath(path);
  // The path's own bytes, percent-encoded: a name that is no UTF-8 stays itself.
  const QByteArray bytes = QByteArray::fromStdString(path.string()).toPercentEncoding("/");
  QDesktopServices::openUrl(QUrl::fromEncoded("file://" + bytes));
}

void StartProgram(const std::filesystem::path& path) {
  if (TestHooks().startProgram) return TestHooks().startProgram(path);
  if (path.empty()) return;
  const QString file = QString::fromStdString(path.string());
  const QFileInfo info(file);
  // A desktop's default opener does not run programs: executables are started.
  if (info.isFile() && info.isExecutable()) {
    QProcess::startDetached(file, {}, QString());
  } else {
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
  }
}

bool TrayAvailable() {
  if (TestHooks().trayAvailable) return TestHooks().trayAvailable();
  return QSystemTrayIcon::isSystemTrayAvailable();
}

QString QtFilter(std::string_view windowsFilter) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : windowsFilter) {
    if (c == '|') {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  QStringList entries;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;  // the closing "||"
    QString patterns = FromBytes(parts[i + 1]);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt reads the patterns from the last parentheses of an entry, so the
    // entry's text stays as it is and the patterns follow it.
    entries << QStringLiteral("%1 (%2)").arg(FromBytes(parts[i]), patterns);
  }
  return entries.join(QStringLiteral(";;"));
}

}  // namespace qm::gui
