// The system's dialogs for the Win32 front end: message boxes, the text-input dialog (a dialog
// template built in memory), the folder chooser (the modern folder picker, or the classic shell
// chooser where that is missing) and opening an address in the user's default handler.
// <windows.h> first: the headers of the common controls and the shell build on it.
#include "ui/win32/Win32Util.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "runtime/Env.h"
#include "ui/win32/Win32FrontEndImpl.h"

namespace dravello {

using win32::W;

namespace {

// The text-input dialog's layout in dialog units, and the ids of its controls.
constexpr int kInputWidth = 220;
constexpr int kInputMargin = 7;
constexpr int kPromptHeight = 10;
constexpr int kEditHeight = 12;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kButtonGap = 4;
// About how many dialog units one character of a title bar takes, to keep the caption whole.
constexpr int kCaptionUnitsPerChar = 5;
constexpr int kCaptionButtonsUnits = 40;
constexpr WORD kPromptId = 100;
constexpr WORD kEditId = 101;
constexpr WORD kDialogFontPoints = 8;

// Builds a DLGTEMPLATE with its items in a WORD buffer, as DialogBoxIndirectParamW takes it.
class TDialogTemplate {
 public:
  TDialogTemplate(DWORD style, short width, short height, const std::wstring& title) {
    Align(2);
    Put32(style | DS_SETFONT);
    Put32(0);  // extended style
    countAt_ = words_.size();
    Put16(0);  // item count, filled in by Add
    Put16(0);  // x, y
    Put16(0);
    Put16(static_cast<WORD>(width));
    Put16(static_cast<WORD>(height));
    Put16(0);  // no menu
    Put16(0);  // the standard dialog class
    PutText(title);
    Put16(kDialogFontPoints);
    PutText(L"MS Shell Dlg 2");
  }

  // One control; `windowClass` is one of the predefined class atoms (0x0080 button, 0x0081 edit,
  // 0x0082 static).
  void Add(WORD windowClass, DWORD style, short x, short y, short cx, short cy, WORD id, const std::wstring& text) {
    Align(4);
    Put32(style | WS_CHILD | WS_VISIBLE);
    Put32(0);
    Put16(static_cast<WORD>(x));
    Put16(static_cast<WORD>(y));
    Put16(static_cast<WORD>(cx));
    Put16(static_cast<WORD>(cy));
    Put16(id);
    Put16(0xFFFF);
    Put16(windowClass);
    PutText(text);
    Put16(0);  // no creation data
    ++words_[countAt_];
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Put16(WORD w) { words_.push_back(w); }
  void Put32(DWORD d) {
    Put16(LOWORD(d));
    Put16(HIWORD(d));
  }
  void PutText(const std::wstring& text) {
    for (wchar_t c : text) Put16(static_cast<WORD>(c));
    Put16(0);
  }
  void Align(size_t bytes) {
    while ((words_.size() * sizeof(WORD)) % bytes) Put16(0);
  }
  std::vector<WORD> words_;
  size_t countAt_ = 0;
};

struct TInputState {
  std::wstring Prompt;
  std::wstring Value;
};

INT_PTR CALLBACK InputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<TInputState*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      SetDlgItemTextW(dialog, kPromptId, state->Prompt.c_str());
      SetDlgItemTextW(dialog, kEditId, state->Value.c_str());
      SendDlgItemMessageW(dialog, kEditId, EM_SETSEL, 0, -1);
      SetFocus(GetDlgItem(dialog, kEditId));
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        auto* state = reinterpret_cast<TInputState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        HWND edit = GetDlgItem(dialog, kEditId);
        std::vector<wchar_t> text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1);
        GetWindowTextW(edit, text.data(), static_cast<int>(text.size()));
        state->Value = text.data();
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// The button texts of the front end's own dialogs in the program's language.
std::wstring CancelText(const std::string& language) { return language == "de" ? L"Abbrechen" : L"Cancel"; }

struct TBrowseStart {
  std::wstring Folder;
};

int CALLBACK BrowseCallback(HWND chooser, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) {
    const auto* start = reinterpret_cast<const TBrowseStart*>(data);
    if (!start->Folder.empty())
      SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start->Folder.c_str()));
  }
  return 0;
}

