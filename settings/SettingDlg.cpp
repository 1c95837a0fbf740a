#include "settings/SettingDlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
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

struct EditBinding {
  int id;
  std::string SettingForm::*field;
  bool digitsOnly;
};
constexpr std::array<EditBinding, 12> kEdits{{
    {1010, &SettingForm::xResolution, true},
    {1011, &SettingForm::yResolution, true},
    {1019, &SettingForm::LinearProfile, false},
    {1013, &SettingForm::PdfSpotColorName, false},
    {1033, &SettingForm::ICCOutputColors, false},
    {1020, &SettingForm::UseDots, false},
    {1034, &SettingForm::MiddleDotStart, false},
    {1035, &SettingForm::LargeDotStart, false},
    {1021, &SettingForm::MiddleDotDilution, false},
    {1022, &SettingForm::LargeDotDilution, false},
    {1024, &SettingForm::PRNSequence, false},
    {1032, &SettingForm::Suffix, false},
}};

struct CheckBinding {
  int id;
  bool SettingForm::*field;
  const char* caption;
};
constexpr std::array<CheckBinding, 8> kChecks{{
    {1014, &SettingForm::UseLc, "Lc"},
    {1015, &SettingForm::UseLm, "Lm"},
    {1016, &SettingForm::UseLk, "Lk"},
    {1017, &SettingForm::UseLlk, "Llk"},
    {1012, &SettingForm::UseICC, "Use ICC"},
    {1029, &SettingForm::OverrideICC, "Override Embeded ICC"},
    {1030, &SettingForm::BlackPtComp, "Black Compensation"},
    {1031, &SettingForm::KPreserve, "Pure K"},
}};

struct ComboBinding {
  int id;
  ComboState SettingForm::*field;
};
constexpr std::array<ComboBinding, 9> kCombos{{
    {1009, &SettingForm::preset},
    {1018, &SettingForm::Bits},
    {1023, &SettingForm::DitherMethod},
    {1025, &SettingForm::RGBProfile},
    {1026, &SettingForm::CMYKProfile},
    {1027, &SettingForm::GrayProfile},
    {1028, &SettingForm::OutputProfile},
    {1037, &SettingForm::RenderIntent},
    {1036, &SettingForm::PRNHeader},
}};

using Entry = MessageEntry<CSettingDlg>;
constexpr std::array<Entry, 8> kMessageMap{{
    {1009, Notify::DropDown, &CSettingDlg::OnDropDownPreset},
    {1009, Notify::SelChange, &CSettingDlg::OnSelChangePreset},
    {1025, Notify::DropDown, &CSettingDlg::OnDropDownRGB},
    {1026, Notify::DropDown, &CSettingDlg::OnDropDownCMYK},
    {1027, Notify::DropDown, &CSettingDlg::OnDropDownGray},
    {1028, Notify::DropDown, &CSettingDlg::OnDropDownOutput},
    {1059, Notify::Clicked, &CSettingDlg::OnApply},
    {1038, Notify::Clicked, &CSettingDlg::OnSaveAs},
}};

template <class W>
W* Make(QWidget* parent, int id) {
  auto* w = new W(parent);
  w->setObjectName(QString::number(id));
  return w;
}

QLabel* Label(QWidget* parent, const char* text) { return new QLabel(QString::fromLatin1(text), parent); }

}  // namespace

CSettingDlg::CSettingDlg(std::filesystem::path appDir, QAbstractButton* relay, QWidget* parent)
    : QDialog(parent), appDir_(std::move(appDir)), relay_(relay) {
  setObjectName(QStringLiteral("132"));
  setWindowTitle(QStringLiteral("Setting"));
  QFont f(QStringLiteral("Arial"));
  f.setPointSize(8);
  setFont(f);
  BuildControls();
  BindControls();
  ConnectMessageMap<CSettingDlg>(this, kMessageMap);
  SyncFromForm();
}

