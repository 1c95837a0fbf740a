// The GUI's contact with the desktop: message boxes, the quit question, file
// dialogs, opening paths and starting programs. Each goes through a hook that
// tests replace, so no test waits on a modal window.
#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <string_view>

class QWidget;

namespace qm::gui {

struct Hooks {
  std::function<void(std::string_view text, std::string_view cause)> message;  // one OK button
  std::function<bool(std::string_view text)> question;  // Yes/No; true for Yes
  std::function<QStringList(const QString& filter)> openFiles;  // several files
  std::function<QString(const QString& filter)> saveFile;
  std::function<QString()> browseFile;  // one existing file
  std::function<void(const std::filesystem::path&)> openPath;  // desktop's default program
  std::function<void(const std::filesystem::path&)> startProgram;  // printer application
  std::function<bool()> trayAvailable;  // whether the desktop has a system tray
};

// The hooks in force; empty members fall back to the real dialogs.
Hooks& TestHooks();

// A box with one OK button; a non-empty cause is its detailed text.
void ShowMessage(QWidget* parent, std::string_view text, std::string_view cause = {});
bool AskYesNo(QWidget* parent, std::string_view text);
QStringList ChooseOpenFiles(QWidget* parent, const QString& filter);
QString ChooseSaveFile(QWidget* parent, const QString& filter);
QString ChooseFile(QWidget* parent);
void OpenPath(const std::filesystem::path& path);
// Starts an executable directly, opens anything else with the default program.
void StartProgram(const std::filesystem::path& path);

bool TrayAvailable();

// Qt file-dialog filters from the Windows form "Text|*.a;*.b|Text|*.c||":
// each entry keeps its text and patterns, patterns separated by blanks.
QString QtFilter(std::string_view windowsFilter);

}  // namespace qm::gui
