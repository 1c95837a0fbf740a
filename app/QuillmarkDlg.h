// CQuillmarkDlg: the main window, the operator's console and the JobHost of
// every job. It owns the ActiveSetting and the Setting, Workflow and About
// dialogs; the Setting dialog holds the SettingForm and the Workflow dialog
// the live InitiationSettings.
//
// Commands run to their end before the window answers again: jobs run on a
// worker thread with the windows' input held off (JobRunner), so the status
// lines and progress bars repaint while a job runs.
#pragma once

#include <QDialog>
#include <QSystemTrayIcon>
#include <QTimer>

#include <filesystem>
#include <string>
#include <string_view>

#include "app/engine_bridge.h"
#include "app/job_runner.h"
#include "app/preview_pane.h"
#include "app/widgets.h"
#include "jobs/hot_folder_tick.h"
#include "platform/job_host.h"
#include "platform/job_lock.h"
#include "jobs/messages.h"
#include "settings/active_setting.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace qm::gui {

class CSettingDlg;
class CWorkflowDlg;
class CAboutVEXDlg;

inline constexpr const char* kWindowTitle = "Quillmark v1.0.3";
static_assert(std::string_view(kWindowTitle) == "Quillmark v" QM_VERSION, "the title names the project's version");
inline constexpr const char* kWantToQuit = "Want to Quit ?";
inline constexpr const char* kChooseToActivate = "Choose a custom file to active hotfolder !";
inline constexpr const char* kFailTickNoSelection = "Fail to active hot folder !";
inline constexpr const char* kFailActivateAtStart = "Fail to active hotfolder!";
inline constexpr const char* kStartupHotFolder = "AHotFolder";
inline constexpr const char* kImportFilter =
    "All Files(*.pdf;*tif;*.jpg)|*.pdf;*.tif;*.jpg|PDF Files(*.pdf;*.PDF)|*.pdf;*PDF|"
    "TIF Files(*.tif;*tiff;*.TIF;*.TIFF)|*.tif;*tiff;*.TIF;*.TIFF|"
    "JPG Files(*.jpg;*.JPG;*.jpeg;*.JPEG)|*.jpg;*.JPG;*.jpeg;*.JPEG||";
inline constexpr const char* kTrayTip = "Quillmark";
inline constexpr const char* kTrayTipMinimized = "Quillmark\nDouble Click to Show Window !";

// Counts a tick or Print handler for as long as it runs.
struct PrintCommandScope {
  explicit PrintCommandScope(int& count) : count_(count) { ++count_; }
  ~PrintCommandScope() { --count_; }
  PrintCommandScope(const PrintCommandScope&) = delete;
  PrintCommandScope& operator=(const PrintCommandScope&) = delete;
  int& count_;
};

class CQuillmarkDlg : public QDialog, public JobHost {
  Q_OBJECT
 public:
  // The controls; each one's object name is its number. The job's displays
  // (StatusLine, ProgressBar) are shown by 1041, 1043, 1044 and 1047.
  enum Id : int {
    kDialog = 102,
    kOk = 1,  // hidden and disabled: Enter does nothing
    kCancel = 2,  // hidden: Escape asks to quit
    kSetting = 1000,
    kWorkflow = 1001,
    kImageList = 1002,
    kSeparationList = 1003,
    kPrnList = 1004,
    kUpdateList = 1005,
    kImport = 1006,
    kSeparate = 1007,
    kActive = 1008,
    kSeparationProgress = 1041,
    kPrnProgress = 1043,
    kSeparationStatus = 1044,
    kCompose = 1046,
    kPrnStatus = 1047,
    kPrint = 1051,
    kAbout = 1058,
    kApplySetting = 1060,  // hidden: runs the Apply wrapper on the Setting dialog's form
    kPreset = 1062,
  };

  CQuillmarkDlg(std::filesystem::path appDir, EngineCommands commands,
                QWidget* parent = nullptr);
  ~CQuillmarkDlg() override;

  // The start-up sequence, run once before the window is first shown.
  void StartUp();

  // JobHost, on the GUI thread.
  void ShowMessage(std::string_view text, std::string_view cause = {}) override;
  void Warn(std::string_view text) override;
  // The last warning or failure cause, as the window shows it below the lists.
  std::string LastNotice() const;
  void SetStatus(StatusLine line, std::string_view text) override;
  void SetProgress(ProgressBar bar, int position) override;
  void RefreshLists() override { OnUpdateList(); }
  // Log lines go to standard error with --verbose, else nowhere.
  void Log(std::string_view line) override;
  void SetVerbose(bool on) { verbose_ = on; }

