#include "app/SettingDlg.h"

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

using C = CSettingDlg;

using Entry = MessageEntry<CSettingDlg>;
constexpr std::array<Entry, 8> kMessageMap{{
    {C::kPreset, Notify::DropDown, &CSettingDlg::OnDropDownPreset},
    {C::kPreset, Notify::SelChange, &CSettingDlg::OnSelChangePreset},
    {C::kRgbProfile, Notify::DropDown, &CSettingDlg::OnDropDownRGB},
    {C::kCmykProfile, Notify::DropDown, &CSettingDlg::OnDropDownCMYK},
    {C::kGrayProfile, Notify::DropDown, &CSettingDlg::OnDropDownGray},
    {C::kOutputProfile, Notify::DropDown, &CSettingDlg::OnDropDownOutput},
    {C::kApply, Notify::Clicked, &CSettingDlg::OnApply},
    {C::kSaveAs, Notify::Clicked, &CSettingDlg::OnSaveAs},
}};

template <class W>
W* Make(QWidget* parent, int id) {
  auto* w = new W(parent);
  w->setObjectName(QString::number(id));
  return w;
}

QLabel* Label(QWidget* parent, const char* text) { return new QLabel(QString::fromLatin1(text), parent); }

}  // namespace

int CSettingDlg::ControlOf(std::string_view key) {
  const PresetKey* k = FindPresetKey(key);
  return k ? k->control : 0;
}

CSettingDlg::CSettingDlg(std::filesystem::path appDir, QAbstractButton* applyButton, QWidget* parent)
    : QDialog(parent), appDir_(std::move(appDir)), applyButton_(applyButton) {
  setObjectName(QString::number(kDialog));
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
  auto* preset = Make<DropDownCombo>(this, kPreset);
  preset->setMinimumWidth(180);
  presetRow->addWidget(preset, 1);
  auto* apply = Make<QPushButton>(this, kApply);
  apply->setText(QStringLiteral("Apply"));
  presetRow->addWidget(apply);
  auto* saveAs = Make<QPushButton>(this, kSaveAs);
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
  res->addWidget(edit(kXResolution));
  res->addWidget(Label(printer, "x"));
  res->addWidget(edit(kYResolution));
  pg->addLayout(res, 0, 1);
  pg->addWidget(Label(printer, "Printer Linearization :"), 1, 0);
  pg->addWidget(edit(kLinearProfile), 1, 1);
  pg->addWidget(Label(printer, "Used Ink:"), 2, 0);
  auto* inks = new QHBoxLayout;
  for (int id : {kUseLc, kUseLm, kUseLk, kUseLlk}) inks->addWidget(check(id));
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
  addRow(sg, Label(separation, "Spot Color Names:"), edit(kSpotColorNames));
  addRow(sg, Label(separation, "MultiColor Identification (according to output multicolor icc):"),
         edit(kOutputColors));
  addRow(sg, Label(separation, "Dots Used (largedot=100,middledot=10,smalldot=1):"), edit(kUseDots));
  addRow(sg, Label(separation, "MDotStart:"), edit(kMiddleDotStart));
  addRow(sg, Label(separation, "LDotStart:"), edit(kLargeDotStart));
  addRow(sg, Label(separation, "MDotDilution:"), edit(kMiddleDotDilution));
  addRow(sg, Label(separation, "LDotDilution:"), edit(kLargeDotDilution));
  addRow(sg, Label(separation, "Dither Bits:"), combo(kBits));
  addRow(sg, Label(separation, "DitherMethod:"), combo(kDitherMethod));
  leftColumn->addWidget(separation);
  leftColumn->addStretch();

  // Color Management Setting
  auto* color = new QGroupBox(QStringLiteral("Color Management Setting"), this);
  auto* cg = new QGridLayout(color);
  row = 0;
  cg->addWidget(check(kUseICC), row++, 0, 1, 2);
  addRow(cg, Label(color, "RGB :"), combo(kRgbProfile));
  addRow(cg, Label(color, "CMYK :"), combo(kCmykProfile));
  addRow(cg, Label(color, "Gray :"), combo(kGrayProfile));
  addRow(cg, Label(color, "Output :"), combo(kOutputProfile));
  cg->addWidget(check(kOverrideICC), row++, 0, 1, 2);
  addRow(cg, Label(color, "Intent :"), combo(kRenderIntent));
  auto* checks = new QHBoxLayout;
  checks->addWidget(check(kBlackPtComp));
  checks->addWidget(check(kKPreserve));
  cg->addLayout(checks, row++, 0, 1, 2);
  rightColumn->addWidget(color);

  // Prn Setting
  auto* prn = new QGroupBox(QStringLiteral("Prn Setting"), this);
  auto* ng = new QGridLayout(prn);
  row = 0;
  addRow(ng, Label(prn, "Prn Channel Sequence (or color sequence):"), edit(kPrnSequence));
  addRow(ng, Label(prn, "Prn Header:"), combo(kPrnHeader));
  addRow(ng, Label(prn, "Prn Suffix:"), edit(kSuffix));
  rightColumn->addWidget(prn);
  rightColumn->addStretch();

  for (const PresetKey& k : PresetKeys()) {
    if (k.caption) Control<QCheckBox>(this, k.control)->setText(QString::fromLatin1(k.caption));
  }
}

