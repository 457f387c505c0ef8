#include "ui/win32/Win32FrontEnd.h"

// <windows.h> first: the headers of the common controls and the shell build on it.
#include "ui/win32/Win32Util.h"

#include <commctrl.h>
#include <objbase.h>
#include <windowsx.h>

#include <algorithm>

#include "runtime/Env.h"
#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"
#include "ui/win32/Win32FrontEndImpl.h"

namespace dravello {

using win32::Scale;
using win32::W;

namespace {

TWin32FrontEnd* g_current = nullptr;

// The id of the subclass every window of the front end carries.
constexpr UINT_PTR kSubclassId = 0x44524156;  // "DRAV"

// The families that stand for the classic dialog font of the design: the system's dialog font
// alias, which every Windows (and Wine) maps to its own sans-serif dialog face.
std::wstring FaceOf(const std::string& name) {
  if (name.empty() || _stricmp(name.c_str(), "MS Sans Serif") == 0) return L"MS Shell Dlg 2";
  return W(name);
}

LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  LRESULT result = 0;
  if (TWin32FrontEnd* fe = TWin32FrontEnd::Current(); fe && fe->CommonMessage(hwnd, message, wParam, lParam, result))
    return result;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (TWin32FrontEnd* fe = TWin32FrontEnd::Current()) return fe->FormMessage(hwnd, message, wParam, lParam);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                              ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&init);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW form{};
  form.cbSize = sizeof(form);
  form.lpfnWndProc = FormProc;
  form.hInstance = instance;
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = win32::kFormClass;
  form.hIcon = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  form.hIconSm = static_cast<HICON>(
      LoadImageW(instance, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  RegisterClassExW(&form);
  for (const wchar_t* name : {win32::kPanelClass, win32::kSpeedButtonClass}) {
    WNDCLASSEXW control{};
    control.cbSize = sizeof(control);
    control.style = CS_HREDRAW | CS_VREDRAW;
    control.lpfnWndProc = win32::ControlWindowProc;
    control.hInstance = instance;
    control.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    control.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    control.lpszClassName = name;
    RegisterClassExW(&control);
  }
}

TForm* FormOf(const TControl& control) {
  if (auto* form = dynamic_cast<TForm*>(const_cast<TControl*>(&control))) return form;
  return GetParentForm(&control);
}

// The first control up from `control` (itself included) that is windowed and so can take keys.
TWinControl* KeyReceiver(TControl* control) {
  for (TControl* c = control; c; c = c->Parent())
    if (auto* win = dynamic_cast<TWinControl*>(c)) return win;
  return nullptr;
}

}  // namespace

// ---- Public entry points ------------------------------------------------------------------------

bool Win32DisplayAvailable() {
  // A task run "whether the user is logged on or not" has a window station nobody sees: a window
  // or a box there would wait for ever.
  if (!Env::Default().DisplayAnswers()) return false;
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr),
                               nullptr);
  if (!probe) return false;
  DestroyWindow(probe);
  return true;
}

std::unique_ptr<TFrontEnd> MakeWin32FrontEnd() { return std::make_unique<TWin32FrontEnd>(); }

// ---- Construction -------------------------------------------------------------------------------

