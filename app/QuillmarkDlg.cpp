#include "app/QuillmarkDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <cstdio>

#include "app/AboutVEXDlg.h"
#include "app/gui_hooks.h"
#include "app/message_map.h"
#include "platform/platform.h"
#include "app/SettingDlg.h"
#include "app/WorkflowDlg.h"
#include "settings/apply.h"
#include "settings/limits.h"
#include "settings/underbase.h"

// The icons and the About picture live in the GUI library's Qt resources,
// which a static library registers only when asked.
static void RegisterResources() { Q_INIT_RESOURCE(quillmark); }

namespace qm::gui {

namespace {

using C = CQuillmarkDlg;
using Entry = MessageEntry<CQuillmarkDlg>;
constexpr std::array<Entry, 19> kMessageMap{{
    {C::kUpdateList, Notify::Clicked, &CQuillmarkDlg::OnUpdateList},
    {C::kImport, Notify::Clicked, &CQuillmarkDlg::OnImport},
    {C::kSeparate, Notify::Clicked, &CQuillmarkDlg::OnSeparate},
    {C::kCompose, Notify::Clicked, &CQuillmarkDlg::OnCompose},
    {C::kPrint, Notify::Clicked, &CQuillmarkDlg::OnPrint},
    {C::kActive, Notify::Clicked, &CQuillmarkDlg::OnActive},
    {C::kAbout, Notify::Clicked, &CQuillmarkDlg::OnAbout},
    {C::kSetting, Notify::Clicked, &CQuillmarkDlg::OnSetting},
    {C::kWorkflow, Notify::Clicked, &CQuillmarkDlg::OnWorkflow},
    {C::kApplySetting, Notify::Clicked, &CQuillmarkDlg::OnApplySetting},
    {C::kImageList, Notify::SelChange, &CQuillmarkDlg::OnSelChangeImageList},
    {C::kSeparationList, Notify::SelChange, &CQuillmarkDlg::OnSelChangeSeparationList},
    {C::kPrnList, Notify::SelChange, &CQuillmarkDlg::OnSelChangePrnList},
    {C::kImageList, Notify::DblClk, &CQuillmarkDlg::OnDblClkImageList},
    {C::kSeparationList, Notify::DblClk, &CQuillmarkDlg::OnDblClkSeparationList},
    {C::kPrnList, Notify::DblClk, &CQuillmarkDlg::OnDblClkPrnList},
    {C::kPreset, Notify::DropDown, &CQuillmarkDlg::OnDropDownPreset},
    {C::kPreset, Notify::SelChange, &CQuillmarkDlg::OnSelChangePreset},
    {C::kCancel, Notify::Clicked, &CQuillmarkDlg::OnCancel},
}};

template <class W>
W* Make(QWidget* parent, int id, const char* text = nullptr) {
  auto* w = new W(parent);
  w->setObjectName(QString::number(id));
  if constexpr (std::is_base_of_v<QAbstractButton, W> || std::is_same_v<W, QLabel>) {
    if (text) w->setText(QString::fromLatin1(text));
  }
  return w;
}

// Inserts `text` where a sorted list box would: case-insensitive order, ties
// by bytes, as the folder listings are sorted.
void InsertSorted(QListWidget* list, const std::string& text) {
  const std::string lower = ToLower(text);
  int row = 0;
  for (; row < list->count(); ++row) {
    const std::string other = Bytes(list->item(row)->text());
    const std::string otherLower = ToLower(other);
    if (lower < otherLower || (lower == otherLower && text < other)) break;
  }
  list->insertItem(row, Text(text));
}

}  // namespace

CQuillmarkDlg::CQuillmarkDlg(std::filesystem::path appDir, EngineCommands commands, QWidget* parent)
    : QDialog(parent), appDir_(std::move(appDir)), commands_(std::move(commands)) {
  RegisterResources();
  setObjectName(QString::number(kDialog));
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
  QFont f(QStringLiteral("Arial"));
  f.setPointSize(8);
  setFont(f);
  const QIcon icon(QStringLiteral(":/quillmark/icon.png"));
  setWindowIcon(icon);
  BuildControls();
  ConnectMessageMap<CQuillmarkDlg>(this, kMessageMap);

  // The secondary dialogs exist for the whole run, hidden until shown.
  settingDlg_ = new CSettingDlg(appDir_, applySetting_, this);
  workflowDlg_ = new CWorkflowDlg(appDir_, [this](bool on) { EnableSeparate(on); }, this);
  aboutDlg_ = new CAboutVEXDlg([this] { ToggleHiddenButtons(); }, this);
  for (QDialog* d : {static_cast<QDialog*>(settingDlg_), static_cast<QDialog*>(workflowDlg_),
                     static_cast<QDialog*>(aboutDlg_)}) {
    d->setWindowFlag(Qt::Window);  // modeless windows of their own
    d->setWindowIcon(icon);
    d->hide();
  }
  jobs_.SetWindows({this, settingDlg_, workflowDlg_, aboutDlg_});

  tray_ = new QSystemTrayIcon(icon, this);
  tray_->setToolTip(QString::fromLatin1(kTrayTip));
  connect(tray_, &QSystemTrayIcon::activated, this, &CQuillmarkDlg::OnTrayActivated);

  hotTimer_.setInterval(kHotFolderPeriodMs);
  connect(&hotTimer_, &QTimer::timeout, this, &CQuillmarkDlg::OnTimer);
}

CQuillmarkDlg::~CQuillmarkDlg() {
  hotTimer_.stop();
  if (tray_) tray_->hide();  // the icon leaves the tray with the window
}

void CQuillmarkDlg::BuildControls() {
  auto* top = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  top->addLayout(left, 1);

  auto* presetRow = new QHBoxLayout;
  presetRow->addWidget(new QLabel(QStringLiteral("Preset :"), this));
  auto* preset = Make<DropDownCombo>(this, kPreset);
  preset->setMinimumWidth(200);
  connect(preset, &QComboBox::activated, this, [this](int index) { preset_.selected = index; });
  presetRow->addWidget(preset, 1);
  left->addLayout(presetRow);

  auto listBox = [this](int id) {
    auto* l = Make<QListWidget>(this, id);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    return l;
  };
  auto* images = new QGroupBox(QStringLiteral("Image List"), this);
  auto* il = new QVBoxLayout(images);
  imageList_ = listBox(kImageList);
  il->addWidget(imageList_);
  left->addWidget(images, 2);

  auto statusGroup = [&](const char* title, int listId, int statusId, int barId) {
    auto* g = new QGroupBox(QString::fromLatin1(title), this);
    auto* l = new QVBoxLayout(g);
    auto* list = listBox(listId);
    l->addWidget(list);
    l->addWidget(Make<QLabel>(this, statusId, "None"));
    auto* bar = Make<QProgressBar>(this, barId);
    bar->setRange(0, 100);
    bar->setValue(0);
    l->addWidget(bar);
    left->addWidget(g, 2);
    return list;
  };
  separationList_ = statusGroup("Separation List", kSeparationList, kSeparationStatus, kSeparationProgress);
  prnList_ = statusGroup("Prn List", kPrnList, kPrnStatus, kPrnProgress);

  // Warnings and failure causes, never as boxes (a hot folder must not stall).
  notice_ = new QLabel(this);
  notice_->setObjectName(QStringLiteral("notice"));
  notice_->setWordWrap(true);
  left->addWidget(notice_);

  auto* buttons = new QVBoxLayout;
  top->addLayout(buttons);
  const std::array<std::pair<int, const char*>, 9> visible{{
      {kImport, "Import"}, {kUpdateList, "Update List"}, {kSeparate, "Separate"}, {kCompose, "Compose"},
      {kPrint, "Print"}, {kActive, "Active"}, {kSetting, "Setting"}, {kWorkflow, "Workflow"}, {kAbout, "About"},
  }};
  for (const auto& [id, caption] : visible) {
    auto* b = Make<QPushButton>(this, id, caption);
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  buttons->addStretch();

  // The preview pane, beside the buttons.
  preview_ = new PreviewPane(this);
  top->addWidget(preview_, 1);

  Control<QPushButton>(this, kSeparate)->setEnabled(false);
  Control<QPushButton>(this, kCompose)->setEnabled(false);
  Control<QPushButton>(this, kSetting)->hide();
  Control<QPushButton>(this, kWorkflow)->hide();

  // Hidden: the Setting dialog's Apply, the cancel route and a disabled
  // default button.
  applySetting_ = Make<QPushButton>(this, kApplySetting);
  applySetting_->hide();
  auto* cancel = Make<QPushButton>(this, kCancel);
  cancel->hide();
  auto* ok = Make<QPushButton>(this, kOk);
  ok->setEnabled(false);
  ok->hide();
  for (QPushButton* b : {applySetting_, cancel, ok}) b->setAutoDefault(false);
}

// ---- JobHost ---------------------------------------------------------------

void CQuillmarkDlg::ShowMessage(std::string_view text, std::string_view cause) {
  if (unattended_) {
    const std::string notice = cause.empty() ? std::string(text) : std::string(text) + " " + std::string(cause);
    Log(notice);
    return Notice(notice);
  }
  if (!cause.empty()) Notice(std::string(text) + " " + std::string(cause));
  const bool held = printCommands_ > 0;
  printBoxes_ += held ? 1 : 0;
  gui::ShowMessage(this, text, cause);
  printBoxes_ -= held ? 1 : 0;
}

void CQuillmarkDlg::Warn(std::string_view text) { Notice("Warning: " + std::string(text)); }

void CQuillmarkDlg::Notice(const std::string& text) {
  notices_.push_back(text);
  if (notices_.size() > kNoticesKept) notices_.erase(notices_.begin());
  notice_->setText(Text(text));
  QString all;
  for (const std::string& n : notices_) all += Text(n) + QLatin1Char('\n');
  notice_->setToolTip(all.trimmed());
}

std::string CQuillmarkDlg::LastNotice() const { return notices_.empty() ? std::string() : notices_.back(); }

void CQuillmarkDlg::SetStatus(StatusLine line, std::string_view text) {
  const int id = line == StatusLine::Separation ? kSeparationStatus : kPrnStatus;
  if (auto* l = Control<QLabel>(this, id)) l->setText(Text(text));
}

void CQuillmarkDlg::SetProgress(ProgressBar bar, int position) {
  const int id = bar == ProgressBar::Separation ? kSeparationProgress : kPrnProgress;
  if (auto* b = Control<QProgressBar>(this, id)) b->setValue(position);
}

void CQuillmarkDlg::Log(std::string_view line) {
  if (!verbose_) return;
  std::fprintf(stderr, "log: %.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(stderr);
}

// ---- Commands --------------------------------------------------------------

std::string CQuillmarkDlg::SelectedImage() const {
  const int row = SelectedRow(imageList_);
  return row < 0 ? std::string() : Bytes(imageList_->item(row)->text());
}

bool CQuillmarkDlg::RunJob(const std::function<bool(JobContext&)>& job, InitiationSettings* init) {
  return jobs_.Run([this, &job, init](JobHost& host) {
    JobContext ctx{setting_, init ? *init : workflowDlg_->Init(), host};
    std::string problem;
    ctx.toolTimeLimit = ReadAppDirLimits(&problem).toolTimeLimit;
    if (!problem.empty()) host.Warn(problem);
    return job(ctx);
  });
}

void CQuillmarkDlg::OnUpdateList() {
  // The preview pane keeps the file last chosen (its title names it), so a
  // hot-folder tick's refresh does not take it away.
  FillList(separationList_, {});
  FillList(prnList_, {});
  const std::string item = SelectedImage();
  if (item.empty()) {
    if (commands_.imageList) FillList(imageList_, commands_.imageList());
  } else if (commands_.separationList) {
    FillList(separationList_, commands_.separationList(item));
  }
  if (commands_.prnList) FillList(prnList_, commands_.prnList());
}

void CQuillmarkDlg::OnImport() {
  const QStringList chosen = ChooseOpenFiles(this, QtFilter(kImportFilter));
  if (chosen.isEmpty() || !commands_.importFiles) return;
  std::vector<std::filesystem::path> files;
  for (const QString& f : chosen) files.emplace_back(Bytes(f));
  const std::vector<std::string> stems = commands_.importFiles(files, *this);
  for (const std::string& stem : stems) {
    for (int row = 0; row < imageList_->count(); ++row) {
      if (EqualsNoCase(Bytes(imageList_->item(row)->text()), stem)) {
        delete imageList_->takeItem(row);
        break;
      }
    }
    InsertSorted(imageList_, stem);
    SelectRow(imageList_, 0);
  }
}

void CQuillmarkDlg::OnSeparate() {
  const std::string item = SelectedImage();
  if (item.empty()) return ShowMessage(kChooseImageItem);
  if (!commands_.separate) return;
  RunJob([this, &item](JobContext& ctx) { return commands_.separate(ctx, item); });
}

void CQuillmarkDlg::OnCompose() {
  const int row = SelectedRow(separationList_);
  if (row < 0) return ShowMessage(kChooseSeparationItem);
  if (!commands_.compose) return;
  const std::string item = SelectedImage();
  const std::string entry = Bytes(separationList_->item(row)->text());
  // Compose packs by the Setting dialog's light-ink boxes as they stand now.
  const SettingForm& form = settingDlg_->Form();
  const LightInkBoxes boxes{form.UseLc, form.UseLm, form.UseLk, form.UseLlk};
  RunJob([this, &item, &entry, &boxes](JobContext& ctx) { return commands_.compose(ctx, item, entry, boxes); });
}

void CQuillmarkDlg::OnPrint() {
  const PrintCommandScope scope(printCommands_);
  const std::string item = SelectedImage();
  if (item.empty()) return ShowMessage(kChooseImageItem);
  if (!commands_.print) return;
  RunJob([this, &item](JobContext& ctx) { return commands_.print(ctx, item, nullptr); });
}

void CQuillmarkDlg::OnAbout() {
  aboutDlg_->show();
  aboutDlg_->raise();
  aboutDlg_->activateWindow();
}

void CQuillmarkDlg::OnSetting() {
  settingDlg_->show();
  settingDlg_->raise();
  settingDlg_->activateWindow();
}

void CQuillmarkDlg::OnWorkflow() {
  workflowDlg_->show();
  workflowDlg_->raise();
  workflowDlg_->activateWindow();
}

void CQuillmarkDlg::OnApplySetting() {
  ApplyWrapper(settingDlg_->Form(), appDir_, setting_, *this);
}

void CQuillmarkDlg::OnSelChangeImageList() { OnUpdateList(); }

void CQuillmarkDlg::OnSelChangeSeparationList() {
  const int row = SelectedRow(separationList_);
  const std::string item = SelectedImage();
  if (row < 0 || item.empty()) return preview_->Clear();
  preview_->ShowPlane(appDir_ / "RipIn" / "Separation" / item / Bytes(separationList_->item(row)->text()));
}

void CQuillmarkDlg::OnSelChangePrnList() {
  const int row = SelectedRow(prnList_);
  if (row < 0) return preview_->Clear();
  const std::filesystem::path file = appDir_ / "RipIn" / "UserPrn" / Bytes(prnList_->item(row)->text());
  // Positions and inks by the preset of the Setting dialog, as prn-info
  // takes them from the preset in force.
  const SettingForm& form = settingDlg_->Form();
  const auto reader = PrnReader::Open(file);
  const uint32_t channels = reader && reader->header().channels <= kPrnMaxChannels ? reader->header().channels : 0;
  std::vector<std::string> inks;
  InkSettings inkSettings;
  if (form.preset.selected < 0) {
    inks = InksForSlots(DefaultPositionSlots(channels), std::nullopt);
  } else {
    const std::array<int, 4> light = {form.UseLc, form.UseLm, form.UseLk, form.UseLlk};
    inks = InksForSlots(PositionSlotsFromPreset(channels, light, form.PRNSequence, form.ICCOutputColors),
                        std::string_view(form.PRNSequence));
    inkSettings = InkSettingsOfPreset(appDir_ / "Configuration" / form.preset.Text());
  }
  // The underbase ink of the preset's underbase.txt is drawn white on a garment.
  UnderbaseSettings underbase;
  const std::string preset = form.preset.selected < 0 ? std::string() : form.preset.Text();
  if (!preset.empty()) {
    const auto folder = ResolveCaseInsensitive(appDir_ / "Configuration", preset.substr(0, preset.rfind('.')));
    if (!ReadUnderbaseSettings(UnderbaseFileOf(folder), underbase)) underbase = UnderbaseSettings{};
  }
  preview_->SetWhiteInk(underbase.InkCode());
  preview_->ShowPrn(file, std::move(inks), std::move(inkSettings));
}

void CQuillmarkDlg::OnDblClkImageList() {
  const std::string item = SelectedImage();
  if (!item.empty()) OpenPath(appDir_ / "RipIn" / "CustomFiles" / item);
}

void CQuillmarkDlg::OnDblClkSeparationList() {
  const std::string item = SelectedImage();
  if (!item.empty()) OpenPath(appDir_ / "RipIn" / "Separation" / item);
}

void CQuillmarkDlg::OnDblClkPrnList() { OpenPath(appDir_ / "RipIn" / "UserPrn" / ""); }

void CQuillmarkDlg::OnDropDownPreset() {
  preset_.entries = ListPresetFiles(appDir_);
  preset_.selected = -1;
  ShowCombo(Control<QComboBox>(this, kPreset), preset_);
}

void CQuillmarkDlg::OnSelChangePreset() {
  // Paired by position: each combo lists the folder as of its last filling.
  SettingForm& form = settingDlg_->Form();
  const int index = preset_.selected;
  form.preset.selected =
      (index >= 0 && index < static_cast<int>(form.preset.entries.size())) ? index : -1;
  BoxSink sink(settingDlg_, this);
  SelectPreset(form, appDir_, sink);
  settingDlg_->SyncFromForm();
  applySetting_->click();
}

void CQuillmarkDlg::OnCancel() { reject(); }

void CQuillmarkDlg::reject() {
  if (jobs_.Running()) return;
  if (!AskYesNo(this, kWantToQuit)) return;
  quitting_ = true;
  hotTimer_.stop();
  QDialog::reject();
  QCoreApplication::quit();
}

void CQuillmarkDlg::closeEvent(QCloseEvent* event) {
  if (quitting_) return event->accept();
  event->ignore();
  reject();
}

void CQuillmarkDlg::EnableSeparate(bool on) {
  Control<QPushButton>(this, kSeparate)->setEnabled(on);
  Control<QPushButton>(this, kCompose)->setEnabled(on);
}

void CQuillmarkDlg::ToggleHiddenButtons() {
  auto* setting = Control<QPushButton>(this, kSetting);
  auto* workflow = Control<QPushButton>(this, kWorkflow);
  const bool show = setting->isHidden();
  setting->setVisible(show);
  workflow->setVisible(show);
}

}  // namespace qm::gui
