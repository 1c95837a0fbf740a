// The preview pane shows the pixels of the file selected in the Prn List or
// the Separation List, and the PRN file's ink figures.
#include <QComboBox>
#include <QCoreApplication>
#include <QListWidget>

#include "imaging/imaging.h"
#include "output/prn_file.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

class PreviewTest : public GuiTest {
 protected:
  gui::PreviewPane& Pane() { return *window->Preview(); }
  void Select(int listId, int row) {
    window->findChild<QListWidget*>(QString::number(listId))->setCurrentRow(row);  // notifies, as a click does
    Wait();
  }
  void Wait() {
    while (Pane().Rendering()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  QRgb At(double fx, double fy) {
    const QImage& image = Pane().Picture();
    return image.pixel(static_cast<int>(fx * (image.width() - 1)), static_cast<int>(fy * (image.height() - 1)));
  }
};

// A 20 x 10 print of the Default preset's six positions in which black
// (position 3) covers the left half with large dots.
TEST_F(PreviewTest, PrnFileCompositeOneInkAloneAndFigures) {
  std::vector<float> black(200, 0.0f), blank(200, 0.0f);
  for (int y = 0; y < 10; ++y) std::fill_n(black.begin() + y * 20, 10, 65535.0f);
  const float* planes[] = {blank.data(), blank.data(), blank.data(), black.data(), blank.data(), blank.data()};
  CreateFolder(app / "RipIn/UserPrn");
  ASSERT_TRUE(WritePrnFile(app / "RipIn/UserPrn/p.prn", 720, 720, 20, 10, 2, planes, DotLevels{16384, 32768, 1, 1}));
  StartWindow();
  Select(1004, 0);
  ASSERT_FALSE(Pane().Picture().isNull()) << Pane().FiguresText().toStdString();
  EXPECT_EQ(Pane().Picture().width(), 20);
  EXPECT_LT(qGray(At(0.1, 0.5)), 60);    // black where the dots are
  EXPECT_EQ(At(0.9, 0.5), qRgb(255, 255, 255));  // paper elsewhere
  EXPECT_NE(Pane().FiguresText().indexOf(QStringLiteral("Position 3, ink 3: 50 % covered, 1.2e-06 ml")), -1)
      << Pane().FiguresText().toStdString();

  // Cyan alone: no dots anywhere.
  auto* ink = window->findChild<QComboBox*>(QStringLiteral("previewInk"));
  ASSERT_EQ(ink->count(), 7);
  ink->activated(1);
  Wait();
  EXPECT_EQ(At(0.1, 0.5), qRgb(255, 255, 255));
}

// A plane file (0 is full ink) of the multicolour ink M0, inked in its top half.
TEST_F(PreviewTest, SeparationPlaneInItsInksColour) {
  imaging::Plane plane;
  plane.width = plane.height = 8;
  plane.pixels.assign(64, 65535.0f);
  std::fill_n(plane.pixels.begin(), 32, 0.0f);
  CreateFolder(app / "RipIn/Separation/photo");
  imaging::WritePlane(app / "RipIn/Separation/photo/photo_M0.tif", plane, 8);
  MakeItem("photo");
  StartWindow();
  SelectImage("photo");
  Select(1003, 0);
  ASSERT_FALSE(Pane().Picture().isNull()) << Pane().FiguresText().toStdString();
  EXPECT_EQ(At(0.5, 0.1), qRgb(255, 128, 0));  // the orange of M0
  EXPECT_EQ(At(0.5, 0.9), qRgb(255, 255, 255));
}

}  // namespace
}  // namespace qm::test
