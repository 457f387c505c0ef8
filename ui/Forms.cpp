#include "ui/Forms.h"

#include <algorithm>

#include "runtime/Clock.h"

namespace dravello {

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

// The front end of an application that has none yet: shows nothing and gives every question the
// answer that changes nothing.
class TSilentFrontEnd : public TFrontEnd {
 public:
  void PropertyChanged(TControl&, TProperty) override {}
  void ItemsChanged(TControl&) override {}
  void Shown(TControl&) override {}
  void Hidden(TControl&) override {}
  void Destroying(TControl&) override {}

  void WaitMessage() override {
    if (!Application) return;
    if (TForm* main = Application->MainForm(); main && !Application->Terminated()) main->Close();
    Application->Terminate();
  }
  void WaitModal(TForm& form, int round) override {
    if (round > 1) throw EInvalidOperation(Format("Form %s refuses to close", {form.Name()}));
    form.SetModalResult(mrCancel);
  }
  void ProcessMessages() override {}
  int MessageBox(const std::string&, const std::string&, uint32_t flags) override {
    return MessageBoxSafeAnswer(flags);
  }
  std::optional<std::string> InputQuery(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> BrowseForFolder(const std::string&, const std::string&) override { return std::nullopt; }
  bool OpenAddress(const std::string&) override { return false; }
  void SetScreenCursor(TCursor) override {}
  void LogLine(const std::string&) override {}
  void SetLanguage(const std::string&) override {}
};

TFrontEnd& CurrentFrontEnd() {
  static TSilentFrontEnd silent;
  return Application ? Application->FrontEnd() : static_cast<TFrontEnd&>(silent);
}

std::string FormLabel(const TForm& form) { return form.Name().empty() ? form.ClassName() : form.Name(); }

}  // namespace

// ---- Message boxes ------------------------------------------------------------------------------

std::vector<int> MessageBoxButtons(uint32_t flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
      return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
      return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
      return {IDYES, IDNO};
    case MB_RETRYCANCEL:
      return {IDRETRY, IDCANCEL};
    default:
      return {IDOK};
  }
}

int MessageBoxSafeAnswer(uint32_t flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
      return IDCANCEL;
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    case MB_YESNO:
      return IDNO;
    default:
      return IDOK;
  }
}

// ---- TForm --------------------------------------------------------------------------------------

const TClass& TForm::StaticClass() {
  static const TClass info("TForm", &TWinControl::StaticClass(), {
      StringProp<TForm>("Caption", &TForm::Caption, &TForm::SetCaption),
      OrdProp<TForm, int32_t>("ClientWidth", &TForm::ClientWidth, &TForm::SetClientWidth),
      OrdProp<TForm, int32_t>("ClientHeight", &TForm::ClientHeight, &TForm::SetClientHeight),
      EnumProp<TForm, TPosition>("Position", &TForm::Position, &TForm::SetPosition,
                                 {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                                  "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"}),
      EnumProp<TForm, TFormBorderStyle>(
          "BorderStyle", &TForm::BorderStyle, &TForm::SetBorderStyle,
          {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}),
      SetProp<TForm>("BorderIcons", &TForm::BorderIcons, &TForm::SetBorderIcons,
                     {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}),
      EnumProp<TForm, TFormStyle>("FormStyle", &TForm::FormStyle, &TForm::SetFormStyle,
                                  {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"}),
      BoolProp<TForm>("KeyPreview", &TForm::KeyPreview, &TForm::SetKeyPreview),
      BoolProp<TForm>("Scaled", &TForm::Scaled, &TForm::SetScaled),
      StringProp<TForm>("Icon", &TForm::Icon, &TForm::SetIcon),
      ObjectProp<TForm, TWinControl>("ActiveControl", &TForm::ActiveControl, &TForm::SetActiveControl),
      OpaqueProp("OnCreate", TTypeKind::tkMethod),
      OpaqueProp("OnDestroy", TTypeKind::tkMethod),
      OpaqueProp("OnShow", TTypeKind::tkMethod),
      OpaqueProp("OnHide", TTypeKind::tkMethod),
      OpaqueProp("OnActivate", TTypeKind::tkMethod),
      OpaqueProp("OnDeactivate", TTypeKind::tkMethod),
      OpaqueProp("OnCloseQuery", TTypeKind::tkMethod),
      OpaqueProp("OnClose", TTypeKind::tkMethod),
  });
  return info;
}

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  // Being built: the constructor of the concrete form plays the stored form.
  SetComponentState(csLoading);
  visible_ = false;
  SetParentFont(false);
  SetBounds(0, 0, 320, 240);
  if (Screen) Screen->AddForm(this);
}

TForm::~TForm() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      if (Application) Application->HandleException(std::current_exception());
    }
  }
  // The concrete form is gone already: no more events of this form (their handlers would find
  // its fields destroyed), but a form that was active hands activation on.
  bool wasActive = Active();
  if (Visible()) TControl::SetVisible(false);
  if (Screen) Screen->RemoveForm(this);
  if (TForm* next = wasActive && Screen ? Screen->ActiveForm() : nullptr) next->RaiseActivate();
  // The controls go while the form is still whole, so that they can leave it properly.
  activeControl_ = nullptr;
  DestroyControls();
  if (Application) Application->FormDestroying(this);
}

