// The main window: the list of backup scripts with Add, Delete, Edit and Run, the progress bar,
// the status line and the language button; the program's settings; and the feedback of a run
// (status line, window title, log). The run itself is TBackupRun (BackupRun.h), the scripts'
// INI form ScriptStore.h; the window keeps their documented names as thin calls.
//
// Its logic runs without any front end: tests create it through CreateForm and call its handlers
// and operations directly; a front end only mirrors its controls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/BackupRun.h"
#include "app/u_types.h"
#include "lang/Localizer.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"
#include "zip/ZipArchiver.h"

namespace dravello {

// The credit line of the idle status line and the homepage its click opens.
inline constexpr const char* kCreditLine = "Velmora's Dravello - free backups by Velmora";
inline constexpr const char* kHomepage = "https://velmora.example/dravello/";

class TfrmMain : public TForm, public RunFeedback {
  DV_CLASS(TfrmMain)

 public:
  explicit TfrmMain(TComponent* owner);

  // ---- Controls (owned by the window) ----
  TGroupBox* gbxScript;
  TComboBox* cbxScriptName;
  TSpeedButton* sbAdd;
  TSpeedButton* sbDel;
  TSpeedButton* sbEdt;
  TSpeedButton* sbRun;
  TBevel* bvlProgBar;
  TProgressBar* prbMain;
  TPanel* stbMain;
  TPanel* pnlStatus;
  TSpeedButton* sbLang;
  TZipArchiver* zipMain;
  TLocalizer* mlMain;

  // ---- State ----
  bool StartedWithParams = false;  // the command line held at least one parameter
  int32_t ConfLeft = 50;           // where the script editor opens
  int32_t ConfTop = 50;
  bool ControlsEnabled = false;    // idle: no run in progress
  bool LogEnabled = false;
  std::string CurrentScript;       // the script being run; prefixes log lines
  uint32_t StartTick = 0;          // tick count at the last progress reset
  std::string AppDir;              // the program's folder, with a trailing separator

  // How a command-line start ended, for the exit status: failures of guarded steps counted by
  // ReportError, and whether the command line itself was refused.
  int FailureCount = 0;
  bool ParameterError = false;
  // 0 when nothing failed, 1 when a step failed, 2 for a parameter error or an unknown script.
  int ExitStatus() const { return ParameterError ? 2 : (FailureCount > 0 ? 1 : 0); }

  // ---- Settings and script store (each call is one INI store's life) ----
  void ResetScript(TBackupScript& script);
  void ReadScript(TBackupScript& script);
  void WriteScript(const TBackupScript& script);
  void DeleteScript(const std::string& name);
  void LoadSettings();
  void SaveSettings();
  void EnableControls(bool enabled);
  void RunCommandLine();
  void SetLanguage(const std::string& code);
  std::string GetLanguage() const;

  // ---- Window events ----
  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void FormClose(TObject* Sender, TCloseAction& Action);

  // ---- Commands ----
  void sbAddClick(TObject* Sender);
  void sbDelClick(TObject* Sender);
  void sbEdtClick(TObject* Sender);
  void sbRunClick(TObject* Sender);
  void sbLangClick(TObject* Sender);
  void stbMainClick(TObject* Sender);

  // ---- The run ----
  void RunScript(const std::string& name);
  std::string BuildDestination(const std::string& path, uint8_t format, bool pack);
  void RunScriptCopy(const std::string& destination, TStringList& files, TStringList& dirs, bool useArchive,
                     bool removeArchive);
  void RunScriptPack(const std::string& archive, TStringList& files, bool useArchive, bool removeArchive);
  void zipMainProgress(TObject* Sender, ProgressType ProgrType, const std::string& FileName, uint32_t FileSize);

  // ---- Feedback ----
  void ShowStatus(const std::string& text) override;
  void ShowAndLog(const std::string& text) override;
  // One line of the log; the line breaks of a text become blanks, so one entry is one line.
  void WriteLog(const std::string& text);
  void ResetProgress();
  void StepProgress() override;
  // The sink of every guarded step: one log line "### Exception during <description> [<failure>]"
  // in the current language, and one more counted failure. Shows nothing.
  void ReportError(const std::string& description, const std::string& failure) override;

  // Runs `work` as a guarded step: any failure inside is caught and handed to ReportError with
  // the description, which is only put together when something failed.
  void Guarded(const std::function<std::string()>& description, const std::function<void()>& work);

 private:
  void BuildControls();
  TBackupRun& Run();
  // A command puts the idle line back where a run's failure count was shown.
  void ClearRunOutcome();

  // ---- What a run asks of the window ----
  void StartPhase(int32_t steps) override;
  void ShowErrorBox(const std::string& text, const std::string& caption) override;
  void ProcessMessages() override;
  void SetRunningScript(const std::string& script) override;
  int FailuresSoFar() const override { return FailureCount; }
  void ShowRunFailures(int failed) override;

  // How long the reason for a refused close stays in the status line before the run's messages
  // show again, in milliseconds.
  static constexpr uint32_t kRefusalShownFor = 3000;

  std::unique_ptr<TBackupRun> run_;
  bool statusHeld_ = false;
  uint32_t statusHeldUntil_ = 0;
  bool reportingError_ = false;
  bool runOutcomeShown_ = false;
};

}  // namespace dravello
