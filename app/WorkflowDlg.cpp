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

// The rows of the dialog in order: each key's control with its row label and
// group (the key, its kind and caption come from InitiationKeys()).
struct Row {
  int id;
  const char* label;
  bool function;  // group "Function", else "Image Raster"
};
constexpr std::array<Row, 18> kRows{{
    {C::kPreset, "Default Initial Preset :", false},
    {C::kVectorX, "PDF Interpret Resolution :", false},
    {C::kVectorY, "x", false},
    {C::kTifToPdf, "Convert TIF/JPG  to :", false},
    {C::kRgbOptimized, "RGB  Progress will be :", false},
    {C::kTurboModel, "Image Turbo Model will be :", false},
    {C::kLargeModel, "Image Large Model will be :", false},
    {C::kRotated, "Image for Printing will be :", false},
    {C::kAnticlockwise, "", false},
    {C::kRotateLimit, "if  >", false},
    {C::kUpward, "Print Direction will be :", false},
    {C::kMirrored, "Print Mirror will be :", false},
    {C::kEnableSeparate, "Separate Button will be :", true},
    {C::kDithered, "Separation Files will be :", true},
    {C::kPreserved, "Custom Files will be :", true},
    {C::kHotFolder, "HotFolder will be  :", true},
    {C::kLaunchPrinterApp, "Printer App will be  :", true},
    {C::kPrinterAppPath, "Printer App Path  :", true},
}};

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
    if (k.control == row.id) return k;
  }
  throw std::logic_error("no initiation key for control " + std::to_string(row.id));
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
      auto* box = new QCheckBox(QString::fromLatin1(key.caption), group);
      box->setObjectName(name);
      grid->addWidget(Label(group, r.label), row, 0);
      grid->addWidget(box, row++, 1, 1, 3);
      const auto field = key.flag;
      connect(box, &QCheckBox::toggled, this, [this, field](bool on) { init_.*field = on; });
      continue;
    }
    auto* edit = new QLineEdit(group);
    edit->setObjectName(name);
    if (key.kind == SettingKind::kNumber) MakeDigitsOnly(edit);
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
  const InitiationKey* k = FindInitiationKey(key);
  return k ? k->control : 0;
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