TWin32FrontEnd::TWin32FrontEnd() {
  RegisterClasses();
  bindings_ = win32::MakeBindings(*this);
  g_current = this;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  comInitialized_ = SUCCEEDED(com);
  if (Screen) Screen->SetSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

TWin32FrontEnd::~TWin32FrontEnd() {
  std::vector<HWND> windows;
  for (auto& [control, bound] : windows_)
    if (dynamic_cast<const TForm*>(control)) windows.push_back(bound.Hwnd);
  for (HWND hwnd : windows) DestroyWindow(hwnd);
  windows_.clear();
  controls_.clear();
  for (auto& [key, font] : fonts_) DeleteObject(font);
  for (auto& [key, list] : glyphs_) ImageList_Destroy(list);
  if (comInitialized_) CoUninitialize();
  if (g_current == this) g_current = nullptr;
}

TWin32FrontEnd* TWin32FrontEnd::Current() { return g_current; }

HWND TWin32FrontEnd::HwndOf(const TControl* control) const {
  auto it = windows_.find(control);
  return it == windows_.end() ? nullptr : it->second.Hwnd;
}

TControl* TWin32FrontEnd::ControlOf(HWND hwnd) const {
  auto it = controls_.find(hwnd);
  return it == controls_.end() ? nullptr : it->second;
}

int TWin32FrontEnd::DpiOf(const TControl& control) const {
  const TForm* form = FormOf(control);
  auto it = form ? forms_.find(form) : forms_.end();
  return it == forms_.end() ? win32::kDesignDpi : it->second.Dpi;
}

HWND TWin32FrontEnd::TooltipOf(const TForm& form) const {
  auto it = forms_.find(&form);
  return it == forms_.end() ? nullptr : it->second.Tooltip;
}

void TWin32FrontEnd::Forward(const std::function<void()>& action) {
  try {
    if (Application)
      Application->HandleUserAction(action);
    else
      action();
  } catch (...) {
    // Nothing may cross a window procedure; without an application there is no report either.
  }
}

// ---- Building windows ---------------------------------------------------------------------------

void TWin32FrontEnd::Bind(TControl& control, HWND hwnd, const TWin32Binding& binding) {
  windows_[&control] = TBound{hwnd, &binding};
  controls_[hwnd] = &control;
  // The front end's own classes handle their messages in their window procedure already.
  wchar_t windowClass[64] = {};
  GetClassNameW(hwnd, windowClass, static_cast<int>(std::size(windowClass)));
  bool own = false;
  for (const wchar_t* name : {win32::kFormClass, win32::kPanelClass, win32::kSpeedButtonClass})
    own = own || _wcsicmp(windowClass, name) == 0;
  if (!own) SetWindowSubclass(hwnd, SubclassProc, kSubclassId, 0);
}

void TWin32FrontEnd::Unbind(TControl& control) {
  auto it = windows_.find(&control);
  if (it == windows_.end()) return;
  controls_.erase(it->second.Hwnd);
  windows_.erase(it);
  if (auto* win = dynamic_cast<TWinControl*>(&control))
    for (int i = 0; i < win->ControlCount(); ++i) Unbind(*win->Controls(i));
  if (auto* form = dynamic_cast<TForm*>(&control)) forms_.erase(form);
}

HWND TWin32FrontEnd::Build(TControl& control, HWND parentHwnd) {
  TDepthScope mirroring(mirroring_);
  const TWin32Binding& binding = bindings_->For(control);
  HWND hwnd = binding.Create(control, parentHwnd);
  if (!hwnd) throw EInvalidOperation("Cannot create the window of " + control.Name());
  Bind(control, hwnd, binding);
  if (auto* form = dynamic_cast<TForm*>(&control)) {
    TFormState& state = forms_[form];
    state.Dpi = win32::DpiOfWindow(hwnd);
    state.Tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    // Long paths in a list's hint wrap rather than run off the screen.
    if (state.Tooltip) SendMessageW(state.Tooltip, TTM_SETMAXTIPWIDTH, 0, Scale(400, state.Dpi));
  } else {
    AddTool(control, hwnd);
  }
  ApplyAll(control, hwnd, binding);
  if (auto* win = dynamic_cast<TWinControl*>(&control)) {
    for (int i = 0; i < win->ControlCount(); ++i) Build(*win->Controls(i), hwnd);
    Restack(*win);
  }
  return hwnd;
}

void TWin32FrontEnd::AddTool(TControl& control, HWND hwnd) {
  const TForm* form = FormOf(control);
  HWND tooltip = form ? TooltipOf(*form) : nullptr;
  if (!tooltip) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = GetParent(hwnd);
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
  std::wstring text = W(control.ActiveHint());
  tool.lpszText = text.data();
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TWin32FrontEnd::Restack(TWinControl& parent) {
  // Topmost first: the windowed controls in tab order, then the window-less ones, then bevels
  // (see StackingLayer). The dialog manager walks the same order for Tab.
  std::vector<HWND> order;
  for (TWinControl* child : parent.TabList())
    if (HWND h = HwndOf(child)) order.push_back(h);
  for (int layer = kStackingLayers - 1; layer >= 0; --layer)
    for (int i = 0; i < parent.ControlCount(); ++i) {
      TControl* child = parent.Controls(i);
      HWND h = HwndOf(child);
      if (!h || StackingLayer(*child) != layer || std::find(order.begin(), order.end(), h) != order.end()) continue;
      order.push_back(h);
    }
  HWND after = HWND_TOP;
  for (HWND h : order) {
    SetWindowPos(h, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = h;
  }
}

// ---- Mirroring ----------------------------------------------------------------------------------

void TWin32FrontEnd::ApplyAll(TControl& control, HWND hwnd, const TWin32Binding& binding) {
  TDepthScope mirroring(mirroring_);
  binding.Apply(control, hwnd, TProperty::Font);
  for (int i = 0; i < kPropertyCount; ++i) {
    const auto property = static_cast<TProperty>(i);
    if (property == TProperty::Font || property == TProperty::Parent) continue;
    binding.Apply(control, hwnd, property);
  }
  binding.ApplyItems(control, hwnd);
  if (!dynamic_cast<TForm*>(&control)) ShowWindow(hwnd, control.Visible() ? SW_SHOWNA : SW_HIDE);
}

void TWin32FrontEnd::Apply(TControl& control, TProperty property) {
  auto it = windows_.find(&control);
  if (it == windows_.end()) return;
  TDepthScope mirroring(mirroring_);
  it->second.Binding->Apply(control, it->second.Hwnd, property);
}

void TWin32FrontEnd::ApplyGeometry(TControl& control, HWND hwnd, const std::optional<TRect>& bounds) {
  const TRect r = bounds ? *bounds : control.BoundsRect();
  const int dpi = DpiOf(control);
  const int left = win32::ScaleEdge(r.Left, dpi), top = win32::ScaleEdge(r.Top, dpi);
  const int right = win32::ScaleEdge(r.Right, dpi), bottom = win32::ScaleEdge(r.Bottom, dpi);
  SetWindowPos(hwnd, nullptr, left, top, std::max(0, right - left), std::max(0, bottom - top),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT TWin32FrontEnd::FontFor(const TControl& control) {
  const TFont& font = *control.Font();
  const int dpi = DpiOf(control);
  const std::string key = font.Name() + "|" + std::to_string(font.Height()) + "|" + std::to_string(font.Style()) + "|" +
                          std::to_string(dpi);
  if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
  LOGFONTW lf{};
  // A negative height is the character height itself; a positive one includes the leading.
  lf.lfHeight = font.Height() < 0 ? -Scale(-font.Height(), dpi) : Scale(font.Height(), dpi);
  lf.lfWeight = (font.Style() & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (font.Style() & fsItalic) ? TRUE : FALSE;
  lf.lfUnderline = (font.Style() & fsUnderline) ? TRUE : FALSE;
  lf.lfStrikeOut = (font.Style() & fsStrikeOut) ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  const std::wstring face = FaceOf(font.Name());
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  HFONT handle = CreateFontIndirectW(&lf);
  fonts_[key] = handle;
  return handle;
}

void TWin32FrontEnd::ApplyFont(TControl& control, HWND hwnd) {
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control)), TRUE);
}

void TWin32FrontEnd::ApplyCommon(TControl& control, HWND hwnd, TProperty property) {
  TDepthScope mirroring(mirroring_);
  switch (property) {
    case TProperty::Left:
    case TProperty::Top:
    case TProperty::Width:
    case TProperty::Height:
    case TProperty::Align:
      ApplyGeometry(control, hwnd);
      break;
    case TProperty::Caption:
      SetWindowTextW(hwnd, W(control.Caption()).c_str());
      break;
    case TProperty::Enabled:
      EnableWindow(hwnd, control.Enabled());
      break;
    case TProperty::Hint:
    case TProperty::ShowHint:
      ApplyHints(control);
      break;
    case TProperty::Font:
      ApplyFont(control, hwnd);
      break;
    case TProperty::TabStop:
    case TProperty::TabOrder: {
      auto* win = dynamic_cast<TWinControl*>(&control);
      LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
      style = (win && win->TabStop()) ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
      SetWindowLongPtrW(hwnd, GWL_STYLE, style);
      if (property == TProperty::TabOrder && control.Parent()) Restack(*control.Parent());
      break;
    }
    default:
      // Not shown: Color (the system's colours stay), Cursor (read at WM_SETCURSOR), Sorted and
      // the like (the model keeps them).
      break;
  }
}

void TWin32FrontEnd::ApplyHints(TControl& control) {
  // A control without a hint of its own shows its parent's: every control below follows.
  HWND hwnd = HwndOf(&control);
  const TForm* form = FormOf(control);
  HWND tooltip = form ? TooltipOf(*form) : nullptr;
  if (hwnd && tooltip && !dynamic_cast<TForm*>(&control)) {
    std::wstring text = W(control.ActiveHint());
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = GetParent(hwnd);
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
    tool.lpszText = text.data();
    SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    // A tip standing over the control changes with it (a list's hint follows the pointer).
    if (text.empty()) SendMessageW(tooltip, TTM_POP, 0, 0);
  }
  if (auto* win = dynamic_cast<TWinControl*>(&control))
    for (int i = 0; i < win->ControlCount(); ++i) ApplyHints(*win->Controls(i));
}

namespace {

// The frame the system draws around a window's client area now, measured on the window itself:
// how far the client corner lies from the window's corner, and how much wider and higher the
// window is than its client area. Measured rather than computed from the styles, so that it is
// right whatever the system (or Wine) draws at whatever DPI.
struct TFrame {
  int Left = 0, Top = 0, ExtraWidth = 0, ExtraHeight = 0;
};

TFrame FrameOf(HWND hwnd) {
  RECT window{}, client{};
  GetWindowRect(hwnd, &window);
  GetClientRect(hwnd, &client);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  return {origin.x - window.left, origin.y - window.top, (window.right - window.left) - client.right,
          (window.bottom - window.top) - client.bottom};
}

}  // namespace

void TWin32FrontEnd::ApplyFormGeometry(TForm& form, HWND hwnd) {
  TDepthScope mirroring(mirroring_);
  const int dpi = DpiOf(form);
  const int width = Scale(std::max(0, form.ClientWidth()), dpi), height = Scale(std::max(0, form.ClientHeight()), dpi);
  // Only the client area is placed: see the file comment of Win32FrontEndImpl.h.
  const int clientX = form.Left() + form.ClientOffsetX(), clientY = form.Top() + form.ClientOffsetY();
  // Twice at most: a new size can change the frame (a menu bar that wraps, a new DPI's caption).
  for (int pass = 0; pass < 2; ++pass) {
    const TFrame frame = FrameOf(hwnd);
    SetWindowPos(hwnd, nullptr, clientX - frame.Left, clientY - frame.Top, width + frame.ExtraWidth,
                 height + frame.ExtraHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(hwnd, &client);
    const POINT origin = [&] {
      POINT p{0, 0};
      ClientToScreen(hwnd, &p);
      return p;
    }();
    if (client.right == width && client.bottom == height && origin.x == clientX && origin.y == clientY) break;
  }
}

void TWin32FrontEnd::FormMoved(TForm& form, HWND hwnd) {
  if (Mirroring() || !IsWindowVisible(hwnd) || IsIconic(hwnd)) return;
  POINT client{0, 0};
  ClientToScreen(hwnd, &client);
  const int left = client.x - form.ClientOffsetX(), top = client.y - form.ClientOffsetY();
  if (left == form.Left() && top == form.Top()) return;
  TForm* f = &form;
  Forward([f, left, top] { f->SetBounds(left, top, f->Width(), f->Height()); });
}

void TWin32FrontEnd::KeepOnScreen(TForm& form) {
  const POINT corner{form.Left() + form.ClientOffsetX(), form.Top() + form.ClientOffsetY()};
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(MonitorFromPoint(corner, MONITOR_DEFAULTTONEAREST), &info)) return;
  const RECT& work = info.rcWork;
  const TRect bounds = form.BoundsRect();
  const TRect kept = dravello::KeepOnScreen(bounds, {work.left, work.top, work.right, work.bottom});
  if (kept != bounds) form.SetBounds(kept.Left, kept.Top, bounds.Width(), bounds.Height());
}

void TWin32FrontEnd::ApplyActiveControl(TForm& form) {
  HWND window = HwndOf(&form);
  TWinControl* active = form.ActiveControl();
  HWND target = active ? HwndOf(active) : nullptr;
  if (!window || !target || !IsWindowVisible(window)) return;
  TDepthScope mirroring(mirroring_);
  if (GetFocus() != target) SetFocus(target);
}

void TWin32FrontEnd::ApplyDpi(TForm& form) {
  // Everything measured in pixels follows the new DPI: sizes, fonts, glyphs.
  std::function<void(TControl&)> apply = [&](TControl& control) {
    auto it = windows_.find(&control);
    if (it == windows_.end()) return;
    for (TProperty p : {TProperty::Font, TProperty::Left, TProperty::Glyph})
      it->second.Binding->Apply(control, it->second.Hwnd, p);
    if (auto* win = dynamic_cast<TWinControl*>(&control))
      for (int i = 0; i < win->ControlCount(); ++i) apply(*win->Controls(i));
  };
  TDepthScope mirroring(mirroring_);
  apply(form);
  if (HWND tooltip = TooltipOf(form)) SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, Scale(400, DpiOf(form)));
}

// ---- Notifications ------------------------------------------------------------------------------

void TWin32FrontEnd::PropertyChanged(TControl& control, TProperty property) {
  if (property == TProperty::Parent) {
    // Moved elsewhere: the old window goes, and the new parent (if shown) gets a new one.
    if (HWND old = HwndOf(&control)) {
      Unbind(control);
      DestroyWindow(old);
    }
    TWinControl* parent = control.Parent();
    HWND parentHwnd = parent ? HwndOf(parent) : nullptr;
    if (parentHwnd) {
      Build(control, parentHwnd);
      Restack(*parent);
    }
    return;
  }
  Apply(control, property);
}

void TWin32FrontEnd::ItemsChanged(TControl& control) {
  auto it = windows_.find(&control);
  if (it == windows_.end()) return;
  TDepthScope mirroring(mirroring_);
  it->second.Binding->ApplyItems(control, it->second.Hwnd);
}

void TWin32FrontEnd::Shown(TControl& control) {
  auto* form = dynamic_cast<TForm*>(&control);
  if (!form) {
    if (HWND h = HwndOf(&control)) ShowWindow(h, SW_SHOWNA);
    return;
  }
  KeepOnScreen(*form);
  HWND window = HwndOf(form);
  if (!window) window = Build(*form, nullptr);
  TDepthScope mirroring(mirroring_);
  ApplyFormGeometry(*form, window);
  if (form->Modal()) {
    // The program's other windows wait while a modal form stands.
    TFormState& state = forms_[form];
    state.DisabledForModal.clear();
    for (int i = 0; Screen && i < Screen->FormCount(); ++i) {
      HWND other = HwndOf(Screen->Forms(i));
      if (other && other != window && IsWindowVisible(other) && IsWindowEnabled(other)) {
        EnableWindow(other, FALSE);
        state.DisabledForModal.push_back(other);
      }
    }
  }
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  ApplyActiveControl(*form);
}

void TWin32FrontEnd::Hidden(TControl& control) {
  HWND hwnd = HwndOf(&control);
  if (!hwnd) return;
  TDepthScope mirroring(mirroring_);
  if (auto* form = dynamic_cast<TForm*>(&control)) {
    // Enable the others first, so that the system activates one of them rather than none.
    auto it = forms_.find(form);
    if (it != forms_.end()) {
      for (HWND other : it->second.DisabledForModal)
        if (IsWindow(other)) EnableWindow(other, TRUE);
      it->second.DisabledForModal.clear();
    }
  }
  ShowWindow(hwnd, SW_HIDE);
}

void TWin32FrontEnd::Destroying(TControl& control) {
  HWND hwnd = HwndOf(&control);
  if (!hwnd) return;
  if (auto* form = dynamic_cast<TForm*>(&control)) {
    auto it = forms_.find(form);
    if (it != forms_.end())
      for (HWND other : it->second.DisabledForModal)
        if (IsWindow(other)) EnableWindow(other, TRUE);
  }
  Unbind(control);
  DestroyWindow(hwnd);
}

// ---- Messages -----------------------------------------------------------------------------------

bool TWin32FrontEnd::CommonMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  TControl* control = ControlOf(hwnd);
  if (!control) return false;
  if (windows_.at(control).Binding->Message(*control, hwnd, message, wParam, lParam, result)) return true;
  // The binding may have destroyed the window (a click that closed its form).
  if (ControlOf(hwnd) != control) return false;
  switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      // Labels, check and radio buttons lie on the button face, whatever their parent is.
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      return true;
    }
    case WM_SETCURSOR: {
      if (LOWORD(lParam) != HTCLIENT) return false;
      TCursor shape = screenCursor_ != crDefault ? screenCursor_ : control->Cursor();
      if (shape == crDefault) return false;
      SetCursor(win32::CursorOf(shape));
      result = TRUE;
      return true;
    }
    case WM_MOUSEMOVE: {
      // Lists report their pointer themselves (see their bindings).
      if (!control->OnMouseMove || dynamic_cast<TListBox*>(control)) return false;
      // Design pixels, as the model measures; lists snap to the row under the pointer (their
      // binding adjusts the position in Message before this).
      const int dpi = DpiOf(*control);
      const int x = win32::Unscale(GET_X_LPARAM(lParam), dpi), y = win32::Unscale(GET_Y_LPARAM(lParam), dpi);
      TShiftState shift = 0;
      if (wParam & MK_SHIFT) shift |= ssShift;
      if (wParam & MK_CONTROL) shift |= ssCtrl;
      if (wParam & MK_LBUTTON) shift |= ssLeft;
      if (wParam & MK_RBUTTON) shift |= ssRight;
      if (wParam & MK_MBUTTON) shift |= ssMiddle;
      Forward([control, shift, x, y] { control->MouseMove(shift, x, y); });
      return false;
    }
    case WM_SETFOCUS: {
      auto* win = dynamic_cast<TWinControl*>(control);
      if (Mirroring() || !win || dynamic_cast<TForm*>(win) || win->Focused() || !win->CanFocus()) return false;
      Forward([win] { win->SetFocus(); });
      return false;
    }
    case WM_COMMAND: {
      if (lParam == 0) {
        // IDOK / IDCANCEL from the dialog manager: the model has had Enter and Escape already.
        result = 0;
        return true;
      }
      HWND child = reinterpret_cast<HWND>(lParam);
      auto it = windows_.find(ControlOf(child));
      if (it == windows_.end() || Mirroring()) return false;
      it->second.Binding->Command(*const_cast<TControl*>(it->first), child, HIWORD(wParam));
      result = 0;
      return true;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      auto it = windows_.find(ControlOf(header->hwndFrom));
      if (it == windows_.end() || Mirroring()) return false;
      return it->second.Binding->Notify(*const_cast<TControl*>(it->first), header->hwndFrom, *header, result);
    }
    default:
      return false;
  }
}