void CSettingDlg::BuildControls() {
  auto* top = new QVBoxLayout(this);

  auto* presetRow = new QHBoxLayout;
  presetRow->addWidget(Label(this, "Preset:"));
  auto* preset = Make<DropDownCombo>(this, 1009);
  preset->setMinimumWidth(180);
  presetRow->addWidget(preset, 1);
  auto* apply = Make<QPushButton>(this, 1059);
  apply->setText(QStringLiteral("Apply"));
  presetRow->addWidget(apply);
  auto* saveAs = Make<QPushButton>(this, 1038);
  saveAs->setText(QStringLiteral("save as"));
  presetRow->addWidget(saveAs);
  top->addLayout(presetRow);
  auto* columns = new QHBoxLayout;
  auto* leftColumn = new QVBoxLayout;
  auto* rightColumn = new QVBoxLayout;
  columns->addLayout(leftColumn);
  columns->addLayout(rightColumn);
  top->addLayout(columns);

  auto edit = [this](int id) {
    auto* e = Make<QLineEdit>(this, id);
    return e;
  };
  auto check = [this](int id) { return Make<QCheckBox>(this, id); };
  auto combo = [this](int id) { return Make<DropDownCombo>(this, id); };

  // Printer Setting
  auto* printer = new QGroupBox(QStringLiteral("Printer Setting"), this);
  auto* pg = new QGridLayout(printer);
  pg->addWidget(Label(printer, "Resolution:"), 0, 0);
  auto* res = new QHBoxLayout;
  res->addWidget(edit(1010));
  res->addWidget(Label(printer, "x"));
  res->addWidget(edit(1011));
  pg->addLayout(res, 0, 1);
  pg->addWidget(Label(printer, "Printer Linearization :"), 1, 0);
  pg->addWidget(edit(1019), 1, 1);
  pg->addWidget(Label(printer, "Used Ink:"), 2, 0);
  auto* inks = new QHBoxLayout;
  for (int id : {1014, 1015, 1016, 1017}) inks->addWidget(check(id));
  pg->addLayout(inks, 2, 1);
  leftColumn->addWidget(printer);

  // Separation Setting
  auto* separation = new QGroupBox(QStringLiteral("Separation Setting"), this);
  auto* sg = new QGridLayout(separation);
  int row = 0;
  auto addRow = [&row](QGridLayout* g, QLabel* label, QWidget* w) {
    g->addWidget(label, row, 0);
    g->addWidget(w, row, 1);
    ++row;
  };
  addRow(sg, Label(separation, "Spot Color Names:"), edit(1013));
  addRow(sg, Label(separation, "MultiColor Identification (according to output multicolor icc):"),
         edit(1033));
  addRow(sg, Label(separation, "Dots Used (largedot=100,middledot=10,smalldot=1):"), edit(1020));
  addRow(sg, Label(separation, "MDotStart:"), edit(1034));
  addRow(sg, Label(separation, "LDotStart:"), edit(1035));
  addRow(sg, Label(separation, "MDotDilution:"), edit(1021));
  addRow(sg, Label(separation, "LDotDilution:"), edit(1022));
  addRow(sg, Label(separation, "Dither Bits:"), combo(1018));
  addRow(sg, Label(separation, "DitherMethod:"), combo(1023));
  leftColumn->addWidget(separation);
  leftColumn->addStretch();

  // Color Management Setting
  auto* color = new QGroupBox(QStringLiteral("Color Management Setting"), this);
  auto* cg = new QGridLayout(color);
  row = 0;
  cg->addWidget(check(1012), row++, 0, 1, 2);
  addRow(cg, Label(color, "RGB :"), combo(1025));
  addRow(cg, Label(color, "CMYK :"), combo(1026));
  addRow(cg, Label(color, "Gray :"), combo(1027));
  addRow(cg, Label(color, "Output :"), combo(1028));
  cg->addWidget(check(1029), row++, 0, 1, 2);
  addRow(cg, Label(color, "Intent :"), combo(1037));
  auto* checks = new QHBoxLayout;
  checks->addWidget(check(1030));
  checks->addWidget(check(1031));
  cg->addLayout(checks, row++, 0, 1, 2);
  rightColumn->addWidget(color);

  // Prn Setting
  auto* prn = new QGroupBox(QStringLiteral("Prn Setting"), this);
  auto* ng = new QGridLayout(prn);
  row = 0;
  addRow(ng, Label(prn, "Prn Channel Sequence (or color sequence):"), edit(1024));
  addRow(ng, Label(prn, "Prn Header:"), combo(1036));
  addRow(ng, Label(prn, "Prn Suffix:"), edit(1032));
  rightColumn->addWidget(prn);
  rightColumn->addStretch();

  for (const CheckBinding& c : kChecks) {
    Control<QCheckBox>(this, c.id)->setText(QString::fromLatin1(c.caption));
  }
}

