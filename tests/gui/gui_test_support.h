// A main window on a scratch AppDir, with every modal window answered by a
// hook: messages are recorded, questions and file dialogs answered from the
// test's queues, opened paths and started programs recorded.
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/QuillmarkDlg.h"
#include "app/engine_bridge.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace qm::test {

class GuiTest : public ::testing::Test {
 protected:
  GuiTest();
  ~GuiTest() override;

  // Builds the window with `commands`, and runs the start-up sequence.
  gui::CQuillmarkDlg& MakeWindow(gui::EngineCommands commands = gui::DefaultEngineCommands());
  gui::CQuillmarkDlg& StartWindow(gui::EngineCommands commands = gui::DefaultEngineCommands());

  // Writes Configuration/initiation.ini from KEY=VALUE lines (CR LF).
  void WriteInitiation(const std::vector<std::string>& lines);
  void MakeItem(const std::string& item, const std::vector<std::string>& files = {});

  // A control of the window or a dialog by its number.
  template <class W>
  W* Ctl(const QWidget* parent, int id) const {
    W* w = parent->findChild<W*>(QString::number(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
  }
  std::vector<std::string> ListEntries(int id) const;
  int SelectedRowOf(int id) const;
  void SelectImage(const std::string& item);  // as the operator would

  ScratchAppDir app;
  std::vector<std::string> messages, questions;
  std::deque<bool> answers;  // for "Want to Quit ?"
  std::deque<QStringList> openAnswers;
  std::deque<QString> saveAnswers;  // also the browse button's
  std::vector<QString> filters;
  std::vector<std::filesystem::path> opened, started;
  std::unique_ptr<gui::CQuillmarkDlg> window;
};

}  // namespace qm::test