LRESULT TWin32FrontEnd::FormMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = dynamic_cast<TForm*>(ControlOf(hwnd));
  if (form) {
    switch (message) {
      case WM_CLOSE: {
        // The close box: the model decides (a modal form closes with mrCancel, a running main
        // window refuses).
        Forward([form] { form->Close(); });
        return 0;
      }
      case WM_MOVE:
        FormMoved(*form, hwnd);
        return 0;
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !Mirroring() && form->Visible() && !form->Active())
          Forward([form] { form->Activate(); });
        if (LOWORD(wParam) != WA_INACTIVE && ControlOf(hwnd) == form) {
          // The model's choice of focus, not the one the system would restore.
          ApplyActiveControl(*form);
          return 0;
        }
        break;
      case WM_DPICHANGED: {
        const int dpi = LOWORD(wParam);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        forms_[form].Dpi = dpi;
        // Moved by the user onto a monitor of another DPI: the system's suggestion keeps the
        // window under the pointer, and the model takes its client corner there. Placed there by
        // the front end itself (a position restored on another monitor): the model's position
        // stands, or the window would creep at every start.
        if (!Mirroring()) {
          const TFrame frame = FrameOf(hwnd);
          const int left = suggested->left + frame.Left - form->ClientOffsetX();
          const int top = suggested->top + frame.Top - form->ClientOffsetY();
          TDepthScope mirroring(mirroring_);
          form->SetBounds(left, top, form->Width(), form->Height());
        }
        ApplyDpi(*form);
        ApplyFormGeometry(*form, hwnd);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
      }
      default:
        break;
    }
    LRESULT result = 0;
    if (CommonMessage(hwnd, message, wParam, lParam, result)) return result;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---- Keys ---------------------------------------------------------------------------------------

