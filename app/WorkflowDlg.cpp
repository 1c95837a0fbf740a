#include "app/WorkflowDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <array>
#include <stdexcept>
#include <string>

#include "app/gui_hooks.h"
#include "app/message_map.h"

namespace qm::gui {

namespace {

using C = CWorkflowDlg;

// Each control with the initiation key it shows, its row label and caption,
// in the order of the dialog.
struct Row {
  int id;
  const char* key;
  const char* label;
  const char* caption;  // check boxes only
  bool function;        // group "Function", else "Image Raster"
};
constexpr std::array<Row, 18> kRows{{
    {C::kPreset, "dfPreset", "Default Initial Preset :", nullptr, false},
    {C::kVectorX, "dfVectorX", "PDF Interpret Resolution :", nullptr, false},
    {C::kVectorY, "dfVectorY", "x", nullptr, false},
    {C::kTifToPdf, "dfTifToPdf", "Convert TIF/JPG  to :", "PDF for MultiColor ICC", false},
    {C::kRgbOptimized, "dfPDFRGBOpt", "RGB  Progress will be :", "Optimized for PDF", false},
    {C::kTurboModel, "dfTurboMd", "Image Turbo Model will be :", "Used ( Need more Memory)", false},
    {C::kLargeModel, "dfLargeImageMd", "Image Large Model will be :", "Used ( speed up large image)", false},
    {C::kRotated, "dfImageRt", "Image for Printing will be :", "Rotated 90d", false},
    {C::kAnticlockwise, "dfRotatedOri", "", "Anticlockwise", false},
    {C::kRotateLimit, "dfRotLimit", "if  >", nullptr, false},
    {C::kUpward, "dfImageUp", "Print Direction will be :", "Upward", false},
    {C::kMirrored, "dfMirror", "Print Mirror will be :", "Mirrored", false},
    {C::kEnableSeparate, "dfEnableSep", "Separate Button will be :", "Enabled", true},
    {C::kDithered, "dfDitheredCk", "Separation Files will be :", "Dithered", true},
    {C::kPreserved, "dfPreserveCF", "Custom Files will be :", "Preserved", true},
    {C::kHotFolder, "dfActiveHF", "HotFolder will be  :", "Actived", true},
    {C::kLaunchPrinterApp, "dfLaunchPAPP", "Printer App will be  :", "Launched", true},
    {C::kPrinterAppPath, "dfPAPPPath", "Printer App Path  :", nullptr, true},
}};

constexpr std::array<int, 3> kDigitsOnly{C::kVectorX, C::kVectorY, C::kRotateLimit};

using Entry = MessageEntry<CWorkflowDlg>;
constexpr std::array<Entry, 5> kMessageMap{{
    {C::kPreset, Notify::DropDown, &CWorkflowDlg::OnDropDownPreset},
    {C::kPreset, Notify::SelChange, &CWorkflowDlg::OnSelChangePreset},
    {C::kEnableSeparate, Notify::Clicked, &CWorkflowDlg::OnEnableSeparate},
    {C::kSaveToDefault, Notify::Clicked, &CWorkflowDlg::OnSaveToDefault},
    {C::kBrowsePrinterApp, Notify::Clicked, &CWorkflowDlg::OnBrowsePrinterApp},
}};

const InitiationKey& KeyOf(const Row& row) {
  for (const InitiationKey& k : InitiationKeys()) {
    if (std::string_view(k.key) == row.key) return k;
  }
  throw std::logic_error(std::string("no initiation key ") + row.key);
}

QLabel* Label(QWidget* parent, const char* text) { return new QLabel(QString::fromLatin1(text), parent); }

}  // namespace

CWorkflowDlg::CWorkflowDlg(std::filesystem::path appDir, std::function<void(bool)> enableSeparate,
                           QWidget* parent)
    : QDialog(parent), appDir_(std::move(appDir)), enableSeparate_(std::move(enableSeparate)) {
  setObjectName(QString::number(kDialog));
  setWindowTitle(QStringLiteral("Workflow"));
  QFont f(QStringLiteral("Arial"));
  f.setPointSize(8);
  setFont(f);
  BuildControls();
  ConnectMessageMap<CWorkflowDlg>(this, kMessageMap);
  SyncFromInit();
}

void CWorkflowDlg::BuildControls() {
  auto* top = new QVBoxLayout(this);
  auto* raster = new QGroupBox(QStringLiteral("Image Raster"), this);
  auto* function = new QGroupBox(QStringLiteral("Function"), this);
  auto* rg = new QGridLayout(raster);
  auto* fg = new QGridLayout(function);
  int rasterRow = 0, functionRow = 0;

  for (const Row& r : kRows) {
    QGroupBox* group = r.function ? function : raster;
    QGridLayout* grid = r.function ? fg : rg;
    int& row = r.function ? functionRow : rasterRow;
    const QString name = QString::number(r.id);
    if (r.id == kPreset) {
      auto* combo = new DropDownCombo(group);
      combo->setObjectName(name);
      combo->setMinimumWidth(160);
      grid->addWidget(Label(group, r.label), row, 0);
      grid->addWidget(combo, row++, 1, 1, 3);
      connect(combo, &QComboBox::activated, this, [this](int index) { preset_.selected = index; });
      continue;
    }
    const InitiationKey& key = KeyOf(r);
    if (key.isFlag()) {
      auto* box = new QCheckBox(QString::fromLatin1(r.caption), group);
      box->setObjectName(name);
      grid->addWidget(Label(group, r.label), row, 0);
      grid->addWidget(box, row++, 1, 1, 3);
      const auto field = key.flag;
      connect(box, &QCheckBox::toggled, this, [this, field](bool on) { init_.*field = on; });
      continue;
    }
    auto* edit = new QLineEdit(group);
    edit->setObjectName(name);
    for (int d : kDigitsOnly) {
      if (d == r.id) MakeDigitsOnly(edit);
    }
    const auto field = key.text;
    connect(edit, &QLineEdit::textChanged, this,
            [this, field](const QString& text) { init_.*field = Bytes(text); });
    if (r.id == kVectorY) {  // the second resolution edit follows "x" on the row above
      grid->addWidget(Label(group, r.label), row - 1, 2);
      grid->addWidget(edit, row - 1, 3);
    } else if (r.id == kRotateLimit) {
      auto* line = new QHBoxLayout;
      line->addWidget(Label(group, r.label));
      line->addWidget(edit);
      line->addWidget(Label(group, "inch"));
      grid->addLayout(line, row++, 1, 1, 3);
    } else if (r.id == kPrinterAppPath) {
      auto* browse = new QPushButton(QStringLiteral("..."), group);
      browse->setObjectName(QString::number(kBrowsePrinterApp));
      auto* line = new QHBoxLayout;
      line->addWidget(edit, 1);
      line->addWidget(browse);
      grid->addWidget(Label(group, r.label), row, 0);
      grid->addLayout(line, row++, 1, 1, 3);
    } else {
      grid->addWidget(Label(group, r.label), row, 0);
      grid->addWidget(edit, row++, 1);
    }
  }
  top->addWidget(raster);
  top->addWidget(function);
  auto* save = new QPushButton(QStringLiteral("Save to Default"), this);
  save->setObjectName(QString::number(kSaveToDefault));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(save);
  top->addLayout(buttons);
}

int CWorkflowDlg::ControlOf(std::string_view key) {
  for (const Row& r : kRows) {
    if (key == r.key) return r.id;
  }
  return 0;
}

void CWorkflowDlg::SyncFromInit() {
  for (const Row& r : kRows) {
    if (r.id == kPreset) continue;
    const InitiationKey& k = KeyOf(r);
    if (k.isFlag()) {
      auto* box = Control<QCheckBox>(this, r.id);
      const QSignalBlocker block(box);
      box->setChecked(init_.*k.flag);
    } else {
      auto* edit = Control<QLineEdit>(this, r.id);
      const QSignalBlocker block(edit);
      edit->setText(Text(init_.*k.text));
    }
  }
  ShowCombo(Control<QComboBox>(this, kPreset), preset_);
}

void CWorkflowDlg::OnDropDownPreset() {
  preset_.entries = ListPresetFiles(appDir_);
  preset_.selected = -1;
  init_.dfPreset.clear();  // the combo shows no text until a choice
  ShowCombo(Control<QComboBox>(this, kPreset), preset_);
}

void CWorkflowDlg::OnSelChangePreset() { init_.dfPreset = preset_.Text(); }

void CWorkflowDlg::OnEnableSeparate() {
  if (enableSeparate_) enableSeparate_(init_.dfEnableSep);
}

void CWorkflowDlg::OnSaveToDefault() {
  // The preset written is the combo's text, whatever dfPreset held before.
  InitiationSettings toSave = init_;
  toSave.dfPreset = preset_.Text();
  SaveToDefault(appDir_, toSave, preset_.selected >= 0, sink_);
}

void CWorkflowDlg::OnBrowsePrinterApp() {
  const QString file = ChooseFile(this);
  if (file.isEmpty()) return;
  Control<QLineEdit>(this, kPrinterAppPath)->setText(file);  // writes dfPAPPPath
}

void CWorkflowDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    hide();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace qm::gui