int32_t TForm::FrameWidth() const { return borderStyle_ == bsNone ? 0 : 8; }

int32_t TForm::FrameHeight() const {
  switch (borderStyle_) {
    case bsNone:
      return 0;
    case bsToolWindow:
    case bsSizeToolWin:
      return 4 + 15 + 4;
    default:
      return 4 + 19 + 4;
  }
}

TRect KeepOnScreen(const TRect& bounds, const TRect& workArea) {
  auto place = [](int32_t start, int32_t size, int32_t areaStart, int32_t areaEnd) {
    if (start + size > areaEnd) start = areaEnd - size;  // the far edge in...
    return std::max(start, areaStart);                  // ...but the near edge wins
  };
  const int32_t left = place(bounds.Left, bounds.Width(), workArea.Left, workArea.Right);
  const int32_t top = place(bounds.Top, bounds.Height(), workArea.Top, workArea.Bottom);
  return {left, top, left + bounds.Width(), top + bounds.Height()};
}

TRect TForm::ClientRect() const {
  return {0, 0, std::max(0, Width() - FrameWidth()), std::max(0, Height() - FrameHeight())};
}

void TForm::SetClientWidth(int32_t value) { SetWidth(value + FrameWidth()); }
void TForm::SetClientHeight(int32_t value) { SetHeight(value + FrameHeight()); }

void TForm::SetPosition(TPosition value) {
  if (value == position_) return;
  position_ = value;
  Changed(TProperty::Position);
}

void TForm::SetBorderStyle(TFormBorderStyle value) {
  if (value == borderStyle_) return;
  int32_t cw = ClientWidth(), ch = ClientHeight();
  borderStyle_ = value;
  Changed(TProperty::BorderStyle);
  SetBounds(Left(), Top(), cw + FrameWidth(), ch + FrameHeight());
}

void TForm::SetBorderIcons(TBorderIcons value) {
  value &= biSystemMenu | biMinimize | biMaximize | biHelp;
  if (value == borderIcons_) return;
  borderIcons_ = value;
  Changed(TProperty::BorderIcons);
}

void TForm::SetFormStyle(TFormStyle value) {
  if (value == formStyle_) return;
  formStyle_ = value;
  Changed(TProperty::FormStyle);
}

void TForm::SetIcon(const std::string& value) {
  if (value == icon_) return;
  icon_ = value;
  Changed(TProperty::Icon);
}

void TForm::SetActiveControl(TWinControl* control) {
  if (control == activeControl_) return;
  if (control && (control == this || GetParentForm(control) != this || (!Loading() && !control->CanFocus())))
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  activeControl_ = control;
  Changed(TProperty::ActiveControl);
}

void TForm::ControlRemoving(TControl* control) {
  for (const TControl* c = activeControl_; c; c = c->Parent()) {
    if (c == control) {
      activeControl_ = nullptr;
      Changed(TProperty::ActiveControl);
      return;
    }
  }
}

bool TForm::Active() const { return Screen && Screen->ActiveForm() == this; }

void TForm::Raise(const TNotifyEvent& event) {
  if (event && !Loading()) event(this);
}

void TForm::ApplyPosition() {
  const TForm* center = nullptr;
  switch (position_) {
    case poOwnerFormCenter:
      center = dynamic_cast<const TForm*>(Owner());
      [[fallthrough]];
    case poMainFormCenter:
      if (!center || !center->Visible()) center = Application ? Application->MainForm() : nullptr;
      if (center == this || (center && !center->Visible())) center = nullptr;
      break;
    case poScreenCenter:
    case poDesktopCenter:
      break;
    default:
      return;
  }
  TRect area = center ? center->BoundsRect() : TRect{0, 0, Screen ? Screen->Width() : 1024, Screen ? Screen->Height() : 768};
  SetBounds(area.Left + (area.Width() - Width()) / 2, area.Top + (area.Height() - Height()) / 2, Width(), Height());
}

void TForm::SetVisible(bool visible) {
  if (visible == Visible()) return;
  if (visible) {
    if (!created_) throw EInvalidOperation(Format("Form %s was not made by CreateForm", {FormLabel(*this)}));
    ApplyPosition();
    Raise(OnShow);
    TControl::SetVisible(true);
    if (Screen) Screen->FormShown(this);
  } else {
    Raise(OnHide);
    TControl::SetVisible(false);
    if (Screen) Screen->FormHidden(this);
  }
}