char win32::AcceleratorOf(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;  // "&&" is a plain "&"
      continue;
    }
    const char c = caption[i + 1];
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return 0;
}

bool TWin32FrontEnd::Accelerator(HWND target, wchar_t key) {
  TForm* form = nullptr;
  for (HWND h = target; h && !form; h = GetParent(h)) form = dynamic_cast<TForm*>(ControlOf(h));
  if (!form || key > 0x7F) return false;
  const char wanted = (key >= 'A' && key <= 'Z') ? static_cast<char>(key - 'A' + 'a') : static_cast<char>(key);
  // The first control of the form, in creation order, whose caption marks the key.
  for (int i = 0; i < form->ComponentCount(); ++i) {
    auto* control = dynamic_cast<TControl*>(form->Components(i));
    if (!control || !control->CanInteract() || win32::AcceleratorOf(control->Caption()) != wanted) continue;
    if (dynamic_cast<TLabel*>(control)) return false;  // a label's focus target is not known here
    Forward([control] {
      if (auto* win = dynamic_cast<TWinControl*>(control); win && win->CanFocus()) win->SetFocus();
      control->Click();
    });
    return true;
  }
  return false;
}

bool TWin32FrontEnd::PreTranslate(MSG& msg) {
  TControl* control = nullptr;
  for (HWND h = msg.hwnd; h && !control; h = GetParent(h)) control = ControlOf(h);
  if (!control) return false;
  if (msg.message == WM_SYSCHAR) return Accelerator(msg.hwnd, static_cast<wchar_t>(msg.wParam));
  char typed = 0;
  if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
    // An open drop-down list takes its own Enter and Escape.
    if (auto* combo = dynamic_cast<TComboBox*>(control); combo && SendMessageW(HwndOf(combo), CB_GETDROPPEDSTATE, 0, 0))
      return false;
    typed = msg.wParam == VK_RETURN ? '\r' : '\x1b';
  } else if (msg.message == WM_CHAR) {
    // Enter and Escape were handed over as keys already.
    if (msg.wParam == '\r' || msg.wParam == 0x1b || msg.wParam == '\n') return false;
    if (msg.wParam == '\b' || (msg.wParam >= 0x20 && msg.wParam < 0x7F)) typed = static_cast<char>(msg.wParam);
  }
  if (typed == 0) return false;
  TWinControl* receiver = KeyReceiver(control);
  if (!receiver) return false;
  char left = typed;
  Forward([&] { left = receiver->PressKey(typed); });
  if (left == typed) return false;
  if (left == 0 || msg.message == WM_KEYDOWN) return true;
  msg.wParam = static_cast<unsigned char>(left);  // a handler changed the key
  return false;
}

