// The three lists: Update List, Import, double-clicks, the commands'
// selection checks and the preview pane of a selected entry.
#include <QComboBox>
#include <QCoreApplication>
#include <QListWidget>

#include "imaging/imaging.h"
#include "output/prn_file.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
using W = gui::CQuillmarkDlg;
namespace fs = std::filesystem;

class ListsTest : public GuiTest {
 protected:
  void SetUp() override {
    MakeItem("photo", {"photo.pdf"});
    MakeItem("logo", {"logo.tif"});
    WriteFileBytes(app / "RipIn/Separation/photo/photo_1.tiff", "x");
    WriteFileBytes(app / "RipIn/Separation/photo/notes.txt", "x");
    WriteFileBytes(app / "RipIn/UserPrn/photo.txt", "x");
    // A 20 x 10 print of the Default preset's six positions, black (position
    // 3) covering the left half with large dots; a plane of the multicolour
    // ink M0 (0 is full ink) inked in its top half.
    std::vector<float> black(200, 0.0f), blank(200, 0.0f);
    for (int y = 0; y < 10; ++y) std::fill_n(black.begin() + y * 20, 10, 65535.0f);
    const float* planes[] = {blank.data(), blank.data(), blank.data(), black.data(), blank.data(), blank.data()};
    EXPECT_TRUE(WritePrnFile(app / "RipIn/UserPrn/photo.prn", 720, 720, 20, 10, 2, planes, DotLevels{16384, 32768, 1, 1}));
    imaging::Plane plane;
    plane.width = plane.height = 8;
    plane.pixels.assign(64, 65535.0f);
    std::fill_n(plane.pixels.begin(), 32, 0.0f);
    imaging::WritePlane(app / "RipIn/Separation/photo/photo_M0.tif", plane, 8);
    StartWindow();
  }
  // Selects a row as a click does and waits for the preview pane.
  QRgb ShownAt(int listId, int row, double fx, double fy) {
    Ctl<QListWidget>(window.get(), listId)->setCurrentRow(row);
    while (window->Preview()->Rendering()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const QImage& image = window->Preview()->Picture();
    EXPECT_FALSE(image.isNull()) << window->Preview()->FiguresText().toStdString();
    return image.isNull() ? 0 : image.pixel(int(fx * (image.width() - 1)), int(fy * (image.height() - 1)));
  }
};

// Without a selection Update List refills the Image List; with one, only the
// Separation and Prn lists.
TEST_F(ListsTest, UpdateListFillsByTheSelection) {
  EXPECT_EQ(ListEntries(W::kImageList), (Strings{"logo", "photo"}));
  EXPECT_EQ(ListEntries(W::kSeparationList), Strings{});
  EXPECT_EQ(ListEntries(W::kPrnList), Strings{"photo.prn"});
  MakeItem("new");
  window->OnUpdateList();
  EXPECT_EQ(ListEntries(W::kImageList), (Strings{"logo", "new", "photo"}));
  SelectImage("photo");  // a selection change runs Update List
  EXPECT_EQ(ListEntries(W::kSeparationList), (Strings{"photo_1.tiff", "photo_M0.tif"}));
  MakeItem("newer");
  WriteFileBytes(app / "RipIn/UserPrn/logo.prn", "x");
  window->OnUpdateList();
  EXPECT_EQ(ListEntries(W::kImageList), (Strings{"logo", "new", "photo"}));
  EXPECT_EQ(ListEntries(W::kPrnList), (Strings{"logo.prn", "photo.prn"}));
}

// A PRN file shows its picture and ink figures (the renderer of prn-preview),
// a plane its ink's colour.
TEST_F(ListsTest, TheSelectedEntryIsPreviewed) {
  EXPECT_LT(qGray(ShownAt(W::kPrnList, 0, 0.1, 0.5)), 60);
  EXPECT_EQ(window->Preview()->Picture().width(), 20);
  EXPECT_EQ(ShownAt(W::kPrnList, 0, 0.9, 0.5), qRgb(255, 255, 255));
  EXPECT_NE(window->Preview()->FiguresText().indexOf("Position 3, black (3): 50 % covered"), -1);
  SelectImage("photo");
  EXPECT_EQ(ShownAt(W::kSeparationList, 1, 0.5, 0.1), qRgb(255, 128, 0));  // the orange of M0
  EXPECT_EQ(ShownAt(W::kSeparationList, 1, 0.5, 0.9), qRgb(255, 255, 255));
}

// The background choice draws the print on a garment's colour: the pixels
// without ink show it; "Paper" is white again.
TEST_F(ListsTest, ThePreviewTakesAGarmentBackground) {
  EXPECT_EQ(ShownAt(W::kPrnList, 0, 0.9, 0.5), qRgb(255, 255, 255));
  auto* background = window->Preview()->findChild<QComboBox*>(QStringLiteral("previewBackground"));
  ASSERT_NE(background, nullptr);
  ASSERT_GE(background->count(), 2);
  EXPECT_EQ(background->itemText(0), "Paper");
  EXPECT_EQ(background->itemText(1), "#202020");
  auto choose = [&](int index) {
    background->setCurrentIndex(index);
    emit background->activated(index);
    while (window->Preview()->Rendering()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return window->Preview()->Picture().pixel(18, 5);
  };
  EXPECT_EQ(choose(1), qRgb(0x20, 0x20, 0x20));
  EXPECT_LT(qGray(window->Preview()->Picture().pixel(2, 5)), 0x20);  // black ink on it
  EXPECT_EQ(choose(0), qRgb(255, 255, 255));
}

// Two files of one stem make one entry, selected in the first row; a file
// that cannot be imported shows its message and the others go on; the dialog
// offers the four filters.
TEST_F(ListsTest, ImportAddsOneSortedEntryPerStem) {
  TempDir src;
  WriteFileBytes(src / "scan.pdf", "pdf");
  WriteFileBytes(src / "scan.tif", "tif");
  openAnswers.push_back({QString::fromStdString((src / "scan.pdf").string()),
                         QString::fromStdString((src / "missing.pdf").string()),
                         QString::fromStdString((src / "scan.tif").string())});
  window->OnImport();
  EXPECT_EQ(messages, Strings{"Fail to import files!"});
  EXPECT_EQ(ListEntries(W::kImageList), (Strings{"logo", "photo", "scan"}));
  EXPECT_EQ(SelectedRowOf(W::kImageList), 0);
  EXPECT_TRUE(fs::exists(app / "RipIn/CustomFiles/scan/scan.tif"));
  EXPECT_EQ(filters.at(0).split(QStringLiteral(";;")),
            (QStringList{"All Files(*.pdf;*tif;*.jpg) (*.pdf *.tif *.jpg)", "PDF Files(*.pdf;*.PDF) (*.pdf *PDF)",
                         "TIF Files(*.tif;*tiff;*.TIF;*.TIFF) (*.tif *tiff *.TIF *.TIFF)",
                         "JPG Files(*.jpg;*.JPG;*.jpeg;*.JPEG) (*.jpg *.JPG *.jpeg *.JPEG)"}));
}

// Double-clicks open the folders (nothing without a selection); a name that
// is no UTF-8 (Latin-1 e acute, then 0xFF) maps back to the same bytes.
TEST_F(ListsTest, DoubleClicksOpenTheFolders) {
  window->OnDblClkImageList();
  window->OnDblClkSeparationList();
  EXPECT_TRUE(opened.empty());
  window->OnDblClkPrnList();
  SelectImage("photo");
  window->OnDblClkImageList();
  window->OnDblClkSeparationList();
  const std::string name = "caf\xE9\xFF";
  MakeItem(name);
  Ctl<QListWidget>(window.get(), W::kImageList)->clearSelection();
  window->OnUpdateList();
  Ctl<QListWidget>(window.get(), W::kImageList)->setCurrentRow(0);  // "caf..." sorts first
  window->OnDblClkImageList();
  EXPECT_EQ(opened, (std::vector<fs::path>{app.path() / "RipIn/UserPrn/", app.path() / "RipIn/CustomFiles/photo",
                                           app.path() / "RipIn/Separation/photo", app.path() / "RipIn/CustomFiles" / name}));
}

TEST_F(ListsTest, CommandsCheckTheirSelectionFirst) {
  window->OnPrint();
  window->OnSeparate();
  window->OnCompose();
  window->OnActive();
  EXPECT_EQ(messages, (Strings{"Choose an item from Image List!", "Choose an item from Image List!",
                               "Choose an item from Separation List!", "Choose a custom file to active hotfolder !"}));
  EXPECT_FALSE(window->HotFolderTimer().isActive());
}

}  // namespace
}  // namespace qm::test