void CSettingDlg::BindControls() {
  // Each change goes into the form at once; Apply and save as read the form.
  // Combos are connected before the message map, so a handler sees the new
  // selection.
  auto bindCombo = [this](int id, ComboState SettingForm::*field) {
    connect(Control<QComboBox>(this, id), &QComboBox::activated, this,
            [this, field](int index) { (form_.*field).selected = index; });
  };
  bindCombo(kPreset, &SettingForm::preset);
  for (const PresetKey& k : PresetKeys()) {
    if (k.text) {
      auto* e = Control<QLineEdit>(this, k.control);
      if (k.kind == SettingKind::kNumber) MakeDigitsOnly(e);
      const auto field = k.text;
      connect(e, &QLineEdit::textChanged, this, [this, field](const QString& text) { form_.*field = Bytes(text); });
    } else if (k.flag) {
      const auto field = k.flag;
      connect(Control<QCheckBox>(this, k.control), &QCheckBox::toggled, this,
              [this, field](bool on) { form_.*field = on; });
    } else {
      bindCombo(k.control, k.choice);
    }
  }
}

void CSettingDlg::SyncFromForm() {
  ShowCombo(Control<QComboBox>(this, kPreset), form_.preset);
  for (const PresetKey& k : PresetKeys()) {
    if (k.text) {
      auto* e = Control<QLineEdit>(this, k.control);
      const QSignalBlocker block(e);
      e->setText(Text(form_.*k.text));
    } else if (k.flag) {
      auto* c = Control<QCheckBox>(this, k.control);
      const QSignalBlocker block(c);
      c->setChecked(form_.*k.flag);
    } else {
      ShowCombo(Control<QComboBox>(this, k.control), form_.*k.choice);
    }
  }
}

void CSettingDlg::OnDropDownPreset() {
  RefillPresetCombo(form_, appDir_);
  ShowCombo(Control<QComboBox>(this, kPreset), form_.preset);
}

void CSettingDlg::OnSelChangePreset() {
  SelectPreset(form_, appDir_, sink_);
  SyncFromForm();
}

void CSettingDlg::RefillProfile(const char* folder, int id) {
  RefillProfileCombo(form_, appDir_, folder);
  for (const PresetKey& k : PresetKeys()) {
    if (k.control == id) ShowCombo(Control<QComboBox>(this, id), form_.*k.choice);
  }
}

void CSettingDlg::OnDropDownRGB() { RefillProfile("RGB", kRgbProfile); }
void CSettingDlg::OnDropDownCMYK() { RefillProfile("CMYK", kCmykProfile); }
void CSettingDlg::OnDropDownGray() { RefillProfile("Gray", kGrayProfile); }
void CSettingDlg::OnDropDownOutput() { RefillProfile("Output", kOutputProfile); }

void CSettingDlg::OnApply() {
  if (applyButton_) applyButton_->click();
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
