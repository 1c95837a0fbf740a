#include "tests/gui/gui_test_support.h"

#include <QApplication>
#include <QListWidget>

#include "app/gui_hooks.h"

namespace qm::test {

namespace {
QApplication* g_application = nullptr;

// The application ends with the test program's environment, before the exit
// handlers run: Qt's input devices must not outlive it.
class QtEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    delete g_application;
    g_application = nullptr;
  }
};
[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

template <class T>
T Next(std::deque<T>& queue) {
  if (queue.empty()) return T();
  T a = queue.front();
  queue.pop_front();
  return a;
}
}  // namespace

GuiTest::GuiTest() {
  if (!QApplication::instance()) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    g_application = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  }
  SetAppDirOverride(app.path());
  gui::Hooks& h = gui::TestHooks();
  h = gui::Hooks{};
  h.message = [this](std::string_view text, std::string_view) { messages.emplace_back(text); };
  h.question = [this](std::string_view text) {
    questions.emplace_back(text);
    return Next(answers);
  };
  h.openFiles = [this](const QString& filter) {
    filters.push_back(filter);
    return Next(openAnswers);
  };
  h.saveFile = [this](const QString& filter) {
    filters.push_back(filter);
    return Next(saveAnswers);
  };
  h.browseFile = [this] { return Next(saveAnswers); };
  h.openPath = [this](const std::filesystem::path& p) { opened.push_back(p); };
  h.startProgram = [this](const std::filesystem::path& p) { started.push_back(p); };
  h.trayAvailable = [] { return false; };
}

GuiTest::~GuiTest() {
  window.reset();
  gui::TestHooks() = gui::Hooks{};
}

gui::CQuillmarkDlg& GuiTest::MakeWindow(gui::EngineCommands commands) {
  window = std::make_unique<gui::CQuillmarkDlg>(AppDir(), std::move(commands));
  return *window;
}

gui::CQuillmarkDlg& GuiTest::StartWindow(gui::EngineCommands commands) {
  MakeWindow(std::move(commands)).StartUp();
  return *window;
}

void GuiTest::WriteInitiation(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& l : lines) bytes += l + "\r\n";
  WriteFileBytes(app / "Configuration/initiation.ini", bytes);
}

void GuiTest::MakeItem(const std::string& item, const std::vector<std::string>& files) {
  std::filesystem::create_directories(app / ("RipIn/CustomFiles/" + item));
  for (const std::string& f : files) WriteFileBytes(app / ("RipIn/CustomFiles/" + item + "/" + f), "x");
}

std::vector<std::string> GuiTest::ListEntries(int id) const {
  std::vector<std::string> out;
  auto* list = Ctl<QListWidget>(window.get(), id);
  for (int i = 0; list && i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
  return out;
}

int GuiTest::SelectedRowOf(int id) const {
  const auto items = Ctl<QListWidget>(window.get(), id)->selectedItems();
  return items.isEmpty() ? -1 : Ctl<QListWidget>(window.get(), id)->row(items.front());
}

void GuiTest::SelectImage(const std::string& item) {
  auto* list = Ctl<QListWidget>(window.get(), gui::CQuillmarkDlg::kImageList);
  const auto found = list->findItems(QString::fromStdString(item), Qt::MatchFixedString);
  ASSERT_FALSE(found.isEmpty()) << item;
  list->setCurrentItem(found.front());  // notifies, as a click does
}

}  // namespace qm::test
