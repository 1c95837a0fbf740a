// Update List, Import and the double-clicks of the three lists.
#include <QListWidget>

#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

class ListsTest : public GuiTest {
 protected:
  void SetUp() override {
    MakeItem("photo", {"photo.pdf"});
    MakeItem("logo", {"logo.tif"});
    WriteFileBytes(app / "RipIn/Separation/photo/photo_0.tif", "x");
    WriteFileBytes(app / "RipIn/Separation/photo/photo_1.tiff", "x");
    WriteFileBytes(app / "RipIn/Separation/photo/notes.txt", "x");
    WriteFileBytes(app / "RipIn/UserPrn/photo.prn", "x");
    WriteFileBytes(app / "RipIn/UserPrn/photo.txt", "x");
    StartWindow();
  }
};

TEST_F(ListsTest, WithoutSelectionRefillsTheImageList) {
  EXPECT_EQ(ListEntries(1002), (Strings{"logo", "photo"}));
  EXPECT_EQ(ListEntries(1003), Strings{});
  EXPECT_EQ(ListEntries(1004), Strings{"photo.prn"});
  MakeItem("new");
  window->OnUpdateList();
  EXPECT_EQ(ListEntries(1002), (Strings{"logo", "new", "photo"}));
}

TEST_F(ListsTest, WithSelectionFillsOnlyTheSeparationAndPrnLists) {
  SelectImage("photo");  // a selection change runs Update List
  EXPECT_EQ(ListEntries(1003), (Strings{"photo_0.tif", "photo_1.tiff"}));
  MakeItem("new");
  WriteFileBytes(app / "RipIn/UserPrn/logo.prn", "x");
  window->OnUpdateList();
  EXPECT_EQ(ListEntries(1002), (Strings{"logo", "photo"}));  // not refreshed
  EXPECT_EQ(ListEntries(1003), (Strings{"photo_0.tif", "photo_1.tiff"}));
  EXPECT_EQ(ListEntries(1004), (Strings{"logo.prn", "photo.prn"}));
  SelectImage("logo");
  EXPECT_EQ(ListEntries(1003), Strings{});  // no Separation folder
}

TEST_F(ListsTest, ImportOfTwoFilesWithOneStemMakesOneEntry) {
  TempDir src;
  WriteFileBytes(src / "scan.pdf", "pdf");
  WriteFileBytes(src / "scan.tif", "tif");
  openAnswers.push_back({QString::fromStdString((src / "scan.pdf").string()),
                         QString::fromStdString((src / "scan.tif").string())});
  window->OnImport();
  EXPECT_EQ(messages, Strings{});
  EXPECT_EQ(ListEntries(1002), (Strings{"logo", "photo", "scan"}));
  EXPECT_EQ(SelectedRowOf(1002), 0);  // the first entry is selected
  EXPECT_TRUE(fs::exists(app / "RipIn/CustomFiles/scan/scan.pdf"));
  EXPECT_TRUE(fs::exists(app / "RipIn/CustomFiles/scan/scan.tif"));
  // The Separation and Prn lists are not refreshed by Import.
  EXPECT_EQ(ListEntries(1004), Strings{"photo.prn"});
}

TEST_F(ListsTest, ImportOfAnExistingNameRenamesTheCopy) {
  TempDir src;
  WriteFileBytes(src / "photo.pdf", "new");
  openAnswers.push_back({QString::fromStdString((src / "photo.pdf").string())});
  window->OnImport();
  EXPECT_EQ(ListEntries(1002), (Strings{"logo", "photo"}));
  EXPECT_EQ(ReadFileBytes(app / "RipIn/CustomFiles/photo/photo.pdf"), "x");
  EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/photo", "*.*").size(), 2u);
}

TEST_F(ListsTest, ImportOfAFileWithDotsKeepsTheStem) {
  TempDir src;
  WriteFileBytes(src / "report.v2.pdf", "pdf");
  openAnswers.push_back({QString::fromStdString((src / "report.v2.pdf").string())});
  window->OnImport();
  EXPECT_EQ(ListEntries(1002), (Strings{"logo", "photo", "report.v2"}));
}

TEST_F(ListsTest, ImportOffersTheFourFiltersAndCancelDoesNothing) {
  window->OnImport();
  ASSERT_EQ(filters.size(), 1u);
  const QStringList entries = filters[0].split(QStringLiteral(";;"));
  ASSERT_EQ(entries.size(), 4);
  EXPECT_EQ(entries[0], "All Files(*.pdf;*tif;*.jpg) (*.pdf *.tif *.jpg)");
  EXPECT_EQ(entries[1], "PDF Files(*.pdf;*.PDF) (*.pdf *PDF)");
  EXPECT_EQ(entries[2], "TIF Files(*.tif;*tiff;*.TIF;*.TIFF) (*.tif *tiff *.TIF *.TIFF)");
  EXPECT_EQ(entries[3], "JPG Files(*.jpg;*.JPG;*.jpeg;*.JPEG) (*.jpg *.JPG *.jpeg *.JPEG)");
  EXPECT_EQ(ListEntries(1002), (Strings{"logo", "photo"}));
}

TEST_F(ListsTest, ImportFailureShowsItsMessageAndGoesOn) {
  TempDir src;
  WriteFileBytes(src / "good.pdf", "pdf");
  openAnswers.push_back({QString::fromStdString((src / "missing.pdf").string()),
                         QString::fromStdString((src / "good.pdf").string())});
  window->OnImport();
  EXPECT_EQ(messages, Strings{"Fail to import files!"});
  EXPECT_EQ(ListEntries(1002), (Strings{"good", "logo", "photo"}));
}

TEST_F(ListsTest, DoubleClicksOpenTheFolders) {
  window->OnDblClkImageList();
  window->OnDblClkSeparationList();
  EXPECT_TRUE(opened.empty());  // nothing selected
  window->OnDblClkPrnList();
  SelectImage("photo");
  window->OnDblClkImageList();
  window->OnDblClkSeparationList();
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[0], app.path() / "RipIn/UserPrn/");
  EXPECT_EQ(opened[1], app.path() / "RipIn/CustomFiles/photo");
  EXPECT_EQ(opened[2], app.path() / "RipIn/Separation/photo");
}

TEST_F(ListsTest, CommandsCheckTheirSelectionFirst) {
  window->OnPrint();
  window->OnSeparate();
  window->OnCompose();
  window->OnActive();
  EXPECT_EQ(messages, (Strings{"Choose an item from Image List!", "Choose an item from Image List!",
                               "Choose an item from Separation List!",
                               "Choose a custom file to active hotfolder !"}));
  EXPECT_FALSE(window->HotFolderTimer().isActive());
}

// A folder name that is no UTF-8 (Latin-1 e acute, then 0xFF) is shown and
// maps back to the same bytes when the window uses the selection.
TEST_F(ListsTest, NamesThatAreNoUtf8KeepTheirBytes) {
  const std::string name = "caf\xE9\xFF";
  MakeItem(name);
  window->OnUpdateList();
  auto* list = window->findChild<QListWidget*>(QStringLiteral("1002"));
  ASSERT_EQ(list->count(), 3);
  list->setCurrentRow(0);  // "caf..." sorts first
  window->OnDblClkImageList();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], app.path() / "RipIn/CustomFiles" / name);
}

}  // namespace
}  // namespace qm::test