// ---- Loops --------------------------------------------------------------------------------------

void TWin32FrontEnd::PumpOne(bool wait) {
  MSG msg;
  if (wait) {
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
      if (Application) Application->Terminate();
      return;
    }
  } else if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    return;
  }
  if (PreTranslate(msg)) return;
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && dynamic_cast<TForm*>(ControlOf(root)) && IsDialogMessageW(root, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void TWin32FrontEnd::WaitMessage() { PumpOne(true); }

void TWin32FrontEnd::WaitModal(TForm&, int) { PumpOne(true); }

void TWin32FrontEnd::ProcessMessages() {
  MSG peek;
  while (PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
    if (peek.message == WM_QUIT) return;
    PumpOne(false);
  }
}

// ---- Cursors and the rest -----------------------------------------------------------------------

HCURSOR win32::CursorOf(TCursor cursor) {
  switch (cursor) {
    case crNone:
      return nullptr;
    case crCross:
      return LoadCursorW(nullptr, IDC_CROSS);
    case crIBeam:
      return LoadCursorW(nullptr, IDC_IBEAM);
    case crHourGlass:
      return LoadCursorW(nullptr, IDC_WAIT);
    case crHandPoint:
      return LoadCursorW(nullptr, IDC_HAND);
    default:
      return LoadCursorW(nullptr, IDC_ARROW);
  }
}

void TWin32FrontEnd::SetScreenCursor(TCursor cursor) {
  screenCursor_ = cursor;
  // Shown at once over the program's windows; WM_SETCURSOR keeps it there while it is set.
  POINT at;
  HWND under = GetCursorPos(&at) ? WindowFromPoint(at) : nullptr;
  if (cursor != crDefault)
    SetCursor(win32::CursorOf(cursor));
  else if (under && ControlOf(under))
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void TWin32FrontEnd::LogLine(const std::string&) {
  // The log is the program's file; the window shows the status line instead.
}

HWND TWin32FrontEnd::DialogOwner() const {
  if (Screen)
    if (TForm* active = Screen->ActiveForm())
      if (HWND h = HwndOf(active); h && IsWindowVisible(h)) return h;
  return nullptr;
}

}  // namespace dravello