TModalResult TForm::ShowModal() {
  if (!created_) throw EInvalidOperation(Format("Form %s was not made by CreateForm", {FormLabel(*this)}));
  if (Visible() || modal_) throw EInvalidOperation("Cannot make a visible window modal");
  modal_ = true;
  modalResult_ = mrNone;
  try {
    Show();
    int round = 0;
    for (;;) {
      if (modalResult_ == mrNone && Application && Application->Terminated()) modalResult_ = mrCancel;
      if (modalResult_ == mrNone) CurrentFrontEnd().WaitModal(*this, round++);
      if (modalResult_ != mrNone) {
        CloseModal();
        if (modalResult_ != mrNone) break;
      }
    }
    Hide();
  } catch (...) {
    modal_ = false;
    if (Visible()) {
      try {
        Hide();
      } catch (...) {
      }
    }
    throw;
  }
  modal_ = false;
  return modalResult_;
}

void TForm::CloseModal() {
  TCloseAction action = caNone;
  if (CloseQuery()) {
    action = caHide;
    if (OnClose && !Loading()) OnClose(this, action);
  }
  if (action == caNone)
    modalResult_ = mrNone;
  else if (action == caFree)
    Release();
}

bool TForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery && !Loading()) OnCloseQuery(this, canClose);
  return canClose;
}

void TForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  if (OnClose && !Loading()) OnClose(this, action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
  } else if (action == caFree) {
    Release();
  } else {
    Hide();
  }
}

void TForm::Release() {
  if (Application) Application->QueueRelease(this);
}

void TForm::Activate() {
  if (Visible() && Screen) Screen->ActivateForm(this);
}

void TForm::SetFocus() {
  if (!Enabled()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  Activate();
}

char TForm::PressKey(char key) {
  if (activeControl_) return activeControl_->PressKey(key);
  return TWinControl::PressKey(key);
}

namespace {

TButton* FindButton(const TWinControl& parent, bool (TButton::*flag)() const) {
  for (int i = 0; i < parent.ControlCount(); ++i) {
    TControl* c = parent.Controls(i);
    if (auto* button = dynamic_cast<TButton*>(c); button && (button->*flag)() && button->CanInteract()) return button;
    if (auto* win = dynamic_cast<TWinControl*>(c))
      if (TButton* found = FindButton(*win, flag)) return found;
  }
  return nullptr;
}

}  // namespace

char TForm::DialogKey(char key) {
  TButton* target = nullptr;
  if (key == '\r') {
    target = dynamic_cast<TButton*>(activeControl_);
    if (!target) target = FindButton(*this, &TButton::Default);
  } else if (key == '\x1b') {
    target = FindButton(*this, &TButton::Cancel);
  }
  if (!target || !target->CanInteract()) return key;
  target->Click();
  return 0;
}

void TForm::FinishCreation() {
  if (created_) return;
  // The form first, then its components in creation order, depth first: each one that is still
  // loading completes.
  std::vector<TComponent*> loading;
  std::function<void(TComponent*)> collect = [&](TComponent* c) {
    if (c->ComponentState() & csLoading) loading.push_back(c);
    for (int i = 0; i < c->ComponentCount(); ++i) collect(c->Components(i));
  };
  collect(this);
  for (TComponent* c : loading)
    if (c->ComponentState() & csLoading) c->Loaded();
  created_ = true;
  if (OnCreate) {
    try {
      OnCreate(this);
    } catch (...) {
      if (!Application) throw;
      Application->HandleException(std::current_exception());
    }
  }
}

// ---- TScreen ------------------------------------------------------------------------------------

const TClass& TScreen::StaticClass() {
  static const TClass info("TScreen", &TComponent::StaticClass());
  return info;
}

TScreen::TScreen(TComponent* owner) : TComponent(owner) {}

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  CurrentFrontEnd().SetScreenCursor(cursor);
}

void TScreen::SetSize(int32_t width, int32_t height) {
  width_ = width;
  height_ = height;
}

void TScreen::AddForm(TForm* form) { forms_.push_back(form); }

void TScreen::RemoveForm(TForm* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  active_.erase(std::remove(active_.begin(), active_.end(), form), active_.end());
}

void TScreen::ActivateForm(TForm* form) {
  TForm* old = ActiveForm();
  if (old == form) return;
  active_.erase(std::remove(active_.begin(), active_.end(), form), active_.end());
  active_.push_back(form);
  if (old) old->RaiseDeactivate();
  form->RaiseActivate();
}

