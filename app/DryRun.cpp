#include "app/DryRun.h"

#include <ostream>

#include "app/BackupRun.h"
#include "app/u_types.h"
#include "ini/SectionIni.h"
#include "lang/u_language.h"
#include "runtime/CommandLine.h"
#include "runtime/Locale.h"
#include "ui/Forms.h"

namespace dravello {

namespace {

// What a preview reports: failed steps as the log would word them, on the error stream; nothing
// else of a run's feedback is shown.
class TDryRunFeedback : public RunFeedback {
 public:
  explicit TDryRunFeedback(std::ostream& err) : err_(err) {}
  void ShowStatus(const std::string&) override {}
  void ShowAndLog(const std::string&) override {}
  void StartPhase(int32_t) override {}
  void StepProgress() override {}
  void ReportError(const std::string& description, const std::string& failure) override {
    ++failures_;
    err_ << MessageTextFmt("fM_stbStatusError", {description, failure}) << std::endl;
  }
  void ShowErrorBox(const std::string&, const std::string&) override {}
  void ProcessMessages() override {}
  void SetRunningScript(const std::string&) override {}
  int FailuresSoFar() const override { return failures_; }
  void ShowRunFailures(int) override {}

 private:
  std::ostream& err_;
  int failures_ = 0;
};

}  // namespace

bool IsDryRunSwitch(const std::string& param) {
  if (param == "--dry-run") return true;
  return PathDelim == '\\' && AnsiSameText(param, "/dryrun");
}

int RunDryRun(std::ostream& out, std::ostream& err) {
  // The language and the script list as the main window would read them; reading writes nothing.
  TStringList names;
  std::string language = "en";
  try {
    TSectionIniFile ini(IniFileName);
    language = ini.ReadText("applic", "lang", "en");
    ini.ReadSection("scripts", names);
  } catch (const std::exception&) {
    // No INI to read: no script is known, and the parameter error says so below.
  }
  const std::string used = CatalogueHasLanguage(language) ? language : "en";
  mlMessages().SetLanguage(used);

  if (ParamCount() != 2) {
    Application->MessageBox(MessageText("fM_msgCLP_txt"), MessageText("fM_msgCLP_cap"), MB_ICONERROR | MB_OK);
    return 2;
  }
  const std::string name = ParamStr(2);
  names.SetSorted(true);  // found as the main window's sorted list finds it
  if (names.IndexOf(name) < 0) {
    Application->MessageBox(MessageTextFmt("fM_msgNoScript_txt", {name}), MessageText("fM_msgNoScript_cap"),
                            MB_ICONERROR | MB_OK);
    return 2;
  }

  TDryRunFeedback feedback(err);
  TZipArchiver zip(nullptr);
  const std::string appDir = IncludeTrailingPathDelimiter(ExtractFilePath(Env::Default().ProgramFileName()));
  TBackupRun run(feedback, zip, IniFileName, appDir, ChangeFileExt(IniFileName, ""));
  run.PreviewScript(name, [&out](const std::string& line) { out << line << '\n'; });
  out.flush();
  return feedback.FailuresSoFar() > 0 ? 1 : 0;
}

}  // namespace dravello