  ActiveSetting& Setting() { return setting_; }
  CSettingDlg* SettingDlg() const { return settingDlg_; }
  CWorkflowDlg* WorkflowDlg() const { return workflowDlg_; }
  CAboutVEXDlg* AboutDlg() const { return aboutDlg_; }
  QTimer& HotFolderTimer() { return hotTimer_; }
  PreviewPane* Preview() const { return preview_; }
  QSystemTrayIcon* TrayIcon() const { return tray_; }
  bool JobRunning() const { return jobs_.Running(); }

  // Handlers of the message map (public so the tests can drive them as a
  // click would).
  void OnUpdateList();
  void OnImport();
  void OnSeparate();
  void OnCompose();
  void OnPrint();
  void OnActive();
  void OnAbout();
  void OnSetting();
  void OnWorkflow();
  void OnApplySetting();
  void OnSelChangeImageList();
  void OnSelChangeSeparationList();  // the preview pane shows the plane
  void OnSelChangePrnList();         // the preview pane shows the PRN file
  void OnDblClkImageList();
  void OnDblClkSeparationList();
  void OnDblClkPrnList();
  void OnDropDownPreset();
  void OnSelChangePreset();
  void OnCancel();

  // Hot folder and tray.
  void OnTimer();
  void OnMinimize();
  void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);

  void EnableSeparate(bool on);
  void ToggleHiddenButtons();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void BuildControls();
  // `init` replaces the Workflow dialog's settings for this one job.
  bool RunJob(const std::function<bool(JobContext&)>& job, InitiationSettings* init = nullptr);
  std::string SelectedImage() const;  // empty when none
  bool Busy() const;
  bool RunTickJob(const std::function<bool(JobContext&)>& job);  // a tick's command
  void RecoverBatches();  // at start-up: batch folders of ticks a kill cut short
  void LaunchPrinterApp();
  void Notice(const std::string& text);

  std::filesystem::path appDir_;
  EngineCommands commands_;
  ActiveSetting setting_;
  ComboState preset_;  // kPreset, filled only when dropped down
  CSettingDlg* settingDlg_ = nullptr;
  CWorkflowDlg* workflowDlg_ = nullptr;
  CAboutVEXDlg* aboutDlg_ = nullptr;
  QListWidget* imageList_ = nullptr;
  QListWidget* separationList_ = nullptr;
  QListWidget* prnList_ = nullptr;
  PreviewPane* preview_ = nullptr;
  QPushButton* applySetting_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QTimer hotTimer_;
  // What a tick reports: failures and warnings on the notice line, log lines
  // with --verbose.
  class TickNotices : public TickReport {
   public:
    explicit TickNotices(CQuillmarkDlg& window) : window_(window) {}
    void Printed(const std::string&, const std::filesystem::path&, double) override {}  // the job logs it
    void Failed(const NotPrinted& failed) override { window_.Warn(failed.Text()); }
    void Warning(std::string_view text) override { window_.Warn(text); }
    void Log(std::string_view line) override { window_.Log(line); }
    void Refresh() override { window_.OnUpdateList(); }

   private:
    CQuillmarkDlg& window_;
  };
  TickNotices tickNotices_{*this};
  HotFolderTick tick_{tickNotices_, [this](const std::function<bool(JobContext&)>& job) { return RunTickJob(job); },
                      [this](JobContext& ctx, const std::string& item, FileFailure* failure) {
                        return commands_.print(ctx, item, failure);
                      }};
  JobRunner jobs_{*this};
  bool quitting_ = false;
  bool verbose_ = false;
  bool unattended_ = false;  // a tick's command runs: its messages are notices, not boxes
  // Ticks are held while a box opened by a tick or by the Print command
  // waits for the operator (and while any job runs), not by other windows.
  int printCommands_ = 0;  // tick or Print handlers under way
  int printBoxes_ = 0;     // their message boxes now open
  static constexpr std::size_t kNoticesKept = 50;
  QLabel* notice_ = nullptr;            // last warning or failure cause
  std::vector<std::string> notices_;    // the recent ones, as its tool tip
};

}  // namespace qm::gui
