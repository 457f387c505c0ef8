#include "ui/headless/HeadlessFrontEnd.h"

#include <iostream>

#include "runtime/Env.h"

namespace dravello {

namespace {

// The in-place line stays within one line of a classic terminal, so "\r" can redraw it.
constexpr size_t kStatusColumns = 79;

// At most `columns` code points of `text`, line breaks turned into blanks.
std::string FitLine(const std::string& text, size_t columns) {
  std::string out;
  size_t points = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool lead = (c & 0xC0) != 0x80;
    if (lead && ++points > columns) break;
    out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : text[i];
  }
  return out;
}

// The next scripted answer, if a test queued one.
template <class T>
std::optional<T> TakeNext(std::deque<T>& queue) {
  if (queue.empty()) return std::nullopt;
  std::optional<T> next(std::move(queue.front()));
  queue.pop_front();
  return next;
}

}  // namespace

THeadlessFrontEnd::THeadlessFrontEnd() : THeadlessFrontEnd(std::cout, std::cerr) {}

THeadlessFrontEnd::THeadlessFrontEnd(std::ostream& out, std::ostream& err)
    : out_(out), err_(err), terminal_(Env::Default().StdoutIsTerminal()) {}

THeadlessFrontEnd::~THeadlessFrontEnd() { ClearStatus(); }

void THeadlessFrontEnd::QueueMessageBoxResult(int result) { messageBoxResults_.push_back(result); }
void THeadlessFrontEnd::QueueInput(std::optional<std::string> text) { inputs_.push_back(std::move(text)); }
void THeadlessFrontEnd::QueueFolder(std::optional<std::string> path) { folders_.push_back(std::move(path)); }
void THeadlessFrontEnd::QueueModal(std::function<void(TForm&)> action) { modals_.push_back(std::move(action)); }
void THeadlessFrontEnd::QueueIdle(std::function<void()> action) { idles_.push_back(std::move(action)); }

size_t THeadlessFrontEnd::PendingAnswers() const {
  return messageBoxResults_.size() + inputs_.size() + folders_.size() + modals_.size() + idles_.size();
}

std::vector<THeadlessRecord> THeadlessFrontEnd::Records(THeadlessRecord::TKind kind) const {
  std::vector<THeadlessRecord> out;
  for (const THeadlessRecord& r : history_)
    if (r.Kind == kind) out.push_back(r);
  return out;
}

// ---- Observation --------------------------------------------------------------------------------

void THeadlessFrontEnd::PropertyChanged(TControl& control, TProperty property) {
  if (!terminal_ || !Application || property != TProperty::Caption) return;
  if (&control == Application->StatusLine() || &control == Application->MainForm()) statusDirty_ = true;
}

void THeadlessFrontEnd::ItemsChanged(TControl&) {}

void THeadlessFrontEnd::Shown(TControl& control) {
  auto* form = dynamic_cast<TForm*>(&control);
  if (!form) return;
  THeadlessRecord r;
  r.Kind = THeadlessRecord::TKind::Form;
  r.Caption = form->Caption();
  r.Text = form->Name();
  r.Modal = form->Modal();
  r.FormShown = form;
  history_.push_back(std::move(r));
}

void THeadlessFrontEnd::Hidden(TControl&) {}

void THeadlessFrontEnd::Destroying(TControl&) {}

// ---- Loops --------------------------------------------------------------------------------------

void THeadlessFrontEnd::WaitMessage() {
  if (!Application) return;
  if (std::optional<std::function<void()>> action = TakeNext(idles_)) {
    Application->HandleUserAction(*action);
    return;
  }
  // Nobody is there to use the window: close it as its close box would, and end in any case.
  if (TForm* main = Application->MainForm(); main && !Application->Terminated())
    Application->HandleUserAction([main] { main->Close(); });
  Application->Terminate();
}

void THeadlessFrontEnd::WaitModal(TForm& form, int round) {
  std::optional<std::function<void(TForm&)>> action;
  if (round == 0) action = TakeNext(modals_);
  if (action) {
    if (Application)
      Application->HandleUserAction([&] { (*action)(form); });
    else
      (*action)(form);
    if (form.ModalResult() != mrNone) return;
  }
  if (round > 1) throw EInvalidOperation(Format("Form %s refuses to close", {form.Name()}));
  form.SetModalResult(mrCancel);
}

void THeadlessFrontEnd::ProcessMessages() {
  ++processCount_;
  if (statusDirty_) DrawStatus();
}

// ---- Dialogs ------------------------------------------------------------------------------------

int THeadlessFrontEnd::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  const int result = TakeNext(messageBoxResults_).value_or(MessageBoxSafeAnswer(flags));
  ClearStatus();
  err_ << (caption.empty() ? text : caption + ": " + text) << '\n';
  err_.flush();
  DrawStatus();

  THeadlessRecord r;
  r.Kind = THeadlessRecord::TKind::MessageBox;
  r.Caption = caption;
  r.Text = text;
  r.Flags = flags;
  r.Result = result;
  history_.push_back(std::move(r));
  return result;
}

std::optional<std::string> THeadlessFrontEnd::InputQuery(const std::string& caption, const std::string& prompt,
                                                         const std::string& value) {
  std::optional<std::string> answer = TakeNext(inputs_).value_or(std::nullopt);
  THeadlessRecord r;
  r.Kind = THeadlessRecord::TKind::InputDialog;
  r.Caption = caption;
  r.Text = prompt;
  r.Value = value;
  r.Answer = answer;
  history_.push_back(std::move(r));
  return answer;
}

std::optional<std::string> THeadlessFrontEnd::BrowseForFolder(const std::string& title,
                                                              const std::string& initialFolder) {
  std::optional<std::string> answer = TakeNext(folders_).value_or(std::nullopt);
  THeadlessRecord r;
  r.Kind = THeadlessRecord::TKind::FolderChooser;
  r.Caption = title;
  r.Text = initialFolder;
  r.Answer = answer;
  history_.push_back(std::move(r));
  return answer;
}

bool THeadlessFrontEnd::OpenAddress(const std::string& address) {
  // There is no desktop to hand it to; keep it for the record.
  THeadlessRecord r;
  r.Kind = THeadlessRecord::TKind::OpenAddress;
  r.Text = address;
  history_.push_back(std::move(r));
  return false;
}

void THeadlessFrontEnd::SetScreenCursor(TCursor cursor) { cursor_ = cursor; }

void THeadlessFrontEnd::LogLine(const std::string& line) {
  ClearStatus();
  out_ << line << '\n';
  out_.flush();
  DrawStatus();
}

// ---- The in-place status line ---------------------------------------------------------------------

std::string THeadlessFrontEnd::StatusText() const {
  if (!Application) return std::string();
  std::string caption = Application->MainForm() ? Application->MainForm()->Caption() : std::string();
  std::string status = Application->StatusLine() ? Application->StatusLine()->Caption() : std::string();
  std::string text = caption;
  if (!caption.empty() && !status.empty()) text += " | ";
  text += status;
  return FitLine(text, kStatusColumns);
}

void THeadlessFrontEnd::DrawStatus() {
  statusDirty_ = false;
  if (!terminal_) return;
  std::string text = StatusText();
  if (text == drawnStatus_) return;
  out_ << "\r\x1b[K" << text;
  out_.flush();
  drawnStatus_ = text;
}

void THeadlessFrontEnd::ClearStatus() {
  if (!terminal_ || drawnStatus_.empty()) return;
  out_ << "\r\x1b[K";
  out_.flush();
  drawnStatus_.clear();
}

}  // namespace dravello
