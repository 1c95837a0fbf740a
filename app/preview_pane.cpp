#include "app/preview_pane.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

#include "app/widgets.h"
#include "imaging/imaging.h"
#include "output/prn_preview.h"
#include "separation/channels.h"
#include "platform/platform.h"

namespace qm::gui {

namespace {

QString Number(double v) { return QString::number(v, 'g', 4); }

// An ink by its name and code ("light cyan (L0)", "spot S1"); a position
// whose slot PRNSequence leaves empty prints no named ink.
QString InkLabel(const std::string& ink) {
  if (ink.empty()) return QStringLiteral("no ink named");
  const int index = ChannelIndexOfCode(ink);
  return index < 0 ? QStringLiteral("ink ") + Text(ink) : Text(qm::InkLabel(index));
}

QImage ToImage(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb) {
  return QImage(rgb.data(), static_cast<int>(width), static_cast<int>(height), static_cast<int>(width) * 3,
                QImage::Format_RGB888)
      .copy();
}

// "Position 0, black (3): 41.2 % covered, 0.0123 ml, cost 0.0015" per position,
// then the total.
QString FiguresOfPrn(const std::filesystem::path& file, const std::vector<std::string>& inks,
                     const InkSettings& settings) {
  auto reader = PrnReader::Open(file);
  if (!reader || !reader->layoutOk()) return {};
  const auto counts = CountPrnDots(*reader);
  if (!counts) return {};
  const PrnFileHeader& h = reader->header();
  QString text;
  std::vector<InkFigures> all;
  for (std::size_t p = 0; p < counts->size(); ++p) {
    const std::string ink = p < inks.size() ? inks[p] : std::string(ChannelCode(static_cast<int>(p)));
    const InkFigures f = FiguresOf((*counts)[p], h.bits, uint64_t{h.width} * h.height, settings, ink);
    all.push_back(f);
    text += QStringLiteral("Position %1, %2: %3 % covered, %4 ml")
                .arg(p)
                .arg(InkLabel(ink), Number(f.coverage * 100.0), Number(f.inkMl));
    if (f.cost) text += QStringLiteral(", cost %1").arg(Number(*f.cost));
    text += QLatin1Char('\n');
  }
  const InkFigures total = TotalOf(all);
  text += QStringLiteral("All inks: %1 ml").arg(Number(total.inkMl));
  if (total.cost) text += QStringLiteral(", cost %1").arg(Number(*total.cost));
  return text;
}

// A plane file (0 is full ink) reduced by block averages, tinted in its ink's
// colour; read in bands so a large plane never sits in memory whole.
QImage RenderPlane(const std::filesystem::path& file, const std::atomic<bool>& cancel, QString& error) {
  try {
    imaging::InitializeImaging();
    const imaging::PlaneInfo info = imaging::ReadPlaneInfo(file);
    const uint32_t scale = PreviewScale(info.width, info.height, kPreviewSide);
    const uint32_t outW = std::max<uint32_t>(1, (info.width + scale - 1) / scale);
    const uint32_t outH = std::max<uint32_t>(1, (info.height + scale - 1) / scale);
    const std::string name = file.stem().string();
    const std::array<float, 3> colour = PreviewInkColour(name.substr(name.rfind('_') + 1));
    std::vector<uint8_t> rgb(std::size_t{outW} * outH * 3, 255);
    const uint32_t band = scale * std::max<uint32_t>(1, 64 / scale);
    std::vector<double> ink(outW);
    for (uint32_t top = 0; top < info.height; top += band) {
      if (cancel.load()) return {};
      const imaging::Plane rows = imaging::ReadPlaneRows(file, top, std::min(band, info.height - top));
      for (uint32_t y0 = 0; y0 < rows.height; y0 += scale) {
        std::fill(ink.begin(), ink.end(), 0.0);
        const uint32_t blockRows = std::min(scale, rows.height - y0);
        for (uint32_t y = y0; y < y0 + blockRows; ++y) {
          const float* row = rows.Row(y);
          for (uint32_t x = 0; x < rows.width; ++x) ink[x / scale] += 1.0 - row[x] / 65535.0;
        }
        uint8_t* out = rgb.data() + std::size_t{(top + y0) / scale} * outW * 3;
        for (uint32_t ox = 0; ox < outW; ++ox) {
          const uint32_t blockCols = std::min(scale, info.width - ox * scale);
          const double a = std::clamp(ink[ox] / (static_cast<double>(blockCols) * blockRows), 0.0, 1.0);
          for (int c = 0; c < 3; ++c) out[ox * 3 + c] = static_cast<uint8_t>(255.0 * (1.0 - a * (1.0 - colour[c])) + 0.5);
        }
      }
    }
    return ToImage(outW, outH, rgb);
  } catch (const std::exception& e) {
    error = QString::fromLocal8Bit(e.what());
    return {};
  }
}

// The background choices: white paper first, then garment colours.
constexpr std::array<const char*, 5> kBackgrounds = {"Paper", "#202020", "#000000", "#1F2A44", "#8B1A1A"};

}  // namespace

PreviewPane::PreviewPane(QWidget* parent) : QGroupBox(QStringLiteral("Preview"), parent) {
  setObjectName(QStringLiteral("preview"));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Ink :"), this));
  ink_ = new QComboBox(this);
  ink_->setObjectName(QStringLiteral("previewInk"));
  ink_->setEnabled(false);
  row->addWidget(ink_, 1);
  // The garment or film under the dots: the underbase ink is drawn white on it.
  row->addWidget(new QLabel(QStringLiteral("Background :"), this));
  background_ = new QComboBox(this);
  background_->setObjectName(QStringLiteral("previewBackground"));
  for (const char* colour : kBackgrounds) background_->addItem(QString::fromLatin1(colour));
  row->addWidget(background_);
  layout->addLayout(row);
  picture_ = new QLabel(this);
  picture_->setObjectName(QStringLiteral("previewPicture"));
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setMinimumSize(240, 240);
  picture_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);  // the picture follows the pane
  layout->addWidget(picture_, 1);
  figures_ = new QLabel(this);
  figures_->setObjectName(QStringLiteral("previewFigures"));
  figures_->setWordWrap(true);
  figures_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(figures_);
  connect(ink_, &QComboBox::activated, this, &PreviewPane::OnInkChosen);
  connect(background_, &QComboBox::activated, this, &PreviewPane::OnBackgroundChosen);
}

