#include "settings/WorkflowDlg.h"

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

#include "app/gui_hooks.h"
#include "app/message_map.h"

namespace qm::gui {

namespace {

// The row label and caption of each control, in the order of the dialog.
struct Row {
  int id;
  const char* label;
  const char* caption;  // check boxes only
  bool function;        // group "Function", else "Image Raster"
};
constexpr std::array<Row, 17> kRows{{
    {1039, "Default Initial Preset :", nullptr, false},
    {1062, "PDF Interpret Resolution :", nullptr, false},
    {1064, "x", nullptr, false},
    {1058, "Convert TIF/JPG  to :", "PDF for MultiColor ICC", false},
    {1060, "RGB  Progress will be :", "Optimized for PDF", false},
    {1051, "Image Turbo Model will be :", "Used ( Need more Memory)", false},
    {1059, "Image Large Model will be :", "Used ( speed up large image)", false},
    {1056, "Image for Printing will be :", "Rotated 90d", false},
    {1057, "", "Anticlockwise", false},
    {1061, "if  >", nullptr, false},
    {1067, "Print Direction will be :", "Upward", false},
    {1050, "Separate Button will be :", "Enabled", true},
    {1048, "Separation Files will be :", "Dithered", true},
    {1055, "Custom Files will be :", "Preserved", true},
    {1063, "HotFolder will be  :", "Actived", true},
    {1065, "Printer App will be  :", "Launched", true},
    {1066, "Printer App Path  :", nullptr, true},
}};

constexpr std::array<int, 3> kDigitsOnly{1062, 1064, 1061};

using Entry = MessageEntry<CWorkflowDlg>;
constexpr std::array<Entry, 5> kMessageMap{{
    {1039, Notify::DropDown, &CWorkflowDlg::OnDropDownPreset},
    {1039, Notify::SelChange, &CWorkflowDlg::OnSelChangePreset},
    {1050, Notify::Clicked, &CWorkflowDlg::OnEnableSeparate},
    {1040, Notify::Clicked, &CWorkflowDlg::OnSaveToDefault},
    {kBrowseButtonId, Notify::Clicked, &CWorkflowDlg::OnBrowsePrinterApp},
}};

const InitiationKey* KeyOf(int id) {
  for (const InitiationKey& k : InitiationKeys()) {
    if (k.controlId == id) return &k;
  }
  return nullptr;
}

QLabel* Label(QWidget* parent, const char* text) { return new QLabel(QString::fromLatin1(text), parent); }

}  // namespace

CWorkflowDlg::CWorkflowDlg(std::filesystem::path appDir, std::function<void(bool)> enableSeparate,
                           QWidget* parent)
    : QDialog(parent), appDir_(std::move(appDir)), enableSeparate_(std::move(enableSeparate)) {
  setObjectName(QStringLiteral("134"));
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
    if (r.id == 1039) {
      auto* combo = new DropDownCombo(group);
      combo->setObjectName(name);
      combo->setMinimumWidth(160);
      grid->addWidget(Label(group, r.label), row, 0);
      grid->addWidget(combo, row++, 1, 1, 3);
      connect(combo, &QComboBox::activated, this, [this](int index) { preset_.selected = index; });
      continue;
    }
    const InitiationKey* key = KeyOf(r.id);
    if (key->isFlag) {
      auto* box = new QCheckBox(QString::fromLatin1(r.caption), group);
      box->setObjectName(name);
      grid->addWidget(Label(group, r.label), row, 0);
      grid->addWidget(box, row++, 1, 1, 3);
      const auto field = key->flag;
      connect(box, &QCheckBox::toggled, this, [this, field](bool on) { init_.*field = on; });
      continue;
    }
    auto* edit = new QLineEdit(group);
    edit->setObjectName(name);
    for (int d : kDigitsOnly) {
      if (d == r.id) MakeDigitsOnly(edit);
    }
    const auto field = key->text;
    connect(edit, &QLineEdit::textChanged, this,
            [this, field](const QString& text) { init_.*field = Bytes(text); });
    if (r.id == 1064) {  // the second resolution edit follows "x" on the row above
      grid->addWidget(Label(group, r.label), row - 1, 2);
      grid->addWidget(edit, row - 1, 3);
    } else if (r.id == 1061) {
      auto* line = new QHBoxLayout;
      line->addWidget(Label(group, r.label));
      line->addWidget(edit);
      line->addWidget(Label(group, "inch"));
      grid->addLayout(line, row++, 1, 1, 3);
    } else if (r.id == 1066) {
      auto* browse = new QPushButton(QStringLiteral("..."), group);
      browse->setObjectName(QString::number(kBrowseButtonId));
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
  save->setObjectName(QStringLiteral("1040"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(save);
  top->addLayout(buttons);
}

void CWorkflowDlg::SyncFromInit() {
  for (const InitiationKey& k : InitiationKeys()) {
    if (k.controlId == 1039) continue;
    if (k.isFlag) {
      auto* box = Control<QCheckBox>(this, k.controlId);
      const QSignalBlocker block(box);
      box->setChecked(init_.*k.flag);
    } else {
      auto* edit = Control<QLineEdit>(this, k.controlId);
      const QSignalBlocker block(edit);
      edit->setText(Text(init_.*k.text));
    }
  }
  ShowCombo(Control<QComboBox>(this, 1039), preset_);
}

void CWorkflowDlg::SetCheck(int id, bool on) {
  const InitiationKey* key = KeyOf(id);
  if (!key || !key->isFlag) return;
  init_.*key->flag = on;
  auto* box = Control<QCheckBox>(this, id);
  const QSignalBlocker block(box);
  box->setChecked(on);
}

void CWorkflowDlg::OnDropDownPreset() {
  preset_.entries = ListPresetFiles(appDir_);
  preset_.selected = -1;
  init_.dfPreset.clear();  // the combo shows no text until a choice
  ShowCombo(Control<QComboBox>(this, 1039), preset_);
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
  Control<QLineEdit>(this, 1066)->setText(file);  // writes dfPAPPPath
}

void CWorkflowDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    hide();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace qm::gui
