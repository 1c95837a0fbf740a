// The preview pane of the main window: the picture of the PRN file selected
// in the Prn List (the renderer of prn-preview: each ink in its colour) with
// its ink figures and a choice of one ink alone, or the plane file selected
// in the Separation List, tinted in its ink's colour. Its title names the
// file; it stays when the lists are refilled and lose their selections.
//
// Pictures are made on a worker thread, at most kPreviewSide pixels on the
// long side, and scaled to the pane when shown; a newer request makes an
// older one's result stale (it is dropped, and its render is cancelled where
// the renderer allows). Failures to read a file show their reason in the
// pane; they are not failures of the system, so no message box.
#pragma once

#include <QGroupBox>
#include <QImage>

#include <array>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "inks/ink_model.h"
#include "output/ink_figures.h"

class QComboBox;
class QLabel;

namespace qm::gui {

inline constexpr uint32_t kPreviewSide = 800;

class PreviewPane : public QGroupBox {
  Q_OBJECT
 public:
  explicit PreviewPane(QWidget* parent = nullptr);
  ~PreviewPane() override;

  // A PRN file whose positions print `inks` (one code per position).
  void ShowPrn(const std::filesystem::path& file, std::vector<std::string> inks, InkSettings inkSettings);
  // A plane file; its ink code is the name's text after the last '_'.
  void ShowPlane(const std::filesystem::path& file);
  // The ink drawn as white on a garment's background ("S0" unless set).
  void SetWhiteInk(std::string code) { whiteInk_ = std::move(code); }
  void Clear();

  // The last picture made (unscaled), null while none; the figures text.
  const QImage& Picture() const { return image_; }
  QString FiguresText() const;
  bool Rendering() const { return !workers_.empty(); }

 signals:
  void Rendered();  // a picture, or the reason there is none, is shown

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Result {
    QImage image;
    QString figures;
  };
  void Start();  // renders the current request
  void Deliver(uint64_t generation, Result result);
  void ShowScaled();
  void OnInkChosen(int index);
  void OnBackgroundChosen(int index);

  QLabel* picture_;
  QComboBox* ink_;
  QComboBox* background_;  // white paper, or a garment's colour
  QLabel* figures_;
  QImage image_;

  // The current request.
  std::filesystem::path file_;
  bool isPrn_ = false;
  std::vector<std::string> inks_;
  InkSettings inkSettings_;
  int onlyPosition_ = -1;
  std::optional<std::array<float, 3>> garment_;
  std::string whiteInk_ = SpotInkCode(0);

  uint64_t generation_ = 0;
  std::shared_ptr<std::atomic<bool>> cancel_;
  std::map<uint64_t, std::thread> workers_;  // by generation, joined when delivered
};

}  // namespace qm::gui