void CSettingDlg::BindControls() {
  // Each change goes into the form at once; Apply and save as read the form.
  for (const EditBinding& b : kEdits) {
    auto* e = Control<QLineEdit>(this, b.id);
    if (b.digitsOnly) MakeDigitsOnly(e);
    const auto field = b.field;
    connect(e, &QLineEdit::textChanged, this,
            [this, field](const QString& text) { form_.*field = Bytes(text); });
  }
  for (const CheckBinding& b : kChecks) {
    const auto field = b.field;
    connect(Control<QCheckBox>(this, b.id), &QCheckBox::toggled, this,
            [this, field](bool on) { form_.*field = on; });
  }
  for (const ComboBinding& b : kCombos) {
    const auto field = b.field;
    // Connected before the message map, so a handler sees the new selection.
    connect(Control<QComboBox>(this, b.id), &QComboBox::activated, this,
            [this, field](int index) { (form_.*field).selected = index; });
  }
}

void CSettingDlg::SyncFromForm() {
  for (const EditBinding& b : kEdits) {
    auto* e = Control<QLineEdit>(this, b.id);
    const QSignalBlocker block(e);
    e->setText(Text(form_.*b.field));
  }
  for (const CheckBinding& b : kChecks) {
    auto* c = Control<QCheckBox>(this, b.id);
    const QSignalBlocker block(c);
    c->setChecked(form_.*b.field);
  }
  for (const ComboBinding& b : kCombos) ShowCombo(Control<QComboBox>(this, b.id), form_.*b.field);
}

void CSettingDlg::OnDropDownPreset() {
  RefillPresetCombo(form_, appDir_);
  ShowCombo(Control<QComboBox>(this, 1009), form_.preset);
}

void CSettingDlg::OnSelChangePreset() {
  SelectPreset(form_, appDir_, sink_);
  SyncFromForm();
}

void CSettingDlg::RefillProfile(const char* folder, int id) {
  RefillProfileCombo(form_, appDir_, folder);
  for (const ComboBinding& b : kCombos) {
    if (b.id == id) ShowCombo(Control<QComboBox>(this, id), form_.*b.field);
  }
}

void CSettingDlg::OnDropDownRGB() { RefillProfile("RGB", 1025); }
void CSettingDlg::OnDropDownCMYK() { RefillProfile("CMYK", 1026); }
void CSettingDlg::OnDropDownGray() { RefillProfile("Gray", 1027); }
void CSettingDlg::OnDropDownOutput() { RefillProfile("Output", 1028); }

void CSettingDlg::OnApply() {
  if (relay_) relay_->click();
}

void CSettingDlg::OnSaveAs() {
  if (form_.preset.selected < 0) {
    sink_.ShowMessage(kChoosePresetToSaveAs);
    return;
  }
  const QString chosen = ChooseSaveFile(this, QtFilter("CFG Files(*.cfg)|*.cfg||"));
  if (chosen.isEmpty()) return;
  SavePresetAs(form_, appDir_, std::filesystem::path(Bytes(chosen)), sink_);
  SyncFromForm();
}

void CSettingDlg::closeEvent(QCloseEvent* event) {
  // The title-bar close applies the values, then hides the dialog.
  OnApply();
  event->accept();
}

void CSettingDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    hide();  // Enter hides without applying
    return;
  }
  QDialog::keyPressEvent(event);
}

void CSettingDlg::reject() { hide(); }  // Escape hides without applying

}  // namespace qm::gui
