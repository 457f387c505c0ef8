// The front end without windows: command-line runs on a machine without a display, and the
// scriptable front end of the tests.
//
// Output: every message box goes to the error stream as "caption: text" (or just the text when
// the caption is empty), every log line to the output stream, so that a scheduled run leaves a
// readable transcript. When the output stream is a terminal (Env::Default().StdoutIsTerminal() at
// construction) one more line is kept up to date in place ("\r", clear to end of line): the main
// form's caption (the title, with percent and time left during a run) and the caption of the
// application's StatusLine; it is cleared before other output and when the front end goes away.
// Nothing of that line is written when the output is not a terminal.
//
// Answers: message boxes, input dialogs, folder choosers and modal forms take their answers from
// queues filled by tests, one queue per kind, in the order they are asked. Unscripted (an empty
// queue, as in a real headless run), a message box gets its safe answer (OK, or No / Cancel /
// Abort), an input dialog and the folder chooser are cancelled, and a modal form closes with
// mrCancel. The main loop runs queued idle actions and, when none is left, closes the main form.
//
// Record: everything shown is kept in History() for tests.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "ui/Forms.h"
#include "ui/FrontEnd.h"

namespace dravello {

struct THeadlessRecord {
  enum class TKind { MessageBox, InputDialog, FolderChooser, Form, OpenAddress };
  TKind Kind = TKind::MessageBox;
  // MessageBox: caption and text. InputDialog: caption and prompt. FolderChooser: title and
  // initial folder. Form: the form's caption when shown, and its Name. OpenAddress: -, address.
  std::string Caption;
  std::string Text;
  uint32_t Flags = 0;       // MessageBox: the MB_ flags
  std::string Value;        // InputDialog: the text offered for editing
  int Result = 0;           // MessageBox: the answer (IDxxx)
  std::optional<std::string> Answer;  // InputDialog / FolderChooser: what was entered or chosen
  bool Modal = false;       // Form: shown by ShowModal
  const TForm* FormShown = nullptr;  // Form: the form (only for identity; it may be gone)

  uint32_t Icon() const { return Flags & MB_ICONMASK; }
  std::vector<int> Buttons() const { return MessageBoxButtons(Flags); }
};

class THeadlessFrontEnd : public TFrontEnd {
 public:
  // Writes to std::cout and std::cerr.
  THeadlessFrontEnd();
  THeadlessFrontEnd(std::ostream& out, std::ostream& err);
  ~THeadlessFrontEnd() override;

  // ---- Scripted answers ----
  void QueueMessageBoxResult(int result);
  // Text entered in the next input dialog; nothing: cancelled.
  void QueueInput(std::optional<std::string> text);
  // Folder chosen in the next folder chooser; nothing: cancelled.
  void QueueFolder(std::optional<std::string> path);
  // Acts on the next modal form while it is shown (click its buttons, fill its fields...). When
  // the action leaves ModalResult at mrNone, the form closes with mrCancel.
  void QueueModal(std::function<void(TForm& form)> action);
  // Runs in the main loop, one per step.
  void QueueIdle(std::function<void()> action);
  // Scripted answers not used yet.
  size_t PendingAnswers() const;

  // ---- Record ----
  const std::vector<THeadlessRecord>& History() const { return history_; }
  std::vector<THeadlessRecord> Records(THeadlessRecord::TKind kind) const;
  std::vector<THeadlessRecord> MessageBoxes() const { return Records(THeadlessRecord::TKind::MessageBox); }
  void ClearHistory() { history_.clear(); }
  TCursor ScreenCursor() const { return cursor_; }
  // How often the front end was asked to process messages.
  int ProcessMessagesCount() const { return processCount_; }
  bool IsTerminal() const { return terminal_; }

  // ---- TControlObserver ----
  void PropertyChanged(TControl& control, TProperty property) override;
  void ItemsChanged(TControl& control) override;
  void Shown(TControl& control) override;
  void Hidden(TControl& control) override;
  void Destroying(TControl& control) override;

  // ---- TFrontEnd ----
  void WaitMessage() override;
  void WaitModal(TForm& form, int round) override;
  void ProcessMessages() override;
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
  std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                        const std::string& value) override;
  std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initialFolder) override;
  bool OpenAddress(const std::string& address) override;
  void SetScreenCursor(TCursor cursor) override;
  void LogLine(const std::string& line) override;
  void SetLanguage(const std::string& code) override { language_ = code; }
  // The last language the program set.
  const std::string& Language() const { return language_; }

 private:
  // The in-place line: what it should read now, drawing it, and taking it away.
  std::string StatusText() const;
  void DrawStatus();
  void ClearStatus();

  std::ostream& out_;
  std::ostream& err_;
  bool terminal_;
  std::deque<int> messageBoxResults_;
  std::deque<std::optional<std::string>> inputs_;
  std::deque<std::optional<std::string>> folders_;
  std::deque<std::function<void(TForm&)>> modals_;
  std::deque<std::function<void()>> idles_;
  std::vector<THeadlessRecord> history_;
  TCursor cursor_ = crDefault;
  std::string language_;
  int processCount_ = 0;
  bool statusDirty_ = false;
  std::string drawnStatus_;  // what the in-place line shows now; empty when nothing is drawn
};

}  // namespace dravello
