// The front end: what draws the forms and talks to the user. The application holds exactly one
// (TApplication::SetFrontEnd); the program never calls it directly but goes through TApplication,
// TForm and TScreen.
//
// A front end learns about the controls as their observer (TControlObserver): a form that is
// shown arrives as Shown(form); from then on it mirrors the form's controls from their
// properties and follows PropertyChanged / ItemsChanged / Shown / Hidden / Destroying. It hands
// every user action back by calling the model's own methods (Click, SetText, SelectItem,
// ClickCheck, PressKey, MouseMove, SetFocus, SetBounds, Close, Activate), each wrapped in
// TApplication::HandleUserAction so that a failure reaches the standard error report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ui/Controls.h"

namespace dravello {

class TForm;

// Raises `depth` by one for the scope's life. A front end counts with it how deeply it is inside
// its own work (handling a user action, mirroring the model into its widgets), so that a signal
// its own work caused is told from one the user caused.
class TDepthScope {
 public:
  explicit TDepthScope(int& depth) : depth_(depth) { ++depth_; }
  ~TDepthScope() { --depth_; }
  TDepthScope(const TDepthScope&) = delete;
  TDepthScope& operator=(const TDepthScope&) = delete;

 private:
  int& depth_;
};

class TFrontEnd : public TControlObserver {
 public:
  // One step of the main loop: waits for at least one user action and handles it. The loop
  // ends when the application is terminated.
  virtual void WaitMessage() = 0;
  // One step of a modal form's loop, called while the form's ModalResult is mrNone: waits for
  // and handles user actions, returning once the ModalResult may have changed. `round` counts
  // the steps of this ShowModal from 0 (a step after a refused close has round > 0).
  virtual void WaitModal(TForm& form, int round) = 0;
  // Handles what is pending (repaints, clicks on enabled controls) without waiting.
  virtual void ProcessMessages() = 0;

  // A modal message box; `flags` as for TApplication::MessageBox. Returns the IDxxx answer.
  virtual int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) = 0;
  // A text-input dialog showing `value` for editing: the entered text, or nothing when cancelled.
  virtual std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                                const std::string& value) = 0;
  // The folder chooser opened at `initialFolder` (empty: its own default place): the chosen
  // folder's path as the system gives it, or nothing when cancelled.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initialFolder) = 0;
  // Hands an address to the desktop's default handler; false when that is not possible.
  virtual bool OpenAddress(const std::string& address) = 0;
  // The pointer shape over all windows of the program (crDefault: each control's own).
  virtual void SetScreenCursor(TCursor cursor) = 0;
  // One line the program wrote to its log.
  virtual void LogLine(const std::string& line) = 0;
  // The language of the user interface ("en", "de"): the front end's own texts (the buttons of
  // message boxes, the folder chooser) follow it where it has them in that language.
  virtual void SetLanguage(const std::string& code) = 0;
};

}  // namespace dravello