// The classic shell chooser, where the modern picker cannot be made.
std::optional<std::string> ClassicFolderChooser(HWND owner, const std::string& title,
                                                const std::string& initialFolder) {
  std::wstring caption = W(title);
  TBrowseStart start{W(initialFolder)};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = caption.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&start);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return std::nullopt;
  std::vector<wchar_t> path(32768);
  const bool ok = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT) != FALSE;
  CoTaskMemFree(chosen);
  if (!ok || path[0] == 0) return std::nullopt;
  return win32::U8(path.data());
}

}  // namespace

int TWin32FrontEnd::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  // The framework numbers buttons, icons and answers as the system does.
  return MessageBoxW(DialogOwner(), W(text).c_str(), W(caption).c_str(), flags | MB_SETFOREGROUND);
}

std::optional<std::string> TWin32FrontEnd::InputQuery(const std::string& caption, const std::string& prompt,
                                                      const std::string& value) {
  const std::wstring title = W(caption);
  // Wide enough for the whole caption in the title bar.
  const int width = std::max(kInputWidth, static_cast<int>(title.size()) * kCaptionUnitsPerChar + kCaptionButtonsUnits);
  const int inner = width - 2 * kInputMargin;
  const int editTop = kInputMargin + kPromptHeight + kButtonGap;
  const int buttonsTop = editTop + kEditHeight + 2 * kButtonGap;
  const int height = buttonsTop + kButtonHeight + kInputMargin;
  TDialogTemplate dialog(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, static_cast<short>(width),
                         static_cast<short>(height), title);
  dialog.Add(0x0082, SS_LEFT | SS_NOPREFIX, kInputMargin, kInputMargin, static_cast<short>(inner), kPromptHeight,
             kPromptId, L"");
  dialog.Add(0x0081, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kInputMargin, static_cast<short>(editTop),
             static_cast<short>(inner), kEditHeight, kEditId, L"");
  const int cancelLeft = width - kInputMargin - kButtonWidth;
  dialog.Add(0x0080, BS_DEFPUSHBUTTON | WS_TABSTOP, static_cast<short>(cancelLeft - kButtonGap - kButtonWidth),
             static_cast<short>(buttonsTop), kButtonWidth, kButtonHeight, IDOK, L"OK");
  dialog.Add(0x0080, BS_PUSHBUTTON | WS_TABSTOP, static_cast<short>(cancelLeft), static_cast<short>(buttonsTop),
             kButtonWidth, kButtonHeight, IDCANCEL, CancelText(language_));
  TInputState state{W(prompt), W(value)};
  const INT_PTR answer = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), DialogOwner(),
                                                 InputDialogProc, reinterpret_cast<LPARAM>(&state));
  if (answer != IDOK) return std::nullopt;
  return win32::U8(state.Value);
}

std::optional<std::string> TWin32FrontEnd::BrowseForFolder(const std::string& title, const std::string& initialFolder) {
  HWND owner = DialogOwner();
  // An unknown folder leaves the chooser at its own default place.
  const std::string start = !initialFolder.empty() && Env::Default().DirectoryExists(initialFolder) ? initialFolder
                                                                                                    : "";
  IFileOpenDialog* picker = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&picker))) || !picker)
    return ClassicFolderChooser(owner, title, start);
  std::optional<std::string> result;
  FILEOPENDIALOGOPTIONS options = 0;
  picker->GetOptions(&options);
  picker->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  picker->SetTitle(W(title).c_str());
  if (!start.empty()) {
    IShellItem* folder = nullptr;
    if (SUCCEEDED(SHCreateItemFromParsingName(W(start).c_str(), nullptr, IID_PPV_ARGS(&folder))) && folder) {
      picker->SetFolder(folder);
      folder->Release();
    }
  }
  if (SUCCEEDED(picker->Show(owner))) {
    IShellItem* chosen = nullptr;
    if (SUCCEEDED(picker->GetResult(&chosen)) && chosen) {
      PWSTR path = nullptr;
      if (SUCCEEDED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) {
        result = win32::U8(path);
        CoTaskMemFree(path);
      }
      chosen->Release();
    }
  }
  picker->Release();
  return result;
}

bool TWin32FrontEnd::OpenAddress(const std::string& address) {
  // ShellExecute reports success with a value above 32.
  constexpr INT_PTR kShellExecuteSucceeded = 32;
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", W(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > kShellExecuteSucceeded;
}

}  // namespace dravello