PreviewPane::~PreviewPane() {
  if (cancel_) cancel_->store(true);
  for (auto& [generation, worker] : workers_) worker.join();
}

void PreviewPane::ShowPrn(const std::filesystem::path& file, std::vector<std::string> inks, InkSettings inkSettings) {
  file_ = file;
  isPrn_ = true;
  inks_ = std::move(inks);
  inkSettings_ = std::move(inkSettings);
  onlyPosition_ = -1;
  const QSignalBlocker block(ink_);
  ink_->clear();
  ink_->addItem(QStringLiteral("All inks"));
  for (std::size_t p = 0; p < inks_.size(); ++p) {
    ink_->addItem(QStringLiteral("Position %1: %2").arg(p).arg(InkLabel(inks_[p])));
  }
  ink_->setEnabled(true);
  figures_->clear();
  setTitle(QStringLiteral("Preview: ") + Text(file.filename().string()));
  Start();
}

void PreviewPane::ShowPlane(const std::filesystem::path& file) {
  file_ = file;
  isPrn_ = false;
  inks_.clear();
  onlyPosition_ = -1;
  const QSignalBlocker block(ink_);
  ink_->clear();
  const std::string name = file.stem().string();
  ink_->addItem(QStringLiteral("Ink %1").arg(Text(name.substr(name.rfind('_') + 1))));
  ink_->setEnabled(false);
  figures_->clear();
  setTitle(QStringLiteral("Preview: ") + Text(file.filename().string()));
  Start();
}

void PreviewPane::Clear() {
  ++generation_;
  if (cancel_) cancel_->store(true);
  file_.clear();
  setTitle(QStringLiteral("Preview"));
  image_ = QImage();
  picture_->clear();
  figures_->clear();
  const QSignalBlocker block(ink_);
  ink_->clear();
  ink_->setEnabled(false);
}

QString PreviewPane::FiguresText() const { return figures_->text(); }

void PreviewPane::OnInkChosen(int index) {
  if (!isPrn_ || file_.empty()) return;
  onlyPosition_ = index - 1;
  Start();
}

void PreviewPane::OnBackgroundChosen(int index) {
  garment_ = index > 0 ? ParsePreviewColour(kBackgrounds[static_cast<std::size_t>(index)]) : std::nullopt;
  if (isPrn_ && !file_.empty()) Start();
}

void PreviewPane::Start() {
  if (cancel_) cancel_->store(true);  // the older render is stale
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  const uint64_t generation = ++generation_;
  picture_->setText(QStringLiteral("Rendering ..."));
  workers_.emplace(generation, std::thread([this, generation, cancel = cancel_, file = file_, isPrn = isPrn_,
                                            inks = inks_, settings = inkSettings_, only = onlyPosition_,
                                            garment = garment_, whiteInk = whiteInk_] {
    Result result;
    QString error;
    if (isPrn) {
      PrnPreviewOptions options;
      options.maxSide = kPreviewSide;
      options.cancel = cancel.get();
      if (only >= 0) options.onlyPosition = static_cast<uint32_t>(only);
      options.background = garment;
      options.whiteInk = whiteInk;
      if (const auto picture = RenderPrnPreview(file, inks, options)) {
        result.image = ToImage(picture->width, picture->height, picture->rgb);
        result.figures = FiguresOfPrn(file, inks, settings);
      } else {
        error = QString::fromLocal8Bit(picture.cause().c_str());
      }
    } else {
      result.image = RenderPlane(file, *cancel, error);
    }
    if (result.image.isNull()) result.figures = error;
    QMetaObject::invokeMethod(
        this, [this, generation, r = std::move(result)]() mutable { Deliver(generation, std::move(r)); },
        Qt::QueuedConnection);
  }));
}

void PreviewPane::Deliver(uint64_t generation, Result result) {
  if (auto it = workers_.find(generation); it != workers_.end()) {
    it->second.join();  // it has posted this result and is ending
    workers_.erase(it);
  }
  if (generation != generation_) return;  // a newer request is on its way
  image_ = std::move(result.image);
  figures_->setText(result.figures);
  ShowScaled();
  emit Rendered();
}

void PreviewPane::ShowScaled() {
  if (image_.isNull()) {
    picture_->clear();
    return;
  }
  picture_->setPixmap(QPixmap::fromImage(image_).scaled(picture_->size(), Qt::KeepAspectRatio,
                                                        Qt::SmoothTransformation));
}

void PreviewPane::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  ShowScaled();
}

}  // namespace qm::gui