void TScreen::FormShown(TForm* form) { ActivateForm(form); }

void TScreen::FormHidden(TForm* form) {
  bool wasActive = ActiveForm() == form;
  active_.erase(std::remove(active_.begin(), active_.end(), form), active_.end());
  if (!wasActive) return;
  form->RaiseDeactivate();
  if (TForm* next = ActiveForm()) next->RaiseActivate();
}

// ---- TApplication -------------------------------------------------------------------------------

const TClass& TApplication::StaticClass() {
  static const TClass info("TApplication", &TComponent::StaticClass(), {
      StringProp<TApplication>("Title", &TApplication::Title, &TApplication::SetTitle),
      StringProp<TApplication>("Icon", &TApplication::Icon, &TApplication::SetIcon),
  });
  return info;
}

TApplication::TApplication() : TComponent(nullptr) {
  if (Application) throw EInvalidOperation("There is an application object already");
  Application = this;
  SetApplicationRoot(this);
  screen_ = std::make_unique<TScreen>(nullptr);
  Screen = screen_.get();
  SetFrontEnd(nullptr);
}

TApplication::~TApplication() {
  // Everything it owns goes while the front end still observes.
  while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
  FreeReleased();
  mainForm_ = nullptr;
  statusLine_ = nullptr;
  SetControlObserver(nullptr);
  frontEnd_.reset();
  Screen = nullptr;
  screen_.reset();
  if (ApplicationRoot() == this) SetApplicationRoot(nullptr);
  Application = nullptr;
}

void TApplication::SetFrontEnd(std::unique_ptr<TFrontEnd> frontEnd) {
  if (!frontEnd) frontEnd = std::make_unique<TSilentFrontEnd>();
  frontEnd_ = std::move(frontEnd);
  SetControlObserver(frontEnd_.get());
  if (!language_.empty()) frontEnd_->SetLanguage(language_);
}

void TApplication::SetLanguage(const std::string& code) {
  language_ = code;
  frontEnd_->SetLanguage(code);
}

void TApplication::Run() {
  if (mainForm_ && !terminated_) HandleUserAction([this] { mainForm_->Show(); });
  while (!terminated_) {
    frontEnd_->WaitMessage();
    FreeReleased();
  }
  FreeReleased();
}

void TApplication::ProcessMessages() {
  uint32_t now = Clock::Default().TickCount();
  if (processedOnce_ && now - lastProcessTick_ < kProcessMessagesInterval) return;
  processedOnce_ = true;
  lastProcessTick_ = now;
  frontEnd_->ProcessMessages();
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  if (echoErr_) *echoErr_ << (caption.empty() ? text : caption + ": " + text) << std::endl;
  return frontEnd_->MessageBox(text, caption, flags);
}

void TApplication::ShowException(const std::exception& e) { MessageBox(e.what(), title_, MB_OK | MB_ICONERROR); }

void TApplication::HandleException(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    ShowException(e);
  } catch (...) {
    MessageBox("An unknown failure occurred", title_, MB_OK | MB_ICONERROR);
  }
}

void TApplication::HandleUserAction(const std::function<void()>& action) {
  try {
    action();
  } catch (...) {
    HandleException(std::current_exception());
  }
}

std::string TApplication::InputBox(const std::string& caption, const std::string& prompt,
                                   const std::string& defaultValue) {
  std::optional<std::string> entered = frontEnd_->InputQuery(caption, prompt, defaultValue);
  return entered ? *entered : defaultValue;
}

bool TApplication::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  std::optional<std::string> entered = frontEnd_->InputQuery(caption, prompt, value);
  if (!entered) return false;
  value = *entered;
  return true;
}

std::optional<std::string> TApplication::BrowseForFolder(const std::string& title, const std::string& initialFolder) {
  return frontEnd_->BrowseForFolder(title, initialFolder);
}

bool TApplication::OpenAddress(const std::string& address) { return frontEnd_->OpenAddress(address); }

void TApplication::LogLine(const std::string& line) {
  if (echoOut_) *echoOut_ << line << std::endl;
  frontEnd_->LogLine(line);
}

void TApplication::ControlDestroying(TControl* control) {
  if (statusLine_ == control) statusLine_ = nullptr;
}

void TApplication::FormDestroying(TForm* form) {
  if (mainForm_ == form) mainForm_ = nullptr;
  released_.erase(std::remove(released_.begin(), released_.end(), form), released_.end());
}

void TApplication::QueueRelease(TForm* form) {
  if (std::find(released_.begin(), released_.end(), form) == released_.end()) released_.push_back(form);
}

void TApplication::FreeReleased() {
  while (!released_.empty()) {
    TForm* form = released_.back();
    released_.pop_back();
    delete form;
  }
}

}  // namespace dravello
